#pragma once
// The engine's own image files: JPEG and TIFF, the type chosen by the file name's suffix alone.
// Every failure reaches the caller as std::ios_base::failure (std::bad_alloc for an image too large
// to hold).
#include "unwrap/Image.h"

#include <string>

namespace unwrap {

enum FileType : int { kJpegFile = 0, kTiffFile = 1, kUnsupportedFile = 2 };

// By the name's last dot-separated piece, case-insensitively: "jpg"/"jpeg" JPEG, "tif"/"tiff" TIFF.
// A name without a dot is judged by the whole name.
int formatFromString(const std::string& name);

// Reads an 8-bit RGB JPEG, or an 8- or 16-bit RGB TIFF, into image. Any other layout (grey, alpha,
// CMYK, palette, float, other photometric interpretations) is refused.
void readImage(const std::string& name, Image& image);

// Throws unless image can be written to name: a known suffix, and 8 bits per channel for JPEG.
// Opens no file.
void checkWritable(const std::string& name, const ConstImageView& image);

// Writes a JPEG of quality 50, or an uncompressed contiguous RGB TIFF of the image's depth. The file
// replaces name only once it is complete; a failed write leaves name as it was.
void writeImage(const std::string& name, const Image& image);
void writeImage(const std::string& name, const ConstImageView& view);

}  // namespace unwrap
