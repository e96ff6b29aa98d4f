#pragma once
// The system-version test the system branches on. There is no older system here, so it answers
// true; tests switch it off to reach the branches for older systems.

extern "C" bool IsMacOSSnowLeopardRunning(void);

namespace qv {

void setSnowLeopardRunning(bool running);

}  // namespace qv
