#pragma once
// The metadata tool's reading of a photo's lens information ("-lensinfo"). The tool spends most of
// its time starting (its interpreter and modules) and little reading a photo, so it is started
// before the photo it is to read exists, and takes its arguments from its input once the photo's
// path is known: its start-up then runs beside the work that makes the photo.
#include <memory>
#include <string>

#include "foundation/Process.h"
#include "shell/LensInfoText.h"

namespace shell {

class LensInfoTool {
public:
    // Starts the tool at `toolPath`, waiting for its arguments.
    explicit LensInfoTool(std::string toolPath);

    // The focal range in the lens information of the file at `path`; {0, 0} when the file tells
    // none, or the tool could not start, failed, or ran past `timeoutSeconds`. A tool reads once.
    FocalRange read(const std::string& path, double timeoutSeconds);

private:
    std::string m_toolPath;
    std::unique_ptr<qv::StartedProcess> m_process;
};

}  // namespace shell
