#pragma once
// Pixel-layout conversions between what the renderer hands the writer (any Bitmap format, often
// premultiplied) and what a file format stores (straight alpha, 8 or 16 bits, 1, 3 or 4 channels).
#include <cstdint>

#include "foundation/BandSource.h"
#include "foundation/Bitmap.h"

namespace qv::io::support {

// Row y of any bitmap as straight (unpremultiplied) RGBA with 16 bits per sample: 8-bit samples
// are widened by 257, floats clamped to 0..1. `out` holds width * 4 samples.
void readRowRGBA16(const Bitmap& bitmap, int y, std::uint16_t* out);
// The same for `width` pixels of one row in `format`.
void readPixelsRGBA16(const std::uint8_t* row, PixelFormat format, bool premultiplied, int width, std::uint16_t* out);

// The conversion of one row from a layout to a file layout with straight alpha, as convertPixels
// makes it; safe to run on several threads at once.
RowConversion rowConversion(PixelFormat from, bool premultiplied, PixelFormat to);

// The bitmap in another format with straight alpha (premultiplied input is unpremultiplied; a
// target without alpha drops it, one with alpha where the input has none gets it opaque; gray
// targets take the luma of colour input).
Bitmap convertPixels(const Bitmap& bitmap, PixelFormat target);

// True when no pixel is in any way transparent (always true for formats without alpha).
bool isOpaque(const Bitmap& bitmap);

bool isGrayFormat(PixelFormat format);

// Gray, RGB or RGBA of 8 or 16 bits: what the lossless writers (TIFF, PSD, PNG) store.
bool isStorageFormat(PixelFormat format);

// The format a lossless writer stores for this input: gray stays gray, colour is RGB, alpha is
// kept only when some pixel is transparent (a gray image with transparency becomes RGBA), and the
// depth is 16 bits when the input has more than 8.
PixelFormat storageFormatFor(const Bitmap& bitmap);

}  // namespace qv::io::support
