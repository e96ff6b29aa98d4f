#include "unwrap/ThreadPool.h"

#include <utility>

namespace threadpool {

using lock_t = boost::unique_lock<boost::mutex>;

boost::thread launch_thread(std::function<void()> body) {
    // Band tasks need little stack. A small one keeps the C library's cache of thread stacks able to
    // hold every worker's, so that starting a pool maps no memory and ending it unmaps none (unmapping
    // stalls every core the process runs on).
    boost::thread::attributes attributes;
    attributes.set_stack_size(kWorkerStackSize);
    return boost::thread(attributes, std::move(body));
}

pool_core::pool_core(thread_launcher launcher) : m_launcher(std::move(launcher)) {}

pool_core::~pool_core() {
    // Normally every thread was joined by shutdown(); one that ended the pool from inside a task
    // could not join itself and was detached there.
    for (boost::thread& t : m_threads)
        if (t.joinable()) t.detach();
}

bool pool_core::resize(std::size_t workers) {
    lock_t lock(m_monitor);
    if (!m_running && workers != 0) return false;
    m_target_worker_count = workers;
    if (m_worker_count > m_target_worker_count) {
        m_task_or_terminate_workers_event.notify_all();
        return true;
    }
    while (m_worker_count < m_target_worker_count) {
        // Counted before it starts, so that nobody takes the pool for one without workers meanwhile;
        // started without the lock, so that the workers started so far can already take tasks.
        ++m_worker_count;
        ++m_active_worker_count;
        try {
            m_threads.reserve(m_threads.size() + 1);  // no allocation once the thread runs
            std::shared_ptr<pool_core> self = shared_from_this();  // the worker keeps the core alive
            lock.unlock();
            boost::thread worker = m_launcher([self] {
                while (self->execute_task()) {
                }
            });
            lock.lock();
            m_threads.push_back(std::move(worker));
        } catch (...) {  // boost::thread_resource_error, or no memory for the thread's state
            if (!lock.owns_lock()) lock.lock();
            --m_worker_count;
            --m_active_worker_count;
            m_target_worker_count = m_worker_count;
            m_worker_idle_or_terminated_event.notify_all();
            return false;
        }
    }
    return true;
}

bool pool_core::schedule(task_func task) {
    lock_t lock(m_monitor);
    if (!m_scheduler.push(std::move(task))) return false;
    m_task_or_terminate_workers_event.notify_one();
    return true;
}

bool pool_core::finished(std::size_t pending) const {
    if (pending == 0) return m_active_worker_count == 0 && m_scheduler.empty();
    return m_active_worker_count + m_scheduler.size() <= pending;
}

void pool_core::wait(std::size_t pending) {
    lock_t lock(m_monitor);
    while (!finished(pending)) {
        if (m_worker_count == 0 && !m_scheduler.empty()) {
            // Nobody else will run it.
            task_func task = m_scheduler.top();
            m_scheduler.pop();
            ++m_active_worker_count;
            lock.unlock();
            run_task(task);
            lock.lock();
            --m_active_worker_count;
            continue;
        }
        m_worker_idle_or_terminated_event.wait(lock);
    }
}

void pool_core::run_task(const task_func& task) {
    if (!task) return;
    try {
        task();
    } catch (...) {
        lock_t lock(m_monitor);
        if (!m_error) m_error = std::current_exception();
    }
}

void pool_core::terminate_worker() {
    --m_worker_count;
    --m_active_worker_count;
    m_worker_idle_or_terminated_event.notify_all();
}

bool pool_core::execute_task() {
    task_func task;
    {
        lock_t lock(m_monitor);
        if (m_worker_count > m_target_worker_count) {
            terminate_worker();
            return false;
        }
        while (m_scheduler.empty()) {
            if (m_worker_count > m_target_worker_count) {
                terminate_worker();
                return false;
            }
            --m_active_worker_count;
            m_worker_idle_or_terminated_event.notify_all();
            m_task_or_terminate_workers_event.wait(lock);
            ++m_active_worker_count;
        }
        task = m_scheduler.top();
        m_scheduler.pop();
        // One task fewer queued: a wait for "at most n pending" may now be over.
        m_worker_idle_or_terminated_event.notify_all();
    }
    run_task(task);
    return true;
}

void pool_core::shutdown() {
    wait(0);
    std::vector<boost::thread> threads;
    {
        lock_t lock(m_monitor);
        m_running = false;
        m_target_worker_count = 0;
        m_task_or_terminate_workers_event.notify_all();
        threads.swap(m_threads);
    }
    for (boost::thread& t : threads) {
        if (t.get_id() == boost::this_thread::get_id())
            t.detach();
        else if (t.joinable())
            t.join();
    }
}

std::size_t pool_core::size() const {
    lock_t lock(m_monitor);
    return m_worker_count;
}

std::size_t pool_core::active() const {
    lock_t lock(m_monitor);
    return m_active_worker_count;
}

std::size_t pool_core::pending() const {
    lock_t lock(m_monitor);
    return m_scheduler.size();
}

std::exception_ptr pool_core::take_error() {
    lock_t lock(m_monitor);
    return std::exchange(m_error, nullptr);
}

thread_pool::thread_pool(std::size_t workers, thread_launcher launcher)
    : m_core(std::make_shared<pool_core>(std::move(launcher))) {
    pool_core* core = m_core.get();
    m_shutdown = std::shared_ptr<void>(static_cast<void*>(core), [core](void*) { core->shutdown(); });
    m_core->resize(workers);
}

}  // namespace threadpool
