#pragma once
// A small picture drawn by the interface (a file's icon in a table cell, an alert's icon): pixels
// and the size in points it is drawn at, which may differ from its pixel size (a 32-pixel icon
// shown at 16 points).
#include <memory>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace qv::ui {

class Canvas;

class Image {
public:
    Image() = default;
    // An image of the bitmap's pixels, drawn at its pixel size until setSize says otherwise.
    explicit Image(Bitmap pixels);
    // The picture of a PNG file (8-bit RGBA, not premultiplied), drawn at its pixel size; an
    // invalid image when the file is missing or is not a PNG that can be read.
    static Image initByReferencingFile(const std::string& path);

    bool isValid() const { return m_pixels.width > 0 && m_pixels.height > 0; }
    Size size() const { return m_size; }
    void setSize(const Size& size) { m_size = size; }
    const Bitmap& bitmap() const { return m_pixels; }

    // Draws the whole picture into the rectangle, source over, at the opacity. False for an
    // invalid image.
    bool drawInRect(Canvas& canvas, const Rect& into, double opacity = 1.0) const;
    // Draws the picture at its size with its lower-left corner at the point.
    bool compositeToPoint(Canvas& canvas, const Point& point, double opacity = 1.0) const;

private:
    Bitmap m_pixels;
    Size m_size;
};

}  // namespace qv::ui
