// Drawing the view: the background, the frame of the fitted picture, the crop frames, the
// picture itself and the grid.
#include <array>
#include <cmath>

#include "appkit/Path.h"
#include "engine/QVDisplayView.h"

using qv::ci::Image;
using qv::ui::Canvas;
using qv::ui::Color;

namespace {

// The largest t for which the rectangle centre ± t·half lies inside the convex quadrilateral;
// 0 when the centre itself is outside.
double largestInscribedScale(const std::array<qv::Point, 4>& quad, const qv::Point& centre, const qv::Size& half) {
    double area = 0;
    for (int i = 0; i < 4; ++i) area += quad[i].x * quad[(i + 1) % 4].y - quad[(i + 1) % 4].x * quad[i].y;
    if (!(std::fabs(area) > 0)) return 0;
    const double orientation = area > 0 ? 1 : -1;
    auto inside = [&](const qv::Point& a, const qv::Point& b, double px, double py) {
        return orientation * ((b.x - a.x) * py - (b.y - a.y) * px);
    };
    double t = HUGE_VAL;
    for (int i = 0; i < 4; ++i) {
        const qv::Point& a = quad[i];
        const qv::Point& b = quad[(i + 1) % 4];
        const double atCentre = inside(a, b, centre.x - a.x, centre.y - a.y);
        if (atCentre < 0) return 0;
        for (double sx : {-1.0, 1.0}) {
            for (double sy : {-1.0, 1.0}) {
                const double perStep = inside(a, b, sx * half.width, sy * half.height);
                if (perStep < 0) t = std::min(t, atCentre / -perStep);
            }
        }
    }
    return std::isfinite(t) ? t : 0;
}

}  // namespace

void QVDisplayView::drawRect(const qv::Rect&) {
    Canvas* canvas = Canvas::current();
    if (!canvas) return;
    if (isInvalidRect(m_DrawingRct)) calculateDrawingRect();

    canvas->setFillColor(Color::lightGrayColor());
    canvas->fillRect(bounds());
    canvas->setFillColor(Color::grayColor());
    canvas->fillRect(m_DrawingRct);
    canvas->setStrokeColor(Color::blackColor());
    canvas->strokeRect(m_DrawingRct);

    QVDisplayController* controller = m_pDisplayController;
    if (controller && controller->isCropOutsideSelected()) {
        const qv::Rect outside = m_pImageToDraw.extent().intersection(m_pImage.extent());
        if (!outside.isEmpty()) {
            canvas->setStrokeColor(Color::blackColor());
            canvas->strokeRect(outside);
            canvas->setFillColor(Color::darkGrayColor());
            canvas->fillRect(outside);
        }
    }
    drawPicture(*canvas);
    if (controller && controller->isCropInsideSelected()) drawCropInsideFrame(*canvas);
    if (controller && controller->showGrid())
        drawGridWithSpacing(controller->gridSpacing(), controller->gridColor(), bounds());
}

void QVDisplayView::drawPicture(Canvas& canvas) {
    if (m_pImageToDraw.isNull()) return;
    // Only the part of the picture inside the drawing rectangle is rendered, at one pixel per point.
    const qv::Rect pixels = qv::ci::Context::renderBounds(m_DrawingRct.intersection(bounds()));
    if (pixels.isNull() || pixels.isEmpty()) return;
    const qv::Bitmap picture = m_Context.createBitmap(m_pImageToDraw, pixels, qv::PixelFormat::RGBA8);
    if (!picture.isValid()) return;
    canvas.drawImage(picture, pixels, qv::Rect(0, 0, picture.width, picture.height), 1.0);
}

qv::Rect QVDisplayView::cropInsideFrame() const {
    if (m_pPerspectiveImage.isNull() || m_pImage.isNull()) return qv::Rect::null();
    // The corrected outline of the last preview perspective step, in the coordinates of the image
    // that entered it. The step's result spans the outline's bounding box, moved and autoscaled:
    // mapping that box onto the result's extent carries the outline along.
    const coordinates& corners = revertedCoordinates();
    std::array<qv::Point, 4> quad{qv::Point{corners.TL.x, corners.TL.y}, qv::Point{corners.TR.x, corners.TR.y},
                                  qv::Point{corners.BR.x, corners.BR.y}, qv::Point{corners.BL.x, corners.BL.y}};
    qv::Rect box = qv::Rect::null();
    for (const qv::Point& p : quad) box = box.unionWith(qv::Rect(p.x, p.y, 0, 0));
    const qv::Rect result = m_pPerspectiveImage.extent();
    if (box.isNull() || !(box.width() > 0) || !(box.height() > 0) || !result.isFinite() || result.isEmpty())
        return qv::Rect::null();
    const qv::AffineTransform fit = fittingTransformFor(result);
    if (!fit.isInvertible()) return qv::Rect::null();
    const qv::AffineTransform toResult{result.width() / box.width(),
                                       0,
                                       0,
                                       result.height() / box.height(),
                                       result.minX() - box.minX() * result.width() / box.width(),
                                       result.minY() - box.minY() * result.height() / box.height()};
    const qv::AffineTransform toView = toResult.concat(fit);
    for (qv::Point& p : quad) p = toView.apply(p);

    // The photo's proportions, centred on the shown result.
    const qv::Rect shown = fit.apply(result);
    const qv::Point centre{shown.midX(), shown.midY()};
    const qv::Rect photo = m_pImage.extent();
    const qv::Size half{photo.width() / 2, photo.height() / 2};
    const double t = largestInscribedScale(quad, centre, half);
    if (!(t > 0)) return qv::Rect::null();
    return qv::Rect(centre.x - t * half.width, centre.y - t * half.height, 2 * t * half.width, 2 * t * half.height);
}

void QVDisplayView::drawCropInsideFrame(Canvas& canvas) {
    // Only over the corrected preview: the uncorrected proxy and the lens have no such outline.
    if (m_bMagnifierFlag || !m_bPreviewFlag || !m_bApplyFlag) return;
    const qv::Rect frame = cropInsideFrame();
    if (frame.isNull() || frame.isEmpty()) return;
    qv::ui::Path path = qv::ui::Path::rect(frame);
    path.setLineWidth(2);
    canvas.setStrokeColor(Color::blueColor());
    canvas.strokePath(path);
}

void QVDisplayView::drawGridWithSpacing(int spacing, const Color& color, const qv::Rect& rect) {
    Canvas* canvas = Canvas::current();
    if (!canvas) return;
    const double s = spacing == 0 ? kDefaultGridSpacing : spacing;
    // The index range follows the spacing while the lines are trunc(size × spacing / 360) apart,
    // so a wide view shows about 360 / spacing cells and a narrow one stops short of its edge.
    const double x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
    const double stepX = std::trunc(w * s / 360), stepY = std::trunc(h * s / 360);
    qv::ui::Path path;
    path.setLineWidth(1);
    for (double i = std::ceil(x / s); i <= std::floor((x + w) / s); ++i) {
        path.moveTo({i * stepX, y});
        path.lineTo({i * stepX, y + h});
    }
    for (double j = std::ceil(y / s); j <= std::floor((y + h) / s); ++j) {
        path.moveTo({x, j * stepY});
        path.lineTo({x + w, j * stepY});
    }
    canvas->saveState();
    canvas->setStrokeColor(color);
    canvas->setShouldAntialias(false);
    canvas->strokePath(path);
    canvas->restoreState();
}
