// The drivers of the preview chain: each runs the chain, whole or from the kept distortion-
// corrected image, and shows its end. A batch run keeps the chain computing but nothing shown
// changes.
#include "engine/QVDisplayView.h"

#include <array>

#include "engine/LensFilter.h"
#include "foundation/Assert.h"

using qv::ci::Image;

Image QVDisplayView::madeIntoPixels(qv::ci::Context& context, const Image& image) {
    if (image.isNull()) return image;
    const qv::Rect bounds = qv::ci::Context::renderBounds(image.extent());
    qv::Bitmap pixels = context.createBitmap(image, bounds, qv::PixelFormat::RGBA8);
    if (!pixels.isValid()) return Image();
    const Image placed = Image::fromBitmap(std::move(pixels))
                             .imageByApplyingTransform(qv::AffineTransform::translation(bounds.minX(), bounds.minY()));
    // The pixels cover whole pixels; the image keeps its own extent, which the later steps measure.
    return bounds == image.extent() ? placed : placed.imageByCroppingToRect(image.extent());
}

bool QVDisplayView::isPreviewSized(const Image& image) {
    const qv::Rect e = image.extent();
    return !image.isNull() && e.isFinite() && e.width() <= kFixedSize + 1 && e.height() <= kFixedSize + 1;
}

Image QVDisplayView::keptCorrected(const Image& source) {
    const Image corrected = correctedPreviewOf(source);
    // Made into pixels once, so that the re-runs which start from it do not run the distortion
    // step again for every pixel of every channel. A full photo (the magnifier's) stays lazy:
    // the lens reads only the little it shows.
    if (corrected.isNull() || corrected == source || !isPreviewSized(corrected)) return corrected;
    const Image pixels = madeIntoPixels(m_Context, corrected);
    return pixels.isNull() ? corrected : pixels;
}

Image QVDisplayView::beforePerspective() {
    QVCorrectionChain& chain = preview();
    const CorrectionParameters& p = chain.parameters();
    const std::array<double, 7> parameters{
        p.scale, p.red, p.green, p.blue, double(p.vignetRequired), p.vignetBrightness, p.vignetMidpoint};
    // A perspective, aspect or crop change leaves the steps before the perspective as they were.
    // Their result is kept; the second time it is used it is made into pixels, so a perspective
    // slider being dragged runs only the perspective step, while a whole run pays nothing extra.
    if (m_Prepared.corrected == m_pCorrectedImage && m_Prepared.parameters == parameters && !m_Prepared.image.isNull()) {
        if (!m_Prepared.isPixels && isPreviewSized(m_pCorrectedImage)) {
            const Image pixels = madeIntoPixels(m_Context, m_Prepared.image);
            if (!pixels.isNull()) m_Prepared.image = pixels, m_Prepared.isPixels = true;
        }
        return m_Prepared.image;
    }
    const Image image = chain.vignetteCorrection(chain.chromaticAberrationCorrection(chain.scaleImage(m_pCorrectedImage)));
    m_Prepared = PreparedPreview{m_pCorrectedImage, parameters, image, false};
    return image;
}

void QVDisplayView::rerunFromKept() {
    m_pPerspectiveImage = preview().perspectiveTransform(beforePerspective());
}

void QVDisplayView::rerunAndShow() {
    rerunFromKept();
    if (!mBatchFlag) setImage(m_pPerspectiveImage);
}

void QVDisplayView::applyCorrection() {
    if (!m_pDisplayController) return;
    m_bApplyFlag = true;
    m_bCorrectFlag = true;
    m_pCorrectedImage = keptCorrected(previewSource());
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
    m_pCorrectedImage = m_bCorrectFlag ? keptCorrected(proxy) : proxy;
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
        rerunFromKept();
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
        m_pCorrectedImage = keptCorrected(m_pFixdSizeImage.isNull() ? m_pImage : m_pFixdSizeImage);
    }
    rerunAndShow();
}
