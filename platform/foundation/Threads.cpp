#include "foundation/Threads.h"

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/Assert.h"
#include "foundation/RunLoop.h"

namespace qv {

namespace {

struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = 0;
};

Registry& registry() {
    static Registry* instance = new Registry;  // outlives every thread, even at exit
    return *instance;
}

void threadEnded() {
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        --r.running;
    }
    r.ended.notify_all();
    RunLoop::main().wake();
}

}  // namespace

bool isMainThread() { return ::gettid() == ::getpid(); }

bool detachThread(std::function<void()> body) {
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        ++r.running;
    }
    try {
        std::thread([body = std::move(body)] {
            runReportingExceptions("worker thread ended by an exception", body);
            threadEnded();
        }).detach();
        return true;
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "cannot start a worker thread: %s\n", e.what());
        std::lock_guard<std::mutex> lock(r.mutex);
        --r.running;
        return false;
    }
}

std::size_t detachedThreadCount() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.running;
}

bool waitForDetachedThreads(double timeoutSeconds) {
    if (isMainThread()) {
        return RunLoop::main().runUntil([] { return detachedThreadCount() == 0; }, timeoutSeconds);
    }
    Registry& r = registry();
    std::unique_lock<std::mutex> lock(r.mutex);
    return r.ended.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return r.running == 0; });
}

}  // namespace qv
