#include "coreimage/CpuFeatures.h"

#include <atomic>

namespace qv::ci::detail {

namespace {

bool processorHasWideVectors() {
#if QV_HAS_WIDE_BUILD
    __builtin_cpu_init();
    return __builtin_cpu_supports("avx2") && __builtin_cpu_supports("fma");
#else
    return false;
#endif
}

std::atomic<bool>& enabledFlag() {
    static std::atomic<bool> flag{processorHasWideVectors()};
    return flag;
}

}  // namespace

bool wideVectors() { return enabledFlag().load(std::memory_order_relaxed); }

void setWideVectorsForTesting(bool enabled) {
    enabledFlag().store(enabled && processorHasWideVectors(), std::memory_order_relaxed);
}

}  // namespace qv::ci::detail
