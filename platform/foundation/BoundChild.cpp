#include "foundation/BoundChild.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <functional>
#include <mutex>
#include <system_error>
#include <thread>

#ifndef CLOSE_RANGE_CLOEXEC
#define CLOSE_RANGE_CLOEXEC (1U << 2)
#endif

namespace qv::detail {

namespace {

using Start = std::function<std::optional<pid_t>()>;

// The kernel sends a child its parent-death signal when the thread that started it ends, not the
// whole process: a tool started by a worker that then finishes would be killed under its owner.
// So every bound child is started by one thread that lasts as long as the process.
class Launcher {
public:
    // This process's launcher. A process made by fork() makes its own: the thread of its parent's
    // launcher does not exist in it.
    static Launcher& current() {
        static std::atomic<Launcher*> shared{nullptr};
        const pid_t self = ::getpid();
        for (;;) {
            Launcher* seen = shared.load();
            if (seen && seen->m_owner == self) return *seen;
            auto* made = new Launcher(self);
            if (shared.compare_exchange_strong(seen, made)) return *made;
            made->retire();  // another thread was first; this one's thread ends, the small object stays
        }
    }

    // Runs `start` on the launcher's thread, one start at a time, and answers what it answered.
    // Without a thread (none could be made) it runs on the caller's.
    std::optional<pid_t> run(Start start) {
        std::lock_guard<std::mutex> oneAtATime(m_callers);
        std::unique_lock<std::mutex> lock(m_mutex);
        if (m_inline) {
            lock.unlock();
            return start();
        }
        m_job = std::move(start);
        m_done = false;
        m_changed.notify_all();
        m_changed.wait(lock, [&] { return m_done; });
        return m_result;
    }

private:
    explicit Launcher(pid_t owner) : m_owner(owner) {
        try {
            std::thread([this] { serve(); }).detach();
        } catch (const std::system_error&) {
            m_inline = true;
        }
    }

    void serve() {
        std::unique_lock<std::mutex> lock(m_mutex);
        for (;;) {
            m_changed.wait(lock, [&] { return bool(m_job) || m_retired; });
            if (m_retired) return;
            const Start job = std::move(m_job);
            m_job = nullptr;
            lock.unlock();
            const std::optional<pid_t> result = job();
            lock.lock();
            m_result = result;
            m_done = true;
            m_changed.notify_all();
        }
    }

    void retire() {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_retired = true;
        m_changed.notify_all();
    }

    const pid_t m_owner;
    std::mutex m_callers;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    Start m_job;
    std::optional<pid_t> m_result;
    bool m_done = false;
    bool m_inline = false;
    bool m_retired = false;
};

// Puts `fd` on `target` in a forked child: a descriptor already there only loses its close-on-exec
// flag, which dup2 would leave set.
bool placeDescriptor(int fd, int target) {
    if (fd == target) return ::fcntl(fd, F_SETFD, 0) == 0;
    return ::dup2(fd, target) == target;
}

// Forks and executes the child, bound to the calling thread. Between fork and exec the child calls
// only what is safe in the child of a threaded process. An exec that fails reports its errno
// through a close-on-exec pipe, which an exec that works closes unwritten.
std::optional<pid_t> forkBound(const char* path, char* const* argv, int input, int output) {
    int report[2];
    if (::pipe2(report, O_CLOEXEC) != 0) return std::nullopt;
    const pid_t parent = ::getpid();
    const pid_t pid = ::fork();
    if (pid == 0) {
        struct sigaction byDefault = {};
        byDefault.sa_handler = SIG_DFL;
        for (int signal = 1; signal < NSIG; ++signal) ::sigaction(signal, &byDefault, nullptr);
        sigset_t none;
        sigemptyset(&none);
        ::sigprocmask(SIG_SETMASK, &none, nullptr);
        // A parent that ended before the binding took hold would never send the signal.
        if (::prctl(PR_SET_PDEATHSIG, SIGKILL) != 0 || ::getppid() != parent) ::_exit(127);
        if (placeDescriptor(input, 0) && placeDescriptor(output, 1) && placeDescriptor(output, 2)) {
            ::close_range(3, ~0U, CLOSE_RANGE_CLOEXEC);  // the rest, the report pipe too, close at exec
            ::execv(path, argv);
        }
        const int error = errno;
        [[maybe_unused]] const ssize_t written = ::write(report[1], &error, sizeof error);
        ::_exit(127);
    }
    ::close(report[1]);
    if (pid < 0) {
        ::close(report[0]);
        return std::nullopt;
    }
    int error = 0;
    ssize_t got;
    do got = ::read(report[0], &error, sizeof error);
    while (got < 0 && errno == EINTR);
    ::close(report[0]);
    if (got != 0) {  // the exec failed: the child has ended
        int status;
        while (::waitpid(pid, &status, 0) < 0 && errno == EINTR) {
        }
        return std::nullopt;
    }
    return pid;
}

}  // namespace

std::optional<pid_t> startBoundChild(const std::string& program, const std::vector<std::string>& arguments,
                                     int input, int output) {
    if (program.find('/') == std::string::npos) return std::nullopt;
    // Made here, before the fork: the child may not allocate.
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    return Launcher::current().run([&] { return forkBound(program.c_str(), argv.data(), input, output); });
}

}  // namespace qv::detail
