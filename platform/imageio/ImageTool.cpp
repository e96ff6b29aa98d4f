#include "imageio/ImageTool.h"

#include <sys/stat.h>
#include <unistd.h>

#include "imageio/ColorSpace.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/codecs/JpegMarkers.h"
#include "imageio/codecs/PngChunks.h"
#include "imageio/codecs/PsdResources.h"
#include "imageio/metadata/Metadata.h"
#include "imageio/support/Files.h"

namespace qv::io {

namespace {

bool failWith(std::string& reason, const std::string& text) {
    reason = text;
    return false;
}

void removeRegularFile(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode)) ::unlink(path.c_str());
}

}  // namespace

bool extractProfile(const std::string& imagePath, const std::string& profilePath) {
    std::string unused;
    return extractProfile(imagePath, profilePath, unused);
}

bool extractProfile(const std::string& imagePath, const std::string& profilePath, std::string& reason) {
    std::string message;
    auto source = ImageSource::createWithPath(imagePath, message);
    if (!source || source->embeddedProfile().empty()) {
        // The profile file must describe this image or not exist: a stale one would be embedded
        // into the next output and paint it in another photo's colours.
        removeRegularFile(profilePath);
        return failWith(reason, source ? "the image has no colour profile" : message);
    }
    if (!support::writeFileAtomically(profilePath, source->embeddedProfile(), message)) return failWith(reason, message);
    return true;
}

bool embedProfile(const std::string& profilePath, const std::string& imagePath) {
    std::string unused;
    return embedProfile(profilePath, imagePath, unused);
}

bool embedProfile(const std::string& profilePath, const std::string& imagePath, std::string& reason) {
    std::string message;
    Data profile;
    if (!support::readWholeFile(profilePath, profile, message, std::size_t(64) << 20)) return failWith(reason, message);
    auto space = ColorSpace::fromICCProfile(profile);
    if (!space) return failWith(reason, "not a colour profile: " + profilePath);

    auto source = ImageSource::createWithPath(imagePath, message);
    if (!source) return failWith(reason, message);
    const Dictionary properties = source->properties();
    const bool grayPixels = properties.at(kCGImagePropertyColorModel).stringOr("") == kCGImagePropertyColorModelGray &&
                            !source->hasAlpha();
    const ColorSpace::Model model = space->model();
    if (!((grayPixels && model == ColorSpace::Model::Gray) || (!grayPixels && model == ColorSpace::Model::RGB)))
        return failWith(reason, "the profile's colour model does not match the image");

    const Data& original = source->bytes();
    Data rewritten;
    bool ok = false;
    switch (source->imageType()) {
    case ImageType::JPEG: ok = codec::replaceJpegIccProfile(original, profile, rewritten, message); break;
    case ImageType::PSD: ok = codec::replacePsdResource(original, codec::kPsdResourceICCProfile, profile, rewritten, message); break;
    case ImageType::PNG: ok = codec::replacePngIccProfile(original, profile, rewritten, message); break;
    case ImageType::TIFF:
        rewritten = original;
        ok = metadata::replaceIccProfile(rewritten, profile, message);
        break;
    default: message = std::string("cannot embed a profile into \"") + source->type() + "\" images"; break;
    }
    if (!ok) return failWith(reason, message);
    // The result must still read as the same picture with the new profile before it replaces the file.
    auto check = ImageSource::createWithData(rewritten, message);
    if (!check || check->embeddedProfile() != profile || check->pixelWidth() != source->pixelWidth() ||
        check->pixelHeight() != source->pixelHeight())
        return failWith(reason, "the rewritten image did not read back: " + message);
    if (!support::writeFileAtomically(imagePath, rewritten, message)) return failWith(reason, message);
    return true;
}

bool recompressTiff(const std::string& path, int compression) {
    std::string unused;
    return recompressTiff(path, compression, unused);
}

bool recompressTiff(const std::string& path, int compression, std::string& reason) {
    std::string message;
    auto source = ImageSource::createWithPath(path, message);
    if (!source) return failWith(reason, message);
    if (source->imageType() != ImageType::TIFF) return failWith(reason, "not a TIFF file: " + path);
    auto pixels = source->createImage(0, {}, message);
    if (!pixels) return failWith(reason, message);

    Dictionary properties = source->properties();
    properties[kCGImagePropertyTIFFDictionary][kCGImagePropertyTIFFCompression] = compression;
    // The embedded profile goes back with the pixels (the writer leaves it out where it no longer
    // describes them, as for a CMYK file now decoded to RGB).
    ColorSpace space = ColorSpace::deviceRGB();
    if (auto embedded = ColorSpace::fromICCProfile(source->embeddedProfile())) space = *embedded;

    Data rewritten;
    auto destination = ImageDestination::createWithData(rewritten, kUTTypeTIFF);
    destination->addImage(std::move(*pixels), std::move(properties), space);
    if (!destination->finalize()) return failWith(reason, destination->error());
    if (!support::writeFileAtomically(path, rewritten, message)) return failWith(reason, message);
    return true;
}

}  // namespace qv::io
