#pragma once
// Putting the computer to sleep when a batch has finished. Every request is counted; the computer
// is put to sleep only when the user has allowed it, by setting QV_ALLOW_SYSTEM_SLEEP=1 in the
// environment (or a program through setSystemSleepAllowed). Then "systemctl suspend" is started.
#include <cstddef>
#include <string>
#include <vector>

namespace qv {

// Records the request and, when allowed, starts the sleep command. True when it was started.
bool requestSystemSleep();
std::size_t systemSleepRequestCount();

void setSystemSleepAllowed(bool allowed);  // overrides the environment
// The command that puts the computer to sleep (for tests, a harmless one).
void setSystemSleepCommand(std::vector<std::string> command);

}  // namespace qv
