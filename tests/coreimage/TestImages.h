#pragma once
// Small generated pictures and pixel reads shared by the Core Image layer's tests.
#include <cstdint>

#include "coreimage/CIContext.h"
#include "coreimage/CIImage.h"
#include "foundation/Bitmap.h"

namespace citest {

// An opaque RGBA8 picture whose every pixel differs: r = x * 7 + y, g = y * 11 + x * 3, b = x ^ y.
inline qv::Bitmap patternBitmap(int w, int h) {
    qv::Bitmap b = qv::Bitmap::make(w, h, qv::PixelFormat::RGBA8, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = b.row(y) + 4 * x;
            p[0] = std::uint8_t(x * 7 + y);
            p[1] = std::uint8_t(y * 11 + x * 3);
            p[2] = std::uint8_t(x ^ y);
            p[3] = 255;
        }
    return b;
}

inline qv::Bitmap constantBitmap(int w, int h, std::uint8_t r, std::uint8_t g, std::uint8_t b) {
    qv::Bitmap bm = qv::Bitmap::make(w, h, qv::PixelFormat::RGB8);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            std::uint8_t* p = bm.row(y) + 3 * x;
            p[0] = r, p[1] = g, p[2] = b;
        }
    return bm;
}

struct RGBA {
    int r, g, b, a;
    bool operator==(const RGBA& o) const { return r == o.r && g == o.g && b == o.b && a == o.a; }
};

// Pixel (x, y) of an RGBA8 or ARGB8 bitmap, y counted from the top row.
inline RGBA pixel(const qv::Bitmap& b, int x, int y) {
    const std::uint8_t* p = b.row(y) + 4 * x;
    if (b.format == qv::PixelFormat::ARGB8) return {p[1], p[2], p[3], p[0]};
    return {p[0], p[1], p[2], p[3]};
}

inline qv::Bitmap render8(const qv::ci::Image& image, const qv::Rect& rect,
                          qv::PixelFormat format = qv::PixelFormat::RGBA8) {
    qv::ci::Context context;
    return context.createBitmap(image, rect, format);
}

// Largest difference over every sample of two RGBA8 bitmaps of one size.
inline int maxDifference(const qv::Bitmap& a, const qv::Bitmap& b) {
    int worst = 0;
    for (int y = 0; y < a.height; ++y)
        for (int x = 0; x < a.width * 4; ++x) {
            const int d = int(a.row(y)[x]) - int(b.row(y)[x]);
            worst = std::max(worst, d < 0 ? -d : d);
        }
    return worst;
}

}  // namespace citest
