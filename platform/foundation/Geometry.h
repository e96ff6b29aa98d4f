#pragma once
// Plane geometry in doubles with the platform's conventions: origin bottom-left, y up. Rectangles
// may have negative or fractional origins and infinite extents (an image that covers the plane).
#include <cmath>
#include <iosfwd>
#include <limits>
#include <utility>

namespace qv {

struct Point {
    double x = 0, y = 0;
    bool operator==(const Point& o) const { return x == o.x && y == o.y; }
    bool operator!=(const Point& o) const { return !(*this == o); }
};

struct Size {
    double width = 0, height = 0;
    bool operator==(const Size& o) const { return width == o.width && height == o.height; }
    bool operator!=(const Size& o) const { return !(*this == o); }
};

enum class RectEdge { MinX, MinY, MaxX, MaxY };

struct Rect {
    Point origin;
    Size size;

    Rect() = default;
    Rect(double x, double y, double w, double h) : origin{x, y}, size{w, h} {}
    Rect(Point o, Size s) : origin(o), size(s) {}

    static Rect null();      // the empty "no rectangle" value: union identity, intersection of disjoint rects
    static Rect infinite();  // covers the whole plane

    double minX() const { return origin.x; }
    double minY() const { return origin.y; }
    double maxX() const { return origin.x + size.width; }
    double maxY() const { return origin.y + size.height; }
    double midX() const { return origin.x + size.width / 2; }
    double midY() const { return origin.y + size.height / 2; }
    double width() const { return size.width; }
    double height() const { return size.height; }

    bool isNull() const;      // the null rectangle
    bool isEmpty() const;     // null, or zero or negative width or height
    bool isInfinite() const;
    bool isFinite() const;    // every coordinate is a finite number

    Rect standardized() const;  // negative widths and heights turned positive
    Rect unionWith(const Rect& other) const;
    Rect intersection(const Rect& other) const;  // null when they do not meet
    Rect insetBy(double dx, double dy) const;    // null when the inset leaves nothing
    Rect offsetBy(double dx, double dy) const;
    // The smallest rectangle with integer coordinates that contains this one.
    Rect integral() const;
    // Splits off a strip `amount` wide (or high) at `edge`: {slice, remainder}. The amount is held
    // between 0 and the rectangle's size; an empty rectangle gives two empty ones.
    std::pair<Rect, Rect> divide(double amount, RectEdge edge) const;
    bool contains(const Point& p) const;  // minX <= x < maxX, minY <= y < maxY
    bool contains(const Rect& r) const;
    bool intersects(const Rect& r) const;

    bool operator==(const Rect& o) const;
    bool operator!=(const Rect& o) const { return !(*this == o); }
};

struct Vec2 {
    double x = 0, y = 0;
};
struct Vec4 {
    double x = 0, y = 0, z = 0, w = 0;
    double operator[](int i) const { return i == 0 ? x : i == 1 ? y : i == 2 ? z : w; }
    bool operator==(const Vec4& o) const { return x == o.x && y == o.y && z == o.z && w == o.w; }
};

// An affine transform of the plane: x' = a x + c y + tx, y' = b x + d y + ty.
struct AffineTransform {
    double a = 1, b = 0, c = 0, d = 1, tx = 0, ty = 0;

    static AffineTransform identity() { return {}; }
    static AffineTransform translation(double dx, double dy) { return {1, 0, 0, 1, dx, dy}; }
    static AffineTransform scale(double sx, double sy) { return {sx, 0, 0, sy, 0, 0}; }
    static AffineTransform rotation(double radians);

    // this transform followed by `then`
    AffineTransform concat(const AffineTransform& then) const;
    AffineTransform translated(double dx, double dy) const;  // translate first, then this
    AffineTransform scaled(double sx, double sy) const;      // scale first, then this
    AffineTransform rotated(double radians) const;           // rotate first, then this
    double determinant() const { return a * d - b * c; }
    bool isInvertible() const;
    AffineTransform inverted() const;  // the transform itself when it cannot be inverted
    bool isIdentity() const { return a == 1 && b == 0 && c == 0 && d == 1 && tx == 0 && ty == 0; }

    Point apply(const Point& p) const { return {a * p.x + c * p.y + tx, b * p.x + d * p.y + ty}; }
    Size apply(const Size& s) const { return {a * s.width + c * s.height, b * s.width + d * s.height}; }  // no translation
    // The bounding box of the transformed rectangle (null stays null, infinite stays infinite).
    Rect apply(const Rect& r) const;

    bool operator==(const AffineTransform& o) const {
        return a == o.a && b == o.b && c == o.c && d == o.d && tx == o.tx && ty == o.ty;
    }
};

// Readable forms for test failures and diagnostics, e.g. "{{0, 0}, {10, 20}}".
std::ostream& operator<<(std::ostream& out, const Point& p);
std::ostream& operator<<(std::ostream& out, const Size& s);
std::ostream& operator<<(std::ostream& out, const Rect& r);
std::ostream& operator<<(std::ostream& out, const AffineTransform& t);

}  // namespace qv
