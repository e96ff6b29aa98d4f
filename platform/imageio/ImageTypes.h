#pragma once
// The image file types this layer reads and writes, named by their uniform type identifiers, and
// the sniffing that tells them apart by content (a file's name is never trusted).
#include <cstddef>
#include <cstdint>
#include <string>

namespace qv::io {

inline constexpr const char* kUTTypeJPEG = "public.jpeg";
inline constexpr const char* kUTTypeTIFF = "public.tiff";
inline constexpr const char* kUTTypePSD = "com.adobe.photoshop-image";
inline constexpr const char* kUTTypeOpenEXR = "com.ilm.openexr-image";
inline constexpr const char* kUTTypePNG = "public.png";
inline constexpr const char* kUTTypeCameraRaw = "public.camera-raw-image";

enum class ImageType { Unknown, JPEG, TIFF, PSD, OpenEXR, PNG, CameraRaw };

// "public.jpeg" for ImageType::JPEG and so on; "" for Unknown.
const char* typeIdentifier(ImageType type);
// The type named by an identifier; Unknown for any other text.
ImageType imageTypeFromIdentifier(const std::string& identifier);

// The type of a file from its first bytes. TIFF-structured camera raw files (DNG, NEF, CR2, ...)
// answer CameraRaw only when LibRaw recognises them; an ordinary TIFF answers TIFF.
ImageType sniffImageType(const std::uint8_t* bytes, std::size_t size);

}  // namespace qv::io
