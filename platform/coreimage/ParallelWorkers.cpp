#include "coreimage/ParallelWorkers.h"

#include <new>

#include <oneapi/tbb/global_control.h>

namespace qv::ci {

bool endParallelWorkers() {
    tbb::task_scheduler_handle handle{tbb::attach{}};
    return tbb::finalize(handle, std::nothrow);
}

}  // namespace qv::ci
