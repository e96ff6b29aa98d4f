#include "foundation/SystemSleep.h"

#include <cstdlib>
#include <cstring>
#include <mutex>
#include <optional>

#include "foundation/Process.h"

namespace qv {

namespace {

struct Settings {
    std::mutex mutex;
    std::size_t requests = 0;
    std::optional<bool> allowed;
    std::vector<std::string> command{"systemctl", "suspend"};
};

Settings& settings() {
    static Settings instance;
    return instance;
}

bool allowedByEnvironment() {
    const char* value = std::getenv("QV_ALLOW_SYSTEM_SLEEP");
    return value && std::strcmp(value, "1") == 0;
}

}  // namespace

bool requestSystemSleep() {
    std::vector<std::string> command;
    {
        Settings& s = settings();
        std::lock_guard<std::mutex> lock(s.mutex);
        ++s.requests;
        if (!s.allowed.value_or(allowedByEnvironment()) || s.command.empty()) return false;
        command = s.command;
    }
    std::string program = command.front();
    command.erase(command.begin());
    return launchProcess(program, command).has_value();
}

std::size_t systemSleepRequestCount() {
    Settings& s = settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    return s.requests;
}

void setSystemSleepAllowed(bool allowed) {
    Settings& s = settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.allowed = allowed;
}

void setSystemSleepCommand(std::vector<std::string> command) {
    Settings& s = settings();
    std::lock_guard<std::mutex> lock(s.mutex);
    s.command = std::move(command);
}

}  // namespace qv
