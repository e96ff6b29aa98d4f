#include "engine/QVViewChain.h"

using qv::ci::Image;

void QVViewChain::setController(QVParameterSource* controller) {
    m_pQVController = controller;
    m_PreviewChain = std::make_unique<QVCorrectionChain>(controller);
}

const Image& QVViewChain::previewSource() const {
    if (m_pFixdSizeImage.isNull() || m_bMagnifierFlag) return m_pImage;
    return m_pFixdSizeImage;
}

QVCorrectionChain& QVViewChain::preview() {
    if (m_pQVController) m_PreviewChain->setParameters(m_pQVController->correctionParameters());
    return *m_PreviewChain;
}

Image QVViewChain::correctedPreviewOf(const Image& source) { return preview().correctLensDistortion(source); }

const Image& QVViewChain::rerunFromCorrected() {
    m_pPerspectiveImage = preview().previewAfterDistortion(m_pCorrectedImage);
    return m_pPerspectiveImage;
}

std::unique_ptr<QVCorrectionChain> QVViewChain::makeFullResolutionChain(const CorrectionParameters& parameters) {
    return std::make_unique<QVCorrectionChain>(parameters);
}

Image QVViewChain::fullResolutionChain(const Image& source, const CorrectionParameters& parameters) const {
    if (!m_bApplyFlag) return source;
    const std::unique_ptr<QVCorrectionChain> chain = makeFullResolutionChain(parameters);
    const Image corrected = m_bCorrectFlag ? chain->applyCorrectionBeforeSave(source) : source;
    return chain->fullResolutionAfterDistortion(corrected);
}

qv::Rect QVViewChain::effectiveRectForImage(const Image& image, const CorrectionParameters& parameters) const {
    const qv::Rect e = image.extent();
    const qv::Rect o = m_pImage.extent();
    const qv::Rect centred(e.width() / 2 - o.width() / 2, e.height() / 2 - o.height() / 2, o.width(), o.height());
    if (parameters.cropInside) {
        if (parameters.scale > 100) return e.intersection(centred);
        return e;
    }
    return centred;
}

Image QVViewChain::finalImage(bool plugIn, bool systemIsCurrent, const ImageLoader& loadWithoutOrientation) {
    if (!plugIn) return m_pImage;
    const CorrectionParameters parameters =
        m_pQVController ? m_pQVController->correctionParameters() : CorrectionParameters();
    if (systemIsCurrent) {
        const Image source =
            loadWithoutOrientation && m_pQVController ? loadWithoutOrientation(parameters.originalImagePath) : Image();
        return fullResolutionChain(source, parameters);
    }
    m_pImageToSave = m_pImage;
    if (!m_bApplyFlag) return m_pImageToSave;
    const std::unique_ptr<QVCorrectionChain> chain = makeFullResolutionChain(parameters);
    if (m_bCorrectFlag) m_pImageToSave = chain->applyCorrectionBeforeSave(m_pImageToSave);
    m_pImageToSave = chain->qualityScaleImage(m_pImageToSave);
    m_pImageToSave = chain->chromaticAberrationBeforeSave(m_pImageToSave);
    m_pImageToSave = chain->vignetteCorrection(m_pImageToSave);
    m_pImageToSave = chain->perspectiveTransformBeforeSave(m_pImageToSave);
    return m_pImageToSave;
}
