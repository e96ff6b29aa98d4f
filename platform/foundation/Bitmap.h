#pragma once
// A plain buffer of pixels, the currency between the image reader and writer, the Core Image layer
// and the window layer's canvas. Rows run top-down (row 0 is the top of the picture); the Core
// Image layer flips to its bottom-up coordinates at this boundary and nowhere else.
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qv {

enum class PixelFormat {
    Gray8,    // 1 x 8 bits
    RGB8,     // 3 x 8 bits
    RGBA8,    // 4 x 8 bits, alpha last
    ARGB8,    // 4 x 8 bits, alpha first (the 8-bit render format)
    Gray16,   // 1 x 16 bits, native byte order
    RGB16,    // 3 x 16 bits
    RGBA16,   // 4 x 16 bits (the 16-bit render format)
    RGBAf,    // 4 x 32-bit float
};

int channelCount(PixelFormat format);
int bytesPerSample(PixelFormat format);  // 1, 2 or 4
int bitsPerComponent(PixelFormat format);
bool hasAlpha(PixelFormat format);
inline int bytesPerPixel(PixelFormat format) { return channelCount(format) * bytesPerSample(format); }

struct Bitmap {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::RGBA8;
    bool premultiplied = false;  // colour samples already multiplied by alpha
    std::size_t bytesPerRow = 0;
    std::vector<std::uint8_t> pixels;

    // An image of the given size with tightly packed, zeroed rows. Sizes that are not positive or
    // whose buffer would not fit in memory give an empty bitmap (check isValid()).
    static Bitmap make(int width, int height, PixelFormat format, bool premultiplied = false);

    bool isValid() const;  // positive size and a buffer that holds every row
    std::uint8_t* row(int y) { return pixels.data() + std::size_t(y) * bytesPerRow; }
    const std::uint8_t* row(int y) const { return pixels.data() + std::size_t(y) * bytesPerRow; }
};

}  // namespace qv
