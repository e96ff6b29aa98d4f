#pragma once
// How many threads the test process has right now, as the kernel lists them: for tests that check
// that no worker is left running or leaving the process.
#include <cstddef>
#include <filesystem>

namespace qvtest {

inline std::size_t threadsOfTheProcess() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

}  // namespace qvtest
