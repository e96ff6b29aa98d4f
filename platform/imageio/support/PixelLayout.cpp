#include "imageio/support/PixelLayout.h"

#include <algorithm>
#include <cstring>
#include <vector>

namespace qv::io::support {

namespace {

inline std::uint16_t widen(std::uint8_t v) { return std::uint16_t(v * 257u); }
inline std::uint8_t narrow(std::uint16_t v) { return std::uint8_t((unsigned(v) * 255u + 32767u) / 65535u); }

inline std::uint16_t fromFloat(float f) {
    if (!(f > 0.0f)) return 0;  // also NaN
    if (f >= 1.0f) return 65535;
    return std::uint16_t(f * 65535.0f + 0.5f);
}

inline std::uint16_t native16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

inline void unpremultiply(std::uint16_t* px) {
    const unsigned a = px[3];
    if (a == 65535) return;
    if (a == 0) {
        px[0] = px[1] = px[2] = 0;
        return;
    }
    for (int c = 0; c < 3; ++c)
        px[c] = std::uint16_t(std::min<unsigned>(65535u, (unsigned(px[c]) * 65535u + a / 2) / a));
}

}  // namespace

bool isGrayFormat(PixelFormat format) { return format == PixelFormat::Gray8 || format == PixelFormat::Gray16; }

bool isStorageFormat(PixelFormat format) { return format != PixelFormat::ARGB8 && format != PixelFormat::RGBAf; }

void readRowRGBA16(const Bitmap& bitmap, int y, std::uint16_t* out) {
    readPixelsRGBA16(bitmap.row(y), bitmap.format, bitmap.premultiplied, bitmap.width, out);
}

void readPixelsRGBA16(const std::uint8_t* src, PixelFormat format, bool premultiplied, int w, std::uint16_t* out) {
    std::uint16_t* const start = out;
    switch (format) {
    case PixelFormat::Gray8:
        for (int x = 0; x < w; ++x, out += 4) out[0] = out[1] = out[2] = widen(src[x]), out[3] = 65535;
        break;
    case PixelFormat::RGB8:
        for (int x = 0; x < w; ++x, out += 4, src += 3)
            out[0] = widen(src[0]), out[1] = widen(src[1]), out[2] = widen(src[2]), out[3] = 65535;
        break;
    case PixelFormat::RGBA8:
        for (int x = 0; x < w; ++x, out += 4, src += 4)
            out[0] = widen(src[0]), out[1] = widen(src[1]), out[2] = widen(src[2]), out[3] = widen(src[3]);
        break;
    case PixelFormat::ARGB8:
        for (int x = 0; x < w; ++x, out += 4, src += 4)
            out[0] = widen(src[1]), out[1] = widen(src[2]), out[2] = widen(src[3]), out[3] = widen(src[0]);
        break;
    case PixelFormat::Gray16:
        for (int x = 0; x < w; ++x, out += 4, src += 2) out[0] = out[1] = out[2] = native16(src), out[3] = 65535;
        break;
    case PixelFormat::RGB16:
        for (int x = 0; x < w; ++x, out += 4, src += 6)
            out[0] = native16(src), out[1] = native16(src + 2), out[2] = native16(src + 4), out[3] = 65535;
        break;
    case PixelFormat::RGBA16:
        std::memcpy(out, src, std::size_t(w) * 8);
        break;
    case PixelFormat::RGBAf:
        for (int x = 0; x < w; ++x, out += 4, src += 16) {
            float f[4];
            std::memcpy(f, src, 16);
            for (int c = 0; c < 4; ++c) out[c] = fromFloat(f[c]);
        }
        break;
    }
    if (premultiplied && hasAlpha(format)) {
        for (int x = 0; x < w; ++x) unpremultiply(start + std::size_t(x) * 4);
    }
}

namespace {

// The renderer's 8-bit output to an 8-bit file layout, without the 16-bit detour: the common case
// of every JPEG, 8-bit TIFF and PSD written.
bool isEightBitConversion(PixelFormat in, PixelFormat out) {
    return (in == PixelFormat::ARGB8 || in == PixelFormat::RGBA8 || in == PixelFormat::RGB8) &&
           (out == PixelFormat::RGB8 || out == PixelFormat::RGBA8);
}

void convertEightBit(const std::uint8_t* s, PixelFormat inFormat, bool premultiplied, std::uint8_t* d,
                     PixelFormat outFormat, int width) {
    const bool alphaFirst = inFormat == PixelFormat::ARGB8;
    const int inStep = inFormat == PixelFormat::RGB8 ? 3 : 4, outStep = outFormat == PixelFormat::RGB8 ? 3 : 4;
    const int colour = alphaFirst ? 1 : 0;
    const bool unpremultiply = premultiplied && inFormat != PixelFormat::RGB8;
    for (int x = 0; x < width; ++x, s += inStep, d += outStep) {
        const unsigned a = inStep == 4 ? s[alphaFirst ? 0 : 3] : 255u;
        if (!unpremultiply || a == 255) {
            d[0] = s[colour], d[1] = s[colour + 1], d[2] = s[colour + 2];
        } else if (a == 0) {
            d[0] = d[1] = d[2] = 0;
        } else {
            for (int c = 0; c < 3; ++c) d[c] = std::uint8_t(std::min(255u, (s[colour + c] * 255u + a / 2) / a));
        }
        if (outStep == 4) d[3] = std::uint8_t(a);
    }
}

// Straight RGBA16 samples of one row to any layout.
void writePixelsFromRGBA16(const std::uint16_t* s, PixelFormat target, int w, std::uint8_t* d) {
    auto luma = [](const std::uint16_t* p) {
        return std::uint16_t((unsigned(p[0]) * 19595u + unsigned(p[1]) * 38470u + unsigned(p[2]) * 7471u + 32768u) >> 16);
    };
    switch (target) {
    case PixelFormat::Gray8:
        for (int x = 0; x < w; ++x, s += 4) d[x] = narrow(luma(s));
        break;
    case PixelFormat::RGB8:
        for (int x = 0; x < w; ++x, s += 4, d += 3) d[0] = narrow(s[0]), d[1] = narrow(s[1]), d[2] = narrow(s[2]);
        break;
    case PixelFormat::RGBA8:
        for (int x = 0; x < w; ++x, s += 4, d += 4)
            d[0] = narrow(s[0]), d[1] = narrow(s[1]), d[2] = narrow(s[2]), d[3] = narrow(s[3]);
        break;
    case PixelFormat::ARGB8:
        for (int x = 0; x < w; ++x, s += 4, d += 4)
            d[0] = narrow(s[3]), d[1] = narrow(s[0]), d[2] = narrow(s[1]), d[3] = narrow(s[2]);
        break;
    case PixelFormat::Gray16:
        for (int x = 0; x < w; ++x, s += 4, d += 2) {
            std::uint16_t v = luma(s);
            std::memcpy(d, &v, 2);
        }
        break;
    case PixelFormat::RGB16:
        for (int x = 0; x < w; ++x, s += 4, d += 6) std::memcpy(d, s, 6);
        break;
    case PixelFormat::RGBA16:
        std::memcpy(d, s, std::size_t(w) * 8);
        break;
    case PixelFormat::RGBAf:
        for (int x = 0; x < w * 4; ++x, d += 4) {
            float f = float(s[x]) / 65535.0f;
            std::memcpy(d, &f, 4);
        }
        break;
    }
}

}  // namespace

RowConversion rowConversion(PixelFormat from, bool premultiplied, PixelFormat to) {
    if (isEightBitConversion(from, to))
        return [=](const std::uint8_t* in, std::uint8_t* out, int pixels) {
            convertEightBit(in, from, premultiplied, out, to, pixels);
        };
    // Straight RGBA16 in between, in a buffer of the converting thread's own.
    return [=](const std::uint8_t* in, std::uint8_t* out, int pixels) {
        thread_local std::vector<std::uint16_t> rgba;
        rgba.resize(std::size_t(pixels) * 4);
        readPixelsRGBA16(in, from, premultiplied, pixels, rgba.data());
        writePixelsFromRGBA16(rgba.data(), to, pixels, out);
    };
}

Bitmap convertPixels(const Bitmap& bitmap, PixelFormat target) {
    Bitmap out = Bitmap::make(bitmap.width, bitmap.height, target, false);
    if (!out.isValid() || !bitmap.isValid()) return Bitmap{};
    const RowConversion convert = rowConversion(bitmap.format, bitmap.premultiplied, target);
    for (int y = 0; y < bitmap.height; ++y) convert(bitmap.row(y), out.row(y), bitmap.width);
    return out;
}

bool isOpaque(const Bitmap& bitmap) {
    if (!hasAlpha(bitmap.format) || !bitmap.isValid()) return true;
    for (int y = 0; y < bitmap.height; ++y) {
        const std::uint8_t* p = bitmap.row(y);
        const int w = bitmap.width;
        switch (bitmap.format) {
        case PixelFormat::RGBA8:
            for (int x = 0; x < w; ++x)
                if (p[x * 4 + 3] != 255) return false;
            break;
        case PixelFormat::ARGB8:
            for (int x = 0; x < w; ++x)
                if (p[x * 4] != 255) return false;
            break;
        case PixelFormat::RGBA16:
            for (int x = 0; x < w; ++x)
                if (native16(p + x * 8 + 6) != 65535) return false;
            break;
        case PixelFormat::RGBAf:
            for (int x = 0; x < w; ++x) {
                float a;
                std::memcpy(&a, p + x * 16 + 12, 4);
                if (!(a >= 1.0f)) return false;
            }
            break;
        default: break;
        }
    }
    return true;
}

PixelFormat storageFormatFor(const Bitmap& bitmap) {
    const bool deep = bitsPerComponent(bitmap.format) > 8;
    const bool alpha = !isOpaque(bitmap);
    if (isGrayFormat(bitmap.format)) return deep ? PixelFormat::Gray16 : PixelFormat::Gray8;
    if (alpha) return deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8;
    return deep ? PixelFormat::RGB16 : PixelFormat::RGB8;
}

}  // namespace qv::io::support
