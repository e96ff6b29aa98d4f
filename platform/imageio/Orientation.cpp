#include "imageio/Orientation.h"

#include <cmath>
#include <cstring>

namespace qv::io {

AffineTransform orientationTransform(long orientation, double W, double H) {
    switch (orientation) {
    case 2: return {-1, 0, 0, 1, W, 0};
    case 3: return {-1, 0, 0, -1, W, H};
    case 4: return {1, 0, 0, -1, 0, H};
    case 5: return {0, -1, -1, 0, H, W};
    case 6: return {0, -1, 1, 0, 0, W};
    case 7: return {0, 1, 1, 0, 0, 0};
    case 8: return {0, 1, -1, 0, H, 0};
    default: return AffineTransform::identity();
    }
}

bool orientationSwapsAxes(long orientation) { return orientation >= 5 && orientation <= 8; }

Bitmap applyOrientation(const Bitmap& stored, long orientation) {
    if (orientation < 2 || orientation > 8 || !stored.isValid()) return stored;
    const bool swap = orientationSwapsAxes(orientation);
    const int outW = swap ? stored.height : stored.width;
    const int outH = swap ? stored.width : stored.height;
    Bitmap out = Bitmap::make(outW, outH, stored.format, stored.premultiplied);
    if (!out.isValid()) return out;

    // Work with pixel centres in y-up coordinates: stored pixel (column x, row r from the top) sits
    // at (x + 0.5, H - r - 0.5). The inverse transform takes an upright pixel centre back to the
    // stored one; it is affine, so the source column and row move by fixed steps along a row.
    const AffineTransform inverse =
        orientationTransform(orientation, stored.width, stored.height).inverted();
    auto sourceOf = [&](int col, int row, long& sx, long& sy) {
        Point p = inverse.apply(Point{col + 0.5, outH - row - 0.5});
        sx = std::lround(p.x - 0.5);
        sy = std::lround(stored.height - p.y - 0.5);
    };
    long x0, y0, x1, y1, x2, y2;
    sourceOf(0, 0, x0, y0);
    sourceOf(1, 0, x1, y1);
    sourceOf(0, 1, x2, y2);
    const long stepX = x1 - x0, stepY = y1 - y0;  // per output column
    const long rowX = x2 - x0, rowY = y2 - y0;    // per output row

    const std::size_t pixelBytes = std::size_t(bytesPerPixel(stored.format));
    const long rowBytes = long(stored.bytesPerRow);
    const long columnStride = stepX * long(pixelBytes) + stepY * rowBytes;
    for (int row = 0; row < outH; ++row) {
        const long sx = x0 + rowX * row, sy = y0 + rowY * row;
        long offset = sy * rowBytes + sx * long(pixelBytes);
        std::uint8_t* dst = out.row(row);
        for (int col = 0; col < outW; ++col, dst += pixelBytes, offset += columnStride)
            std::memcpy(dst, stored.pixels.data() + offset, pixelBytes);
    }
    return out;
}

}  // namespace qv::io
