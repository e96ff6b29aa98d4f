#pragma once
// A software canvas: the graphics context that views draw into. Its unit is the point, one point
// one pixel unless the canvas backs a screen of more pixels per point; user coordinates have their
// origin bottom-left with y up and pass through the current transform. Pixels are kept as 8-bit
// RGBA, premultiplied, rows top-down, in a qv::Bitmap.
#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "appkit/Color.h"
#include "appkit/Path.h"
#include "appkit/Rasterizer.h"
#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace qv::ui {

class Canvas {
public:
    Canvas(int width, int height);  // transparent; sizes below 1 make an empty canvas
    // A canvas of width × height points at `backingScale` pixels per point (a screen's device pixel
    // ratio): its bitmap has that many more pixels each way, and drawing starts scaled to match.
    Canvas(int width, int height, double backingScale);

    // The bitmap's size in pixels.
    int width() const { return m_bitmap.width; }
    int height() const { return m_bitmap.height; }
    double backingScale() const { return m_backingScale; }
    const Bitmap& bitmap() const { return m_bitmap; }

    // Graphics state, saved and restored as a whole.
    void saveState();
    void restoreState();  // a restore without a save is ignored
    void setFillColor(const Color& c) { m_state.fill = c; }
    void setStrokeColor(const Color& c) { m_state.stroke = c; }
    void setColor(const Color& c) { m_state.fill = m_state.stroke = c; }
    void setShouldAntialias(bool on) { m_state.antialias = on; }
    bool shouldAntialias() const { return m_state.antialias; }
    void concat(const AffineTransform& t);  // t is applied before the current transform
    void translate(double dx, double dy) { concat(AffineTransform::translation(dx, dy)); }
    void scale(double sx, double sy) { concat(AffineTransform::scale(sx, sy)); }
    const AffineTransform& transform() const { return m_state.ctm; }
    void setTransform(const AffineTransform& t) { m_state.ctm = t; }
    // Narrows drawing to the device pixels that the transformed rectangle's bounding box covers.
    void clipToRect(const Rect& r);

    void fillRect(const Rect& r);                  // with the fill colour
    void strokeRect(const Rect& r, double lineWidth = 1.0);  // centred on the edges, stroke colour
    void fillPath(const Path& path);               // non-zero winding
    void strokePath(const Path& path);             // the path's line width, butt ends, miter joins
    void clear(const Color& c);                    // every pixel, ignoring transform and clip

    // Draws the `from` rectangle of an image (pixel units, origin bottom-left) scaled into the
    // `into` rectangle (user units) with source-over compositing at the given opacity. Takes 8-bit
    // ARGB, RGBA, RGB or grey, premultiplied or not; answers false for another format or an invalid
    // image. The image is sampled bilinearly, repeating the edge pixels of the source rectangle;
    // outside the image's pixels it is transparent.
    bool drawImage(const Bitmap& image, const Rect& into, const Rect& from, double opacity = 1.0);

    // The pixel at column x, row y (row 0 on top), as unpremultiplied RGBA; zeros outside.
    std::array<std::uint8_t, 4> pixel(int x, int y) const;

    // Writes the canvas as an 8-bit RGBA PNG (unpremultiplied). False on failure, and `reason`
    // then says why.
    bool writePNG(const std::string& path) const;
    bool writePNG(const std::string& path, std::string& reason) const;

    // The canvas that drawing code should use now (set while a view draws), or null.
    static Canvas* current();
    class CurrentScope {  // makes a canvas current on this thread for its lifetime
    public:
        explicit CurrentScope(Canvas& canvas);
        ~CurrentScope();
        CurrentScope(const CurrentScope&) = delete;
        CurrentScope& operator=(const CurrentScope&) = delete;

    private:
        Canvas* m_previous;
    };

private:
    struct State {
        AffineTransform ctm;
        Color fill = Color::blackColor();
        Color stroke = Color::blackColor();
        bool antialias = true;
        PixelBox clip;
    };

    Point toDevice(const Point& user) const;
    bool copyPixelsOneForOne(const Bitmap& image, const Rect& into, const Rect& from, double opacity);
    void fillPolygons(const std::vector<Polygon>& polygons, const Color& color);

    Bitmap m_bitmap;
    double m_backingScale = 1;
    State m_state;
    std::vector<State> m_saved;
};

}  // namespace qv::ui
