#include "imageio/codecs/Codec.h"

namespace qv::io::codec {

namespace {

// Below this size a picture is allowed whatever the file's size: it costs little to try.
constexpr std::uint64_t kAlwaysPlausiblePixels = std::uint64_t(1) << 22;
// Deflate, the strongest of the codecs here on flat content, stays near 1000:1 on bytes; a byte
// per pixel and a margin for bi-level data make 8192 pixels per byte a generous ceiling.
constexpr std::uint64_t kMaxPixelsPerByte = 8192;

}  // namespace

bool plausibleSize(std::uint64_t width, std::uint64_t height, std::size_t inputBytes, const Limits& limits,
                   std::string& error) {
    if (width == 0 || height == 0) {
        error = "the image has no pixels";
        return false;
    }
    if (width > (std::uint64_t(1) << 31) || height > (std::uint64_t(1) << 31) || width * height > limits.maxPixels) {
        error = "the image is too large (" + std::to_string(width) + " x " + std::to_string(height) + ")";
        return false;
    }
    const std::uint64_t pixels = width * height;
    if (pixels > kAlwaysPlausiblePixels && pixels / kMaxPixelsPerByte > inputBytes) {
        error = "the file is too small for the size it claims (" + std::to_string(width) + " x " +
                std::to_string(height) + ")";
        return false;
    }
    return true;
}

std::unique_ptr<Decoder> makeDecoder(ImageType type, std::shared_ptr<const Data> bytes) {
    switch (type) {
    case ImageType::JPEG: return makeJpegDecoder(std::move(bytes));
    case ImageType::TIFF: return makeTiffDecoder(std::move(bytes));
    case ImageType::PNG: return makePngDecoder(std::move(bytes));
    case ImageType::PSD: return makePsdDecoder(std::move(bytes));
    case ImageType::OpenEXR: return makeExrDecoder(std::move(bytes));
    case ImageType::CameraRaw: return makeRawDecoder(std::move(bytes));
    case ImageType::Unknown: break;
    }
    return nullptr;
}

}  // namespace qv::io::codec
