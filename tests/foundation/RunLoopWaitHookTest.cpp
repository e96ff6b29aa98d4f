// The run loop serving a window system's loop in its waits, and its shutdown.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "foundation/RunLoop.h"

using namespace qv;

namespace {

// A window system's loop reduced to what the run loop uses: a wait that a wake ends, remembered
// when it comes before the wait starts.
class FakeHook : public RunLoopWaitHook {
public:
    void poll() override { ++polls; }
    void wait(double seconds) override {
        std::unique_lock<std::mutex> lock(mutex);
        ++waits;
        longestWait = std::max(longestWait, seconds);
        changed.wait_for(lock, std::chrono::duration<double>(seconds), [&] { return woken; });
        woken = false;
    }
    void wake() override {
        ++wakes;
        {
            std::lock_guard<std::mutex> lock(mutex);
            woken = true;
        }
        changed.notify_all();
    }
    std::atomic<int> polls{0};
    std::atomic<int> wakes{0};
    int waits = 0;
    double longestWait = 0;

private:
    std::mutex mutex;
    std::condition_variable changed;
    bool woken = false;
};

class RunLoopWaitHookTest : public testing::Test {
protected:
    void SetUp() override {
        while (RunLoop::main().runOnce(0)) {
        }
        RunLoop::main().setWaitHook(&hook);
    }
    void TearDown() override {
        RunLoop::main().setWaitHook(nullptr);
        RunLoop::main().reopen();
    }
    FakeHook hook;
};

double secondsSince(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

TEST_F(RunLoopWaitHookTest, AWorkersTaskEndsTheHooksWaitAndRunsInTheSamePass) {
    std::atomic<bool> ran{false};
    std::thread worker([&] {
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        performOnMainThread([&] { ran = true; }, false);
    });
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(RunLoop::main().runOnce(30));
    worker.join();
    EXPECT_TRUE(ran);
    EXPECT_LT(secondsSince(start), 10.0);  // woken, not timed out
    EXPECT_EQ(hook.waits, 1);
    EXPECT_GE(hook.polls.load(), 1);  // native events are served before the loop's own work
}

TEST_F(RunLoopWaitHookTest, AWakeBeforeTheWaitIsNotLost) {
    RunLoop::main().wake();
    const auto start = std::chrono::steady_clock::now();
    RunLoop::main().runOnce(30);
    EXPECT_LT(secondsSince(start), 10.0);
}

TEST_F(RunLoopWaitHookTest, TheWaitLastsNoLongerThanTheNextTimer) {
    bool fired = false;
    auto timer = RunLoop::main().scheduleTimer(0.05, false, [&](Timer&) { fired = true; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return fired; }, 10));
    EXPECT_LE(hook.longestWait, 0.06);
}

TEST_F(RunLoopWaitHookTest, WaitingForEventsGoesThroughTheHook) {
    RunLoop::main().waitForEvents(0.01);
    EXPECT_EQ(hook.waits, 1);
    RunLoop::main().waitForEvents(0);
    EXPECT_EQ(hook.waits, 1);  // no time to wait: no wait
}

TEST_F(RunLoopWaitHookTest, ShutDownRunsWhatIsQueuedAndReleasesLaterWaitersWithoutRunningTheirWork) {
    int earlier = 0;
    std::atomic<bool> lateRan{false};
    // A worker that waits on the main thread while it is still serving; its queued task wakes the hook.
    std::thread waiter([&] { performOnMainThread([&] { ++earlier; }, true); });
    while (hook.wakes.load() == 0) std::this_thread::yield();
    RunLoop::main().perform([&] { ++earlier; });
    RunLoop::main().shutDown();
    waiter.join();
    EXPECT_EQ(earlier, 2);
    EXPECT_TRUE(RunLoop::main().isShutDown());

    // After the shutdown nothing is queued, and a worker waiting on the loop is not stuck.
    EXPECT_FALSE(RunLoop::main().perform([&] { lateRan = true; }));
    std::thread late([&] { performOnMainThread([&] { lateRan = true; }, true); });
    late.join();
    EXPECT_FALSE(RunLoop::main().runOnce(0));
    EXPECT_FALSE(lateRan);
    RunLoop::main().reopen();
    EXPECT_TRUE(RunLoop::main().perform([] {}));
    EXPECT_TRUE(RunLoop::main().runOnce(0));
}
