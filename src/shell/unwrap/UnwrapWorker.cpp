#include "shell/unwrap/UnwrapWorker.h"

#include <system_error>
#include <utility>

namespace shell {

UnwrapWorker::UnwrapWorker(std::function<void(const UnwrapRequest&)> run) : m_run(std::move(run)) {}

UnwrapWorker::~UnwrapWorker() {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_queue.clear();
    }
    m_wake.notify_all();
    if (m_thread.joinable()) m_thread.join();
}

bool UnwrapWorker::submit(UnwrapRequest request) {
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        if (m_stop) return false;
        if (!m_thread.joinable()) {
            try {
                m_thread = std::thread([this] { serve(); });
            } catch (const std::system_error&) {
                return false;
            }
        }
        m_queue.push_back(std::move(request));
    }
    m_wake.notify_one();
    return true;
}

bool UnwrapWorker::started() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_thread.joinable();
}

std::size_t UnwrapWorker::outstanding() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size() + (m_running ? 1 : 0);
}

void UnwrapWorker::serve() {
    std::unique_lock<std::mutex> lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stop || !m_queue.empty(); });
        if (m_stop) return;
        UnwrapRequest request = std::move(m_queue.front());
        m_queue.pop_front();
        m_running = true;
        lock.unlock();
        try {
            m_run(request);
        } catch (...) {
            // The run reports its own failures; nothing it throws may end the worker.
        }
        lock.lock();
        m_running = false;
    }
}

}  // namespace shell
