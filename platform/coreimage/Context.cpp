// Rendering: plan the graph for the rectangle, then evaluate it in tiles of 256 x 64 pixels on
// every core, a row at a time in float, and write each row in the target's pixel format.
#include "coreimage/CIContext.h"

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "coreimage/Node.h"
#include "coreimage/SimdTypes.h"

namespace qv::ci {

namespace {

constexpr int kTileWidth = 256;
constexpr int kTileHeight = 64;
constexpr double kMaxSide = double(1 << 20);
constexpr double kMaxPixels = double(1 << 30);
constexpr double kWholeTolerance = 1e-4;

bool isRenderFormat(PixelFormat f) {
    return f == PixelFormat::ARGB8 || f == PixelFormat::RGBA8 || f == PixelFormat::RGBA16 || f == PixelFormat::RGBAf;
}

// One row of premultiplied float RGBA written in the target format, clamped to [0, 1] for the
// integer formats and rounded to nearest.
void writeRow(const float* src, int n, PixelFormat format, std::uint8_t* dst) {
    using detail::load4;
    using detail::splat;
    using detail::v4f;
    const v4f zero = splat(0.f), one = splat(1.f);
    switch (format) {
    case PixelFormat::ARGB8:
    case PixelFormat::RGBA8: {
        typedef std::int32_t v4i __attribute__((vector_size(16)));
        const bool alphaFirst = format == PixelFormat::ARGB8;
        int i = 0;
#if defined(__SSE2__)
        // Four pixels at a time: round, saturate to bytes, rotate alpha to the front for ARGB.
        const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(255.f), half = _mm_set1_ps(0.5f);
        for (; i + 4 <= n; i += 4) {
            __m128i q[4];
            for (int k = 0; k < 4; ++k) {
                const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + 4 * (i + k)), lo), _mm_set1_ps(1.f));
                q[k] = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, hi), half));
            }
            __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
            if (alphaFirst) bytes = _mm_or_si128(_mm_slli_epi32(bytes, 8), _mm_srli_epi32(bytes, 24));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), bytes);
        }
#endif
        for (; i < n; ++i) {
            const v4f v = detail::vmin(detail::vmax(load4(src + 4 * i), zero), one) * 255.f + 0.5f;
            v4i q = __builtin_convertvector(v, v4i);
            if (alphaFirst) q = __builtin_shufflevector(q, q, 3, 0, 1, 2);
            const detail::v4u8 bytes = __builtin_convertvector(q, detail::v4u8);
            std::memcpy(dst + 4 * i, &bytes, 4);
        }
        break;
    }
    case PixelFormat::RGBA16: {
        auto* p = reinterpret_cast<std::uint16_t*>(dst);
        for (int i = 0; i < n; ++i) {
            const v4f v = detail::vmin(detail::vmax(load4(src + 4 * i), zero), one) * 65535.f + 0.5f;
            typedef std::int32_t v4i __attribute__((vector_size(16)));
            const v4i q = __builtin_convertvector(v, v4i);
            for (int c = 0; c < 4; ++c) p[4 * i + c] = std::uint16_t(q[c]);
        }
        break;
    }
    default: std::memcpy(dst, src, sizeof(float) * 4 * std::size_t(n)); break;
    }
}

}  // namespace

Rect Context::renderBounds(const Rect& rect) {
    if (rect.isNull() || !rect.isFinite()) return Rect::null();
    const Rect r = rect.standardized();
    const double x0 = std::floor(r.minX() + kWholeTolerance), y0 = std::floor(r.minY() + kWholeTolerance);
    const double x1 = std::ceil(r.maxX() - kWholeTolerance), y1 = std::ceil(r.maxY() - kWholeTolerance);
    const double w = x1 - x0, h = y1 - y0;
    if (!(w >= 1) || !(h >= 1) || w > kMaxSide || h > kMaxSide || w * h > kMaxPixels) return Rect::null();
    // Positions are computed in float: beyond 2^23 a pixel centre is no longer representable.
    if (std::fabs(x0) > 8e6 || std::fabs(y0) > 8e6 || std::fabs(x1) > 8e6 || std::fabs(y1) > 8e6) return Rect::null();
    return Rect(x0, y0, w, h);
}

Bitmap Context::createBitmap(const Image& image, const Rect& rect, PixelFormat format) {
    m_statistics = RenderStatistics{};
    const Rect bounds = renderBounds(rect);
    if (image.isNull() || bounds.isNull() || !isRenderFormat(format)) return Bitmap{};
    Bitmap target = Bitmap::make(int(bounds.width()), int(bounds.height()), format, true);
    if (!target.isValid()) return Bitmap{};
    if (!render(image, target, bounds)) return Bitmap{};
    return target;
}

bool Context::render(const Image& image, Bitmap& target, const Rect& rect) {
    m_statistics = RenderStatistics{};
    const Rect bounds = renderBounds(rect);
    if (image.isNull() || bounds.isNull() || !isRenderFormat(target.format) || !target.isValid()) return false;
    if (target.width != int(bounds.width()) || target.height != int(bounds.height())) return false;
    target.premultiplied = true;

    const detail::RenderStatisticsSink sink{&m_statistics};
    detail::RenderPlan plan(image.node(), bounds, sink);
    const detail::Evaluator& root = plan.root();

    const int width = target.width, height = target.height;
    const int tilesX = (width + kTileWidth - 1) / kTileWidth, tilesY = (height + kTileHeight - 1) / kTileHeight;
    sink.addTiles(std::size_t(tilesX) * std::size_t(tilesY));
    const int bytesPerPixelOut = bytesPerPixel(target.format);
    tbb::enumerable_thread_specific<detail::Arena> arenas;
    tbb::parallel_for(0, tilesX * tilesY, [&](int tile) {
        detail::Arena& arena = arenas.local();
        const int tx = tile % tilesX, ty = tile / tilesX;
        const int x0 = tx * kTileWidth, n = std::min(kTileWidth, width - x0);
        const int r0 = ty * kTileHeight, r1 = std::min(height, r0 + kTileHeight);
        detail::ArenaScope scope(arena);
        float* row = arena.alloc(4 * std::size_t(n));
        for (int r = r0; r < r1; ++r) {
            // Output row r (top-down) is the working-space row whose bottom edge is maxY - r - 1.
            const double y = bounds.maxY() - r - 1;
            root.sampleRow(bounds.minX() + x0, y, n, row, arena);
            writeRow(row, n, target.format, target.row(r) + std::size_t(x0) * bytesPerPixelOut);
        }
    });
    return true;
}

}  // namespace qv::ci
