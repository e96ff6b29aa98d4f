#pragma once
// One process-wide kernel compiled from a bundle resource text of type "cikernel". The first
// filter instance that needs it loads it; a resource that is missing or does not compile leaves it
// absent, and the next instance tries again. Loading is guarded, so two first instances on two
// threads compile it once.
#include <memory>
#include <mutex>
#include <string>

#include "coreimage/CIKernel.h"

class KernelResource {
public:
    explicit KernelResource(std::string resourceName) : m_resourceName(std::move(resourceName)) {}
    KernelResource(const KernelResource&) = delete;
    KernelResource& operator=(const KernelResource&) = delete;

    // The process-wide resource of that name.
    static KernelResource& named(const std::string& resourceName);

    // The kernel, loading it first when it is not loaded yet; null when it cannot be had.
    std::shared_ptr<const qv::ci::Kernel> kernel();

private:
    const std::string m_resourceName;
    std::mutex m_lock;
    std::shared_ptr<const qv::ci::Kernel> m_kernel;
};
