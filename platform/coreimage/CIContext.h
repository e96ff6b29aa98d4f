#pragma once
// Rendering: a Context turns a rectangle of a lazy image into pixels of a qv::Bitmap.
//
// The rectangle is made whole first (the smallest integral rectangle holding it, ignoring
// differences below 1e-4 pixel). Output rows run top-down: row 0 is the rectangle's top. Samples
// are premultiplied. Formats: ARGB8 (the 8-bit format), RGBA8, RGBA16 (the 16-bit format), RGBAf.
// Tiles of the rectangle are rendered in parallel on every core; the result does not depend on the
// number of threads. A null image, an empty, non-finite or absurdly large rectangle (more than
// 2^30 pixels or 2^20 pixels on a side) fails cleanly: nothing is allocated.
#include <cstddef>
#include <memory>

#include "coreimage/CIImage.h"
#include "foundation/BandSource.h"
#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace qv::ci {

struct ContextOptions {
    bool useSoftwareRenderer = true;  // the only renderer here; kept for the callers' options
};

// What the last render of a context read, for tests and profiling.
struct RenderStatistics {
    std::size_t rasterRowsFetched = 0;  // rows of pixel-holding images the render was allowed to read
    std::size_t rasterPixelsFetched = 0;
    std::size_t tiles = 0;
    std::size_t kernelGridPoints = 0;  // positions at which kernel warps and gains were evaluated
};

class Context {
public:
    explicit Context(ContextOptions options = {}) : m_options(options) {}
    static Context contextWithOptions(ContextOptions options = {}) { return Context(options); }

    // Renders rect of image into a new bitmap of the given format. An invalid (empty) bitmap when
    // the image is null, the rectangle is unusable, the format is not a render format or memory runs out.
    Bitmap createBitmap(const Image& image, const Rect& rect, PixelFormat format);

    // Renders rect of image into target, whose format and size (the rectangle made whole must
    // have the target's size) are given. False, with target untouched, on the failures above.
    bool render(const Image& image, Bitmap& target, const Rect& rect);

    // Renders rect of image band by band for a consumer that takes one band at a time (an encoder):
    // while it works on one band, the next is rendered on the other cores, so neither waits for
    // the whole picture and only two bands are ever held. Rows are rendered in `format` and, with
    // a conversion, converted into `bandFormat` (straight or premultiplied as bandPremultiplied
    // says) on the rendering threads. The pixels are those createBitmap gives. Null on the
    // failures of createBitmap. The image's own pixels are kept alive by the source.
    std::unique_ptr<BandSource> bandSource(const Image& image, const Rect& rect, PixelFormat format,
                                           RowConversion convert = {}, PixelFormat bandFormat = PixelFormat::ARGB8,
                                           bool bandPremultiplied = true);

    // Whether every pixel a render of rect in `format` gives is opaque (alpha at its maximum), found
    // by rendering it band by band and stopping at the first pixel that is not. False on the
    // failures of createBitmap.
    bool rendersOpaque(const Image& image, const Rect& rect, PixelFormat format);

    const RenderStatistics& lastStatistics() const { return m_statistics; }
    const ContextOptions& options() const { return m_options; }

    // The pixel rectangle a render of rect covers, or the null rectangle when it is unusable.
    static Rect renderBounds(const Rect& rect);

private:
    ContextOptions m_options;
    RenderStatistics m_statistics;
};

}  // namespace qv::ci
