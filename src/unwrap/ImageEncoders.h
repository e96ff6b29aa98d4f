#pragma once
// Encoders behind writeImage. Each takes ownership of an open descriptor, writes the whole file, flushes
// it to the disk and closes the descriptor; any failure throws std::ios_base::failure.
#include <cstddef>
#include <cstdint>
#include <string>

namespace unwrap {

// rows: the top row of height rows of width interleaved RGB 8-bit pixels, rowBytes apart.
void encodeJpeg(int fd, const std::string& name, const std::uint8_t* rows, std::ptrdiff_t rowBytes, int width,
                int height, int quality);

// The same with 8 or 16 bits per channel (16-bit rows in native byte order).
void encodeTiff(int fd, const std::string& name, const void* rows, std::ptrdiff_t rowBytes, int width, int height,
                int bitsPerChannel);

}  // namespace unwrap
