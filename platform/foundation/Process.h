#pragma once
// Child processes, started with an argument vector and never through a shell: a path with spaces,
// quotes or "$(...)" reaches the child as one argument, unchanged.
#include <optional>
#include <string>
#include <sys/types.h>
#include <vector>

namespace qv {

struct ProcessResult {
    int exitStatus = -1;   // the exit code; 128 + the signal's number when a signal ended the child
    bool timedOut = false;  // the child was killed because it ran past the time-out
    std::string output;     // standard output and standard error as they came, in one stream
};

// Runs `program` (a path, or a name searched in PATH when it has no slash) with `arguments`, reads
// its merged standard output and error to the end and waits for it. Its standard input is
// /dev/null. A positive `timeoutSeconds` kills a child that runs longer. Nothing when it could not
// be started.
std::optional<ProcessResult> runProcess(const std::string& program, const std::vector<std::string>& arguments,
                                        double timeoutSeconds = 0);

// Runs `program` with `inputFd` as its standard input and `outputFd` as its standard output
// (descriptors the caller owns and keeps; its standard error goes to /dev/null) and waits for it.
// A positive `timeoutSeconds` kills a child that runs longer. The result's output stays empty: what
// the child wrote is in the caller's file. Nothing when it could not be started.
std::optional<ProcessResult> runProcessWithFiles(const std::string& program, const std::vector<std::string>& arguments,
                                                 int inputFd, int outputFd, double timeoutSeconds = 0);

// Starts `program` and leaves it: its input and output are /dev/null, and a thread of its own waits
// for it to end, so it never lingers as a zombie. The child's process id, or nothing when it could
// not be started.
std::optional<pid_t> launchProcess(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace qv
