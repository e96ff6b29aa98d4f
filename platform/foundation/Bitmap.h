#pragma once
// A plain buffer of pixels, the currency between the image reader and writer, the Core Image layer
// and the window layer's canvas. Rows run top-down (row 0 is the top of the picture); the Core
// Image layer flips to its bottom-up coordinates at this boundary and nowhere else.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <new>
#include <type_traits>
#include <utility>
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

// An allocator that leaves bytes it is not given a value for uninitialised, so that a buffer about
// to be written whole (a render target, a resample) is not first zeroed on one thread: the threads
// that fill it touch its pages first. Everything else behaves as std::allocator.
// Pixel memory: large buffers are aligned to and advised for huge pages, so that the threads that
// first write a photo-sized buffer take one page fault per 2 MB rather than per 4 KB. The last two
// photo-sized buffers released are kept and handed out again for the same size, so that rendering
// one photo after another does not map and clear fresh pages each time.
void* allocatePixels(std::size_t bytes);
void freePixels(void* p, std::size_t bytes) noexcept;
// Gives back the buffers kept for reuse, for a step that needs the memory for something else.
void releaseKeptPixels() noexcept;

template <class T>
struct DefaultInitAllocator : std::allocator<T> {
    using value_type = T;
    template <class U>
    struct rebind {
        using other = DefaultInitAllocator<U>;
    };
    DefaultInitAllocator() = default;
    template <class U>
    DefaultInitAllocator(const DefaultInitAllocator<U>&) noexcept {}
    T* allocate(std::size_t n) { return static_cast<T*>(allocatePixels(n * sizeof(T))); }
    void deallocate(T* p, std::size_t n) noexcept { freePixels(p, n * sizeof(T)); }
    template <class U>
    void construct(U* p) noexcept(std::is_nothrow_default_constructible_v<U>) {
        ::new (static_cast<void*>(p)) U;
    }
    template <class U, class... Args>
    void construct(U* p, Args&&... args) {
        ::new (static_cast<void*>(p)) U(std::forward<Args>(args)...);
    }
};

using PixelBuffer = std::vector<std::uint8_t, DefaultInitAllocator<std::uint8_t>>;

struct Bitmap {
    int width = 0;
    int height = 0;
    PixelFormat format = PixelFormat::RGBA8;
    bool premultiplied = false;  // colour samples already multiplied by alpha
    std::size_t bytesPerRow = 0;
    PixelBuffer pixels;

    // An image of the given size with tightly packed, zeroed rows. Sizes that are not positive or
    // whose buffer would not fit in memory give an empty bitmap (check isValid()).
    static Bitmap make(int width, int height, PixelFormat format, bool premultiplied = false);
    // The same without zeroing: for a buffer whose every byte is written next.
    static Bitmap makeUninitialized(int width, int height, PixelFormat format, bool premultiplied = false);

    bool isValid() const;  // positive size and a buffer that holds every row
    std::uint8_t* row(int y) { return pixels.data() + std::size_t(y) * bytesPerRow; }
    const std::uint8_t* row(int y) const { return pixels.data() + std::size_t(y) * bytesPerRow; }
};

}  // namespace qv
