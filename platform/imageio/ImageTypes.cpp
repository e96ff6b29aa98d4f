#include "imageio/ImageTypes.h"

#include <cstring>

#include "imageio/codecs/Codec.h"

namespace qv::io {

namespace {

bool startsWith(const std::uint8_t* bytes, std::size_t size, const char* magic, std::size_t length,
                std::size_t offset = 0) {
    return size >= offset + length && std::memcmp(bytes + offset, magic, length) == 0;
}

// Reads the first directory of a classic TIFF just far enough to see whether it looks like a
// camera's raw file rather than an ordinary picture.
bool tiffLooksLikeRaw(const std::uint8_t* b, std::size_t size) {
    if (size < 16) return false;
    if (b[8] == 'C' && b[9] == 'R') return true;  // CR2
    const bool little = b[0] == 'I';
    auto u16 = [&](std::size_t at) -> unsigned {
        return little ? unsigned(b[at]) | (unsigned(b[at + 1]) << 8) : (unsigned(b[at]) << 8) | b[at + 1];
    };
    auto u32 = [&](std::size_t at) -> std::uint32_t {
        return little ? std::uint32_t(u16(at)) | (std::uint32_t(u16(at + 2)) << 16)
                      : (std::uint32_t(u16(at)) << 16) | u16(at + 2);
    };
    if (u16(2) != 42) return false;  // BigTIFF is never a camera's raw file
    const std::uint32_t ifd = u32(4);
    if (ifd < 8 || std::size_t(ifd) + 2 > size) return false;
    const unsigned count = u16(ifd);
    for (unsigned i = 0; i < count; ++i) {
        const std::size_t entry = std::size_t(ifd) + 2 + std::size_t(i) * 12;
        if (entry + 12 > size) break;
        const unsigned tag = u16(entry);
        const unsigned type = u16(entry + 2);
        const unsigned value = type == 3 ? u16(entry + 8) : u32(entry + 8);
        switch (tag) {
        case 254:  // NewSubfileType: the first image is a reduced copy, the real one is elsewhere
            if (value & 1) return true;
            break;
        case 259:  // Compression: the camera makers' own codes
            if (value == 6 || value == 32767 || value == 32769 || value == 32770 || value == 34713 ||
                value == 34892 || value == 65000 || value == 65535 || value == 262)
                return true;
            break;
        case 262:  // PhotometricInterpretation: colour filter array or linear raw
            if (value == 32803 || value == 34892) return true;
            break;
        case 50706:  // DNGVersion
            return true;
        default: break;
        }
    }
    return false;
}

bool hasRawMagic(const std::uint8_t* b, std::size_t size) {
    return startsWith(b, size, "FUJIFILM", 8) ||                                   // RAF
           startsWith(b, size, "FOVb", 4) ||                                       // X3F
           startsWith(b, size, "\0MRM", 4) ||                                      // MRW
           startsWith(b, size, "HEAPCCDR", 8, 6) ||                                // CRW
           startsWith(b, size, "IIRO", 4) || startsWith(b, size, "IIRS", 4) ||    // ORF
           startsWith(b, size, "MMOR", 4) || startsWith(b, size, "IIU\0", 4);      // ORF, RW2
}

}  // namespace

const char* typeIdentifier(ImageType type) {
    switch (type) {
    case ImageType::JPEG: return kUTTypeJPEG;
    case ImageType::TIFF: return kUTTypeTIFF;
    case ImageType::PSD: return kUTTypePSD;
    case ImageType::OpenEXR: return kUTTypeOpenEXR;
    case ImageType::PNG: return kUTTypePNG;
    case ImageType::CameraRaw: return kUTTypeCameraRaw;
    case ImageType::Unknown: break;
    }
    return "";
}

ImageType imageTypeFromIdentifier(const std::string& identifier) {
    for (ImageType t : {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::OpenEXR, ImageType::PNG,
                        ImageType::CameraRaw})
        if (identifier == typeIdentifier(t)) return t;
    return ImageType::Unknown;
}

ImageType sniffImageType(const std::uint8_t* b, std::size_t size) {
    if (!b || size < 4) return ImageType::Unknown;
    if (b[0] == 0xFF && b[1] == 0xD8 && b[2] == 0xFF) return ImageType::JPEG;
    if (startsWith(b, size, "\x89PNG\r\n\x1a\n", 8)) return ImageType::PNG;
    if (startsWith(b, size, "8BPS", 4)) return ImageType::PSD;
    if (startsWith(b, size, "\x76\x2f\x31\x01", 4)) return ImageType::OpenEXR;
    const bool tiff = startsWith(b, size, "II*\0", 4) || startsWith(b, size, "MM\0*", 4) ||
                      startsWith(b, size, "II+\0", 4) || startsWith(b, size, "MM\0+", 4);
    if (tiff) {
        if (tiffLooksLikeRaw(b, size) && codec::isRecognisedCameraRaw(b, size)) return ImageType::CameraRaw;
        return ImageType::TIFF;
    }
    if (hasRawMagic(b, size) && codec::isRecognisedCameraRaw(b, size)) return ImageType::CameraRaw;
    return ImageType::Unknown;
}

}  // namespace qv::io
