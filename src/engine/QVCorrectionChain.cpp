#include "engine/QVCorrectionChain.h"

#include <algorithm>
#include <cmath>

using qv::ci::Image;

namespace {

double entry(const std::vector<double>& values, std::size_t index) {
    return index < values.size() ? values[index] : 0.0;
}

// A scale factor that makes a picture: finite and positive. A scale of 0 would collapse the image.
bool isUsableFactor(double factor) {
    return std::isfinite(factor) && factor > 0;
}

qv::Vec2 corner(const cornerPoint& point) {
    return {point.x, point.y};
}

// The image moved so that an extent reaching below 0 on either axis starts at 0 there.
Image movedToPositiveQuadrant(const Image& image) {
    if (image.isNull()) return image;
    const qv::Rect extent = image.extent();
    const double dx = extent.minX() < 0 ? -extent.minX() : 0;
    const double dy = extent.minY() < 0 ? -extent.minY() : 0;
    if (dx == 0 && dy == 0) return image;
    return image.imageByApplyingTransform(qv::AffineTransform::translation(dx, dy));
}

}  // namespace

QVCIFilters& QVCorrectionChain::filters() {
    if (!m_pFilters) m_pFilters = std::make_unique<QVCIFilters>();
    return *m_pFilters;
}

// --- Helpers ---------------------------------------------------------------------------------

bool QVCorrectionChain::isEverythingZero(const std::vector<double>& values) {
    return entry(values, 0) == 0.0 && entry(values, 1) == 0.0 && entry(values, 2) == 0.0;
}

qv::Vec4 QVCorrectionChain::setCorectionValuesForColor(int, const std::vector<double>& values) {
    return {entry(values, 0), entry(values, 1), entry(values, 2), entry(values, 3)};
}

bool QVCorrectionChain::oneColorIsNotChanged() {
    return m_Parameters.red >= 1.0 || m_Parameters.green >= 1.0 || m_Parameters.blue >= 1.0;
}

bool QVCorrectionChain::isChromaticAberrationRequired() {
    return m_Parameters.red != 1.0 || m_Parameters.green != 1.0 || m_Parameters.blue != 1.0;
}

bool QVCorrectionChain::isPerspectiveRequired() {
    return m_Parameters.yaw != 0.0 || m_Parameters.pitch != 0.0 || m_Parameters.rotation != 0.0;
}

void QVCorrectionChain::setImageParamForImage(const Image& image) {
    const qv::Rect extent = image.extent();
    m_Params.imageWidth = extent.width();
    m_Params.imageHeight = extent.height();
    m_Params.yaw = m_Parameters.yaw;
    m_Params.pitch = m_Parameters.pitch;
    m_Params.rotation = m_Parameters.rotation;
    m_Params.angularWidth = m_Parameters.angularWidth(m_Params.imageWidth, m_Params.imageHeight);
    // The preview's angle is the one the controls show.
    if (m_pQVController) m_pQVController->setDFOVwithWidth(m_Params.imageWidth, m_Params.imageHeight);
}

Image QVCorrectionChain::scaleColoredImage(const Image& image, double factor) {
    if (image.isNull()) return Image();
    const qv::Rect extent = image.extent();
    const double f = static_cast<float>(factor);
    const double w = extent.width(), h = extent.height();
    qv::AffineTransform transform{f, 0, 0, f, (w - w * f) / 2, (h - h * f) / 2};
    return image.imageByApplyingTransform(transform);
}

double QVCorrectionChain::autoScaleValueFor(const Image& image) {
    const double projected[8] = {m_Coordinates.TL.x, m_Coordinates.TR.x, m_Coordinates.BL.x, m_Coordinates.BR.x,
                                 m_Coordinates.TL.y, m_Coordinates.TR.y, m_Coordinates.BL.y, m_Coordinates.BR.y};
    const qv::Rect extent = image.extent();
    m_Params.imageWidth = extent.width();
    m_Params.imageHeight = extent.height();
    m_Params.yaw = m_Params.pitch = m_Params.rotation = 0;
    CalculatePoints(m_Params, &m_Coordinates);
    const double unrotated[8] = {m_Coordinates.TL.x, m_Coordinates.TR.x, m_Coordinates.BL.x, m_Coordinates.BR.x,
                                 m_Coordinates.TL.y, m_Coordinates.TR.y, m_Coordinates.BL.y, m_Coordinates.BR.y};
    double scale = HUGE_VAL;
    for (int i = 0; i < 8; ++i) scale = std::min(scale, std::fabs(unrotated[i] / projected[i]));
    return scale;
}

Image QVCorrectionChain::moveImageToOrigin(const Image& image) {
    if (image.isNull()) return Image();
    const qv::Rect extent = image.extent();
    const double dx = extent.minX() != 0 ? extent.width() / 2 : 0;
    const double dy = extent.minY() != 0 ? extent.height() / 2 : 0;
    return image.imageByApplyingTransform(qv::AffineTransform::translation(dx, dy));
}

void QVCorrectionChain::resetCoordinates(coordinates* corners) {
    if (corners) *corners = coordinates();
}

// --- Distortion ------------------------------------------------------------------------------

Image QVCorrectionChain::distortion(const Image& image) {
    if (m_Parameters.correctionType != CorrectionType::Lens) return image;
    const std::vector<double>& values = m_Parameters.coefficients;
    QVCIFilters& holder = filters();
    if (isEverythingZero(values)) return image;
    return holder.createDistortedImage(image, setCorectionValuesForColor(0, values));
}

Image QVCorrectionChain::correctLensDistortion(const Image& image) {
    return distortion(image);
}

Image QVCorrectionChain::applyCorrectionBeforeSave(const Image& image) {
    return distortion(image);
}

// --- Scale -----------------------------------------------------------------------------------

Image QVCorrectionChain::scaleImage(const Image& image) {
    const double factor = m_Parameters.scale / 100;
    if (factor == 1.0) return image;
    if (!isUsableFactor(factor)) return Image();
    return filters().createScaledImage(image, factor);
}

Image QVCorrectionChain::qualityScaleImage(const Image& image) {
    const double factor = m_Parameters.scale / 100;
    if (factor == 1.0) return image;
    if (!isUsableFactor(factor)) return Image();
    return filters().createQualityScaledImage(image, factor, 1.0);
}

// --- Chromatic aberration --------------------------------------------------------------------

Image QVCorrectionChain::chromaticAberration(const Image& image, Quality quality) {
    QVCIFilters& holder = filters();
    // With every factor at 1 the three channels recombine into the input itself: skip the
    // composite, keep the move to the origin.
    if (quality == Quality::Preview && !isChromaticAberrationRequired()) return movedToPositiveQuadrant(image);
    const double r = m_Parameters.red;
    const double g = m_Parameters.green;
    const double b = m_Parameters.blue;
    // A factor of exactly 0 leaves its channel out of the composite.
    Image red, green, blue;
    if (r != 0) red = scaleColoredImage(holder.imageWithR(1, 0, 0, 1, image), r);
    if (g != 0) {
        green = holder.imageWithR(0, 1, 0, 1, image);
        if (quality == Quality::FullResolution) green = scaleColoredImage(green, g);
    }
    if (b != 0) blue = scaleColoredImage(holder.imageWithR(0, 0, 1, 1, image), b);
    Image composite = holder.compositImage(green, red);
    composite = holder.compositImage(blue, composite);
    if (!oneColorIsNotChanged()) composite = holder.compositImage(holder.imageWithR(1, 1, 1, 0, image), composite);
    if (quality == Quality::FullResolution) return composite;
    return movedToPositiveQuadrant(composite);
}

Image QVCorrectionChain::chromaticAberrationCorrection(const Image& image) {
    return chromaticAberration(image, Quality::Preview);
}

Image QVCorrectionChain::chromaticAberrationBeforeSave(const Image& image) {
    if (!isChromaticAberrationRequired()) return image;
    return chromaticAberration(image, Quality::FullResolution);
}

// --- Vignetting ------------------------------------------------------------------------------

Image QVCorrectionChain::vignetteCorrection(const Image& image) {
    if (!m_Parameters.vignetRequired) return image;
    return filters().vignetteCorrectedImage(image, m_Parameters.vignetBrightness, m_Parameters.vignetMidpoint);
}

// --- Perspective -----------------------------------------------------------------------------

Image QVCorrectionChain::applyPerspectiveFilter(const Image& image, Quality quality) {
    // Edge-on or from behind the viewer there is no picture to make; the perspective filter would
    // stretch the image towards infinity.
    if (!ProjectionIsUsable(m_Params)) return Image();
    if (quality == Quality::Preview || !m_pPerspectiveTransform)
        m_pPerspectiveTransform = qv::ci::Filter::filterWithName("CIPerspectiveTransform");
    qv::ci::Filter* filter = m_pPerspectiveTransform.get();
    if (!filter) return Image();
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputTopLeft, corner(m_Coordinates.TL));
    filter->setValue(qv::ci::kInputTopRight, corner(m_Coordinates.TR));
    filter->setValue(qv::ci::kInputBottomRight, corner(m_Coordinates.BR));
    filter->setValue(qv::ci::kInputBottomLeft, corner(m_Coordinates.BL));
    return moveImageToOrigin(filter->outputImage());
}

Image QVCorrectionChain::autoScaled(const Image& image, const Image& reference, Quality quality) {
    if (image.isNull()) return image;
    const double scale = autoScaleValueFor(reference);
    if (!isUsableFactor(scale)) return Image();
    if (scale == 1.0) return image;  // nothing turned: no resampling
    if (quality == Quality::Preview) return filters().createScaledImage(image, scale);
    return filters().createQualityScaledImage(image, scale, 1.0);
}

Image QVCorrectionChain::perspective(const Image& image, Quality quality) {
    if (image.isNull()) return image;
    Image aspected = image;
    const double aspect = m_Parameters.aspect;
    if (aspect != 1.0) {
        if (!isUsableFactor(aspect)) return Image();
        aspected = filters().createQualityScaledImage(image, 1.0, aspect);
    }
    setImageParamForImage(aspected);
    CalculatePoints(m_Params, &m_Coordinates);
    if (quality == Quality::Preview) RevertPoints(m_Params, &m_RevertedCoordinates);
    Image result = isPerspectiveRequired() ? applyPerspectiveFilter(aspected, quality) : aspected;
    // The autoscale fits the result into the size of the image as it came in, before the aspect.
    if (m_Parameters.cropNone) result = autoScaled(result, image, quality);
    if (m_Parameters.cropInside) result = autoScaled(result, image, quality);
    return result;
}

Image QVCorrectionChain::perspectiveTransform(const Image& image) {
    return perspective(image, Quality::Preview);
}

Image QVCorrectionChain::perspectiveTransformBeforeSave(const Image& image) {
    return perspective(image, Quality::FullResolution);
}

// --- Runs ------------------------------------------------------------------------------------

Image QVCorrectionChain::previewAfterDistortion(const Image& corrected) {
    return perspectiveTransform(vignetteCorrection(chromaticAberrationCorrection(scaleImage(corrected))));
}

Image QVCorrectionChain::fullResolutionAfterDistortion(const Image& corrected) {
    return perspectiveTransformBeforeSave(vignetteCorrection(chromaticAberrationBeforeSave(qualityScaleImage(corrected))));
}
