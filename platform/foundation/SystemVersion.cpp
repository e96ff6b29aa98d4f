#include "foundation/SystemVersion.h"

#include <atomic>

namespace {
std::atomic<bool> gSnowLeopardRunning{true};
}  // namespace

extern "C" bool IsMacOSSnowLeopardRunning(void) { return gSnowLeopardRunning.load(); }

namespace qv {

void setSnowLeopardRunning(bool running) { gSnowLeopardRunning = running; }

}  // namespace qv
