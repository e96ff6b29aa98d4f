#include "foundation/Bitmap.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdlib>
#include <limits>
#include <mutex>
#include <new>
#include <utility>
#include <vector>

namespace qv {

namespace {
constexpr std::size_t kHugePage = std::size_t(2) << 20;
constexpr std::size_t kCacheLine = 64;
constexpr std::size_t kKeptMinimum = std::size_t(16) << 20;   // smaller buffers come and go cheaply
constexpr std::size_t kKeptMaximum = std::size_t(256) << 20;  // larger ones are not held on to
constexpr std::size_t kKeptBuffers = 2;

bool isKeptSize(std::size_t size) { return size >= kKeptMinimum && size <= kKeptMaximum; }

struct PixelBlock {
    std::size_t align, size;
};

PixelBlock blockFor(std::size_t bytes) {
    const std::size_t align = bytes >= 2 * kHugePage ? kHugePage : kCacheLine;
    if (bytes > std::numeric_limits<std::size_t>::max() - align) throw std::bad_alloc();
    return {align, (std::max<std::size_t>(bytes, 1) + align - 1) / align * align};
}

// Released photo-sized buffers waiting to be taken again, oldest first.
class KeptBuffers {
public:
    void* take(std::size_t size) {
        std::lock_guard<std::mutex> guard(m_lock);
        for (auto it = m_kept.begin(); it != m_kept.end(); ++it) {
            if (it->second != size) continue;
            void* p = it->first;
            m_kept.erase(it);
            return p;
        }
        return nullptr;
    }
    void keep(void* p, std::size_t size) {
        void* released = nullptr;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_kept.emplace_back(p, size);
            if (m_kept.size() > kKeptBuffers) {
                released = m_kept.front().first;
                m_kept.erase(m_kept.begin());
            }
        }
        std::free(released);
    }
    void releaseAll() noexcept {
        std::vector<std::pair<void*, std::size_t>> kept;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            kept.swap(m_kept);
        }
        for (const auto& buffer : kept) std::free(buffer.first);
    }

private:
    std::mutex m_lock;
    std::vector<std::pair<void*, std::size_t>> m_kept;
};

// Never destroyed: pictures held by other static objects are released after any destructor here
// would have run.
KeptBuffers& keptBuffers() {
    static KeptBuffers* kept = new KeptBuffers;
    return *kept;
}

}  // namespace

void* allocatePixels(std::size_t bytes) {
    const PixelBlock block = blockFor(bytes);
    if (isKeptSize(block.size)) {
        if (void* p = keptBuffers().take(block.size)) return p;
    }
    void* p = std::aligned_alloc(block.align, block.size);
    if (!p) throw std::bad_alloc();
#if defined(MADV_HUGEPAGE)
    if (block.align == kHugePage) madvise(p, block.size, MADV_HUGEPAGE);  // advice only: failure changes nothing
#endif
    return p;
}

void releaseKeptPixels() noexcept { keptBuffers().releaseAll(); }

void freePixels(void* p, std::size_t bytes) noexcept {
    if (!p) return;
    try {
        const PixelBlock block = blockFor(bytes);
        if (isKeptSize(block.size)) {
            keptBuffers().keep(p, block.size);
            return;
        }
    } catch (...) {  // no room to note it: give it back
    }
    std::free(p);
}

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
