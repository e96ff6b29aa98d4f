#pragma once
// The filter holder: the single image operations of the correction chain. Each operation takes an
// image and parameters and returns a new lazy image; nothing is rendered here. A null image in
// gives a null image out. A holder is used by one thread at a time: every operation replaces the
// filter object kept for its role.
#include <memory>

#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"
#include "foundation/Geometry.h"

class QVCIFilters {
public:
    QVCIFilters();

    // Uniform scale by f (single precision) about the origin.
    qv::ci::Image createScaledImage(const qv::ci::Image& image, double f);
    // Lanczos scale with an aspect ratio (the horizontal factor is scale × aspect).
    qv::ci::Image createQualityScaledImage(const qv::ci::Image& image, double scale, double aspect);
    // Keeps the red, green or blue channel and alpha where the flag is 1; the others become 0.
    qv::ci::Image imageWithR(int red, int green, int blue, int alpha, const qv::ci::Image& image);
    // Per-component maximum of the image over the background; either may be null.
    qv::ci::Image compositImage(const qv::ci::Image& image, const qv::ci::Image& background);
    // Source-atop compositing of the image over the background.
    qv::ci::Image minimumComposit(const qv::ci::Image& image, const qv::ci::Image& background);
    // Radial distortion correction with the coefficients a, b, c of the vector (d is recomputed
    // as 1 - (a + b + c); the vector's w is not used), about the centre of the image's size with
    // the radius unit half its shorter side.
    qv::ci::Image createDistortedImage(const qv::ci::Image& image, const qv::Vec4& coefficients);
    // Vignetting correction with the amount and midpoint control values (amount / 100 and
    // (midpoint + 50) / 100 reach the filter).
    qv::ci::Image vignetteCorrectedImage(const qv::ci::Image& image, double amount, double midpoint);
    // Configures the magnifier's lens filter on the image (2x, centred, no shine); no output.
    void lensFilter(const qv::ci::Image& image);

    // The filters last used, by role (for the view and for tests).
    const std::shared_ptr<qv::ci::Filter>& radialDistortionFilter() const { return m_pFRadialDistortion; }
    const std::shared_ptr<qv::ci::Filter>& vignetteFilter() const { return m_pVignetteFilter; }

private:
    qv::ci::Image composited(std::shared_ptr<qv::ci::Filter>& field, const char* name, const qv::ci::Image& image,
                             const qv::ci::Image& background);

    std::shared_ptr<qv::ci::Filter> m_pFRadialDistortion;
    std::shared_ptr<qv::ci::Filter> m_pFMultiplyCompositing;
    std::shared_ptr<qv::ci::Filter> m_pFMinimumCompositing;
    std::shared_ptr<qv::ci::Filter> m_pFScaleFilter;
    std::shared_ptr<qv::ci::Filter> m_pFBestScaleFilter;
    std::shared_ptr<qv::ci::Filter> m_pFColorMatrix;
    std::shared_ptr<qv::ci::Filter> m_pVignetteFilter;
    std::shared_ptr<qv::ci::Filter> m_pLensFilter;
};
