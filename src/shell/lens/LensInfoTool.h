#pragma once
// The metadata tool kept running to read photos' lens information ("-lensinfo"). The tool spends
// most of its time starting (its interpreter and modules) and little reading a photo, so one tool
// serves every photo of a session: it stays open, takes each request's arguments from its input,
// one per line, and ends each answer with a numbered "{ready}" line.
//
// A tool that cannot start, dies, hangs past the time-out or answers out of turn is ended, and a
// new one is started at once for the next photo; the photo it was asked about reads no range.
#include <memory>
#include <mutex>
#include <string>

#include "foundation/Process.h"
#include "shell/lens/LensInfoText.h"

namespace shell {

class LensInfoTool {
public:
    // Starts the tool at `toolPath`, waiting for its first request.
    explicit LensInfoTool(std::string toolPath);
    LensInfoTool(const LensInfoTool&) = delete;
    LensInfoTool& operator=(const LensInfoTool&) = delete;

    // The focal range in the lens information of the file at `path`; {0, 0} when the file tells
    // none, or the tool could not start, failed, or gave no answer within `timeoutSeconds`. Any
    // thread may ask; requests are answered one at a time.
    FocalRange read(const std::string& path, double timeoutSeconds);

private:
    void start();
    // A path that no argument line can carry (a line break in it) goes on the command line of a
    // tool of its own, as a reading of one photo.
    FocalRange readOnCommandLine(const std::string& argument, double timeoutSeconds) const;

    const std::string m_toolPath;
    std::mutex m_mutex;
    std::unique_ptr<qv::StartedProcess> m_process;
    unsigned long m_lastRequest = 0;
};

}  // namespace shell
