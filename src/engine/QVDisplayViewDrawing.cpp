// Drawing the view: the background, the frame of the fitted picture, the crop frames, the
// picture itself and the grid.
#include <array>
#include <cmath>
#include <vector>

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

// Strokes a rectangle side by side: each side is rasterized over its own few pixels instead of
// every row and column of the rectangle. The sides run on by half the line width, so the corners
// are square and filled, as one stroked rectangle's are.
void strokeFrame(Canvas& canvas, const qv::Rect& r, double lineWidth) {
    const double h = lineWidth / 2;
    const qv::Point corners[4] = {{r.minX(), r.minY()}, {r.maxX(), r.minY()}, {r.maxX(), r.maxY()}, {r.minX(), r.maxY()}};
    for (int i = 0; i < 4; ++i) {
        const qv::Point a = corners[i], b = corners[(i + 1) % 4];
        const double dx = b.x > a.x ? h : b.x < a.x ? -h : 0, dy = b.y > a.y ? h : b.y < a.y ? -h : 0;
        qv::ui::Path side;
        side.setLineWidth(lineWidth);
        side.moveTo({a.x - dx, a.y - dy});
        side.lineTo({b.x + dx, b.y + dy});
        canvas.strokePath(side);
    }
}

// Copies a rendered part (its pixels over partRect) into a picture over pictureRect, which holds it.
void copyRows(const qv::Bitmap& part, const qv::Rect& partRect, qv::Bitmap& picture, const qv::Rect& pictureRect) {
    const int column = int(partRect.minX() - pictureRect.minX());
    const int firstRow = int(pictureRect.maxY() - partRect.maxY());
    const std::size_t bytes = std::size_t(part.width) * 4;
    for (int row = 0; row < part.height; ++row)
        std::copy(part.row(row), part.row(row) + bytes, picture.row(firstRow + row) + std::size_t(column) * 4);
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
    strokeFrame(*canvas, m_DrawingRct, 1);

    // The crop frame and the grid as the controls stand now.
    const CorrectionParameters shown =
        m_pDisplayController ? m_pDisplayController->correctionParameters() : CorrectionParameters();
    if (m_pDisplayController && shown.cropOutside) {
        const qv::Rect outside = m_pImageToDraw.extent().intersection(m_pImage.extent());
        if (!outside.isEmpty()) {
            canvas->setStrokeColor(Color::blackColor());
            strokeFrame(*canvas, outside, 1);
            canvas->setFillColor(Color::darkGrayColor());
            canvas->fillRect(outside);
        }
    }
    drawPicture(*canvas);
    if (m_pDisplayController && shown.cropInside) drawCropInsideFrame(*canvas);
    if (shown.showGrid) drawGridWithSpacing(shown.gridSpacing, shown.gridColor, bounds());
}

Image QVDisplayView::imageToRender(const qv::Rect& points, double backingScale) {
    // A fitted preview shown larger than its own pixels (the 900-pixel proxy in a large view)
    // would run every step of the chain for every point of the view; its own pixels carry all
    // the detail there is, so the chain runs once per pixel of its own and only the enlargement
    // runs per point.
    // Over kept pixels the perspective step is geometry only: one fetch per point, no dearer
    // than the enlargement itself, so it is rendered directly.
    const bool geometryOverPixels = m_Prepared.isPixels && m_pFittedSource == m_pPerspectiveImage;
    if (m_pFittedSource.isNull() || !(m_DrawnFit.a * backingScale > 1) || geometryOverPixels) {
        m_Cache.source = Image();
        return m_pImageToDraw;
    }
    const qv::Rect sourceExtent = qv::ci::Context::renderBounds(m_pFittedSource.extent());
    const qv::Rect region =
        qv::ci::Context::renderBounds(m_DrawnFit.inverted().apply(points).insetBy(-2, -2)).intersection(sourceExtent);
    if (region.isNull() || region.isEmpty()) return m_pImageToDraw;
    if (m_Cache.source != m_pFittedSource || m_Cache.region != region) {
        qv::Bitmap own = m_Context.createBitmap(m_pFittedSource, region, qv::PixelFormat::RGBA8);
        if (!own.isValid()) return m_pImageToDraw;
        m_Cache.source = m_pFittedSource;
        m_Cache.region = region;
        m_Cache.raster = Image::fromBitmap(std::move(own))
                             .imageByApplyingTransform(qv::AffineTransform::translation(region.minX(), region.minY()));
    }
    return m_Cache.raster.imageByApplyingTransform(m_DrawnFit);
}

void QVDisplayView::drawPicture(Canvas& canvas) {
    if (m_pImageToDraw.isNull()) return;
    // Only the part of the picture inside the drawing rectangle is rendered, at one pixel per
    // pixel of the canvas: on a screen of two pixels per point the picture has twice the pixels
    // each way, rendered from the image itself rather than enlarged from a coarser rendering.
    const qv::Rect points = qv::ci::Context::renderBounds(m_DrawingRct.intersection(bounds()));
    if (points.isNull() || points.isEmpty()) return;
    const double scale = canvas.backingScale();
    const qv::AffineTransform toPixels = qv::AffineTransform::scale(scale, scale);
    const qv::Rect pixels = qv::ci::Context::renderBounds(toPixels.apply(points));
    auto inPixels = [&toPixels](const Image& image) {
        return toPixels.a == 1 ? image : image.imageByApplyingTransform(toPixels);
    };
    PictureCache& cache = m_Cache;
    const bool sameFrame = cache.picture.isValid() && cache.pictureRect == points && cache.pictureScale == scale;
    if (!sameFrame || cache.shows != m_pImageToDraw) {
        const qv::Rect part =
            qv::ci::Context::renderBounds(toPixels.apply(cache.changed.intersection(points))).intersection(pixels);
        const bool partly = sameFrame && cache.successor == m_pImageToDraw && !cache.shows.isNull();
        cache.shows = Image();
        cache.successor = Image();
        cache.changed = qv::Rect::null();
        if (partly) {
            if (!part.isNull() && !part.isEmpty()) {
                const qv::Bitmap changed = m_Context.createBitmap(inPixels(m_pImageToDraw), part, qv::PixelFormat::RGBA8);
                if (!changed.isValid()) return;
                copyRows(changed, part, cache.picture, pixels);
            }
        } else {
            if (!sameFrame)
                cache.picture = qv::Bitmap::make(int(pixels.width()), int(pixels.height()), qv::PixelFormat::RGBA8, true);
            if (!m_Context.render(inPixels(imageToRender(points, scale)), cache.picture, pixels)) return;
        }
        cache.shows = m_pImageToDraw;
        cache.pictureRect = points;
        cache.pictureScale = scale;
    }
    canvas.drawImage(cache.picture, points, qv::Rect(0, 0, cache.picture.width, cache.picture.height), 1.0);
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
    canvas.setStrokeColor(Color::blueColor());
    strokeFrame(canvas, frame, 2);
}

void QVDisplayView::drawGridWithSpacing(int spacing, const Color& color, const qv::Rect& rect) {
    Canvas* canvas = Canvas::current();
    if (!canvas) return;
    const double s = spacing == 0 ? kDefaultGridSpacing : spacing;
    // The index range follows the spacing while the lines are trunc(size × spacing / 360) apart,
    // so a wide view shows about 360 / spacing cells and a narrow one stops short of its edge.
    const double x = rect.minX(), y = rect.minY(), w = rect.width(), h = rect.height();
    const double stepX = std::trunc(w * s / 360), stepY = std::trunc(h * s / 360);
    std::vector<qv::ui::Path> lines;
    auto addLine = [&lines](qv::Point from, qv::Point to) {
        qv::ui::Path line;
        line.setLineWidth(1);
        line.moveTo(from);
        line.lineTo(to);
        lines.push_back(std::move(line));
    };
    for (double i = std::ceil(x / s); i <= std::floor((x + w) / s); ++i) addLine({i * stepX, y}, {i * stepX, y + h});
    for (double j = std::ceil(y / s); j <= std::floor((y + h) / s); ++j) addLine({x, j * stepY}, {x + w, j * stepY});
    canvas->saveState();
    canvas->setStrokeColor(color);
    canvas->setShouldAntialias(false);
    // An opaque grid looks the same stroked line by line, and each line then costs only the
    // pixels it covers; a translucent one is stroked as one path so crossings are not darkened.
    if (color.alpha >= 1) {
        for (const qv::ui::Path& line : lines) canvas->strokePath(line);
    } else {
        qv::ui::Path path;
        path.setLineWidth(1);
        for (const qv::ui::Path& line : lines) path.appendPath(line);
        canvas->strokePath(path);
    }
    canvas->restoreState();
}
