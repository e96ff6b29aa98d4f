#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "foundation/Notifications.h"

using namespace qv;

TEST(Notifications, ObserversSeeTheirNameAndSenderOnly) {
    NotificationCenter center;
    int popup = 0, fromA = 0, everything = 0;
    int a = 0, b = 0;
    auto s1 = center.addObserver("PopUpWillPop", nullptr, [&](const Notification&) { ++popup; });
    auto s2 = center.addObserver("PopUpWillPop", &a, [&](const Notification& n) {
        EXPECT_EQ(n.sender, &a);
        ++fromA;
    });
    auto s3 = center.addObserver("", nullptr, [&](const Notification&) { ++everything; });
    center.post("PopUpWillPop", &a);
    center.post("PopUpWillPop", &b);
    center.post("Other", &a, Value("info"));
    EXPECT_EQ(popup, 2);
    EXPECT_EQ(fromA, 1);
    EXPECT_EQ(everything, 3);
}

TEST(Notifications, CancelledAndDestroyedSubscriptionsHearNothing) {
    NotificationCenter center;
    int count = 0;
    auto kept = center.addObserver("N", nullptr, [&](const Notification&) { ++count; });
    {
        auto scoped = center.addObserver("N", nullptr, [&](const Notification&) { count += 100; });
    }
    Subscription self;
    self = center.addObserver("N", nullptr, [&](const Notification&) {
        count += 10;
        self.cancel();  // from inside its own callback
    });
    center.post("N");
    center.post("N");
    EXPECT_EQ(count, 12);
    kept.cancel();
    EXPECT_FALSE(kept.active());
    center.post("N");
    EXPECT_EQ(count, 12);
}

TEST(Notifications, CancelWaitsForACallbackRunningOnAnotherThread) {
    NotificationCenter center;
    std::atomic<bool> entered{false}, release{false}, callbackDone{false}, cancelled{false};
    std::atomic<bool> doneBeforeCancelReturned{false};
    auto subscription = center.addObserver("Slow", nullptr, [&](const Notification&) {
        entered = true;
        while (!release) std::this_thread::yield();
        callbackDone = true;
    });
    std::thread poster([&] { center.post("Slow"); });
    while (!entered) std::this_thread::yield();
    std::thread canceller([&] {
        subscription.cancel();
        doneBeforeCancelReturned = callbackDone.load();
        cancelled = true;
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_FALSE(cancelled);
    release = true;
    poster.join();
    canceller.join();
    EXPECT_TRUE(doneBeforeCancelReturned);
}

TEST(Notifications, TheDefaultCenterDeliversOnThePostingThread) {
    std::thread::id seen;
    auto s = NotificationCenter::defaultCenter().addObserver("Threaded", nullptr,
                                                             [&](const Notification&) { seen = std::this_thread::get_id(); });
    std::thread::id poster;
    std::thread t([&] {
        poster = std::this_thread::get_id();
        NotificationCenter::defaultCenter().post("Threaded");
    });
    t.join();
    EXPECT_EQ(seen, poster);
}
