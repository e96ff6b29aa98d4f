#pragma once
// Scan conversion of polygons into per-pixel coverage, in device pixels (x right, y down from the
// top row). Polygons are filled with the non-zero winding rule, so strokes built from overlapping
// pieces that all turn the same way come out as their union.
#include <functional>
#include <vector>

#include "foundation/Geometry.h"

namespace qv::ui {

using Polygon = std::vector<Point>;

struct PixelBox {  // a half-open box of device pixels
    int x0 = 0, y0 = 0, x1 = 0, y1 = 0;
    bool isEmpty() const { return x1 <= x0 || y1 <= y0; }
    PixelBox intersection(const PixelBox& o) const;
};

// Calls visit(row, x0, coverage) once per covered row with coverage[i] for pixel x0 + i, each in
// 0..1. With antialiasing every pixel gets the share of its area the polygons cover (four
// sub-rows, exact horizontally); without it a pixel is covered when its centre is inside.
void rasterize(const std::vector<Polygon>& polygons, const PixelBox& clip, bool antialias,
               const std::function<void(int row, int x0, const std::vector<float>& coverage)>& visit);

// The outline pieces of a stroke along a polyline: one quadrilateral per segment (butt ends) and
// a miter (or, past the miter limit, bevel) wedge at every inner corner and, for closed lines, at
// the start. Every piece turns counter-clockwise.
void strokeOutline(const std::vector<Point>& points, bool closed, double width, std::vector<Polygon>& out);

}  // namespace qv::ui
