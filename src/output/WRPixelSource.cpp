#include "output/WRPixelSource.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_reduce.h>

#include <algorithm>
#include <cstring>

namespace {

std::uint16_t load16(const std::uint8_t* p) {
    std::uint16_t v;
    std::memcpy(&v, p, 2);
    return v;
}

void store16(std::uint8_t* p, std::uint16_t v) { std::memcpy(p, &v, 2); }

std::uint16_t toUnit16(float v) {
    if (!(v > 0.0f)) return 0;  // NaN and negatives
    if (v >= 1.0f) return 65535;
    return static_cast<std::uint16_t>(v * 65535.0f + 0.5f);
}

// Straight (not premultiplied) 16-bit RGBA from float samples.
qv::Bitmap floatToRGBA16(const qv::Bitmap& source) {
    qv::Bitmap out = qv::Bitmap::make(source.width, source.height, qv::PixelFormat::RGBA16);
    if (!out.isValid()) return out;
    for (int y = 0; y < source.height; ++y) {
        const std::uint8_t* in = source.row(y);
        std::uint8_t* o = out.row(y);
        for (int x = 0; x < source.width; ++x, in += 16, o += 8) {
            float s[4];
            std::memcpy(s, in, sizeof s);
            if (source.premultiplied && s[3] > 0.0f)
                for (int c = 0; c < 3; ++c) s[c] /= s[3];
            for (int c = 0; c < 4; ++c) store16(o + 2 * c, toUnit16(s[c]));
        }
    }
    return out;
}

// Divides the colour samples of a premultiplied 8- or 16-bit image by its alpha.
qv::Bitmap unpremultiplied(const qv::Bitmap& source, const int offset[4], int sampleBytes, int pixelBytes) {
    qv::Bitmap out = source;
    out.premultiplied = false;
    const std::uint32_t maximum = sampleBytes == 1 ? 255u : 65535u;
    for (int y = 0; y < out.height; ++y) {
        std::uint8_t* p = out.row(y);
        for (int x = 0; x < out.width; ++x, p += pixelBytes) {
            auto get = [&](int c) -> std::uint32_t { return sampleBytes == 1 ? p[offset[c]] : load16(p + offset[c]); };
            const std::uint32_t a = get(3);
            for (int c = 0; c < 3; ++c) {
                const std::uint32_t v = a == 0 ? 0 : std::min(maximum, (get(c) * maximum + a / 2) / a);
                if (sampleBytes == 1)
                    p[offset[c]] = static_cast<std::uint8_t>(v);
                else
                    store16(p + offset[c], static_cast<std::uint16_t>(v));
            }
        }
    }
    return out;
}

std::ptrdiff_t firstNonZero(const std::uint8_t* p, std::size_t n) {
    std::size_t i = 0;
    for (std::uint64_t word; i + 8 <= n; i += 8) {
        std::memcpy(&word, p + i, 8);
        if (word != 0) break;
    }
    for (; i < n; ++i)
        if (p[i] != 0) return std::ptrdiff_t(i);
    return -1;
}

std::ptrdiff_t lastNonZero(const std::uint8_t* p, std::size_t n) {
    std::size_t end = n;
    for (std::uint64_t word; end >= 8; end -= 8) {
        std::memcpy(&word, p + end - 8, 8);
        if (word != 0) break;
    }
    while (end > 0)
        if (p[--end] != 0) return std::ptrdiff_t(end);
    return -1;
}

}  // namespace

WRPixelSource::WRPixelSource(std::shared_ptr<const qv::Bitmap> bitmap) : m_bitmap(std::move(bitmap)) {
    using qv::PixelFormat;
    const PixelFormat format = m_bitmap->format;
    m_hasAlpha = qv::hasAlpha(format);
    m_sampleBytes = qv::bytesPerSample(format);
    m_pixelBytes = qv::bytesPerPixel(format);
    switch (format) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16: break;  // every colour channel reads the one grey sample
    case PixelFormat::ARGB8:
        m_offset[0] = 1, m_offset[1] = 2, m_offset[2] = 3, m_offset[3] = 0;
        break;
    default:
        for (int c = 0; c < qv::channelCount(format); ++c) m_offset[c] = c * m_sampleBytes;
    }
}

std::shared_ptr<const WRPixelSource> WRPixelSource::make(std::shared_ptr<const qv::Bitmap> bitmap) {
    if (!bitmap || !bitmap->isValid()) return nullptr;
    if (bitmap->format == qv::PixelFormat::RGBAf) {
        auto converted = std::make_shared<qv::Bitmap>(floatToRGBA16(*bitmap));
        if (!converted->isValid()) return nullptr;
        bitmap = std::move(converted);
    }
    std::shared_ptr<const WRPixelSource> source(new WRPixelSource(bitmap));
    if (bitmap->premultiplied && source->m_hasAlpha) {
        auto straight = std::make_shared<qv::Bitmap>(
            unpremultiplied(*bitmap, source->m_offset, source->m_sampleBytes, source->m_pixelBytes));
        source.reset(new WRPixelSource(std::move(straight)));
    }
    return source;
}

const std::uint8_t* WRPixelSource::channelRow(int channel, int y, int left, int right, int depth,
                                              std::uint8_t* scratch) const {
    const std::uint8_t* in = m_bitmap->row(y) + std::size_t(left) * m_pixelBytes + m_offset[channel];
    const std::size_t count = std::size_t(right - left);
    const std::size_t stride = std::size_t(m_pixelBytes);
    if (m_sampleBytes == 1 && depth == 1) {
        for (std::size_t i = 0; i < count; ++i) scratch[i] = in[i * stride];
    } else if (m_sampleBytes == 1) {
        for (std::size_t i = 0; i < count; ++i) scratch[2 * i] = scratch[2 * i + 1] = in[i * stride];
    } else if (depth == 2) {
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint16_t v = load16(in + i * stride);
            scratch[2 * i] = static_cast<std::uint8_t>(v >> 8);
            scratch[2 * i + 1] = static_cast<std::uint8_t>(v);
        }
    } else {
        for (std::size_t i = 0; i < count; ++i)
            scratch[i] = static_cast<std::uint8_t>((std::uint32_t(load16(in + i * stride)) + 128) / 257);
    }
    return scratch;
}

WRRect WRPixelSource::opaqueRect() const {
    const std::size_t rowBytes = std::size_t(width()) * m_pixelBytes;
    const WRRect none{height(), 0, width(), 0};  // empty: top past bottom
    const WRRect found = tbb::parallel_reduce(
        tbb::blocked_range<int>(0, height()), none,
        [&](const tbb::blocked_range<int>& rows, WRRect r) {
            for (int y = rows.begin(); y != rows.end(); ++y) {
                const std::uint8_t* row = m_bitmap->row(y);
                const std::ptrdiff_t first = firstNonZero(row, rowBytes);
                if (first < 0) continue;
                const std::ptrdiff_t last = lastNonZero(row, rowBytes);
                r.top = std::min(r.top, y);
                r.bottom = std::max(r.bottom, y + 1);
                r.left = std::min<std::int32_t>(r.left, std::int32_t(first / m_pixelBytes));
                r.right = std::max<std::int32_t>(r.right, std::int32_t(last / m_pixelBytes + 1));
            }
            return r;
        },
        [](const WRRect& a, const WRRect& b) {
            return WRRect{std::min(a.top, b.top), std::max(a.bottom, b.bottom), std::min(a.left, b.left),
                          std::max(a.right, b.right)};
        });
    if (found.bottom <= found.top) return WRRect{0, height(), 0, width()};
    return found;
}

bool WRPixelSource::hasUnfeatheredAlpha() const {
    if (!m_hasAlpha) return false;
    struct Seen {
        bool onlyExtremes = true;
        bool anyOpaque = false;
    };
    const std::uint32_t maximum = m_sampleBytes == 1 ? 255u : 65535u;
    const Seen seen = tbb::parallel_reduce(
        tbb::blocked_range<int>(0, height()), Seen{},
        [&](const tbb::blocked_range<int>& rows, Seen s) {
            for (int y = rows.begin(); y != rows.end() && s.onlyExtremes; ++y) {
                const std::uint8_t* p = m_bitmap->row(y) + m_offset[3];
                for (int x = 0; x < width(); ++x, p += m_pixelBytes) {
                    const std::uint32_t a = m_sampleBytes == 1 ? *p : load16(p);
                    if (a == maximum) {
                        s.anyOpaque = true;
                    } else if (a != 0) {
                        s.onlyExtremes = false;
                        break;
                    }
                }
            }
            return s;
        },
        [](Seen a, Seen b) { return Seen{a.onlyExtremes && b.onlyExtremes, a.anyOpaque || b.anyOpaque}; });
    return seen.onlyExtremes && seen.anyOpaque;
}
