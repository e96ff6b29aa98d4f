// The save's file step, apart from the encoder so that a build with no save commands (the
// plug-in writes its photo back whole) carries neither the profile embedding nor the TIFF
// recompression.
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageDestination.h"
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

// Writes the file through `write(temporary)`, then embeds, recompresses and renames it over path.
template <class Write>
bool replaceThroughTemporary(const std::string& path, const SaveOptions& options, std::string* error, Write write) {
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
    std::string why;
    if (!write(temporary, why)) return abandon(why.empty() ? "cannot write " + path : why);
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

}  // namespace

bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options, std::string* error) {
    return replaceThroughTemporary(path, options, error, [&](const std::string& temporary, std::string&) {
        return qv::files::writeWhole(temporary, bytes);
    });
}

bool saveImageFile(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                   const std::string& path, const SaveOptions& options, std::string* error,
                   const qv::io::ColorSpace& colorSpace) {
    // Nothing is made beside the photo for a picture that cannot be encoded.
    if (image.isNull()) {
        if (error) *error = "no image to encode";
        return false;
    }
    return replaceThroughTemporary(path, options, error, [&](const std::string& temporary, std::string& why) {
        auto destination = qv::io::ImageDestination::createWithPath(temporary, QVOutputType::typeIdentifier(type), 1, &why);
        return destination && encodeImage(std::move(image), type, metadata, jpegQuality, *destination, &why, colorSpace);
    });
}

}  // namespace QVImageEncoder
