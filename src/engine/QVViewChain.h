#pragma once
// The correction-chain state of the display view: the photo, its preview proxy, the kept
// distortion-corrected image and the shown end of the chain, the flags that say which steps run,
// and the preview's own QVCorrectionChain. The view holds one of these; its drivers (apply,
// partial re-runs, preview switch, revert, magnifier) compose the steps below and show the result.
//
// Threads: the images, the preview chain and the controller belong to the main thread. A
// full-resolution run (fullResolutionChain) reads only the flags, which are atomic, and the
// parameters it is given, and builds its own QVCorrectionChain, so save and batch threads may run
// it while the main thread runs the preview.
#include <atomic>
#include <functional>
#include <string>

#include "coreimage/CIImage.h"
#include "engine/QVCorrectionChain.h"
#include "engine/QVParameterSource.h"
#include "foundation/Geometry.h"

class QVViewChain {
public:
    // Reads a photo file and turns it upright by its orientation (the view's loader).
    using ImageLoader = std::function<qv::ci::Image(const std::string& path)>;

    explicit QVViewChain(QVParameterSource* controller = nullptr)
        : m_pQVController(controller), m_PreviewChain(std::make_unique<QVCorrectionChain>(controller)) {}

    void setController(QVParameterSource* controller);
    QVParameterSource* controller() const { return m_pQVController; }

    // The preview's steps, with the controller's parameters taken now: a preview run starts.
    QVCorrectionChain& preview();
    // The geometry of the preview's last perspective step.
    const coordinates& revertedCoordinates() const { return m_PreviewChain->revertedCorners(); }

    // What the whole preview run starts from: the proxy, or the full image when there is no proxy
    // or the magnifier is on.
    const qv::ci::Image& previewSource() const;
    // The distortion step of the preview, on source.
    qv::ci::Image correctedPreviewOf(const qv::ci::Image& source);
    // The preview from m_pCorrectedImage on (scale to perspective) into m_pPerspectiveImage.
    const qv::ci::Image& rerunFromCorrected();

    // A separate chain for one full-resolution run (save, batch, final image).
    static std::unique_ptr<QVCorrectionChain> makeFullResolutionChain(const CorrectionParameters& parameters);
    // The full-resolution chain on source as the save runs it, with the parameters taken when the
    // save started: with the apply flag, distortion (only with the correct flag), quality scale,
    // chromatic aberration, vignetting, perspective; without it the source unchanged.
    qv::ci::Image fullResolutionChain(const qv::ci::Image& source, const CorrectionParameters& parameters) const;

    // The rectangle of a full-resolution result that the encoder keeps.
    qv::Rect effectiveRectForImage(const qv::ci::Image& image, const CorrectionParameters& parameters) const;

    // The full-resolution result for the plug-in's write-back (main thread: it takes the
    // controller's parameters as it starts). On the current system the photo
    // the user chose is read again (loader) and corrected by a chain of its own; on older systems
    // the chain runs on m_pImage and every step's result is kept in m_pImageToSave. The
    // application only ever needs m_pImage.
    qv::ci::Image finalImage(bool plugIn, bool systemIsCurrent, const ImageLoader& loadWithoutOrientation);

    // Flags.
    void setApplyFlagTo(bool on) { m_bApplyFlag = on; }
    void setCorrectFlagTo(bool on) { m_bCorrectFlag = on; }
    void setBatchFlagTo(bool on) { mBatchFlag = on; }
    bool isBatchProcessInProgress() const { return mBatchFlag; }

    // Images (reference-counted, immutable handles).
    qv::ci::Image m_pImage;            // the photo as loaded, upright
    qv::ci::Image m_pFixdSizeImage;    // the preview proxy (fits 900 x 900); may be null
    qv::ci::Image m_pCorrectedImage;   // the distortion step's output of the last whole run
    qv::ci::Image m_pPerspectiveImage; // the end of the preview chain: what is shown
    qv::ci::Image m_pImageToSave;      // the plug-in's full-resolution result on older systems

    std::atomic<bool> m_bApplyFlag{false};      // corrections are applied
    std::atomic<bool> m_bCorrectFlag{false};    // the distortion step is part of the chain
    std::atomic<bool> m_bPreviewFlag{false};    // the corrected preview is shown
    std::atomic<bool> m_bMagnifierFlag{false};  // the magnifier is on
    std::atomic<bool> mBatchFlag{false};        // a batch runs: chains compute, nothing shown changes

private:
    QVParameterSource* m_pQVController;
    std::unique_ptr<QVCorrectionChain> m_PreviewChain;
};
