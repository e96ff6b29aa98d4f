#include "foundation/FolderListing.h"

#include <sys/stat.h>

#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace qv::files {
namespace {

bool isRealFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

void appendContents(const std::string& folder, const std::string& prefix, std::vector<std::string>& out) {
    const auto names = listFolder(folder);
    if (!names) return;
    for (const std::string& name : *names) {
        const std::string relative = prefix.empty() ? name : prefix + "/" + name;
        out.push_back(relative);
        const std::string full = paths::appendingPathComponent(folder, name);
        if (isRealFolder(full)) appendContents(full, relative, out);
    }
}

}  // namespace

std::optional<std::vector<std::string>> subpathsOfFolder(const std::string& path) {
    if (!listFolder(path)) return std::nullopt;
    std::vector<std::string> out;
    appendContents(path, "", out);
    return out;
}

}  // namespace qv::files
