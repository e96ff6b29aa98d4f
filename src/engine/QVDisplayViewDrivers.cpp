// The drivers of the preview chain: each runs the chain, whole or from the kept distortion-
// corrected image, and shows its end. A batch run keeps the chain computing but nothing shown
// changes.
#include "engine/QVDisplayView.h"

#include "engine/LensFilter.h"
#include "foundation/Assert.h"

using qv::ci::Image;

void QVDisplayView::rerunAndShow() {
    rerunFromCorrected();
    if (!mBatchFlag) setImage(m_pPerspectiveImage);
}

void QVDisplayView::applyCorrection() {
    if (!m_pDisplayController) return;
    m_bApplyFlag = true;
    m_bCorrectFlag = true;
    m_pCorrectedImage = correctedPreviewOf(previewSource());
    rerunAndShow();
    setNeedsDisplay();
}

void QVDisplayView::chromaticAberration() {
    if (!m_pDisplayController) return;
    m_bApplyFlag = true;
    rerunAndShow();
}

void QVDisplayView::applyVignet() {
    chromaticAberration();
}

void QVDisplayView::setScaleValue(double) {
    chromaticAberration();
}

void QVDisplayView::perspective() {
    chromaticAberration();
}

void QVDisplayView::resetImageToDraw() {
    if (!m_pDisplayController) return;
    rerunAndShow();
}

void QVDisplayView::setPreviewImage(bool on) {
    const Image& proxy = m_pFixdSizeImage.isNull() ? m_pImage : m_pFixdSizeImage;
    if (!on) {
        m_bPreviewFlag = false;
        setImage(proxy);
        return;
    }
    m_bPreviewFlag = true;
    if (!m_pDisplayController) return;
    m_pCorrectedImage = m_bCorrectFlag ? correctedPreviewOf(proxy) : proxy;
    rerunAndShow();
}

void QVDisplayView::revertImage() {
    m_bApplyFlag = false;
    m_bCorrectFlag = false;
    const Image& shown = m_bMagnifierFlag || m_pFixdSizeImage.isNull() ? m_pImage : m_pFixdSizeImage;
    m_pCorrectedImage = m_pPerspectiveImage = shown;
    setImage(shown);
}

void QVDisplayView::showMagnifier(bool on) {
    if (!m_pDisplayController) return;
    if (on) {
        if (!m_pMagnifier) m_pMagnifier = qv::ci::Filter::filterWithName(LensFilter::kName);
        // Without the magnifier's image unit there is no lens to show: stay with the preview.
        if (!m_pMagnifier) {
            QVAssert(false, "the magnifier's image unit is not loaded");
            return;
        }
        m_pCorrectedImage = m_bCorrectFlag ? correctedPreviewOf(m_pImage) : m_pImage;
        rerunFromCorrected();
        m_bMagnifierFlag = true;
        if (!m_pMouseLocation) {
            const qv::Rect f = frame();
            m_pMouseLocation = qv::Vec2{f.width() / 2, f.height() / 2};
        }
        lensFilter();
        setImageToDraw(lensOutput());
        return;
    }
    m_bMagnifierFlag = false;
    if (!m_bCorrectFlag) {
        // Not stored as the proxy: the kept one stays as it was made at load.
        m_pCorrectedImage = scaleToFixedSize(m_pImage);
    } else {
        m_pCorrectedImage = correctedPreviewOf(m_pFixdSizeImage.isNull() ? m_pImage : m_pFixdSizeImage);
    }
    rerunAndShow();
}
