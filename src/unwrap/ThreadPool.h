#pragma once
// A small fixed-size thread pool: a FIFO queue of tasks served by worker threads under one mutex and
// two condition variables, a wait for completion, and a shutdown that lets every queued task finish and
// joins every worker. A task that throws is contained: its worker keeps serving, and the first such
// exception is kept for the owner to collect. With no worker at all (none asked for, or none could be
// started) the thread that waits runs the queued tasks itself, so a wait always returns.
#include <boost/thread/condition_variable.hpp>
#include <boost/thread/mutex.hpp>
#include <boost/thread/thread.hpp>

#include <cstddef>
#include <deque>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

namespace threadpool {

using task_func = std::function<void()>;

// Starts a thread running body; throws boost::thread_resource_error when it cannot.
using thread_launcher = std::function<boost::thread(std::function<void()> body)>;

// Stack of a pool's worker threads.
constexpr std::size_t kWorkerStackSize = std::size_t(512) << 10;

boost::thread launch_thread(std::function<void()> body);

class fifo_scheduler {
public:
    bool push(task_func task) {
        m_queue.push_back(std::move(task));
        return true;
    }
    const task_func& top() const { return m_queue.front(); }
    void pop() { m_queue.pop_front(); }
    std::size_t size() const { return m_queue.size(); }
    bool empty() const { return m_queue.empty(); }
    void clear() { m_queue.clear(); }

private:
    std::deque<task_func> m_queue;
};

class pool_core : public std::enable_shared_from_this<pool_core> {
public:
    explicit pool_core(thread_launcher launcher);
    pool_core(const pool_core&) = delete;
    pool_core& operator=(const pool_core&) = delete;
    ~pool_core();

    // Sets the number of workers. False when the pool is shut down (only 0 is then accepted) or when a
    // thread could not be started; the pool keeps the workers it has.
    bool resize(std::size_t workers);
    bool schedule(task_func task);
    // Blocks until at most `pending` tasks are queued or running (0: none).
    void wait(std::size_t pending);
    // Waits for every task, stops the workers and joins them.
    void shutdown();

    std::size_t size() const;
    std::size_t active() const;
    std::size_t pending() const;
    // The first exception a task threw since the last call, or null.
    std::exception_ptr take_error();

private:
    bool execute_task();
    void run_task(const task_func& task);
    bool finished(std::size_t pending) const;
    void terminate_worker();

    std::size_t m_worker_count = 0;
    std::size_t m_target_worker_count = 0;
    std::size_t m_active_worker_count = 0;  // workers not waiting for a task
    bool m_running = true;
    fifo_scheduler m_scheduler;
    thread_launcher m_launcher;
    std::vector<boost::thread> m_threads;
    std::exception_ptr m_error;
    mutable boost::mutex m_monitor;
    boost::condition_variable m_worker_idle_or_terminated_event;
    boost::condition_variable m_task_or_terminate_workers_event;
};

// The handle. Copies share one pool; the last copy to go away shuts it down (waiting for every task).
class thread_pool {
public:
    explicit thread_pool(std::size_t workers, thread_launcher launcher = launch_thread);

    bool schedule(task_func task) { return m_core->schedule(std::move(task)); }
    void wait(std::size_t pending = 0) const { m_core->wait(pending); }
    bool resize(std::size_t workers) { return m_core->resize(workers); }
    std::size_t size() const { return m_core->size(); }
    std::size_t active() const { return m_core->active(); }
    std::size_t pending() const { return m_core->pending(); }
    std::exception_ptr take_error() { return m_core->take_error(); }

private:
    std::shared_ptr<pool_core> m_core;
    std::shared_ptr<void> m_shutdown;  // released last by the last copy: runs the shutdown
};

}  // namespace threadpool
