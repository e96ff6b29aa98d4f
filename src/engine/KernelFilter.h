#pragma once
// A filter of the system's own that applies one kernel loaded from a bundle resource (of type
// "cikernel"). The kernel is fetched when an instance is made; a kernel that could not be loaded
// then is tried again when the output is asked for.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "coreimage/CIFilter.h"
#include "coreimage/CIKernel.h"
#include "engine/KernelResource.h"

class KernelFilter : public qv::ci::Filter {
protected:
    KernelFilter(const std::string& name, const std::string& kernelResource, std::vector<qv::ci::InputSpec> inputs);

    // The kernel, or null while it cannot be loaded.
    const qv::ci::Kernel* kernel();

    // Registers the filter class F under F::kName with its display name, once per process.
    template <class F>
    static void registerOnce(const char* displayName) {
        static std::once_flag once;
        std::call_once(once, [displayName] {
            registerFilterName(F::kName, [](const std::string&) { return std::shared_ptr<Filter>(std::make_shared<F>()); },
                               qv::Value(qv::Dictionary{{"CIAttributeFilterDisplayName", displayName}}));
        });
    }

private:
    KernelResource& m_resource;
    std::shared_ptr<const qv::ci::Kernel> m_kernel;
};
