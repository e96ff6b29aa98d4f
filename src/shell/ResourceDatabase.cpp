#include "shell/ResourceDatabase.h"

#include <cstdio>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "shell/SupportFolder.h"

namespace shell {
namespace {

// The folder paths without their trailing slash, so that a file standing in their place is seen
// as a file.
std::string withoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

void copyWhenMissing(const std::optional<std::string>& bundled, const std::string& installed) {
    if (bundled) qv::files::copyItem(*bundled, installed);
}

}  // namespace

std::string installedDatabasePath() { return qv::paths::supportFolder() + kResourceDatabaseFileName; }

ResourceDatabaseInstall installResourceDatabase(const std::optional<std::string>& bundled) {
    using namespace qv::files;
    const std::string maker = withoutTrailingSlash(qv::paths::makerFolder());
    const std::string support = withoutTrailingSlash(qv::paths::supportFolder());
    const std::string installed = installedDatabasePath();
    ResourceDatabaseInstall result;

    if (exists(maker)) {
        if (!isFolder(maker)) return result;
    } else if (!createFolder(maker, true)) {
        // The folders above it ("Library/Application Support") need not exist in a new home here.
        return result;
    }
    if (exists(support)) {
        if (!isFolder(support)) return result;
        result.usable = true;
        if (exists(installed))
            result.existed = true;
        else
            copyWhenMissing(bundled, installed);
        return result;
    }
    if (!createFolder(support)) return result;
    result.usable = true;
    copyWhenMissing(bundled, installed);
    return result;
}

bool bundledDatabaseIsNewer(const std::string& bundled, const std::string& installed) {
    auto bundledDate = qv::files::modificationDate(bundled);
    auto installedDate = qv::files::modificationDate(installed);
    return bundledDate && installedDate &&
           bundledDate->secondsSinceReferenceDate > installedDate->secondsSinceReferenceDate;
}

bool replaceInstalledDatabase(const std::string& bundled, const std::string& installed) {
    // The temporary name has an extension the support-folder sweep removes, so a copy left behind
    // by an interrupted replacement is cleared at the next start.
    const std::string temporary = installed + ".replacing";
    qv::files::removeItem(temporary);
    if (!qv::files::copyItem(bundled, temporary)) {
        qv::files::removeItem(temporary);
        return false;
    }
    if (std::rename(temporary.c_str(), installed.c_str()) != 0) {
        qv::files::removeItem(temporary);
        return false;
    }
    return true;
}

}  // namespace shell
