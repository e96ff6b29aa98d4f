#include "foundation/Geometry.h"

#include <algorithm>
#include <ostream>

namespace qv {

namespace {
constexpr double kInf = std::numeric_limits<double>::infinity();
// The platform's infinite rectangle is a very large finite one; its half-extent is what we test for.
constexpr double kHuge = 8.9884656743115785e307;
}  // namespace

Rect Rect::null() { return Rect(kInf, kInf, 0, 0); }
Rect Rect::infinite() { return Rect(-kHuge, -kHuge, 2 * kHuge, 2 * kHuge); }

bool Rect::isNull() const { return std::isinf(origin.x) || std::isinf(origin.y); }
bool Rect::isEmpty() const { return isNull() || !(size.width > 0) || !(size.height > 0); }
bool Rect::isInfinite() const { return !isNull() && (size.width >= 2 * kHuge || size.height >= 2 * kHuge); }
bool Rect::isFinite() const {
    return std::isfinite(origin.x) && std::isfinite(origin.y) && std::isfinite(size.width) &&
           std::isfinite(size.height) && !isInfinite();
}

Rect Rect::standardized() const {
    if (isNull()) return *this;
    Rect r = *this;
    if (r.size.width < 0) { r.origin.x += r.size.width; r.size.width = -r.size.width; }
    if (r.size.height < 0) { r.origin.y += r.size.height; r.size.height = -r.size.height; }
    return r;
}

Rect Rect::unionWith(const Rect& other) const {
    if (isNull()) return other.standardized();
    if (other.isNull()) return standardized();
    if (isInfinite() || other.isInfinite()) return infinite();
    Rect a = standardized(), b = other.standardized();
    double x0 = std::min(a.minX(), b.minX()), y0 = std::min(a.minY(), b.minY());
    double x1 = std::max(a.maxX(), b.maxX()), y1 = std::max(a.maxY(), b.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::intersection(const Rect& other) const {
    if (isNull() || other.isNull()) return null();
    if (isInfinite()) return other.standardized();
    if (other.isInfinite()) return standardized();
    Rect a = standardized(), b = other.standardized();
    double x0 = std::max(a.minX(), b.minX()), y0 = std::max(a.minY(), b.minY());
    double x1 = std::min(a.maxX(), b.maxX()), y1 = std::min(a.maxY(), b.maxY());
    if (x1 < x0 || y1 < y0) return null();
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

Rect Rect::insetBy(double dx, double dy) const {
    if (isNull() || isInfinite()) return *this;
    Rect r = standardized();
    r.origin.x += dx;
    r.origin.y += dy;
    r.size.width -= 2 * dx;
    r.size.height -= 2 * dy;
    if (r.size.width < 0 || r.size.height < 0) return null();
    return r;
}

Rect Rect::offsetBy(double dx, double dy) const {
    if (isNull() || isInfinite()) return *this;
    return Rect(origin.x + dx, origin.y + dy, size.width, size.height);
}

Rect Rect::integral() const {
    if (isNull() || isInfinite()) return *this;
    Rect r = standardized();
    double x0 = std::floor(r.minX()), y0 = std::floor(r.minY());
    double x1 = std::ceil(r.maxX()), y1 = std::ceil(r.maxY());
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::pair<Rect, Rect> Rect::divide(double amount, RectEdge edge) const {
    if (isEmpty()) return {Rect(), Rect()};
    Rect r = standardized();
    bool horizontal = edge == RectEdge::MinX || edge == RectEdge::MaxX;
    double extent = horizontal ? r.size.width : r.size.height;
    double cut = std::clamp(amount, 0.0, extent);
    Rect slice = r, remainder = r;
    if (horizontal) {
        slice.size.width = cut;
        remainder.size.width = extent - cut;
        if (edge == RectEdge::MinX) remainder.origin.x += cut;
        else slice.origin.x += extent - cut;
    } else {
        slice.size.height = cut;
        remainder.size.height = extent - cut;
        if (edge == RectEdge::MinY) remainder.origin.y += cut;
        else slice.origin.y += extent - cut;
    }
    return {slice, remainder};
}

bool Rect::contains(const Point& p) const {
    if (isEmpty()) return false;
    Rect r = standardized();
    return p.x >= r.minX() && p.x < r.maxX() && p.y >= r.minY() && p.y < r.maxY();
}

bool Rect::contains(const Rect& other) const {
    if (isEmpty() || other.isNull()) return false;
    return intersection(other) == other.standardized();
}

bool Rect::intersects(const Rect& other) const { return !intersection(other).isEmpty(); }

bool Rect::operator==(const Rect& o) const {
    if (isNull() || o.isNull()) return isNull() == o.isNull();
    return origin == o.origin && size == o.size;
}

AffineTransform AffineTransform::rotation(double radians) {
    double s = std::sin(radians), c = std::cos(radians);
    return {c, s, -s, c, 0, 0};
}

AffineTransform AffineTransform::concat(const AffineTransform& t) const {
    return {a * t.a + b * t.c,           a * t.b + b * t.d,           c * t.a + d * t.c,
            c * t.b + d * t.d,           tx * t.a + ty * t.c + t.tx,  tx * t.b + ty * t.d + t.ty};
}

AffineTransform AffineTransform::translated(double dx, double dy) const { return translation(dx, dy).concat(*this); }
AffineTransform AffineTransform::scaled(double sx, double sy) const { return scale(sx, sy).concat(*this); }
AffineTransform AffineTransform::rotated(double radians) const { return rotation(radians).concat(*this); }

bool AffineTransform::isInvertible() const {
    double det = determinant();
    return std::isfinite(det) && det != 0;
}

AffineTransform AffineTransform::inverted() const {
    if (!isInvertible()) return *this;
    double det = determinant();
    return {d / det, -b / det, -c / det, a / det, (c * ty - d * tx) / det, (b * tx - a * ty) / det};
}

Rect AffineTransform::apply(const Rect& r) const {
    if (r.isNull() || r.isInfinite()) return r;
    Rect s = r.standardized();
    Point p[4] = {apply(Point{s.minX(), s.minY()}), apply(Point{s.maxX(), s.minY()}),
                  apply(Point{s.maxX(), s.maxY()}), apply(Point{s.minX(), s.maxY()})};
    double x0 = p[0].x, x1 = p[0].x, y0 = p[0].y, y1 = p[0].y;
    for (const Point& q : p) {
        x0 = std::min(x0, q.x); x1 = std::max(x1, q.x);
        y0 = std::min(y0, q.y); y1 = std::max(y1, q.y);
    }
    return Rect(x0, y0, x1 - x0, y1 - y0);
}

std::ostream& operator<<(std::ostream& out, const Point& p) { return out << "{" << p.x << ", " << p.y << "}"; }

std::ostream& operator<<(std::ostream& out, const Size& s) { return out << "{" << s.width << ", " << s.height << "}"; }

std::ostream& operator<<(std::ostream& out, const Rect& r) {
    if (r.isNull()) return out << "{null}";
    return out << "{" << r.origin << ", " << r.size << "}";
}

std::ostream& operator<<(std::ostream& out, const AffineTransform& t) {
    return out << "[" << t.a << " " << t.b << " " << t.c << " " << t.d << " " << t.tx << " " << t.ty << "]";
}

}  // namespace qv
