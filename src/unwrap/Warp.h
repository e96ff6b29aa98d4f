#pragma once
// Warps apply an output-to-source mapping to whole output rows. The engine's warp evaluates the exact
// mapping (a square root, an arctangent and several divisions) only on a grid every `step` pixels and
// interpolates between grid points, which is far below a hundredth of a pixel off for a smooth mapping.
#include "unwrap/Projections.h"

#include <algorithm>
#include <cassert>
#include <memory>
#include <vector>

namespace unwrap {

class WarpFunction {
public:
    virtual ~WarpFunction() = default;
    // Fills points[i] with the source position of output pixel (i, row), for every element of points.
    virtual void fillCoordinateVector(std::vector<Point2>& points, int row) const = 0;
    // Derivatives of the exact mapping at p: d1 along x, d2 along y.
    virtual void computeDerivatives(const Point2& p, Point2& d1, Point2& d2) const = 0;
};

inline Point2 lerp(const Point2& a, const Point2& b, float t) {
    return Point2(b.x * t + a.x * (1.0f - t), b.y * t + a.y * (1.0f - t));
}

// a / b rounded up, for positive operands.
inline int roundUpDivide(int a, int b) { return a / b + (a % b != 0 ? 1 : 0); }

// Central differences with step h = 0.01 on the mapping fn.
template <typename Fn>
void centralDerivatives(const Fn& fn, const Point2& p, Point2& d1, Point2& d2) {
    const float h = 0.01f;
    const float x0 = p.x - h, x1 = p.x + h, y0 = p.y - h, y1 = p.y + h;
    const Point2 fx0 = fn(Point2(x0, p.y)), fx1 = fn(Point2(x1, p.y));
    const Point2 fy0 = fn(Point2(p.x, y0)), fy1 = fn(Point2(p.x, y1));
    const float dx = x1 - x0, dy = y1 - y0;
    d1 = Point2((fx1.x - fx0.x) / dx, (fx1.y - fx0.y) / dx);
    d2 = Point2((fy1.x - fy0.x) / dy, (fy1.y - fy0.y) / dy);
}

// A warp that evaluates the mapping at every pixel.
template <typename Fn>
class TemplateWarpFn : public WarpFunction {
public:
    explicit TemplateWarpFn(const Fn& fn) : m_fn(fn) {}

    void fillCoordinateVector(std::vector<Point2>& points, int row) const override {
        for (std::size_t i = 0; i < points.size(); ++i) points[i] = m_fn(Point2(float(i), float(row)));
    }

    void computeDerivatives(const Point2& p, Point2& d1, Point2& d2) const override {
        centralDerivatives(m_fn, p, d1, d2);
    }

protected:
    const Fn& fn() const { return m_fn; }

private:
    Fn m_fn;
};

// A warp over the output rows [rowStart, rowEnd) of an image `width` pixels wide, holding the mapping
// on a grid every `step` pixels. Grid row j, column i is the mapping at (i * step, (first grid row + j)
// * step); the grid reaches one column and one row past the area so that every pixel lies in a cell.
template <typename Fn>
class WarpLUT : public TemplateWarpFn<Fn> {
public:
    WarpLUT(const Fn& fn, unsigned step, int width, int rowStart, int rowEnd)
        : TemplateWarpFn<Fn>(fn), m_step(step), m_firstGridRow(rowStart / int(step)) {
        const int s = int(step);
        const int columns = roundUpDivide(width, s) + 1;
        const int lastGridRow = roundUpDivide(rowEnd, s);
        m_griddedWarpFn.resize(std::size_t(std::max(0, lastGridRow - m_firstGridRow + 1)));
        for (std::size_t j = 0; j < m_griddedWarpFn.size(); ++j) {
            const float y = float((m_firstGridRow + int(j)) * s);
            std::vector<Point2>& gridRow = m_griddedWarpFn[j];
            gridRow.resize(std::size_t(columns));
            for (int i = 0; i < columns; ++i) gridRow[std::size_t(i)] = this->fn()(Point2(float(i * s), y));
        }
    }

    void fillCoordinateVector(std::vector<Point2>& points, int row) const override {
        const int s = int(m_step);
        const float inv = 1.0f / float(m_step);
        const int prevRowIndex = row / s - m_firstGridRow;
        const int nextRowIndex = prevRowIndex + (row % s != 0 ? 1 : 0);
        const float t = float(row % s) * inv;
        assert(prevRowIndex >= 0 && prevRowIndex < static_cast<int>(m_griddedWarpFn.size()) &&
               "prevRowIndex >=0 && prevRowIndex < static_cast<int>(m_griddedWarpFn.size())");
        assert(nextRowIndex >= 0 && nextRowIndex < static_cast<int>(m_griddedWarpFn.size()) &&
               "nextRowIndex >=0 && nextRowIndex < static_cast<int>(m_griddedWarpFn.size())");
        const std::vector<Point2>& prev = m_griddedWarpFn[std::size_t(prevRowIndex)];
        const std::vector<Point2>& next = m_griddedWarpFn[std::size_t(nextRowIndex)];
        const std::size_t width = points.size();
        assert(width <= (prev.size() - 1) * m_step && "destIt != points.end()");

        Point2* out = points.data();
        for (std::size_t cell = 0; cell * m_step < width && cell + 1 < prev.size(); ++cell) {
            Point2 left = lerp(prev[cell], next[cell], t);
            const Point2 right = lerp(prev[cell + 1], next[cell + 1], t);
            const Point2 delta((right.x - left.x) * inv, (right.y - left.y) * inv);
            const std::size_t count = std::min<std::size_t>(m_step, width - cell * m_step);
            for (std::size_t k = 0; k < count; ++k) {
                *out++ = left;
                left.x += delta.x;
                left.y += delta.y;
            }
        }
    }

    unsigned step() const { return m_step; }
    int firstGridRow() const { return m_firstGridRow; }
    const std::vector<std::vector<Point2>>& grid() const { return m_griddedWarpFn; }

private:
    unsigned m_step;
    int m_firstGridRow;
    std::vector<std::vector<Point2>> m_griddedWarpFn;
};

// The engine's grid step in pixels.
constexpr unsigned kWarpGridStep = 8;

// The warp of an unwrap over the output rows [rowStart, rowEnd): perspective output (outputWidth,
// outputFOV, outputCentre) onto the fisheye source (sourceWidth, inputFOV, sourceCentre), gridded every
// kWarpGridStep pixels. The source height does not enter the equidistant model.
std::unique_ptr<WarpFunction> createPerspectiveToFishEyeWarpFn(int sourceWidth, int sourceHeight,
                                                               Point2 sourceCentre, float inputFOV,
                                                               int outputWidth, int rowStart, int rowEnd,
                                                               Point2 outputCentre, float outputFOV);

// The exact mapping of the same unwrap, for derivatives and checks.
PerspectiveToFishEyeFn makePerspectiveToFishEyeFn(int sourceWidth, Point2 sourceCentre, float inputFOV,
                                                  int outputWidth, Point2 outputCentre, float outputFOV);

}  // namespace unwrap
