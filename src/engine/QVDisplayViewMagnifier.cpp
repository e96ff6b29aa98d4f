// The magnifier: its zoom levels, the lens set up over the fitted picture, and dragging it.
#include <algorithm>
#include <cmath>

#include "appkit/Application.h"
#include "appkit/Window.h"
#include "engine/LensFilter.h"
#include "engine/QVDisplayView.h"

using qv::ci::Image;

void QVDisplayView::setMagnification(int percent) {
    // At 100 per cent the lens undoes the reduction of the fitted picture: one photo pixel per point.
    const qv::Rect photo = m_pImage.extent();
    const qv::Rect f = frame();
    double base = std::max(photo.width() / f.width(), photo.height() / f.height());
    if (!std::isfinite(base) || base <= 0) base = 1;
    double times = 1;
    switch (percent) {
    case 200: times = 2; break;
    case 400: times = 4; break;
    case 600: times = 6; break;
    case 800: times = 8; break;
    default: break;
    }
    m_dMagnificationValue = base * times;
}

void QVDisplayView::lensFilter() {
    if (!m_pMagnifier) return;
    m_pMagnifier->setDefaults();
    m_pMagnifier->setValue(LensFilter::kInputMagnification, float(m_dMagnificationValue));
    // The fitted picture is a lazy transform of the chain, so the lens reads the photo's detail.
    m_pMagnifier->setValue(qv::ci::kInputImage, scaleImageToDraw(m_bPreviewFlag ? m_pPerspectiveImage : m_pImage));
    if (m_pMouseLocation) m_pMagnifier->setValue(qv::ci::kInputCenter, *m_pMouseLocation);
    m_pMagnifier->setValue(LensFilter::kInputShineOpacity, 0.0);
}

Image QVDisplayView::lensOutput() const {
    if (!m_pMagnifier) return Image();
    const qv::ci::FilterValue output = m_pMagnifier->valueForKey("outputImage");
    return output.image() ? *output.image() : Image();
}

void QVDisplayView::mouseDown(const qv::ui::Event& event) {
    if (!m_bMagnifierFlag || !m_pMagnifier) return;
    convertPointFromWindow(event.locationInWindow);
    const qv::ci::FilterValue width = m_pMagnifier->valueForKey(LensFilter::kInputWidth);
    const qv::ci::FilterValue ring = m_pMagnifier->valueForKey(LensFilter::kInputRingWidth);
    // The half-size of the square the lens covers.
    const double r = float((width.number() ? *width.number() : 0) / 2 + (ring.number() ? *ring.number() : 0));
    qv::ui::Application& application = qv::ui::Application::shared();
    // Only the lens centre changes while dragging: the chain is not run again, the lens's output
    // is drawn anew.
    while (std::optional<qv::ui::Event> next =
               application.nextEventMatchingMask(qv::ui::kLeftMouseUpMask | qv::ui::kLeftMouseDraggedMask)) {
        const qv::Point p = convertPointFromWindow(next->locationInWindow);
        if (next->type == qv::ui::EventType::LeftMouseUp) break;
        if (next->type != qv::ui::EventType::LeftMouseDragged || !m_bMagnifierFlag) continue;
        const qv::ci::FilterValue centre = m_pMagnifier->valueForKey(qv::ci::kInputCenter);
        const qv::Vec2 old = centre.vec2() ? *centre.vec2() : qv::Vec2{p.x, p.y};
        const qv::Rect dirty = qv::Rect(old.x - r, old.y - r, 2 * r, 2 * r).unionWith(qv::Rect(p.x - r, p.y - r, 2 * r, 2 * r));
        m_pMouseLocation = qv::Vec2{p.x, p.y};
        m_pMagnifier->setValue(qv::ci::kInputCenter, *m_pMouseLocation);
        refresh(dirty, lensOutput());
        if (window()) window()->displayIfNeeded();
    }
}
