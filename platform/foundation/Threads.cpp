#include "foundation/Threads.h"

#include <sys/types.h>
#include <unistd.h>

#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <list>
#include <mutex>
#include <system_error>
#include <thread>

#include "foundation/Assert.h"
#include "foundation/RunLoop.h"

namespace qv {

namespace {

// A worker and whether its body has ended. The thread is joined once it has: only then has it
// left the process, so that nothing still winds down beside a shut-down or a leak check at exit.
struct Worker {
    std::thread thread;
    bool ended = false;
};

struct Registry {
    std::mutex mutex;
    std::condition_variable ended;
    std::size_t running = 0;
    std::list<Worker> workers;  // nodes stay put, so a worker can mark its own entry
};

Registry& registry() {
    static Registry* instance = new Registry;  // outlives every thread, even at exit
    return *instance;
}

void threadEnded(Worker& worker) {
    Registry& r = registry();
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        worker.ended = true;
        --r.running;
    }
    r.ended.notify_all();
    RunLoop::main().wake();
}

// Takes the workers whose bodies have ended out of the registry and joins them, outside the lock
// (a joined thread may still be running its last steps, which take no lock).
void joinEndedWorkers() {
    Registry& r = registry();
    std::list<Worker> ended;
    {
        std::lock_guard<std::mutex> lock(r.mutex);
        for (auto it = r.workers.begin(); it != r.workers.end();) {
            auto next = std::next(it);
            if (it->ended && it->thread.get_id() != std::this_thread::get_id()) ended.splice(ended.end(), r.workers, it);
            it = next;
        }
    }
    for (Worker& worker : ended) worker.thread.join();
}

}  // namespace

bool isMainThread() { return ::gettid() == ::getpid(); }

bool detachThread(std::function<void()> body) {
    joinEndedWorkers();
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    Worker& worker = r.workers.emplace_back();
    try {
        // The worker marks itself ended under the lock held here, so it cannot do so before its
        // thread object is stored.
        worker.thread = std::thread([&worker, body = std::move(body)] {
            runReportingExceptions("worker thread ended by an exception", body);
            threadEnded(worker);
        });
    } catch (const std::system_error& e) {
        std::fprintf(stderr, "cannot start a worker thread: %s\n", e.what());
        r.workers.pop_back();
        return false;
    }
    ++r.running;
    return true;
}

std::size_t detachedThreadCount() {
    Registry& r = registry();
    std::lock_guard<std::mutex> lock(r.mutex);
    return r.running;
}

bool waitForDetachedThreads(double timeoutSeconds) {
    bool allEnded;
    if (isMainThread()) {
        allEnded = RunLoop::main().runUntil([] { return detachedThreadCount() == 0; }, timeoutSeconds);
    } else {
        Registry& r = registry();
        std::unique_lock<std::mutex> lock(r.mutex);
        allEnded = r.ended.wait_for(lock, std::chrono::duration<double>(timeoutSeconds), [&] { return r.running == 0; });
    }
    joinEndedWorkers();
    return allEnded;
}

}  // namespace qv
