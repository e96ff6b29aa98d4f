#include "engine/KernelResource.h"

#include "coreimage/ResourceText.h"

std::shared_ptr<const qv::ci::Kernel> KernelResource::kernel() {
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_kernel) return m_kernel;
    const std::optional<std::string> source = qv::ci::readResourceText(m_resourceName, "cikernel");
    if (!source) return nullptr;
    const std::vector<std::shared_ptr<qv::ci::Kernel>> kernels = qv::ci::Kernel::kernelsWithString(*source);
    if (!kernels.empty()) m_kernel = kernels.front();
    return m_kernel;
}
