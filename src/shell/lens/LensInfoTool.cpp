#include "shell/lens/LensInfoTool.h"

#include <unistd.h>

#include <cstdlib>
#include <optional>

namespace shell {

namespace {

// The path as the tool's argument, made absolute: the tool kept open resolves a relative path
// from the folder it was started in, not from this process's current one; and a path beginning
// with "/" is read as a file both on a line of the tool's input (where a leading "#" would make a
// comment and leading white space would be removed) and on its command line (where a leading "-"
// would make an option).
std::string toolArgument(const std::string& path) {
    if (path.front() == '/') return path;
    std::unique_ptr<char, decltype(&std::free)> folder(::getcwd(nullptr, 0), &std::free);
    return (folder ? std::string(folder.get()) : std::string(".")) + "/" + path;
}

// The tool's input ends an argument at a line break and drops a carriage return at its end.
bool fitsOneLine(const std::string& argument) { return argument.find_first_of("\n\r") == std::string::npos; }

}  // namespace

LensInfoTool::LensInfoTool(std::string toolPath) : m_toolPath(std::move(toolPath)) { start(); }

void LensInfoTool::start() {
    m_process.reset();  // a tool that failed is ended before its successor starts
    m_process = qv::StartedProcess::start(m_toolPath, {"-stay_open", "True", "-@", "-"});
}

FocalRange LensInfoTool::read(const std::string& path, double timeoutSeconds) {
    if (path.empty()) return {};
    const std::string argument = toolArgument(path);
    if (!fitsOneLine(argument)) return readOnCommandLine(argument, timeoutSeconds);

    std::lock_guard<std::mutex> lock(m_mutex);
    // Each answer ends with the number of its request, so an answer of an earlier request is
    // never taken for this one.
    const std::string number = std::to_string(++m_lastRequest);
    const std::string request = "-lensinfo\n" + argument + "\n-execute" + number + "\n";
    // A tool that has gone since its last answer was not asked about this photo: a new one is.
    if (!m_process || !m_process->write(request)) {
        start();
        if (!m_process || !m_process->write(request)) {
            m_process.reset();
            return {};
        }
    }
    const std::optional<std::string> answer = m_process->readUntil("{ready" + number + "}\n", timeoutSeconds);
    if (!answer) {
        start();  // the failed tool is ended; its successor starts beside the caller's work
        return {};
    }
    return parseLensInfo(*answer);
}

FocalRange LensInfoTool::readOnCommandLine(const std::string& argument, double timeoutSeconds) const {
    const std::optional<qv::ProcessResult> result = qv::runProcess(m_toolPath, {"-lensinfo", argument}, timeoutSeconds);
    if (!result || result->timedOut || result->output.empty()) return {};
    return parseLensInfo(result->output);
}

}  // namespace shell
