#pragma once
// The main run loop: work handed to the main thread, and timers.
//
// Any thread may queue work or schedule a timer; only the main thread runs the loop (the program's
// event loop, a modal loop, or a test that waits). Timers follow the loop's clock, which a test may
// replace with a ManualClock to fire them without waiting; run-until time-outs are always real time.
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <vector>

namespace qv {

class Clock {
public:
    virtual ~Clock() = default;
    virtual double now() const = 0;  // seconds on a scale that never goes back
};

// A clock that moves only when told to. advance() wakes the main run loop, so timers that fall due
// fire at its next pass.
class ManualClock : public Clock {
public:
    explicit ManualClock(double start = 0) : m_now(start) {}
    double now() const override { return m_now.load(); }
    void advance(double seconds);

private:
    std::atomic<double> m_now;
};

class RunLoop;

class Timer {
public:
    void invalidate() { m_valid = false; }
    bool isValid() const { return m_valid; }
    double interval() const { return m_interval; }
    bool repeats() const { return m_repeats; }

private:
    friend class RunLoop;
    Timer(double interval, bool repeats, std::function<void(Timer&)> action)
        : m_interval(interval), m_repeats(repeats), m_action(std::move(action)) {}

    const double m_interval;
    const bool m_repeats;
    const std::function<void(Timer&)> m_action;
    std::atomic<bool> m_valid{true};
    double m_fireAt = 0;  // on the loop's clock; guarded by the loop's mutex
};

class RunLoop {
public:
    static RunLoop& main();

    // Queues `task` to run on the loop's thread at a later pass, after the tasks queued before it.
    void perform(std::function<void()> task);

    // A timer that fires `interval` seconds from now on the loop's clock, and every `interval`
    // seconds after that when it repeats (fires that a busy loop missed are skipped, not caught up).
    // A timer that does not repeat is invalidated once it has fired. Invalidating stops it.
    std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> action);

    // One pass: runs one queued task or one timer that is due, waiting up to `maxWaitSeconds` (real
    // time) for one. True when something ran. May be nested (a modal loop inside a task).
    bool runOnce(double maxWaitSeconds = 0);
    // Runs passes until `done()` answers true or `timeoutSeconds` of real time have passed; answers
    // what `done()` answers at the end.
    bool runUntil(const std::function<bool()>& done, double timeoutSeconds);
    // Runs passes until stop() is called.
    void run();
    void stop();

    // The clock that timers follow; null restores the steady clock.
    void setClock(std::shared_ptr<Clock> clock);
    double now() const;
    // Makes a waiting pass look again (a clock moved, a condition changed).
    void wake();

private:
    RunLoop();
    bool runOneItem();
    void waitForWork(double maxWaitSeconds);
    std::shared_ptr<Clock> clock() const;

    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<std::function<void()>> m_tasks;
    std::vector<std::shared_ptr<Timer>> m_timers;
    std::shared_ptr<Clock> m_clock;
    bool m_manualClock = false;
    unsigned long m_wakeups = 0;
    std::atomic<bool> m_stopRequested{false};
};

// Runs `task` on the main thread. Without waiting it is queued; waiting from a worker blocks until
// the main loop has run it (an exception it throws is rethrown here); waiting on the main thread
// runs it at once.
void performOnMainThread(std::function<void()> task, bool waitUntilDone);

}  // namespace qv
