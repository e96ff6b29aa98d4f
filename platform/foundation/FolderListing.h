#pragma once
// Everything inside a folder, at every depth, as paths relative to it, in listing order: each
// folder's entries in the order listFolder gives them, a sub-folder's contents right after its own
// entry. Linked folders are listed but not entered, so a link back up cannot loop.
#include <optional>
#include <string>
#include <vector>

namespace qv::files {

// Nothing when the folder itself cannot be listed; a sub-folder that cannot be listed contributes
// its own entry only.
std::optional<std::vector<std::string>> subpathsOfFolder(const std::string& path);

}  // namespace qv::files
