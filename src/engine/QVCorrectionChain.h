#pragma once
// The steps of the correction chain and the state one run of them keeps: the perspective
// geometry (m_Params, m_Coordinates, m_RevertedCoordinates), the filter holder and the kept
// perspective filter. Every step takes an image and returns an image; a null image passes through
// as null, and parameters that make no usable picture (a scale of 0, a perspective seen edge-on or
// from behind) give a null image, which the caller reports.
//
// One object serves one thread at a time. The view keeps one for its preview, which takes the
// controller's parameters afresh whenever a preview run starts (on the main thread); each
// full-resolution run (save, batch, the plug-in's final image) makes its own with the parameters
// taken when that run started, so a save thread reads no control and never writes the preview's
// geometry, and the preview's crop-inside frame stays the one of its last perspective step.
#include <memory>
#include <utility>
#include <vector>

#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"
#include "engine/CornerProjection.h"
#include "engine/QVCIFilters.h"
#include "engine/QVParameterSource.h"
#include "foundation/Geometry.h"

class QVCorrectionChain {
public:
    // A chain for the preview, with the controller's parameters as they are now; the controller
    // shows the field of view each perspective step uses.
    explicit QVCorrectionChain(QVParameterSource* controller)
        : m_pQVController(controller),
          m_Parameters(controller ? controller->correctionParameters() : CorrectionParameters()) {}
    // A chain for one full-resolution run with the parameters of the moment it started.
    explicit QVCorrectionChain(CorrectionParameters parameters) : m_Parameters(std::move(parameters)) {}
    QVCorrectionChain(const QVCorrectionChain&) = delete;
    QVCorrectionChain& operator=(const QVCorrectionChain&) = delete;

    // Preview steps.
    qv::ci::Image correctLensDistortion(const qv::ci::Image& image);
    qv::ci::Image scaleImage(const qv::ci::Image& image);
    qv::ci::Image chromaticAberrationCorrection(const qv::ci::Image& image);
    qv::ci::Image perspectiveTransform(const qv::ci::Image& image);

    // Full-resolution steps.
    qv::ci::Image applyCorrectionBeforeSave(const qv::ci::Image& image);
    qv::ci::Image qualityScaleImage(const qv::ci::Image& image);
    qv::ci::Image chromaticAberrationBeforeSave(const qv::ci::Image& image);
    qv::ci::Image perspectiveTransformBeforeSave(const qv::ci::Image& image);

    // Serves both chains.
    qv::ci::Image vignetteCorrection(const qv::ci::Image& image);

    // Everything after the distortion step, in order: scale, chromatic aberration, vignetting,
    // perspective (the preview's partial re-run, or the rest of a full-resolution run).
    qv::ci::Image previewAfterDistortion(const qv::ci::Image& corrected);
    qv::ci::Image fullResolutionAfterDistortion(const qv::ci::Image& corrected);

    // Helpers.
    // Entries 0, 1 and 2 (a, b, c) are all 0; missing entries count as 0.
    static bool isEverythingZero(const std::vector<double>& values);
    // Entries 0-3 as a vector (missing entries are 0); the colour index is not used.
    static qv::Vec4 setCorectionValuesForColor(int color, const std::vector<double>& values);
    bool oneColorIsNotChanged();
    bool isChromaticAberrationRequired();
    bool isPerspectiveRequired();
    void setImageParamForImage(const qv::ci::Image& image);
    // The channel image scaled by the factor about the centre of its extent.
    qv::ci::Image scaleColoredImage(const qv::ci::Image& image, double factor);
    // The largest scale at which the projected corners fit inside the unrotated ones of the
    // image's size. Leaves m_Params with zero angles and m_Coordinates unrotated.
    double autoScaleValueFor(const qv::ci::Image& image);
    // Moves a perspective result, centred on the origin, back by half its size.
    qv::ci::Image moveImageToOrigin(const qv::ci::Image& image);
    static void resetCoordinates(coordinates* corners);

    // What the steps read; the preview's owner sets it when a run starts.
    const CorrectionParameters& parameters() const { return m_Parameters; }
    void setParameters(CorrectionParameters parameters) { m_Parameters = std::move(parameters); }

    // The state of the last run.
    const imageParams& params() const { return m_Params; }
    const coordinates& projectedCorners() const { return m_Coordinates; }
    const coordinates& revertedCorners() const { return m_RevertedCoordinates; }
    QVCIFilters& filters();

private:
    enum class Quality { Preview, FullResolution };
    qv::ci::Image distortion(const qv::ci::Image& image);
    qv::ci::Image chromaticAberration(const qv::ci::Image& image, Quality quality);
    qv::ci::Image perspective(const qv::ci::Image& image, Quality quality);
    qv::ci::Image applyPerspectiveFilter(const qv::ci::Image& image, Quality quality);
    qv::ci::Image autoScaled(const qv::ci::Image& image, const qv::ci::Image& reference, Quality quality);

    QVParameterSource* m_pQVController = nullptr;
    CorrectionParameters m_Parameters;
    std::unique_ptr<QVCIFilters> m_pFilters;
    std::shared_ptr<qv::ci::Filter> m_pPerspectiveTransform;
    imageParams m_Params;
    coordinates m_Coordinates;
    coordinates m_RevertedCoordinates;
};
