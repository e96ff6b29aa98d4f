#pragma once
// Runs a program as an ordinary user. The tests run as root in CI, and root writes where a user may
// not (a read-only folder, a file of another user), so what a user's rights allow is tested in a
// child that has dropped to uid and gid 65534 ("nobody") with no supplementary groups, through
// util-linux's setpriv; a test run by an ordinary user runs the program as itself. The child gets
// a HOME and a temporary folder of its own, which it owns.
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace qvtest {

inline constexpr uid_t kUnprivilegedId = 65534;

// Hands a file or folder (not what is inside) to the unprivileged user.
inline bool handToUnprivilegedUser(const std::string& path) {
    return ::chown(path.c_str(), kUnprivilegedId, kUnprivilegedId) == 0;
}

// The program and arguments that run `program` with `arguments` as the unprivileged user, with
// `home` as its HOME and `temporary` as its TMPDIR (both handed to the user here).
struct UnprivilegedCommand {
    std::string program;
    std::vector<std::string> arguments;
};
inline UnprivilegedCommand asUnprivilegedUser(const std::string& program, const std::vector<std::string>& arguments,
                                              const std::string& home, const std::string& temporary) {
    UnprivilegedCommand command{"env", {}};
    if (::geteuid() == 0) {
        handToUnprivilegedUser(home);
        handToUnprivilegedUser(temporary);
        command.program = "setpriv";
        command.arguments = {"--reuid=" + std::to_string(kUnprivilegedId), "--regid=" + std::to_string(kUnprivilegedId),
                             "--clear-groups", "--", "env"};
    }
    for (const std::string& word : {"HOME=" + home, "TMPDIR=" + temporary, program}) command.arguments.push_back(word);
    command.arguments.insert(command.arguments.end(), arguments.begin(), arguments.end());
    return command;
}

}  // namespace qvtest
