#pragma once
// A path of straight lines in user coordinates, stroked with its own line width. It is the part of
// the platform's bezier path that the views use: grids, frames and crop outlines.
#include <vector>

#include "foundation/Geometry.h"

namespace qv::ui {

class Path {
public:
    struct Subpath {
        std::vector<Point> points;
        bool closed = false;
    };

    static Path rect(const Rect& r);  // a closed rectangle, counter-clockwise from the origin

    void moveTo(Point p);
    void lineTo(Point p);  // starts a subpath at p when there is none
    void close();
    void appendRect(const Rect& r);
    void appendPath(const Path& other);

    double lineWidth() const { return m_lineWidth; }
    void setLineWidth(double width) { m_lineWidth = width; }

    const std::vector<Subpath>& subpaths() const { return m_subpaths; }
    bool isEmpty() const;
    Rect bounds() const;  // the null rectangle for an empty path
    Path transformed(const AffineTransform& t) const;

private:
    std::vector<Subpath> m_subpaths;
    double m_lineWidth = 1.0;
};

}  // namespace qv::ui
