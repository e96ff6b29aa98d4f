#pragma once
// The last step of a render: a row of premultiplied float RGBA written in the target's format.
#include <cstdint>

#include "foundation/Bitmap.h"

namespace qv::ci::detail {

// Writes n pixels of src in format (ARGB8, RGBA8, RGBA16 or RGBAf) to dst. The integer formats
// are clamped to [0, 1] (NaN to 0) and rounded to nearest, halves up.
void writeRow(const float* src, int n, PixelFormat format, std::uint8_t* dst);

}  // namespace qv::ci::detail
