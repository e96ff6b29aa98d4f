#include "shell/files/ResourceDatabase.h"

#include <fcntl.h>
#include <sys/stat.h>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "shell/files/SupportFolder.h"

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
    // Replaced as any user's file: the installed copy is left as it was when it cannot be written,
    // and an interrupted replacement leaves its hidden temporary file to the support folder's sweep.
    struct stat source {};
    const std::optional<qv::Data> bytes = qv::files::readWhole(bundled);
    if (!bytes || ::stat(bundled.c_str(), &source) != 0 || !qv::files::writeWhole(installed, *bytes)) return false;
    // The copy keeps the bundle's date, as a copy does, so the next start finds it as new as the bundle's.
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ::utimensat(AT_FDCWD, installed.c_str(), times, 0);
    return true;
}

}  // namespace shell
