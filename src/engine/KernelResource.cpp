#include "engine/KernelResource.h"

#include <map>

#include "coreimage/ResourceText.h"
#include "engine/NativeKernels.h"

KernelResource& KernelResource::named(const std::string& resourceName) {
    static std::mutex lock;
    static std::map<std::string, std::unique_ptr<KernelResource>> resources;
    std::lock_guard<std::mutex> guard(lock);
    std::unique_ptr<KernelResource>& resource = resources[resourceName];
    if (!resource) resource = std::make_unique<KernelResource>(resourceName);
    return *resource;
}

std::shared_ptr<const qv::ci::Kernel> KernelResource::kernel() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_kernel) return m_kernel;
    const std::optional<std::string> source = qv::ci::readResourceText(m_resourceName, "cikernel");
    if (!source) return nullptr;
    const std::vector<std::shared_ptr<qv::ci::Kernel>> kernels = qv::ci::Kernel::kernelsWithString(*source);
    if (kernels.empty()) return nullptr;
    // Native code takes over only while the resource says what the code computes.
    kernels.front()->attachNative(nativeKernelForResource(m_resourceName));
    m_kernel = kernels.front();
    return m_kernel;
}
