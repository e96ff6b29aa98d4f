#include "appkit/Image.h"

#include "appkit/Canvas.h"

namespace qv::ui {

Image::Image(Bitmap pixels) : m_pixels(std::move(pixels)), m_size{double(m_pixels.width), double(m_pixels.height)} {}

bool Image::drawInRect(Canvas& canvas, const Rect& into, double opacity) const {
    if (!isValid()) return false;
    return canvas.drawImage(m_pixels, into, Rect(0, 0, m_pixels.width, m_pixels.height), opacity);
}

bool Image::compositeToPoint(Canvas& canvas, const Point& point, double opacity) const {
    return drawInRect(canvas, Rect(point.x, point.y, m_size.width, m_size.height), opacity);
}

}  // namespace qv::ui
