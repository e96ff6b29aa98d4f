#include "engine/QVCIFilters.h"

#include <algorithm>
#include <cmath>

#include "engine/LensFilter.h"
#include "engine/RadialDistortion.h"
#include "engine/Vignetting.h"

using qv::ci::Filter;
using qv::ci::Image;

namespace {

// A fresh filter of a built-in kind with its defaults set, kept in its role's field.
Filter* freshFilter(std::shared_ptr<Filter>& field, const char* name) {
    field = Filter::filterWithName(name);
    if (field) field->setDefaults();
    return field.get();
}

Image outputOf(Filter* filter) {
    return filter ? filter->outputImage() : Image();
}

// The distortion and vignetting geometry comes from the image's size; an empty or unbounded
// extent has no centre or radius to speak of.
bool hasUsableSize(const Image& image) {
    const qv::Rect extent = image.extent();
    return !image.isNull() && extent.isFinite() && !extent.isEmpty();
}

}  // namespace

QVCIFilters::QVCIFilters() {
    m_pFScaleFilter = Filter::filterWithName("CIAffineTransform");
    m_pFBestScaleFilter = Filter::filterWithName("CILanczosScaleTransform");
    m_pFColorMatrix = Filter::filterWithName("CIColorMatrix");
    Vignetting::initialize();
    m_pVignetteFilter = Filter::filterWithName(Vignetting::kName);
    m_pFMultiplyCompositing = Filter::filterWithName("CIMaximumCompositing");
    m_pFMinimumCompositing = Filter::filterWithName("CISourceAtopCompositing");
    // Supplied by the magnifier's image unit; absent until that unit is loaded.
    m_pLensFilter = Filter::filterWithName("LensFilter");
}

Image QVCIFilters::createScaledImage(const Image& image, double f) {
    Filter* filter = freshFilter(m_pFScaleFilter, "CIAffineTransform");
    if (!filter) return Image();
    const double factor = static_cast<float>(f);
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputTransform, qv::AffineTransform::scale(factor, factor));
    return outputOf(filter);
}

Image QVCIFilters::createQualityScaledImage(const Image& image, double scale, double aspect) {
    Filter* filter = freshFilter(m_pFBestScaleFilter, "CILanczosScaleTransform");
    if (!filter) return Image();
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputScale, scale);
    filter->setValue(qv::ci::kInputAspectRatio, static_cast<float>(aspect));
    return outputOf(filter);
}

Image QVCIFilters::imageWithR(int red, int green, int blue, int alpha, const Image& image) {
    Filter* filter = freshFilter(m_pFColorMatrix, "CIColorMatrix");
    if (!filter) return Image();
    const qv::Vec4 zero{0, 0, 0, 0};
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputAVector, alpha == 1 ? qv::Vec4{0, 0, 0, 1} : zero);
    filter->setValue(qv::ci::kInputRVector, red == 1 ? qv::Vec4{1, 0, 0, 0} : zero);
    filter->setValue(qv::ci::kInputGVector, green == 1 ? qv::Vec4{0, 1, 0, 0} : zero);
    filter->setValue(qv::ci::kInputBVector, blue == 1 ? qv::Vec4{0, 0, 1, 0} : zero);
    filter->setValue(qv::ci::kInputBiasVector, zero);
    return outputOf(filter);
}

Image QVCIFilters::compositImage(const Image& image, const Image& background) {
    return composited(m_pFMultiplyCompositing, "CIMaximumCompositing", image, background);
}

Image QVCIFilters::minimumComposit(const Image& image, const Image& background) {
    return composited(m_pFMinimumCompositing, "CISourceAtopCompositing", image, background);
}

Image QVCIFilters::composited(std::shared_ptr<Filter>& field, const char* name, const Image& image, const Image& background) {
    Filter* filter = freshFilter(field, name);
    if (!filter) return Image();
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputBackgroundImage, background);
    return outputOf(filter);
}

Image QVCIFilters::createDistortedImage(const Image& image, const qv::Vec4& coefficients) {
    if (!hasUsableSize(image)) return Image();
    const qv::Rect extent = image.extent();
    const double radius = 0.5 * std::min(extent.width(), extent.height());
    const double a = coefficients.x, b = coefficients.y, c = coefficients.z;
    const double d = 1.0 - (a + b + c);
    RadialDistortion::initialize();
    m_pFRadialDistortion = Filter::filterWithName(RadialDistortion::kName);
    Filter* filter = m_pFRadialDistortion.get();
    if (!filter) return Image();
    filter->setValue(qv::ci::kInputImage, image);
    filter->setValue(qv::ci::kInputCenter, qv::Vec2{static_cast<float>(extent.width() / 2), static_cast<float>(extent.height() / 2)});
    filter->setValue(RadialDistortion::kInputParams, qv::Vec4{static_cast<float>(a), static_cast<float>(b), static_cast<float>(c), static_cast<float>(d)});
    filter->setValue(RadialDistortion::kInputCorrectionRadiusVector, qv::Vec2{radius, 0});
    return outputOf(filter);
}

Image QVCIFilters::vignetteCorrectedImage(const Image& image, double amount, double midpoint) {
    if (!m_pVignetteFilter || !hasUsableSize(image)) return Image();
    const qv::Rect extent = image.extent();
    const double w = extent.width(), h = extent.height();
    m_pVignetteFilter->setValue(qv::ci::kInputImage, image);
    m_pVignetteFilter->setValue(qv::ci::kInputCenter, qv::Vec2{0.5 * w, 0.5 * h});
    m_pVignetteFilter->setValue(Vignetting::kInputBrightness, 0.01 * amount);
    m_pVignetteFilter->setValue(Vignetting::kInputVigMidpoint, 0.01 * (midpoint + 50));
    m_pVignetteFilter->setValue(Vignetting::kInputDiagonal, std::sqrt(w * w + h * h));
    return outputOf(m_pVignetteFilter.get());
}

void QVCIFilters::lensFilter(const Image& image) {
    if (!m_pLensFilter) m_pLensFilter = Filter::filterWithName("LensFilter");
    if (!m_pLensFilter || image.isNull()) return;
    const qv::Rect extent = image.extent();
    m_pLensFilter->setDefaults();
    m_pLensFilter->setValue(qv::ci::kInputImage, image);
    m_pLensFilter->setValue(LensFilter::kInputMagnification, 2.0);
    m_pLensFilter->setValue(qv::ci::kInputCenter, qv::Vec2{extent.midX(), extent.midY()});
    m_pLensFilter->setValue(LensFilter::kInputRoundness, 3.1);
    m_pLensFilter->setValue(LensFilter::kInputShineOpacity, 0.0);
}
