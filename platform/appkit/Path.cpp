#include "appkit/Path.h"

namespace qv::ui {

Path Path::rect(const Rect& r) {
    Path path;
    path.appendRect(r);
    return path;
}

void Path::moveTo(Point p) { m_subpaths.push_back({{p}, false}); }

void Path::lineTo(Point p) {
    if (m_subpaths.empty() || m_subpaths.back().closed) {
        // A line after a close continues from the closed subpath's start, as the platform does.
        Point start = m_subpaths.empty() ? p : m_subpaths.back().points.front();
        m_subpaths.push_back({{start}, false});
    }
    m_subpaths.back().points.push_back(p);
}

void Path::close() {
    if (!m_subpaths.empty()) m_subpaths.back().closed = true;
}

void Path::appendRect(const Rect& r) {
    moveTo({r.minX(), r.minY()});
    lineTo({r.maxX(), r.minY()});
    lineTo({r.maxX(), r.maxY()});
    lineTo({r.minX(), r.maxY()});
    close();
}

void Path::appendPath(const Path& other) {
    m_subpaths.insert(m_subpaths.end(), other.m_subpaths.begin(), other.m_subpaths.end());
}

bool Path::isEmpty() const {
    for (const Subpath& s : m_subpaths)
        if (!s.points.empty()) return false;
    return true;
}

Rect Path::bounds() const {
    Rect result = Rect::null();
    for (const Subpath& s : m_subpaths)
        for (const Point& p : s.points) result = result.unionWith(Rect(p.x, p.y, 0, 0));
    return result;
}

Path Path::transformed(const AffineTransform& t) const {
    Path result = *this;
    for (Subpath& s : result.m_subpaths)
        for (Point& p : s.points) p = t.apply(p);
    return result;
}

}  // namespace qv::ui
