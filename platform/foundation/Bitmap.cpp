#include "foundation/Bitmap.h"

#include <limits>
#include <new>

namespace qv {

int channelCount(PixelFormat format) {
    switch (format) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16: return 1;
    case PixelFormat::RGB8:
    case PixelFormat::RGB16: return 3;
    default: return 4;
    }
}

int bytesPerSample(PixelFormat format) {
    switch (format) {
    case PixelFormat::Gray16:
    case PixelFormat::RGB16:
    case PixelFormat::RGBA16: return 2;
    case PixelFormat::RGBAf: return 4;
    default: return 1;
    }
}

int bitsPerComponent(PixelFormat format) { return bytesPerSample(format) * 8; }

bool hasAlpha(PixelFormat format) {
    return format == PixelFormat::RGBA8 || format == PixelFormat::ARGB8 || format == PixelFormat::RGBA16 ||
           format == PixelFormat::RGBAf;
}

Bitmap Bitmap::make(int width, int height, PixelFormat format, bool premultiplied) {
    Bitmap b;
    // 1 << 30 pixels (a 32768 x 32768 picture) is far beyond any photo; larger is a corrupt header.
    constexpr std::size_t kMaxPixels = std::size_t(1) << 30;
    if (width <= 0 || height <= 0 || std::size_t(width) * std::size_t(height) > kMaxPixels) return b;
    b.width = width;
    b.height = height;
    b.format = format;
    b.premultiplied = premultiplied;
    b.bytesPerRow = std::size_t(width) * bytesPerPixel(format);
    try {
        b.pixels.assign(b.bytesPerRow * std::size_t(height), 0);
    } catch (const std::bad_alloc&) {
        return Bitmap{};
    }
    return b;
}

bool Bitmap::isValid() const {
    return width > 0 && height > 0 && bytesPerRow >= std::size_t(width) * bytesPerPixel(format) &&
           pixels.size() >= bytesPerRow * std::size_t(height);
}

}  // namespace qv
