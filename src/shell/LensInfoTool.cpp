#include "shell/LensInfoTool.h"

#include <optional>

namespace shell {

namespace {

// The tool reads one argument per line from its input, removes white space at the start of a line
// and skips lines that begin with "#"; a path it would read otherwise goes on its command line.
bool fitsOneInputLine(const std::string& path) {
    if (path.empty() || path.front() == '#' || path.find_first_of("\n\r") != std::string::npos) return false;
    return path.find_first_of(" \t\f\v") != 0;
}

}  // namespace

LensInfoTool::LensInfoTool(std::string toolPath)
    : m_toolPath(std::move(toolPath)), m_process(qv::StartedProcess::start(m_toolPath, {"-@", "-"})) {}

FocalRange LensInfoTool::read(const std::string& path, double timeoutSeconds) {
    if (!m_process) return {};
    std::optional<qv::ProcessResult> result;
    if (fitsOneInputLine(path) && m_process->write("-lensinfo\n" + path + "\n")) {
        result = m_process->finish(timeoutSeconds);
    } else {
        result = qv::runProcess(m_toolPath, {"-lensinfo", path}, timeoutSeconds);
    }
    m_process.reset();
    if (!result || result->timedOut || result->output.empty()) return {};
    return parseLensInfo(result->output);
}

}  // namespace shell
