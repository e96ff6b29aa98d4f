#include "shell/SupportFolder.h"

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

bool isUserDatabasePath(const std::string& path) { return qv::paths::pathExtension(path) == "dtl"; }

}  // namespace shell
