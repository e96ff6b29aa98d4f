#include "foundation/Process.h"

#include "foundation/BoundChild.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <system_error>
#include <thread>

extern char** environ;

namespace qv {

namespace {

using SteadyTime = std::chrono::steady_clock::time_point;

class SpawnSetup {
public:
    SpawnSetup() {
        posix_spawn_file_actions_init(&actions);
        posix_spawnattr_init(&attributes);
        // The child starts with no signal blocked and every signal at its default, whatever this
        // process did with them (a blocked SIGCHLD or an ignored SIGPIPE would be inherited).
        sigset_t none, all;
        sigemptyset(&none);
        sigfillset(&all);
        posix_spawnattr_setsigmask(&attributes, &none);
        posix_spawnattr_setsigdefault(&attributes, &all);
        posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    }
    ~SpawnSetup() {
        posix_spawn_file_actions_destroy(&actions);
        posix_spawnattr_destroy(&attributes);
    }
    SpawnSetup(const SpawnSetup&) = delete;
    SpawnSetup& operator=(const SpawnSetup&) = delete;

    // Descriptors other than 0 to 2 stay with us (most are close-on-exec already).
    void closeTheRest() {
#if defined(__GLIBC__) && (__GLIBC__ > 2 || (__GLIBC__ == 2 && __GLIBC_MINOR__ >= 34))
        posix_spawn_file_actions_addclosefrom_np(&actions, 3);
#endif
    }

    std::optional<pid_t> spawn(const std::string& program, const std::vector<std::string>& arguments) {
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(program.c_str()));
        for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
        argv.push_back(nullptr);
        pid_t pid = -1;
        bool searchPath = program.find('/') == std::string::npos;
        int error = searchPath ? posix_spawnp(&pid, program.c_str(), &actions, &attributes, argv.data(), environ)
                               : posix_spawn(&pid, program.c_str(), &actions, &attributes, argv.data(), environ);
        if (error != 0) return std::nullopt;
        return pid;
    }

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
};

int statusOf(int waitStatus) {
    if (WIFEXITED(waitStatus)) return WEXITSTATUS(waitStatus);
    if (WIFSIGNALED(waitStatus)) return 128 + WTERMSIG(waitStatus);
    return -1;
}

int waitFor(pid_t pid) {
    int status = 0;
    while (::waitpid(pid, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return statusOf(status);
}

// Milliseconds to the deadline for poll(): -1 without a deadline, never negative with one.
int pollTimeout(const std::optional<SteadyTime>& deadline) {
    if (!deadline) return -1;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(*deadline - std::chrono::steady_clock::now());
    return int(std::max<long long>(0, std::min<long long>(left.count(), 1000)));
}

bool pastDeadline(const std::optional<SteadyTime>& deadline) {
    return deadline && std::chrono::steady_clock::now() >= *deadline;
}

SteadyTime deadlineAfter(double seconds) {
    return std::chrono::steady_clock::now() +
           std::chrono::duration_cast<std::chrono::steady_clock::duration>(std::chrono::duration<double>(seconds));
}

// Waits for the child until the deadline. True when it has ended (its status is in the result) or
// can no longer be waited for; false at the deadline, the child still running.
bool finishesBy(pid_t pid, SteadyTime deadline, ProcessResult& result) {
    for (;;) {
        int status = 0;
        const pid_t done = ::waitpid(pid, &status, WNOHANG);
        if (done == pid) {
            result.exitStatus = statusOf(status);
            return true;
        }
        if (done < 0 && errno != EINTR) return true;
        if (pastDeadline(deadline)) return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

// Reads a child's merged output from `readEnd` to its end (closing it) and waits for the child. A
// positive `timeoutSeconds` kills a child that runs longer.
ProcessResult collectOutput(pid_t pid, int readEnd, double timeoutSeconds) {
    std::optional<SteadyTime> deadline;
    if (timeoutSeconds > 0) deadline = deadlineAfter(timeoutSeconds);

    ProcessResult result;
    char buffer[1 << 14];
    for (;;) {
        if (pastDeadline(deadline)) {
            result.timedOut = true;
            break;
        }
        struct pollfd ready = {readEnd, POLLIN, 0};
        int n = ::poll(&ready, 1, pollTimeout(deadline));
        if (n < 0 && errno != EINTR) break;
        if (n <= 0) continue;
        ssize_t count = ::read(readEnd, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) break;  // the child closed its end: it is ending
        result.output.append(buffer, std::size_t(count));
    }
    ::close(readEnd);

    // The output is complete; with a time-out the child still gets only what is left of it.
    if (!result.timedOut && deadline && finishesBy(pid, *deadline, result)) return result;
    if (deadline) result.timedOut = true;
    if (result.timedOut) ::kill(pid, SIGKILL);
    result.exitStatus = waitFor(pid);
    return result;
}

}  // namespace

std::optional<ProcessResult> runProcess(const std::string& program, const std::vector<std::string>& arguments,
                                        double timeoutSeconds) {
    int pipeEnds[2];
    if (::pipe2(pipeEnds, O_CLOEXEC) != 0) return std::nullopt;
    int readEnd = pipeEnds[0], writeEnd = pipeEnds[1];

    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd, 1);
    posix_spawn_file_actions_adddup2(&setup.actions, writeEnd, 2);
    setup.closeTheRest();
    std::optional<pid_t> pid = setup.spawn(program, arguments);
    ::close(writeEnd);
    if (!pid) {
        ::close(readEnd);
        return std::nullopt;
    }
    return collectOutput(*pid, readEnd, timeoutSeconds);
}

std::unique_ptr<StartedProcess> StartedProcess::start(const std::string& program, const std::vector<std::string>& arguments) {
    // The input is a socket rather than a pipe so that a write to a child that has gone fails
    // with an error (MSG_NOSIGNAL) instead of raising SIGPIPE in this process.
    int inputEnds[2], outputEnds[2];
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, inputEnds) != 0) return nullptr;
    if (::pipe2(outputEnds, O_CLOEXEC) != 0) {
        ::close(inputEnds[0]), ::close(inputEnds[1]);
        return nullptr;
    }
    // Kept open for a session, the child is bound to this process: it ends with it even when a
    // crash or a kill skips the destructor that would end it.
    std::optional<pid_t> pid = detail::startBoundChild(program, arguments, inputEnds[1], outputEnds[1]);
    ::close(inputEnds[1]);
    ::close(outputEnds[1]);
    if (!pid) {
        ::close(inputEnds[0]), ::close(outputEnds[0]);
        return nullptr;
    }
    // The child's input is only ever read, never written back.
    ::shutdown(inputEnds[0], SHUT_RD);
    return std::unique_ptr<StartedProcess>(new StartedProcess(*pid, inputEnds[0], outputEnds[0]));
}

StartedProcess::~StartedProcess() {
    if (m_finished) return;
    if (m_input >= 0) ::close(m_input);
    if (m_output >= 0) ::close(m_output);
    ::kill(m_pid, SIGKILL);
    waitFor(m_pid);
}

bool StartedProcess::write(std::string_view bytes) {
    if (m_input < 0) return false;
    while (!bytes.empty()) {
        const ssize_t sent = ::send(m_input, bytes.data(), bytes.size(), MSG_NOSIGNAL);
        if (sent < 0 && errno == EINTR) continue;
        if (sent <= 0) return false;
        bytes.remove_prefix(std::size_t(sent));
    }
    return true;
}

std::optional<std::string> StartedProcess::readUntil(std::string_view marker, double timeoutSeconds,
                                                    std::size_t maxBytes) {
    if (m_output < 0 || marker.empty()) return std::nullopt;
    std::optional<SteadyTime> deadline;
    if (timeoutSeconds > 0) deadline = deadlineAfter(timeoutSeconds);
    std::string text;
    char buffer[1 << 12];
    for (;;) {
        if (pastDeadline(deadline)) return std::nullopt;
        struct pollfd ready = {m_output, POLLIN, 0};
        const int n = ::poll(&ready, 1, pollTimeout(deadline));
        if (n < 0 && errno != EINTR) return std::nullopt;
        if (n <= 0) continue;
        const ssize_t count = ::read(m_output, buffer, sizeof buffer);
        if (count < 0 && errno == EINTR) continue;
        if (count <= 0) return std::nullopt;  // the child closed its end
        // Only the new bytes, with the marker's length less one before them, can complete it.
        const std::size_t from = text.size();
        text.append(buffer, std::size_t(count));
        const std::size_t found = text.find(marker, from < marker.size() ? 0 : from - marker.size() + 1);
        if (found != std::string::npos) return text.substr(0, found);
        if (text.size() > maxBytes) return std::nullopt;
    }
}

ProcessResult StartedProcess::finish(double timeoutSeconds) {
    if (m_finished) return ProcessResult{};
    m_finished = true;
    ::close(m_input);
    m_input = -1;
    const int output = m_output;
    m_output = -1;
    return collectOutput(m_pid, output, timeoutSeconds);
}

std::optional<ProcessResult> runProcessWithFiles(const std::string& program, const std::vector<std::string>& arguments,
                                                 int inputFd, int outputFd, double timeoutSeconds) {
    SpawnSetup setup;
    posix_spawn_file_actions_adddup2(&setup.actions, inputFd, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, outputFd, 1);
    posix_spawn_file_actions_addopen(&setup.actions, 2, "/dev/null", O_WRONLY, 0);
    setup.closeTheRest();
    std::optional<pid_t> pid = setup.spawn(program, arguments);
    if (!pid) return std::nullopt;

    ProcessResult result;
    if (timeoutSeconds > 0) {
        if (finishesBy(*pid, deadlineAfter(timeoutSeconds), result)) return result;
        result.timedOut = true;
        ::kill(*pid, SIGKILL);
    }
    result.exitStatus = waitFor(*pid);
    return result;
}

std::optional<pid_t> launchProcess(const std::string& program, const std::vector<std::string>& arguments) {
    SpawnSetup setup;
    posix_spawn_file_actions_addopen(&setup.actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&setup.actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_adddup2(&setup.actions, 1, 2);
    setup.closeTheRest();
    std::optional<pid_t> pid = setup.spawn(program, arguments);
    if (!pid) return std::nullopt;
    try {
        std::thread([child = *pid] { waitFor(child); }).detach();
    } catch (const std::system_error&) {
        std::fprintf(stderr, "cannot start a thread to wait for process %d\n", int(*pid));
    }
    return pid;
}

}  // namespace qv
