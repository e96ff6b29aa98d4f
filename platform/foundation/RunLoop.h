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

// A window system's event loop served inside the run loop's waits, so that its events and the
// loop's own tasks and timers are handled on the one main thread without either polling the other.
class RunLoopWaitHook {
public:
    virtual ~RunLoopWaitHook() = default;
    // Handles the native events already waiting, without blocking.
    virtual void poll() = 0;
    // Blocks for native events, up to `seconds` of real time or until wake(), handling those
    // that come.
    virtual void wait(double seconds) = 0;
    // Ends a wait at once or, when none is going, the next one; called from any thread.
    virtual void wake() = 0;
};

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
    // Answers false, dropping the task, once the loop has shut down.
    bool perform(std::function<void()> task);

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

    // The window system's loop to serve while waiting; null waits on the loop alone. Set on the
    // main thread while the loop is not waiting; the hook must outlive its installation.
    void setWaitHook(RunLoopWaitHook* hook);
    RunLoopWaitHook* waitHook() const { return m_hook.load(); }
    // Waits as a pass does, up to `seconds`, serving the hook's events when there is one; for
    // loops of the window layer that wait for something other than tasks (the next input event).
    void waitForEvents(double seconds);

    // At shutdown: runs the queued tasks until none is left, then takes no more. A worker that
    // waits on a task queued after that is released at once without it running, so none blocks
    // for ever on a loop that has stopped.
    void shutDown();
    bool isShutDown() const;
    void reopen();  // takes tasks again after a shutdown (a new session in the same process)

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
    std::atomic<RunLoopWaitHook*> m_hook{nullptr};
    bool m_shutDown = false;  // m_mutex
};

// Runs `task` on the main thread. Without waiting it is queued; waiting from a worker blocks until
// the main loop has run it (an exception it throws is rethrown here); waiting on the main thread
// runs it at once. Once the loop has shut down the task is dropped and nothing waits.
void performOnMainThread(std::function<void()> task, bool waitUntilDone);

}  // namespace qv
