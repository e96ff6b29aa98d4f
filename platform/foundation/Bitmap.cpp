#include "foundation/Bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <new>

namespace qv {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kCacheLine = 64;
}  // namespace

void* allocatePixels(std::size_t bytes) {
    const std::size_t align = bytes >= 2 * kHugePage ? kHugePage : kCacheLine;
    if (bytes > std::numeric_limits<std::size_t>::max() - align) throw std::bad_alloc();
    const std::size_t size = (std::max<std::size_t>(bytes, 1) + align - 1) / align * align;
    void* p = std::aligned_alloc(align, size);
    if (!p) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    if (align == kHugePage) madvise(p, size, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
    return p;
}

void freePixels(void* p) noexcept { std::free(p); }

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

namespace {

Bitmap allocate(int width, int height, PixelFormat format, bool premultiplied, bool zeroed) {
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
        const std::size_t size = b.bytesPerRow * std::size_t(height);
        if (zeroed) b.pixels.assign(size, 0);
        else b.pixels.resize(size);
    } catch (const std::bad_alloc&) {
        return Bitmap{};
    }
    return b;
}

}  // namespace

Bitmap Bitmap::make(int width, int height, PixelFormat format, bool premultiplied) {
    return allocate(width, height, format, premultiplied, true);
}

Bitmap Bitmap::makeUninitialized(int width, int height, PixelFormat format, bool premultiplied) {
    return allocate(width, height, format, premultiplied, false);
}

bool Bitmap::isValid() const {
    return width > 0 && height > 0 && bytesPerRow >= std::size_t(width) * bytesPerPixel(format) &&
           pixels.size() >= bytesPerRow * std::size_t(height);
}

}  // namespace qv
