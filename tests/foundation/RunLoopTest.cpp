#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>
#include <vector>

#include "foundation/RunLoop.h"
#include "foundation/Threads.h"

using namespace qv;

namespace {

// Gives the main loop a clock the test moves by hand, and the steady clock back afterwards.
class ManualClockTest : public testing::Test {
protected:
    void SetUp() override { RunLoop::main().setClock(clock); }
    void TearDown() override { RunLoop::main().setClock(nullptr); }
    void advance(double seconds) {
        clock->advance(seconds);
        while (RunLoop::main().runOnce(0)) {
        }
    }
    std::shared_ptr<ManualClock> clock = std::make_shared<ManualClock>(100);
};

void drainMainLoop() {
    while (RunLoop::main().runOnce(0)) {
    }
}

}  // namespace

TEST(RunLoop, WaitingOnTheMainThreadRunsAtOnceAndNotWaitingQueues) {
    drainMainLoop();
    bool ran = false;
    performOnMainThread([&] { ran = true; }, true);
    EXPECT_TRUE(ran);

    std::vector<int> order;
    performOnMainThread([&] { order.push_back(1); }, false);
    performOnMainThread([&] { order.push_back(2); }, false);
    EXPECT_TRUE(order.empty());
    drainMainLoop();
    EXPECT_EQ(order, (std::vector<int>{1, 2}));
}

TEST(RunLoop, AWorkerWaitingForTheMainThreadGetsItsWorkDoneThere) {
    std::atomic<bool> ranOnMain{false}, workerDone{false};
    ASSERT_TRUE(detachThread([&] {
        performOnMainThread([&] { ranOnMain = isMainThread(); }, true);
        workerDone = true;
    }));
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return workerDone.load(); }, 30));
    EXPECT_TRUE(ranOnMain);
    EXPECT_TRUE(waitForDetachedThreads(30));
}

TEST(RunLoop, AnExceptionOnTheMainThreadReachesTheWaitingWorker) {
    std::atomic<bool> caught{false}, done{false};
    std::thread worker([&] {
        try {
            performOnMainThread([] { throw std::runtime_error("no"); }, true);
        } catch (const std::runtime_error&) {
            caught = true;
        }
        done = true;
    });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return done.load(); }, 30));
    worker.join();
    EXPECT_TRUE(caught);
    // A task that throws without a waiter does not stop the loop.
    bool after = false;
    RunLoop::main().perform([] { throw std::runtime_error("ignored"); });
    RunLoop::main().perform([&] { after = true; });
    drainMainLoop();
    EXPECT_TRUE(after);
}

TEST(RunLoop, RunUntilGivesUpAfterItsTimeOut) {
    EXPECT_FALSE(RunLoop::main().runUntil([] { return false; }, 0.05));
    EXPECT_TRUE(RunLoop::main().runUntil([] { return true; }, 0));
}

TEST(RunLoop, NestedPassesRunOtherWorkAndStopEndsRun) {
    std::vector<std::string> log;
    RunLoop::main().perform([&] {
        log.push_back("outer");
        RunLoop::main().perform([&] { log.push_back("inner"); });
        RunLoop::main().runUntil([&] { return log.size() == 2; }, 30);  // a modal loop
        log.push_back("outer done");
        RunLoop::main().stop();
    });
    RunLoop::main().run();
    EXPECT_EQ(log, (std::vector<std::string>{"outer", "inner", "outer done"}));
}

TEST(RunLoop, TimersOnTheSteadyClockFireWhileTheLoopWaits) {
    int fired = 0;
    auto timer = RunLoop::main().scheduleTimer(0.01, false, [&](Timer&) { ++fired; });
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return fired == 1; }, 30));
    EXPECT_FALSE(timer->isValid());
}

TEST_F(ManualClockTest, RepeatingTimerFiresOnScheduleSkipsMissedFiresAndStopsWhenInvalidated) {
    int fired = 0;
    auto timer = RunLoop::main().scheduleTimer(1.5, true, [&](Timer&) { ++fired; });
    advance(1.0);
    EXPECT_EQ(fired, 0);
    advance(0.5);
    EXPECT_EQ(fired, 1);
    advance(1.5);
    EXPECT_EQ(fired, 2);
    advance(10.0);  // a loop that was busy for a long time fires once, not seven times
    EXPECT_EQ(fired, 3);
    EXPECT_TRUE(timer->isValid());
    timer->invalidate();
    advance(3.0);
    EXPECT_EQ(fired, 3);
}

TEST_F(ManualClockTest, ATimerMayInvalidateItselfAndOneShotTimersFireOnce) {
    int repeating = 0, once = 0;
    RunLoop::main().scheduleTimer(1.0, true, [&](Timer& t) {
        if (++repeating == 2) t.invalidate();
    });
    auto single = RunLoop::main().scheduleTimer(2.5, false, [&](Timer&) { ++once; });
    for (int i = 0; i < 5; ++i) advance(1.0);
    EXPECT_EQ(repeating, 2);
    EXPECT_EQ(once, 1);
    EXPECT_FALSE(single->isValid());
}

TEST_F(ManualClockTest, TimersFromWorkerThreadsFireOnTheMainThread) {
    std::atomic<bool> onMain{false};
    std::thread worker([&] {
        RunLoop::main().scheduleTimer(1.5, false, [&](Timer&) { onMain = isMainThread(); });
    });
    worker.join();
    advance(2.0);
    EXPECT_TRUE(onMain);
}
