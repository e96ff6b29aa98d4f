#pragma once
// Child processes, started with an argument vector and never through a shell: a path with spaces,
// quotes or "$(...)" reaches the child as one argument, unchanged.
#include <memory>
#include <optional>
#include <string>
#include <string_view>
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

// A child started before all of its input is known: its standard input is a channel that the
// caller writes and then ends, and finish() reads its merged standard output and error to the end,
// as runProcess does. A child that serves request after request is written each request and read
// up to the end of its answer with readUntil(). A child not finished when the object goes is
// killed and waited for, so none is left behind; and it ends with this process too, however that
// ends (a crash or a kill skips the destructor).
class StartedProcess {
public:
    // `program` is a path (no PATH search). Nothing when it could not be started.
    static std::unique_ptr<StartedProcess> start(const std::string& program, const std::vector<std::string>& arguments);
    ~StartedProcess();
    StartedProcess(const StartedProcess&) = delete;
    StartedProcess& operator=(const StartedProcess&) = delete;

    // Sends bytes to the child's standard input: meant for a few lines (arguments, commands),
    // since a child that does not read would hold a large write. False when the child no longer
    // reads its input (it has ended, or finish() ended the input); writing to a child that has
    // gone never stops this process with a signal.
    bool write(std::string_view bytes);
    // Reads the child's merged output until `marker` comes, for a child that answers each request
    // written to it with a text that ends in a marker: the text before the marker. What came
    // after the marker is dropped, as it answers no request. Nothing when the output ends first
    // (the child has gone), when the marker has not come within a positive `timeoutSeconds` from
    // now, or after `maxBytes` without it; the child is left as it is.
    std::optional<std::string> readUntil(std::string_view marker, double timeoutSeconds,
                                         std::size_t maxBytes = std::size_t(1) << 20);
    // Ends the child's input, reads its output to the end and waits for it. A positive
    // `timeoutSeconds`, counted from now, kills a child that runs longer. Once only: later calls
    // give a result with exit status -1 and no output.
    ProcessResult finish(double timeoutSeconds = 0);
    pid_t processID() const { return m_pid; }

private:
    StartedProcess(pid_t pid, int input, int output) : m_pid(pid), m_input(input), m_output(output) {}
    pid_t m_pid;
    int m_input;   // our end of the child's standard input; -1 once ended
    int m_output;  // our end of the child's merged output; -1 once read
    bool m_finished = false;
};

// Starts `program` and leaves it: its input and output are /dev/null, and a thread of its own waits
// for it to end, so it never lingers as a zombie. The child's process id, or nothing when it could
// not be started.
std::optional<pid_t> launchProcess(const std::string& program, const std::vector<std::string>& arguments);

}  // namespace qv
