#include "engine/KernelFilter.h"

KernelFilter::KernelFilter(const std::string& name, const std::string& kernelResource,
                           std::vector<qv::ci::InputSpec> inputs)
    : Filter(name, std::move(inputs)), m_resource(KernelResource::named(kernelResource)), m_kernel(m_resource.kernel()) {}

const qv::ci::Kernel* KernelFilter::kernel() {
    if (!m_kernel) m_kernel = m_resource.kernel();
    return m_kernel.get();
}
