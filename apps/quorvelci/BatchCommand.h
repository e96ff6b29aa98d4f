#pragma once
// quorvelci batch: fills the batch sheet as a person would (sources through the add panel, the
// sub-folder boxes, the correction mode, the preset, the output type, the name parts, the
// destination or replace choice, the fisheye fields) and starts the run, printing one line per
// photo on the standard output and the progress on the standard error stream.
#include <optional>
#include <string>
#include <vector>

#include "shell/batch/BatchNaming.h"

namespace frontend {

struct BatchRequest {
    std::vector<std::string> sources;
    std::optional<std::string> destination;  // none: replace the sources
    bool subFolders = false;
    int mode = 0;                            // the correction radio's row: 0 auto, 1 current, 2 preset
    std::string preset;
    int type = 0;                            // the output type's code
    batch::NameParts name{batch::NamePart::token(batch::NameToken::FileName),
                          batch::NamePart::token(batch::NameToken::Nothing),
                          batch::NamePart::token(batch::NameToken::Nothing),
                          batch::NamePart::token(batch::NameToken::Nothing)};
    bool fisheye = false;
    std::vector<std::pair<std::string, std::string>> fisheyeFields;  // option name, typed value
};

// Reads the arguments after "batch"; nothing, with the reason, when they are not well formed.
std::optional<BatchRequest> parseBatch(const std::vector<std::string>& arguments, std::string* error);
std::string batchHelp();

// Runs the request; 0 when every photo was written (unreadable files are skipped), 1 otherwise.
int runBatch(const BatchRequest& request);

}  // namespace frontend
