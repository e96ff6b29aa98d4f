#pragma once
// The fisheye command's long-lived worker: one thread, started by the first request and kept for
// the owner's life, that sleeps on a condition variable until a request is handed to it. Requests
// are values taken on the main thread; one handed over while another runs waits its turn, none is
// dropped. Destruction stops the thread and joins it: a request already running finishes, the ones
// still waiting are abandoned.
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>

#include "shell/unwrap/UnwrapRequest.h"

namespace shell {

class UnwrapWorker {
public:
    // `run` carries one request out on the worker thread.
    explicit UnwrapWorker(std::function<void(const UnwrapRequest&)> run);
    ~UnwrapWorker();
    UnwrapWorker(const UnwrapWorker&) = delete;
    UnwrapWorker& operator=(const UnwrapWorker&) = delete;

    // Queues a request, starting the thread when there is none yet. False when the thread could
    // not be started (the request is then not queued).
    bool submit(UnwrapRequest request);
    // Whether the thread was started.
    bool started() const;
    // Requests queued or running.
    std::size_t outstanding() const;

private:
    void serve();

    std::function<void(const UnwrapRequest&)> m_run;
    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<UnwrapRequest> m_queue;
    bool m_running = false;  // a request is being carried out
    bool m_stop = false;
    std::thread m_thread;
};

}  // namespace shell
