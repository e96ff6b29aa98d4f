#include "appkit/Canvas.h"

#include <algorithm>
#include <cmath>

namespace qv::ui {
namespace {

thread_local Canvas* t_current = nullptr;

std::uint8_t toByte(double v) { return std::uint8_t(std::lround(std::clamp(v, 0.0, 1.0) * 255.0)); }

// Source-over of a premultiplied source (0..1 floats) onto a premultiplied 8-bit destination.
inline void blend(std::uint8_t* dst, float r, float g, float b, float a) {
    const float keep = 1.0f - a;
    dst[0] = std::uint8_t(std::min(255.0f, r * 255.0f + dst[0] * keep + 0.5f));
    dst[1] = std::uint8_t(std::min(255.0f, g * 255.0f + dst[1] * keep + 0.5f));
    dst[2] = std::uint8_t(std::min(255.0f, b * 255.0f + dst[2] * keep + 0.5f));
    dst[3] = std::uint8_t(std::min(255.0f, a * 255.0f + dst[3] * keep + 0.5f));
}

// An image's pixels as premultiplied RGBA floats, rows top-down; empty for unsupported formats.
std::vector<float> premultipliedRGBA(const Bitmap& image) {
    std::vector<float> out;
    if (!image.isValid()) return out;
    const PixelFormat f = image.format;
    if (f != PixelFormat::ARGB8 && f != PixelFormat::RGBA8 && f != PixelFormat::RGB8 && f != PixelFormat::Gray8)
        return out;
    out.resize(std::size_t(image.width) * image.height * 4);
    const int step = bytesPerPixel(f);
    for (int y = 0; y < image.height; ++y) {
        const std::uint8_t* src = image.row(y);
        float* dst = out.data() + std::size_t(y) * image.width * 4;
        for (int x = 0; x < image.width; ++x, src += step, dst += 4) {
            float r, g, b, a = 1.0f;
            switch (f) {
            case PixelFormat::ARGB8: a = src[0] / 255.0f, r = src[1] / 255.0f, g = src[2] / 255.0f, b = src[3] / 255.0f; break;
            case PixelFormat::RGBA8: r = src[0] / 255.0f, g = src[1] / 255.0f, b = src[2] / 255.0f, a = src[3] / 255.0f; break;
            case PixelFormat::RGB8: r = src[0] / 255.0f, g = src[1] / 255.0f, b = src[2] / 255.0f; break;
            default: r = g = b = src[0] / 255.0f; break;
            }
            if (!image.premultiplied) r *= a, g *= a, b *= a;
            // Premultiplied data whose colour exceeds its alpha is malformed; keep it composable.
            dst[0] = std::min(r, a), dst[1] = std::min(g, a), dst[2] = std::min(b, a), dst[3] = a;
        }
    }
    return out;
}

}  // namespace

Canvas::Canvas(int width, int height) {
    if (width > 0 && height > 0) m_bitmap = Bitmap::make(width, height, PixelFormat::RGBA8, true);
    m_state.clip = {0, 0, m_bitmap.width, m_bitmap.height};
}

Canvas::Canvas(int width, int height, double backingScale)
    : Canvas(backingScale > 0 ? int(std::lround(width * backingScale)) : 0,
             backingScale > 0 ? int(std::lround(height * backingScale)) : 0) {
    if (!(backingScale > 0)) return;
    m_backingScale = backingScale;
    m_state.ctm = AffineTransform::scale(backingScale, backingScale);
}

void Canvas::saveState() { m_saved.push_back(m_state); }

void Canvas::restoreState() {
    if (m_saved.empty()) return;
    m_state = m_saved.back();
    m_saved.pop_back();
}

void Canvas::concat(const AffineTransform& t) { m_state.ctm = t.concat(m_state.ctm); }

Point Canvas::toDevice(const Point& user) const {
    Point base = m_state.ctm.apply(user);
    return {base.x, m_bitmap.height - base.y};
}

void Canvas::clipToRect(const Rect& r) {
    Rect box = m_state.ctm.apply(r.standardized());
    if (box.isNull() || !box.isFinite()) {
        m_state.clip = {0, 0, 0, 0};
        return;
    }
    // Pixels whose centres lie inside the box.
    PixelBox device{int(std::ceil(box.minX() - 0.5)), int(std::ceil(m_bitmap.height - box.maxY() - 0.5)),
                    int(std::ceil(box.maxX() - 0.5)), int(std::ceil(m_bitmap.height - box.minY() - 0.5))};
    m_state.clip = m_state.clip.intersection(device);
}

void Canvas::fillPolygons(const std::vector<Polygon>& polygons, const Color& color) {
    if (!m_bitmap.isValid() || m_state.clip.isEmpty()) return;
    const float a = float(std::clamp(color.alpha, 0.0, 1.0));
    const float r = float(std::clamp(color.red, 0.0, 1.0)) * a;
    const float g = float(std::clamp(color.green, 0.0, 1.0)) * a;
    const float b = float(std::clamp(color.blue, 0.0, 1.0)) * a;
    rasterize(polygons, m_state.clip, m_state.antialias, [&](int row, int x0, const std::vector<float>& coverage) {
        std::uint8_t* dst = m_bitmap.row(row) + std::size_t(x0) * 4;
        for (std::size_t i = 0; i < coverage.size(); ++i, dst += 4) {
            float c = std::min(coverage[i], 1.0f);
            if (c > 0) blend(dst, r * c, g * c, b * c, a * c);
        }
    });
}

void Canvas::fillRect(const Rect& r) {
    const Rect rect = r.standardized();
    const AffineTransform& t = m_state.ctm;
    // Unturned, a rectangle's fully covered pixels take the colour directly: a view's background
    // is a million of them. Only its partly covered border goes through the rasterizer, which
    // gives those pixels what it always did.
    if (t.b != 0 || t.c != 0 || !m_bitmap.isValid() || rect.isEmpty() || !rect.isFinite()) {
        fillPath(Path::rect(rect));
        return;
    }
    const Rect box = t.apply(rect);
    const double top = m_bitmap.height - box.maxY(), bottom = m_bitmap.height - box.minY();
    const PixelBox outer = PixelBox{int(std::floor(box.minX())), int(std::floor(top)), int(std::ceil(box.maxX())),
                                    int(std::ceil(bottom))}
                               .intersection(m_state.clip);
    PixelBox inner = PixelBox{int(std::ceil(box.minX())), int(std::ceil(top)), int(std::floor(box.maxX())),
                              int(std::floor(bottom))}
                         .intersection(outer);
    if (inner.isEmpty()) inner = {outer.x0, outer.y0, outer.x0, outer.y0};
    const Color& c = m_state.fill;
    const float a = float(std::clamp(c.alpha, 0.0, 1.0));
    const float pr = float(std::clamp(c.red, 0.0, 1.0)) * a, pg = float(std::clamp(c.green, 0.0, 1.0)) * a,
                pb = float(std::clamp(c.blue, 0.0, 1.0)) * a;
    std::uint8_t opaque[4] = {0, 0, 0, 0};
    if (a == 1) blend(opaque, pr, pg, pb, a);  // what every covered pixel becomes
    for (int row = inner.y0; row < inner.y1; ++row) {
        std::uint8_t* dst = m_bitmap.row(row) + std::size_t(inner.x0) * 4;
        for (int x = inner.x0; x < inner.x1; ++x, dst += 4) {
            if (a == 1)
                std::copy(opaque, opaque + 4, dst);
            else
                blend(dst, pr, pg, pb, a);
        }
    }
    const PixelBox clip = m_state.clip;
    const PixelBox border[4] = {{outer.x0, outer.y0, outer.x1, inner.y0},
                                {outer.x0, inner.y1, outer.x1, outer.y1},
                                {outer.x0, inner.y0, inner.x0, inner.y1},
                                {inner.x1, inner.y0, outer.x1, inner.y1}};
    for (const PixelBox& strip : border) {
        if (strip.isEmpty()) continue;
        m_state.clip = strip;
        fillPath(Path::rect(rect));
    }
    m_state.clip = clip;
}

void Canvas::strokeRect(const Rect& r, double lineWidth) {
    Path path = Path::rect(r.standardized());
    path.setLineWidth(lineWidth);
    strokePath(path);
}

void Canvas::fillPath(const Path& path) {
    std::vector<Polygon> polygons;
    for (const Path::Subpath& s : path.subpaths()) {
        Polygon polygon;
        for (const Point& p : s.points) polygon.push_back(toDevice(p));
        polygons.push_back(std::move(polygon));
    }
    fillPolygons(polygons, m_state.fill);
}

void Canvas::strokePath(const Path& path) {
    // The outline is built in user space, so the line width scales with the transform.
    std::vector<Polygon> pieces;
    for (const Path::Subpath& s : path.subpaths()) strokeOutline(s.points, s.closed, path.lineWidth(), pieces);
    for (Polygon& piece : pieces)
        for (Point& p : piece) p = toDevice(p);
    fillPolygons(pieces, m_state.stroke);
}

void Canvas::clear(const Color& c) {
    if (!m_bitmap.isValid()) return;
    const double a = std::clamp(c.alpha, 0.0, 1.0);
    const std::uint8_t px[4] = {toByte(c.red * a), toByte(c.green * a), toByte(c.blue * a), toByte(a)};
    for (int y = 0; y < m_bitmap.height; ++y) {
        std::uint8_t* row = m_bitmap.row(y);
        for (int x = 0; x < m_bitmap.width; ++x) std::copy(px, px + 4, row + std::size_t(x) * 4);
    }
}

// The pixels of a premultiplied RGBA8 image onto the canvas one for one: the destination
// rectangle lies on whole device pixels and has the source rectangle's size, so every sample
// falls on a texel centre and no interpolation is needed. False when that does not hold.
bool Canvas::copyPixelsOneForOne(const Bitmap& image, const Rect& into, const Rect& from, double opacity) {
    const AffineTransform& t = m_state.ctm;
    if (opacity != 1.0 || image.format != PixelFormat::RGBA8 || !image.premultiplied || !image.isValid() ||
        !m_bitmap.isValid() || !(t.a > 0) || t.b != 0 || t.c != 0 || !(t.d > 0))
        return false;
    const Rect dest = t.apply(into.standardized()), src = from.standardized();
    const bool whole = dest.minX() == std::floor(dest.minX()) && dest.minY() == std::floor(dest.minY()) &&
                       src.minX() == std::floor(src.minX()) && src.minY() == std::floor(src.minY()) &&
                       dest.size == src.size && src.width() == std::floor(src.width()) &&
                       src.height() == std::floor(src.height());
    if (!whole || src.minX() < 0 || src.minY() < 0 || src.maxX() > image.width || src.maxY() > image.height) return false;
    const int dx0 = int(dest.minX()), dy0 = int(m_bitmap.height - dest.maxY());
    const int sx0 = int(src.minX()), sy0 = int(image.height - src.maxY());
    const PixelBox area =
        PixelBox{dx0, dy0, dx0 + int(src.width()), dy0 + int(src.height())}.intersection(m_state.clip);
    for (int row = area.y0; row < area.y1; ++row) {
        const std::uint8_t* in = image.row(sy0 + row - dy0) + std::size_t(sx0 + area.x0 - dx0) * 4;
        std::uint8_t* dst = m_bitmap.row(row) + std::size_t(area.x0) * 4;
        for (int x = area.x0; x < area.x1; ++x, in += 4, dst += 4) {
            const std::uint8_t alpha = in[3];
            if (alpha == 255) {
                std::copy(in, in + 4, dst);
            } else if (alpha != 0) {
                // Premultiplied data whose colour exceeds its alpha is malformed; keep it composable.
                const float fa = alpha / 255.0f;
                blend(dst, std::min(in[0] / 255.0f, fa), std::min(in[1] / 255.0f, fa), std::min(in[2] / 255.0f, fa), fa);
            }
        }
    }
    return true;
}

bool Canvas::drawImage(const Bitmap& image, const Rect& into, const Rect& from, double opacity) {
    if (copyPixelsOneForOne(image, into, from, opacity)) return true;
    const std::vector<float> source = premultipliedRGBA(image);
    if (source.empty()) return false;
    const Rect dest = into.standardized(), src = from.standardized();
    if (dest.isEmpty() || src.isEmpty() || !dest.isFinite() || !src.isFinite() || !m_bitmap.isValid()) return true;
    if (!m_state.ctm.isInvertible()) return true;
    const float alpha = float(std::clamp(opacity, 0.0, 1.0));
    if (alpha == 0) return true;

    Rect box = m_state.ctm.apply(dest);
    PixelBox area{int(std::floor(box.minX())), int(std::floor(m_bitmap.height - box.maxY())),
                  int(std::ceil(box.maxX())), int(std::ceil(m_bitmap.height - box.minY()))};
    area = area.intersection(m_state.clip);
    const AffineTransform toUser = m_state.ctm.inverted();
    const double sx = src.width() / dest.width(), sy = src.height() / dest.height();
    const int w = image.width, h = image.height;

    // The texels the source rectangle covers (columns left to right, rows from the top); samples
    // near its edges repeat the edge texels instead of fading into what lies outside.
    const int col0 = std::max(0, int(std::floor(src.minX()))), col1 = std::min(w, int(std::ceil(src.maxX()))) - 1;
    const int row0 = std::max(0, h - int(std::ceil(src.maxY()))), row1 = std::min(h, h - int(std::floor(src.minY()))) - 1;
    if (col1 < col0 || row1 < row0) return true;  // the source rectangle misses the image
    auto texel = [&](int x, int y, int c) -> float {
        x = std::clamp(x, col0, col1), y = std::clamp(y, row0, row1);
        return source[(std::size_t(y) * w + x) * 4 + c];
    };
    for (int row = area.y0; row < area.y1; ++row) {
        std::uint8_t* dst = m_bitmap.row(row) + std::size_t(area.x0) * 4;
        for (int col = area.x0; col < area.x1; ++col, dst += 4) {
            Point user = toUser.apply(Point{col + 0.5, m_bitmap.height - (row + 0.5)});
            if (!dest.contains(user)) continue;
            // Image coordinates of the sample, then the texel grid (centres at half pixels).
            double ix = src.minX() + (user.x - dest.minX()) * sx;
            double iy = src.minY() + (user.y - dest.minY()) * sy;
            if (ix < 0 || iy < 0 || ix >= w || iy >= h) continue;  // outside the image is transparent
            double gx = ix - 0.5, gy = (h - iy) - 0.5;
            int x0 = int(std::floor(gx)), y0 = int(std::floor(gy));
            float fx = float(gx - x0), fy = float(gy - y0);
            float px[4];
            for (int c = 0; c < 4; ++c) {
                float top = texel(x0, y0, c) * (1 - fx) + texel(x0 + 1, y0, c) * fx;
                float bottom = texel(x0, y0 + 1, c) * (1 - fx) + texel(x0 + 1, y0 + 1, c) * fx;
                px[c] = (top * (1 - fy) + bottom * fy) * alpha;
            }
            if (px[3] > 0) blend(dst, px[0], px[1], px[2], px[3]);
        }
    }
    return true;
}

std::array<std::uint8_t, 4> Canvas::pixel(int x, int y) const {
    if (!m_bitmap.isValid() || x < 0 || y < 0 || x >= m_bitmap.width || y >= m_bitmap.height) return {0, 0, 0, 0};
    const std::uint8_t* p = m_bitmap.row(y) + std::size_t(x) * 4;
    if (p[3] == 0) return {0, 0, 0, 0};
    auto un = [&](std::uint8_t c) { return std::uint8_t(std::min(255, (c * 255 + p[3] / 2) / p[3])); };
    return {un(p[0]), un(p[1]), un(p[2]), p[3]};
}

Canvas* Canvas::current() { return t_current; }

Canvas::CurrentScope::CurrentScope(Canvas& canvas) : m_previous(t_current) { t_current = &canvas; }
Canvas::CurrentScope::~CurrentScope() { t_current = m_previous; }

}  // namespace qv::ui
