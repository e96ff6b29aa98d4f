#include "foundation/RunLoop.h"

#include <algorithm>
#include <chrono>
#include <exception>
#include <limits>

#include "foundation/Assert.h"
#include "foundation/Threads.h"

namespace qv {

namespace {

class SteadyClock : public Clock {
public:
    double now() const override {
        return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
    }
};

// The shortest interval a repeating timer may have, so that one cannot spin the loop.
constexpr double kMinimumInterval = 1e-4;
// A wait never lasts longer than this, so runUntil notices conditions that changed without a wake.
constexpr double kLongestWaitSlice = 0.01;
// The longest single wait of run(); it goes round again after it.
constexpr double kLongestWait = 3600;

constexpr const char* kTaskFailed = "exception in work on the main thread";

}  // namespace

void ManualClock::advance(double seconds) {
    m_now.store(m_now.load() + seconds);
    RunLoop::main().wake();
}

RunLoop::RunLoop() : m_clock(std::make_shared<SteadyClock>()) {}

RunLoop& RunLoop::main() {
    static RunLoop* loop = new RunLoop;  // lives to the very end: worker threads may still post
    return *loop;
}

bool RunLoop::perform(std::function<void()> task) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_shutDown) return false;
        m_tasks.push_back(std::move(task));
    }
    m_changed.notify_all();
    if (RunLoopWaitHook* hook = m_hook.load()) hook->wake();
    return true;
}

std::shared_ptr<Timer> RunLoop::scheduleTimer(double interval, bool repeats, std::function<void(Timer&)> action) {
    std::shared_ptr<Timer> timer(new Timer(std::max(interval, kMinimumInterval), repeats, std::move(action)));
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        timer->m_fireAt = m_clock->now() + timer->m_interval;
        m_timers.push_back(timer);
    }
    m_changed.notify_all();
    if (RunLoopWaitHook* hook = m_hook.load()) hook->wake();
    return timer;
}

std::shared_ptr<Clock> RunLoop::clock() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_clock;
}

double RunLoop::now() const { return clock()->now(); }

void RunLoop::setClock(std::shared_ptr<Clock> clock) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        double before = m_clock->now();
        m_manualClock = clock != nullptr;
        m_clock = clock ? std::move(clock) : std::make_shared<SteadyClock>();
        // Timers keep the time they still had to run.
        double after = m_clock->now();
        for (auto& timer : m_timers) timer->m_fireAt += after - before;
    }
    m_changed.notify_all();
}

void RunLoop::wake() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        ++m_wakeups;
    }
    m_changed.notify_all();
    if (RunLoopWaitHook* hook = m_hook.load()) hook->wake();
}

void RunLoop::setWaitHook(RunLoopWaitHook* hook) {
    QVAssert(isMainThread(), "the wait hook is set on the main thread");
    m_hook.store(hook);
}

void RunLoop::waitForEvents(double seconds) {
    if (seconds <= 0) return;
    if (RunLoopWaitHook* hook = m_hook.load()) {
        hook->wait(seconds);
        return;
    }
    std::unique_lock<std::mutex> lock(m_mutex);
    unsigned long wakeups = m_wakeups;
    m_changed.wait_for(lock, std::chrono::duration<double>(std::min(seconds, kLongestWait)),
                       [&] { return m_wakeups != wakeups; });
}

void RunLoop::shutDown() {
    QVAssert(isMainThread(), "the main run loop shuts down on the main thread");
    for (;;) {
        std::function<void()> task;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            if (m_tasks.empty()) {
                m_shutDown = true;
                return;
            }
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        }
        runReportingExceptions(kTaskFailed, task);
    }
}

void RunLoop::reopen() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_shutDown = false;
}

bool RunLoop::isShutDown() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_shutDown;
}

bool RunLoop::runOneItem() {
    std::function<void()> task;
    std::shared_ptr<Timer> due;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_timers.erase(std::remove_if(m_timers.begin(), m_timers.end(), [](auto& t) { return !t->isValid(); }),
                       m_timers.end());
        if (!m_tasks.empty()) {
            task = std::move(m_tasks.front());
            m_tasks.pop_front();
        } else {
            double now = m_clock->now();
            for (auto& timer : m_timers) {
                if (timer->m_fireAt <= now && (!due || timer->m_fireAt < due->m_fireAt)) due = timer;
            }
            if (due && due->m_repeats) {
                while (due->m_fireAt <= now) due->m_fireAt += due->m_interval;
            } else if (due) {
                // Not due again, should its action run a nested loop; it is invalidated afterwards.
                due->m_fireAt = std::numeric_limits<double>::infinity();
            }
        }
    }
    if (task) {
        runReportingExceptions(kTaskFailed, task);
        return true;
    }
    if (!due) return false;
    runReportingExceptions(kTaskFailed, [&] { due->m_action(*due); });
    if (!due->m_repeats) due->invalidate();
    return true;
}

void RunLoop::waitForWork(double maxWaitSeconds) {
    std::unique_lock<std::mutex> lock(m_mutex);
    if (!m_tasks.empty()) return;
    double wait = std::min(maxWaitSeconds, kLongestWait);
    if (!m_manualClock) {
        double now = m_clock->now();
        for (auto& timer : m_timers) {
            if (timer->isValid()) wait = std::min(wait, timer->m_fireAt - now);
        }
    }
    if (wait <= 0) return;
    if (RunLoopWaitHook* hook = m_hook.load()) {
        // A task queued after the unlock wakes the hook, whose wake is kept until its next wait.
        lock.unlock();
        hook->wait(wait);
        return;
    }
    unsigned long wakeups = m_wakeups;
    std::size_t timers = m_timers.size();
    m_changed.wait_for(lock, std::chrono::duration<double>(wait),
                       [&] { return !m_tasks.empty() || m_wakeups != wakeups || m_timers.size() != timers; });
}

bool RunLoop::runOnce(double maxWaitSeconds) {
    QVAssert(isMainThread(), "the main run loop runs on the main thread only");
    // Native events waiting are served at every pass, so a busy loop does not starve the window.
    if (RunLoopWaitHook* hook = m_hook.load()) hook->poll();
    if (runOneItem()) return true;
    if (maxWaitSeconds <= 0) return false;
    waitForWork(maxWaitSeconds);
    return runOneItem();
}

bool RunLoop::runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
    while (!done()) {
        double remaining = std::chrono::duration<double>(deadline - std::chrono::steady_clock::now()).count();
        if (remaining <= 0) return done();
        runOnce(std::min(remaining, kLongestWaitSlice));
    }
    return true;
}

void RunLoop::run() {
    while (!m_stopRequested.exchange(false)) runOnce(kLongestWait);
}

void RunLoop::stop() {
    m_stopRequested = true;
    wake();
}

void performOnMainThread(std::function<void()> task, bool waitUntilDone) {
    if (!waitUntilDone) {
        RunLoop::main().perform(std::move(task));
        return;
    }
    if (isMainThread()) {
        task();
        return;
    }
    struct Completion {
        std::mutex mutex;
        std::condition_variable done;
        bool finished = false;
        std::exception_ptr error;
    };
    auto completion = std::make_shared<Completion>();
    const bool queued = RunLoop::main().perform([completion, task = std::move(task)] {
        try {
            task();
        } catch (...) {
            completion->error = std::current_exception();
        }
        {
            std::lock_guard<std::mutex> lock(completion->mutex);
            completion->finished = true;
        }
        completion->done.notify_all();
    });
    if (!queued) return;  // the loop has shut down: nothing would ever run it
    std::unique_lock<std::mutex> lock(completion->mutex);
    completion->done.wait(lock, [&] { return completion->finished; });
    if (completion->error) std::rethrow_exception(completion->error);
}

}  // namespace qv
