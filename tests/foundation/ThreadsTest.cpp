#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <stdexcept>
#include <thread>

#include "common/ProcessThreads.h"
#include "foundation/Threads.h"

using namespace qv;

TEST(Threads, TheTestRunsOnTheMainThreadAndWorkersDoNot) {
    EXPECT_TRUE(isMainThread());
    std::atomic<bool> workerIsMain{true};
    std::thread([&] { workerIsMain = isMainThread(); }).join();
    EXPECT_FALSE(workerIsMain);
}

TEST(Threads, DetachedWorkersAreCountedUntilTheyEndEvenWhenTheyThrow) {
    std::atomic<bool> release{false};
    std::atomic<int> finished{0};
    for (int i = 0; i < 4; ++i) {
        ASSERT_TRUE(detachThread([&, i] {
            while (!release) std::this_thread::yield();
            ++finished;
            if (i == 0) throw std::runtime_error("a worker failed");
        }));
    }
    EXPECT_GE(detachedThreadCount(), 4u);
    EXPECT_FALSE(waitForDetachedThreads(0.02));
    release = true;
    EXPECT_TRUE(waitForDetachedThreads(30));
    EXPECT_EQ(finished, 4);
    EXPECT_EQ(detachedThreadCount(), 0u);
}

TEST(Threads, AnotherThreadCanWaitForTheWorkersToo) {
    std::atomic<bool> done{false};
    ASSERT_TRUE(detachThread([&] { done = true; }));
    bool allEnded = false;
    std::thread waiter([&] { allEnded = waitForDetachedThreads(30); });
    waiter.join();
    EXPECT_TRUE(allEnded);
    EXPECT_TRUE(done);
}

namespace {

// Kept by each worker to its very end: its destructor runs after the worker's body has returned,
// while the thread is leaving.
struct SlowExit {
    ~SlowExit() { std::this_thread::sleep_for(std::chrono::milliseconds(100)); }
};
thread_local SlowExit tSlowExit;

}  // namespace

TEST(Threads, AfterTheWaitNoWorkerIsStillLeavingTheProcess) {
    // A leak check at exit, or a shut-down, must not find a thread half way out.
    ASSERT_EQ(qvtest::threadsOfTheProcess(), 1u);
    for (int i = 0; i < 6; ++i) ASSERT_TRUE(detachThread([] { (void)&tSlowExit; }));
    EXPECT_TRUE(waitForDetachedThreads(30));
    EXPECT_EQ(qvtest::threadsOfTheProcessOnceJoined(1), 1u);
}
