#include "appkit/Rasterizer.h"

#include <algorithm>
#include <cmath>

namespace qv::ui {
namespace {

constexpr int kSubRows = 4;
constexpr double kMiterLimit = 10.0;

struct Edge {
    double x0, y0, x1, y1;
    int winding;
};

struct Crossing {
    double x;
    int winding;
    bool operator<(const Crossing& o) const { return x < o.x; }
};

double signedArea(const Polygon& p) {
    double area = 0;
    for (std::size_t i = 0; i < p.size(); ++i) {
        const Point& a = p[i];
        const Point& b = p[(i + 1) % p.size()];
        area += a.x * b.y - b.x * a.y;
    }
    return area / 2;
}

void addCounterClockwise(Polygon polygon, std::vector<Polygon>& out) {
    if (polygon.size() < 3) return;
    if (signedArea(polygon) < 0) std::reverse(polygon.begin(), polygon.end());
    out.push_back(std::move(polygon));
}

// The spans of one sample row where the winding number is not zero.
template <class SpanFn>
void spansAt(const std::vector<Edge>& edges, double y, std::vector<Crossing>& crossings, SpanFn span) {
    crossings.clear();
    for (const Edge& e : edges) {
        double lo = std::min(e.y0, e.y1), hi = std::max(e.y0, e.y1);
        if (y < lo || y >= hi) continue;
        double x = e.x0 + (y - e.y0) * (e.x1 - e.x0) / (e.y1 - e.y0);
        crossings.push_back({x, e.winding});
    }
    std::sort(crossings.begin(), crossings.end());
    int winding = 0;
    for (std::size_t i = 0; i + 1 < crossings.size(); ++i) {
        winding += crossings[i].winding;
        if (winding != 0) span(crossings[i].x, crossings[i + 1].x);
    }
}

}  // namespace

PixelBox PixelBox::intersection(const PixelBox& o) const {
    return {std::max(x0, o.x0), std::max(y0, o.y0), std::min(x1, o.x1), std::min(y1, o.y1)};
}

void rasterize(const std::vector<Polygon>& polygons, const PixelBox& clip, bool antialias,
               const std::function<void(int, int, const std::vector<float>&)>& visit) {
    std::vector<Edge> edges;
    double minX = INFINITY, minY = INFINITY, maxX = -INFINITY, maxY = -INFINITY;
    for (const Polygon& polygon : polygons) {
        for (std::size_t i = 0; i < polygon.size(); ++i) {
            const Point& a = polygon[i];
            const Point& b = polygon[(i + 1) % polygon.size()];
            if (!std::isfinite(a.x) || !std::isfinite(a.y)) return;  // a degenerate transform
            minX = std::min(minX, a.x), maxX = std::max(maxX, a.x);
            minY = std::min(minY, a.y), maxY = std::max(maxY, a.y);
            if (a.y != b.y) edges.push_back({a.x, a.y, b.x, b.y, b.y > a.y ? 1 : -1});
        }
    }
    if (edges.empty()) return;
    PixelBox box{int(std::floor(std::max(minX, -1e9))), int(std::floor(std::max(minY, -1e9))),
                 int(std::ceil(std::min(maxX, 1e9))) + 1, int(std::ceil(std::min(maxY, 1e9))) + 1};
    box = box.intersection(clip);
    if (box.isEmpty()) return;

    const int width = box.x1 - box.x0;
    std::vector<float> coverage(std::size_t(width), 0.0f);
    std::vector<Crossing> crossings;
    for (int row = box.y0; row < box.y1; ++row) {
        std::fill(coverage.begin(), coverage.end(), 0.0f);
        bool touched = false;
        if (antialias) {
            for (int k = 0; k < kSubRows; ++k) {
                double y = row + (k + 0.5) / kSubRows;
                spansAt(edges, y, crossings, [&](double a, double b) {
                    a = std::max(a, double(box.x0));
                    b = std::min(b, double(box.x1));
                    if (b <= a) return;
                    touched = true;
                    int first = int(std::floor(a)), last = int(std::ceil(b)) - 1;
                    for (int x = first; x <= last; ++x) {
                        double overlap = std::min(b, x + 1.0) - std::max(a, double(x));
                        coverage[std::size_t(x - box.x0)] += float(overlap / kSubRows);
                    }
                });
            }
        } else {
            spansAt(edges, row + 0.5, crossings, [&](double a, double b) {
                // Pixels whose centres lie in [a, b).
                int first = std::max(int(std::ceil(a - 0.5)), box.x0);
                int last = std::min(int(std::ceil(b - 0.5)) - 1, box.x1 - 1);
                for (int x = first; x <= last; ++x) coverage[std::size_t(x - box.x0)] = 1.0f;
                touched = touched || first <= last;
            });
        }
        if (touched) visit(row, box.x0, coverage);
    }
}

void strokeOutline(const std::vector<Point>& input, bool closed, double width, std::vector<Polygon>& out) {
    // Repeated points make no direction; drop them.
    std::vector<Point> points;
    for (const Point& p : input)
        if (points.empty() || p != points.back()) points.push_back(p);
    if (closed && points.size() > 1 && points.front() == points.back()) points.pop_back();
    if (points.size() < 2 || !(width > 0)) return;
    const double half = width / 2;
    const std::size_t segments = closed ? points.size() : points.size() - 1;

    auto normalOf = [&](std::size_t i) {
        const Point& a = points[i];
        const Point& b = points[(i + 1) % points.size()];
        double dx = b.x - a.x, dy = b.y - a.y, length = std::hypot(dx, dy);
        return Point{-dy / length * half, dx / length * half};
    };

    for (std::size_t i = 0; i < segments; ++i) {
        const Point& a = points[i];
        const Point& b = points[(i + 1) % points.size()];
        Point n = normalOf(i);
        addCounterClockwise({{a.x + n.x, a.y + n.y}, {b.x + n.x, b.y + n.y}, {b.x - n.x, b.y - n.y},
                             {a.x - n.x, a.y - n.y}},
                            out);
    }
    // Joins at the corners between consecutive segments.
    const std::size_t firstJoin = closed ? 0 : 1;
    const std::size_t lastJoin = closed ? points.size() : points.size() - 1;
    for (std::size_t j = firstJoin; j < lastJoin; ++j) {
        std::size_t incoming = (j + points.size() - 1) % points.size();
        const Point& v = points[j];
        Point n1 = normalOf(incoming), n2 = normalOf(j);
        double cross = n1.x * n2.y - n1.y * n2.x;
        if (cross == 0) continue;  // straight on, or a full turn back
        // The outer side of the turn lies opposite the direction it turns to.
        double side = cross > 0 ? -1 : 1;
        Point o1{v.x + side * n1.x, v.y + side * n1.y};
        Point o2{v.x + side * n2.x, v.y + side * n2.y};
        Point bisector{n1.x + n2.x, n1.y + n2.y};
        double cosHalf = std::hypot(bisector.x, bisector.y) / (2 * half);
        if (cosHalf > 1.0 / kMiterLimit) {
            double scale = half / (cosHalf * std::hypot(bisector.x, bisector.y));
            Point tip{v.x + side * bisector.x * scale, v.y + side * bisector.y * scale};
            addCounterClockwise({v, o1, tip, o2}, out);
        } else {
            addCounterClockwise({v, o1, o2}, out);
        }
    }
}

}  // namespace qv::ui
