// The save's file step, apart from the encoder so that a build with no save commands (the
// plug-in writes its photo back whole) carries neither the profile embedding nor the TIFF
// recompression.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageTool.h"
#include "output/QVImageEncoder.h"

namespace QVImageEncoder {
namespace {

void fail(std::string* error, const std::string& reason) {
    if (error) *error = reason;
}

// A unique name beside the target, so the final rename stays within one file system.
std::string temporaryPathBeside(const std::string& path) {
    const std::string folder = qv::paths::deletingLastPathComponent(path);
    std::string pattern = (folder.empty() ? std::string(".") : folder) + "/." + qv::paths::lastPathComponent(path) + ".XXXXXX";
    const int fd = ::mkstemp(pattern.data());
    if (fd < 0) return "";
    ::close(fd);
    return pattern;
}

}  // namespace

bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options, std::string* error) {
    const std::string temporary = temporaryPathBeside(path);
    if (temporary.empty()) {
        fail(error, "cannot create a file beside " + path);
        return false;
    }
    auto abandon = [&](const std::string& reason) {
        std::remove(temporary.c_str());
        fail(error, reason);
        return false;
    };
    if (!qv::files::writeWhole(temporary, bytes)) return abandon("cannot write " + path);
    // A profile that does not fit is not worth losing the save over: the pixels are written.
    if (options.sixteenBits && !options.profilePath.empty() && qv::files::exists(options.profilePath))
        qv::io::embedProfile(options.profilePath, temporary);
    if (options.tiffCompressionTag != 0 && !qv::io::recompressTiff(temporary, options.tiffCompressionTag, error))
        return abandon("cannot compress " + path);
    // A replaced photo keeps its permissions; a new file gets the usual ones.
    struct stat target {};
    ::chmod(temporary.c_str(), ::stat(path.c_str(), &target) == 0 ? (target.st_mode & 07777) : 0644);
    if (std::rename(temporary.c_str(), path.c_str()) != 0) return abandon("cannot replace " + path);
    return true;
}

}  // namespace QVImageEncoder
