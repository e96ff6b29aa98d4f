#include "unwrap/ThreadPool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

using namespace threadpool;

namespace {

// Counts the worker threads that ran a task and the ones that have since ended (thread-local
// objects are destroyed as their thread exits, before a join returns).
std::atomic<int> g_threadsStarted{0};
std::atomic<int> g_threadsEnded{0};
struct ThreadPresence {
    ThreadPresence() { ++g_threadsStarted; }
    ~ThreadPresence() { ++g_threadsEnded; }
};
void markThread() {
    thread_local ThreadPresence presence;
    (void)presence;
}

void briefly() { std::this_thread::sleep_for(std::chrono::milliseconds(2)); }

}  // namespace

TEST(ThreadPool, OneWorkerRunsTasksInTheOrderTheyWereScheduled) {
    std::vector<int> order;
    std::mutex lock;
    thread_pool pool(1);
    for (int i = 0; i < 10; ++i)
        pool.schedule([&, i] {
            std::lock_guard<std::mutex> guard(lock);
            order.push_back(i);
        });
    pool.wait();
    EXPECT_EQ(order, (std::vector<int>{0, 1, 2, 3, 4, 5, 6, 7, 8, 9}));
}

TEST(ThreadPool, ThreeWorkersRunTenTasksAtMostThreeAtATime) {
    std::atomic<int> running{0}, most{0}, done{0};
    thread_pool pool(3);
    EXPECT_EQ(pool.size(), 3u);
    for (int i = 0; i < 10; ++i)
        pool.schedule([&] {
            const int now = ++running;
            int seen = most.load();
            while (now > seen && !most.compare_exchange_weak(seen, now)) {
            }
            briefly();
            --running;
            ++done;
        });
    pool.wait(0);
    EXPECT_EQ(done.load(), 10);
    EXPECT_LE(most.load(), 3);
    EXPECT_GE(most.load(), 1);
    EXPECT_EQ(pool.pending(), 0u);
}

TEST(ThreadPool, WaitOnAnIdlePoolReturnsAtOnce) {
    thread_pool pool(4);
    pool.wait(0);
    pool.wait(0);
    EXPECT_EQ(pool.active(), 0u);
}

TEST(ThreadPool, WaitForAFewPendingReturnsBeforeTheRest) {
    std::atomic<bool> release{false};
    std::atomic<int> done{0};
    thread_pool pool(2);
    for (int i = 0; i < 6; ++i)
        pool.schedule([&, i] {
            while (i >= 4 && !release) briefly();
            ++done;
        });
    pool.wait(2);  // the two held tasks may still be running
    EXPECT_GE(done.load(), 4);
    release = true;
    pool.wait(0);
    EXPECT_EQ(done.load(), 6);
}

TEST(ThreadPool, ATaskThatThrowsStallsNothingAndItsErrorIsKept) {
    std::atomic<int> done{0};
    thread_pool pool(2);
    for (int i = 0; i < 10; ++i)
        pool.schedule([&, i] {
            if (i == 3) throw std::runtime_error("band failed");
            ++done;
        });
    pool.wait(0);
    EXPECT_EQ(done.load(), 9);
    EXPECT_EQ(pool.size(), 2u);  // the worker that ran it kept serving
    std::exception_ptr error = pool.take_error();
    ASSERT_TRUE(error);
    EXPECT_THROW(std::rethrow_exception(error), std::runtime_error);
    EXPECT_FALSE(pool.take_error());
}

TEST(ThreadPool, ASingleWorkerSurvivesAThrowingTask) {
    std::atomic<int> done{0};
    thread_pool pool(1);
    pool.schedule([] { throw 42; });
    pool.schedule([&] { ++done; });
    pool.wait(0);
    EXPECT_EQ(done.load(), 1);
    EXPECT_TRUE(pool.take_error());
}

TEST(ThreadPool, APoolThatCouldStartNoThreadStillRunsEveryTaskAndReturns) {
    int launches = 0;
    const thread_launcher refuse = [&](std::function<void()>) -> boost::thread {
        ++launches;
        throw boost::thread_resource_error();
    };
    std::atomic<int> done{0};
    {
        thread_pool pool(4, refuse);
        EXPECT_EQ(pool.size(), 0u);
        EXPECT_EQ(launches, 1);
        for (int i = 0; i < 5; ++i) pool.schedule([&] { ++done; });
        pool.wait(0);
        EXPECT_EQ(done.load(), 5);
        pool.schedule([&] { ++done; });
    }  // the shutdown waits for the last one too
    EXPECT_EQ(done.load(), 6);
}

TEST(ThreadPool, APoolThatCouldStartSomeThreadsWorksWithThem) {
    int launches = 0;
    const thread_launcher oneOnly = [&](std::function<void()> body) {
        if (++launches > 1) throw boost::thread_resource_error();
        return launch_thread(std::move(body));
    };
    std::atomic<int> done{0};
    thread_pool pool(3, oneOnly);
    EXPECT_EQ(pool.size(), 1u);
    for (int i = 0; i < 8; ++i) pool.schedule([&] { ++done; });
    pool.wait(0);
    EXPECT_EQ(done.load(), 8);
}

TEST(ThreadPool, EveryWorkerHasEndedWhenThePoolIsGone) {
    const int startedBefore = g_threadsStarted, endedBefore = g_threadsEnded;
    {
        thread_pool pool(4);
        for (int i = 0; i < 16; ++i)
            pool.schedule([] {
                markThread();
                briefly();
            });
        pool.wait(0);
    }
    const int started = g_threadsStarted - startedBefore;
    EXPECT_GE(started, 1);
    EXPECT_EQ(g_threadsEnded - endedBefore, started);
}

TEST(ThreadPool, CopiesShareOnePoolThatTheLastCopyShutsDown) {
    std::atomic<int> done{0};
    {
        thread_pool first(2);
        {
            thread_pool second = first;
            second.schedule([&] {
                briefly();
                ++done;
            });
        }
        EXPECT_EQ(first.size(), 2u);
        first.schedule([&] { ++done; });
    }
    EXPECT_EQ(done.load(), 2);
}

TEST(ThreadPool, ResizeGrowsAndShrinks) {
    thread_pool pool(1);
    EXPECT_TRUE(pool.resize(3));
    EXPECT_EQ(pool.size(), 3u);
    EXPECT_TRUE(pool.resize(1));
    for (int tries = 0; pool.size() > 1 && tries < 5000; ++tries) briefly();  // up to 10 s on a busy machine
    EXPECT_EQ(pool.size(), 1u);
    std::atomic<int> done{0};
    pool.schedule([&] { ++done; });
    pool.wait(0);
    EXPECT_EQ(done.load(), 1);
}
