// Rendering: plan the graph for the rectangle, then evaluate it in tiles of 256 x 64 pixels on
// every core, a row at a time in float, and write each row in the target's pixel format.
#include "coreimage/CIContext.h"

#include <tbb/enumerable_thread_specific.h>
#include <tbb/parallel_for.h>
#include <tbb/task_group.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

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

using TileArenas = tbb::enumerable_thread_specific<detail::Arena>;

// Asks for the cache lines of [p, p + bytes), to be written. Rendering a row of a tile ends with
// its pixels stored to the target, lines no cache holds yet: asked for before the row's points are
// worked out, they arrive meanwhile, where otherwise the stores would wait for them.
void prefetchForWriting(const std::uint8_t* p, std::size_t bytes) {
    constexpr std::uintptr_t kLine = 64;
    const std::uintptr_t first = reinterpret_cast<std::uintptr_t>(p) & ~(kLine - 1);
    const std::uintptr_t end = reinterpret_cast<std::uintptr_t>(p) + bytes;
    for (std::uintptr_t line = first; line < end; line += kLine) __builtin_prefetch(reinterpret_cast<const void*>(line), 1, 3);
}

// Renders picture rows [firstRow, firstRow + target.height) of bounds (row 0 its top) into target,
// tiles in parallel. Each row is written in `format` and, with a conversion, converted into the
// target's own layout.
void renderRows(const detail::Evaluator& root, const Rect& bounds, int firstRow, PixelFormat format,
                const RowConversion& convert, Bitmap& target, TileArenas& arenas, const detail::RenderStatisticsSink& sink) {
    const int width = target.width, height = target.height;
    const int tilesX = (width + kTileWidth - 1) / kTileWidth, tilesY = (height + kTileHeight - 1) / kTileHeight;
    sink.addTiles(std::size_t(tilesX) * std::size_t(tilesY));
    const std::size_t renderedPixelBytes = std::size_t(bytesPerPixel(format));
    const std::size_t targetPixelBytes = std::size_t(bytesPerPixel(target.format));
    tbb::parallel_for(0, tilesX * tilesY, [&](int tile) {
        detail::Arena& arena = arenas.local();
        const int tx = tile % tilesX, ty = tile / tilesX;
        const int x0 = tx * kTileWidth, n = std::min(kTileWidth, width - x0);
        const int r0 = ty * kTileHeight, r1 = std::min(height, r0 + kTileHeight);
        detail::ArenaScope scope(arena);
        float* row = arena.alloc(4 * std::size_t(n));
        // A converted row is written in the render format first, into room taken as bytes.
        std::uint8_t* rendered =
            convert ? reinterpret_cast<std::uint8_t*>(arena.alloc((renderedPixelBytes * std::size_t(n) + 3) / 4)) : nullptr;
        for (int r = r0; r < r1; ++r) {
            // Picture row firstRow + r (top-down) is the working-space row whose bottom edge is maxY - row - 1.
            const double y = bounds.maxY() - (firstRow + r) - 1;
            std::uint8_t* out = target.row(r) + std::size_t(x0) * targetPixelBytes;
            prefetchForWriting(out, std::size_t(n) * targetPixelBytes);
            root.sampleRow(bounds.minX() + x0, y, n, row, arena);
            if (!convert) {
                detail::writeRow(row, n, format, out);
                continue;
            }
            detail::writeRow(row, n, format, rendered);
            convert(rendered, out, n);
        }
    });
}

// Rows of a band: whole tiles, about 8 MB of the wider of the two layouts.
int bandRowsFor(std::size_t rowBytes, int height) {
    constexpr std::size_t kBandBytes = std::size_t(8) << 20;
    const int rows = int(std::max<std::size_t>(1, kBandBytes / std::max<std::size_t>(rowBytes, 1)) / kTileHeight) * kTileHeight;
    return std::clamp(std::max(rows, kTileHeight), 1, height);
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
    TileArenas arenas;
    renderRows(plan.root(), bounds, 0, target.format, {}, target, arenas, sink);
    return true;
}

namespace {

// Renders the picture band by band into two buffers that take turns: the band the consumer holds
// and the one rendered meanwhile on the task group.
class BandRenderer final : public BandSource {
public:
    BandRenderer(const Image& image, const Rect& bounds, PixelFormat format, RowConversion convert, Bitmap first,
                 Bitmap second)
        : m_image(image), m_bounds(bounds), m_format(format), m_convert(std::move(convert)),
          m_plan(image.node(), bounds, detail::RenderStatisticsSink{&m_statistics}) {
        m_bands[0] = std::move(first);
        m_bands[1] = std::move(second);
        m_bandRows = m_bands[0].height;
    }
    ~BandRenderer() noexcept override {
        if (m_pending >= 0) m_group.wait();
    }

    int width() const override { return int(m_bounds.width()); }
    int height() const override { return int(m_bounds.height()); }
    PixelFormat format() const override { return m_bands[0].format; }
    bool premultiplied() const override { return m_bands[0].premultiplied; }

    const Bitmap* nextBand(int& firstRow) override {
        int ready = m_pending;
        if (ready >= 0) {
            m_group.wait();
            m_pending = -1;
        } else if (m_nextRow == 0) {
            ready = 0;
            claimRows(ready);
            render(ready);
        } else {
            return nullptr;
        }
        // The other buffer held the band handed out before this one, which the consumer is done
        // with. Its rows are claimed here, on the consumer's thread, before the task runs.
        if (m_nextRow < height()) {
            m_pending = 1 - ready;
            claimRows(m_pending);
            m_group.run([this, band = m_pending] { render(band); });
        }
        firstRow = m_firstRow[ready];
        return &m_bands[ready];
    }

private:
    void claimRows(int band) {
        m_firstRow[band] = m_nextRow;
        m_bands[band].height = std::min(m_bandRows, height() - m_nextRow);
        m_nextRow += m_bands[band].height;
    }
    void render(int band) {
        renderRows(m_plan.root(), m_bounds, m_firstRow[band], m_format, m_convert, m_bands[band], m_arenas,
                   detail::RenderStatisticsSink{&m_statistics});
    }

    Image m_image;  // the recipe and its pixels outlive the plan that reads them
    Rect m_bounds;
    PixelFormat m_format;
    RowConversion m_convert;
    RenderStatistics m_statistics;
    detail::RenderPlan m_plan;
    TileArenas m_arenas;
    Bitmap m_bands[2];
    int m_firstRow[2] = {0, 0};
    int m_bandRows = 0, m_nextRow = 0, m_pending = -1;
    tbb::task_group m_group;
};

}  // namespace

std::unique_ptr<BandSource> Context::bandSource(const Image& image, const Rect& rect, PixelFormat format,
                                                RowConversion convert, PixelFormat bandFormat, bool bandPremultiplied) {
    m_statistics = RenderStatistics{};
    const Rect bounds = renderBounds(rect);
    if (image.isNull() || bounds.isNull() || !isRenderFormat(format)) return nullptr;
    if (!convert) bandFormat = format, bandPremultiplied = true;
    const int width = int(bounds.width()), height = int(bounds.height());
    const int rows = bandRowsFor(std::size_t(width) * std::size_t(std::max(bytesPerPixel(format), bytesPerPixel(bandFormat))), height);
    Bitmap first = Bitmap::makeUninitialized(width, rows, bandFormat, bandPremultiplied);
    Bitmap second = Bitmap::makeUninitialized(width, rows, bandFormat, bandPremultiplied);
    if (!first.isValid() || !second.isValid()) return nullptr;
    return std::make_unique<BandRenderer>(image, bounds, format, std::move(convert), std::move(first), std::move(second));
}

namespace {

bool bandIsOpaque(const Bitmap& band) {
    for (int y = 0; y < band.height; ++y) {
        const std::uint8_t* p = band.row(y);
        for (int x = 0; x < band.width; ++x) {
            switch (band.format) {
            case PixelFormat::ARGB8:
                if (p[4 * x] != 255) return false;
                break;
            case PixelFormat::RGBA8:
                if (p[4 * x + 3] != 255) return false;
                break;
            case PixelFormat::RGBA16: {
                std::uint16_t a;
                std::memcpy(&a, p + 8 * x + 6, 2);
                if (a != 65535) return false;
                break;
            }
            default: {
                float a;
                std::memcpy(&a, p + 16 * x + 12, 4);
                if (!(a >= 1.0f)) return false;
                break;
            }
            }
        }
    }
    return true;
}

}  // namespace

bool Context::rendersOpaque(const Image& image, const Rect& rect, PixelFormat format) {
    std::unique_ptr<BandSource> bands = bandSource(image, rect, format);
    if (!bands) return false;
    int first = 0;
    while (const Bitmap* band = bands->nextBand(first))
        if (!bandIsOpaque(*band)) return false;
    return true;
}

}  // namespace qv::ci
