#include "OrdinaryUser.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qvtest {
namespace {

constexpr uid_t kNobody = 65534;
constexpr uid_t kSomeoneElse = 65533;

bool isRoot() { return ::geteuid() == 0; }

// Gives up root for the ordinary user, for good: groups first, then the group, then the user.
bool becomeOrdinaryUser() {
    if (!isRoot()) return true;
    return ::setgroups(0, nullptr) == 0 && ::setgid(kNobody) == 0 && ::setuid(kNobody) == 0 && ::setuid(0) != 0;
}

int exitStatusOf(int status) {
    if (WIFEXITED(status)) return WEXITSTATUS(status);
    if (WIFSIGNALED(status)) return 128 + WTERMSIG(status);
    return -1;
}

}  // namespace

uid_t ordinaryUserID() { return isRoot() ? kNobody : ::geteuid(); }

std::optional<uid_t> otherUserID() {
    if (!isRoot()) return std::nullopt;
    return kSomeoneElse;
}

bool giveToOrdinaryUser(const std::string& path) {
    const uid_t user = ordinaryUserID();
    const gid_t group = isRoot() ? kNobody : ::getegid();
    bool ok = ::lchown(path.c_str(), user, group) == 0;
    std::error_code failed;
    for (auto it = std::filesystem::recursive_directory_iterator(path, failed);
         !failed && it != std::filesystem::recursive_directory_iterator(); it.increment(failed))
        ok = ::lchown(it->path().c_str(), user, group) == 0 && ok;
    return ok && !failed;
}

bool giveToOtherUser(const std::string& path) {
    const auto other = otherUserID();
    return other && ::lchown(path.c_str(), *other, *other) == 0;
}

bool runAsOrdinaryUser(const std::function<void()>& work) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0) return false;
    if (child == 0) {
        int status = 3;
        if (becomeOrdinaryUser()) {
            work();
            status = testing::Test::HasFailure() ? 1 : 0;
        } else {
            std::fprintf(stderr, "cannot become the ordinary user\n");
        }
        std::fflush(nullptr);
        ::_exit(status);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    return exitStatusOf(status) == 0;
}

qv::ProcessResult runProgramAsOrdinaryUser(const std::string& program, const std::vector<std::string>& arguments,
                                           unsigned timeoutSeconds) {
    qv::ProcessResult result;
    int channel[2];
    if (::pipe2(channel, O_CLOEXEC) != 0) return result;
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child == 0) {
        // Only async-signal-safe calls from here to the exec: the test process may have threads.
        const int nothing = ::open("/dev/null", O_RDONLY);
        if (nothing < 0 || ::dup2(nothing, 0) < 0 || ::dup2(channel[1], 1) < 0 || ::dup2(channel[1], 2) < 0 ||
            !becomeOrdinaryUser())
            ::_exit(126);
        ::alarm(timeoutSeconds);  // stays set across the exec: a program that hangs is ended
        ::execv(program.c_str(), argv.data());
        ::_exit(127);
    }
    ::close(channel[1]);
    if (child < 0) {
        ::close(channel[0]);
        return result;
    }
    char buffer[4096];
    for (;;) {
        const ssize_t n = ::read(channel[0], buffer, sizeof buffer);
        if (n > 0) result.output.append(buffer, std::size_t(n));
        else if (n == 0 || errno != EINTR) break;
    }
    ::close(channel[0]);
    int status = 0;
    while (::waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    result.exitStatus = exitStatusOf(status);
    result.timedOut = WIFSIGNALED(status) && WTERMSIG(status) == SIGALRM;
    return result;
}

}  // namespace qvtest
