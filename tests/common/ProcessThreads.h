#pragma once
// How many threads the test process has right now, as the kernel lists them: for tests that check
// that no worker is left running or leaving the process.
#include <chrono>
#include <cstddef>
#include <filesystem>
#include <thread>

namespace qvtest {

inline std::size_t threadsOfTheProcess() {
    std::size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator("/proc/self/task")) ++count;
    return count;
}

// The same after a worker has been joined: the join returns once the thread has run its last
// code, and the kernel may list it for a moment longer while it takes the thread out, longer on a
// busy machine. Waits for the count to come down to `expected` for 20 ms at most (far less than a
// thread still running its own code at exit would take, which a test must still see), and answers
// the count then.
inline std::size_t threadsOfTheProcessOnceJoined(std::size_t expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(20);
    std::size_t count = threadsOfTheProcess();
    while (count > expected && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(std::chrono::microseconds(200));
        count = threadsOfTheProcess();
    }
    return count;
}

}  // namespace qvtest
