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

Image QVViewChain::correctedPreviewOf(const Image& source) {
    return m_PreviewChain->correctLensDistortion(source);
}

const Image& QVViewChain::rerunFromCorrected() {
    m_pPerspectiveImage = m_PreviewChain->previewAfterDistortion(m_pCorrectedImage);
    return m_pPerspectiveImage;
}

std::unique_ptr<QVCorrectionChain> QVViewChain::makeFullResolutionChain() const {
    return std::make_unique<QVCorrectionChain>(m_pQVController);
}

Image QVViewChain::fullResolutionChain(const Image& source) const {
    if (!m_bApplyFlag) return source;
    const std::unique_ptr<QVCorrectionChain> chain = makeFullResolutionChain();
    const Image corrected = m_bCorrectFlag ? chain->applyCorrectionBeforeSave(source) : source;
    return chain->fullResolutionAfterDistortion(corrected);
}

qv::Rect QVViewChain::effectiveRectForImage(const Image& image) const {
    const qv::Rect e = image.extent();
    const qv::Rect o = m_pImage.extent();
    const qv::Rect centred(e.width() / 2 - o.width() / 2, e.height() / 2 - o.height() / 2, o.width(), o.height());
    if (m_pQVController && m_pQVController->isCropInsideSelected()) {
        if (m_pQVController->scaleValue() > 100) return e.intersection(centred);
        return e;
    }
    return centred;
}

Image QVViewChain::finalImage(bool plugIn, bool systemIsCurrent, const ImageLoader& loadWithoutOrientation) {
    if (!plugIn) return m_pImage;
    if (systemIsCurrent) {
        const Image source = loadWithoutOrientation && m_pQVController
                                 ? loadWithoutOrientation(m_pQVController->originalImagePath())
                                 : Image();
        return fullResolutionChain(source);
    }
    m_pImageToSave = m_pImage;
    if (!m_bApplyFlag) return m_pImageToSave;
    const std::unique_ptr<QVCorrectionChain> chain = makeFullResolutionChain();
    if (m_bCorrectFlag) m_pImageToSave = chain->applyCorrectionBeforeSave(m_pImageToSave);
    m_pImageToSave = chain->qualityScaleImage(m_pImageToSave);
    m_pImageToSave = chain->chromaticAberrationBeforeSave(m_pImageToSave);
    m_pImageToSave = chain->vignetteCorrection(m_pImageToSave);
    m_pImageToSave = chain->perspectiveTransformBeforeSave(m_pImageToSave);
    return m_pImageToSave;
}
