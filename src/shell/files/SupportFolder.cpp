#include "shell/files/SupportFolder.h"

#include <filesystem>
#include <system_error>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageTool.h"

namespace shell {

void sweepSupportFolder(bool keepEntriesWithoutExtension) {
    const std::string folder = qv::paths::supportFolder();
    auto entries = qv::files::listFolder(folder);
    if (!entries) return;
    for (const std::string& entry : *entries) {
        const std::string extension = qv::paths::pathExtension(entry);
        if (extension == "dat" || (keepEntriesWithoutExtension && extension.empty())) continue;
        qv::files::removeItem(qv::paths::appendingPathComponent(folder, entry));
    }
}

std::string workingCopyPath() { return qv::paths::temporaryFolder() + "QuorvelCI.jpg"; }

void performSipsCommand(const std::string& photo) {
    qv::io::extractProfile(photo, qv::paths::supportFolder() + "Profile");
}

bool isInSupportFolder(const std::string& path) {
    std::error_code failed;
    const auto folder = std::filesystem::canonical(qv::paths::supportFolder(), failed);
    if (failed) return false;  // no support folder: nothing is swept
    const auto parent = std::filesystem::canonical(qv::paths::deletingLastPathComponent(path), failed);
    return !failed && parent == folder;
}

bool isUserDatabasePath(const std::string& path) { return qv::paths::pathExtension(path) == "dtl"; }

}  // namespace shell
