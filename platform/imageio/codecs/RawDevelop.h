#pragma once
// Camera raw files developed through LibRaw, with the camera's white balance into 16-bit sRGB. Only
// the raw helper program links this: LibRaw has crashed on damaged files, and a crash in the
// helper cannot take the application with it (RawHelper.h is the application's side).
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "foundation/Bitmap.h"
#include "imageio/codecs/Codec.h"

namespace qv::io::codec::raw {

// Whether LibRaw recognises the bytes as a camera raw file it can decode.
bool recognised(const std::uint8_t* bytes, std::size_t size);
// The picture's size, orientation and what LibRaw knows of the camera and the exposure.
bool readHeader(const std::uint8_t* bytes, std::size_t size, Header& header, std::string& error);
// The developed picture (RGB16), rows top-down, not turned by the orientation.
std::optional<Bitmap> develop(const std::uint8_t* bytes, std::size_t size, const Limits& limits, std::string& error);

}  // namespace qv::io::codec::raw
