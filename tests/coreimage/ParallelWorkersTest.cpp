// The parallel workers end and leave the process when asked, and come back for later work.
#include <gtest/gtest.h>

#include <chrono>
#include <mutex>
#include <set>
#include <thread>

#include <oneapi/tbb/parallel_for.h>

#include "common/ProcessThreads.h"
#include "coreimage/ParallelWorkers.h"

namespace {

// Runs a loop slow enough to spread over the workers; the number of threads it ran on.
std::size_t runParallelWork() {
    std::mutex lock;
    std::set<std::thread::id> seen;
    tbb::parallel_for(0, 64, [&](int) {
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        std::lock_guard<std::mutex> guard(lock);
        seen.insert(std::this_thread::get_id());
    });
    return seen.size();
}

}  // namespace

TEST(ParallelWorkers, EndedWorkersHaveLeftTheProcessAndComeBackForLaterWork) {
    if (std::thread::hardware_concurrency() < 2) GTEST_SKIP() << "one processor: there are no workers";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        EXPECT_GT(runParallelWork(), 1u);
        EXPECT_GT(qvtest::threadsOfTheProcess(), 1u);
        EXPECT_TRUE(qv::ci::endParallelWorkers());
        EXPECT_EQ(qvtest::threadsOfTheProcessOnceJoined(1), 1u);
    }
}
