// The save's file step, apart from the encoder so that a build with no save commands (the
// plug-in writes its photo back whole) carries neither the profile embedding nor the TIFF
// recompression.
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageTool.h"
#include "output/QVImageEncoder.h"

namespace QVImageEncoder {
namespace {

// Writes the file through `write(temporary)` into the user's file helper's temporary file beside
// path, embeds and recompresses it there, then has it replace path. The helper refuses a file the
// user may not write before anything is encoded beside it, and follows a link to the file it names.
template <class Write>
bool replaceThroughTemporary(const std::string& path, const SaveOptions& options, std::string& reason, Write write) {
    qv::files::ReplacingFile file(path);
    if (!file.valid()) {
        reason = file.error();
        return false;
    }
    const std::string& temporary = file.temporaryPath();
    std::string why;
    if (!write(temporary, why)) {
        reason = why.empty() ? "cannot write " + path : why;
        return false;
    }
    // A profile that does not fit is not worth losing the save over: the pixels are written.
    if (options.sixteenBits && !options.profilePath.empty() && qv::files::exists(options.profilePath))
        qv::io::embedProfile(options.profilePath, temporary);
    if (options.tiffCompressionTag != 0 && !qv::io::recompressTiff(temporary, options.tiffCompressionTag)) {
        reason = "cannot compress " + path;
        return false;
    }
    if (!file.commit()) {
        reason = file.error();
        return false;
    }
    return true;
}

}  // namespace

bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options) {
    std::string unused;
    return writeEncodedFile(bytes, path, options, unused);
}

bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options, std::string& reason) {
    return replaceThroughTemporary(path, options, reason, [&](const std::string& temporary, std::string&) {
        return qv::files::writeWhole(temporary, bytes);
    });
}

bool saveImageFile(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                   const std::string& path, const SaveOptions& options, const qv::io::ColorSpace& colorSpace) {
    std::string unused;
    return saveImageFile(std::move(image), type, metadata, jpegQuality, path, options, colorSpace, unused);
}

bool saveImageFile(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                   const std::string& path, const SaveOptions& options, const qv::io::ColorSpace& colorSpace,
                   std::string& reason) {
    // Nothing is made beside the photo for a picture that cannot be encoded.
    if (image.isNull()) {
        reason = "no image to encode";
        return false;
    }
    return replaceThroughTemporary(path, options, reason, [&](const std::string& temporary, std::string& why) {
        auto destination = qv::io::ImageDestination::createWithPath(temporary, QVOutputType::typeIdentifier(type), 1, why);
        return destination && encodeImage(std::move(image), type, metadata, jpegQuality, *destination, colorSpace, why);
    });
}

}  // namespace QVImageEncoder
