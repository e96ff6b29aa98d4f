#pragma once
// The JPEG and TIFF codecs behind readImage and writeImage, on libjpeg and libtiff. Every failure
// throws std::ios_base::failure with the codec's own message; an image too large to hold throws
// std::bad_alloc before anything is allocated for it.
#include "unwrap/Image.h"

#include <cstddef>
#include <cstdint>
#include <string>

namespace unwrap {

// An 8-bit RGB (or YCbCr-coded) JPEG file into an 8-bit image.
void decodeJpeg(const std::string& name, Image& image);
// An RGB TIFF file of 8 or 16 bits per channel (strips or tiles, any compression libtiff reads,
// channels contiguous or in planes) into an image of the same depth.
void decodeTiff(const std::string& name, Image& image);

// The encoders take ownership of an open descriptor, write the whole file, flush it to the disk and
// close the descriptor. rows: the top row of height rows of width interleaved RGB pixels, rowBytes
// apart (16-bit channels in native byte order).
void encodeJpeg(int fd, const std::string& name, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width,
                int height, int quality);
void encodeTiff(int fd, const std::string& name, const void* rows, std::ptrdiff_t rowBytes, int width, int height,
                int bitsPerChannel);

}  // namespace unwrap
