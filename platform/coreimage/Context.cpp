// Rendering: plan the graph for the rectangle, then evaluate it in tiles of 256 x 64 pixels on
// every core, a row at a time in float, and write each row in the target's pixel format.
#include "coreimage/CIContext.h"

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>

#include "coreimage/Node.h"
#include "coreimage/RowFormats.h"

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
    // Every pixel is written by the render, so the target is not zeroed first.
    Bitmap target = Bitmap::makeUninitialized(int(bounds.width()), int(bounds.height()), format, true);
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
            detail::writeRow(row, n, target.format, target.row(r) + std::size_t(x0) * bytesPerPixelOut);
        }
    });
    return true;
}

}  // namespace qv::ci
