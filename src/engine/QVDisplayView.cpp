// The view's photo: loading it with its properties and colour space, the preview proxy, and
// fitting what is shown into the bounds.
#include "engine/QVDisplayView.h"

#include <algorithm>
#include <cmath>

#include "appkit/Pasteboard.h"
#include "engine/LensFilter.h"
#include "engine/PhotoReadAhead.h"
#include "foundation/Files.h"
#include "imageio/ImageSource.h"

using qv::ci::Image;

namespace {

// The drawing rectangle is kept in single precision, as the window layer's geometry is.
qv::Rect narrowed(const qv::Rect& r) {
    if (r.isNull()) return r;
    return qv::Rect(float(r.minX()), float(r.minY()), float(r.width()), float(r.height()));
}

}  // namespace

struct QVDisplayView::LoadedPhoto {
    Image image;
    qv::Dictionary metadata;
    qv::io::ColorSpace colorSpace;
};

QVDisplayView::QVDisplayView(const qv::Rect& frame, Deliverable deliverable)
    : View(frame), m_Deliverable(deliverable) {
    if (m_Deliverable == Deliverable::Application) registerForDraggedTypes({qv::ui::kFilenamesPboardType});
    mGraphicsContext = qv::ui::Canvas::current();
    LensFilter::installImageUnit();
}

QVDisplayView::~QVDisplayView() {
    unregisterDraggedTypes();
}

void QVDisplayView::setController(QVDisplayController* controller) {
    m_pDisplayController = controller;
    QVViewChain::setController(controller);
    if (controller) m_bPreviewFlag = controller->previewCheckboxStatus();
}

// --- Loading ---------------------------------------------------------------------------------

std::optional<QVDisplayView::LoadedPhoto> QVDisplayView::readPhoto(const std::string& path, Deliverable deliverable,
                                                                    std::shared_ptr<const qv::io::ImageSource> source) {
    if (!qv::files::exists(path)) return std::nullopt;
    if (!source && deliverable == Deliverable::PlugIn) {
        // The host's editable file is read whole first, so the decoder never sees it change.
        std::optional<qv::Data> bytes = qv::files::readWhole(path);
        if (bytes) source = qv::io::ImageSource::createWithData(std::move(*bytes));
    } else if (!source) {
        source = qv::io::ImageSource::createWithPath(path);
    }
    if (!source) return std::nullopt;
    qv::io::DecodeOptions upright;
    upright.applyOrientation = true;
    upright.renderLayout = true;  // the decoded pixels become the image's own, uncopied
    std::optional<qv::Bitmap> pixels = source->createImage(0, upright);
    if (!pixels) return std::nullopt;
    LoadedPhoto photo{Image::fromBitmap(std::move(*pixels)), source->properties(0), source->colorSpace()};
    if (photo.image.isNull()) return std::nullopt;
    return photo;
}

Image QVDisplayView::CreateCIImageWithoutOrientation(const std::string& path) {
    if (Image ahead = QVPhotoReadAhead::take(path); !ahead.isNull()) return ahead;
    std::optional<LoadedPhoto> photo = readPhoto(path, Deliverable::Application);
    return photo ? photo->image : Image();
}

void QVDisplayView::readAhead(const std::string& path, std::shared_ptr<const qv::io::ImageSource> source) {
    QVPhotoReadAhead::start(path, [source](const std::string& photo) {
        std::optional<LoadedPhoto> read = readPhoto(photo, Deliverable::Application, source);
        return read ? read->image : Image();
    });
}

Image QVDisplayView::readAheadImage(const std::string& path) { return QVPhotoReadAhead::peek(path); }

void QVDisplayView::dropReadAhead() { QVPhotoReadAhead::drop(); }

bool QVDisplayView::setCIImageFromFile(const std::string& path) {
    // Everything is read before anything is replaced: a photo that cannot be read leaves the
    // previous one, its metadata, proxy and colour space shown and in use.
    std::optional<LoadedPhoto> photo = readPhoto(path, m_Deliverable);
    if (!photo) return false;
    m_iImageDepth = 8;
    m_Metadata = std::move(photo->metadata);
    m_Colorspace = std::move(photo->colorSpace);
    showLoadedImage(photo->image);
    return true;
}

void QVDisplayView::setCIImage(const Image& image) {
    if (image.isNull()) return;
    m_Metadata.clear();
    m_Colorspace.reset();
    showLoadedImage(image);
}

void QVDisplayView::showLoadedImage(const Image& image) {
    // A new photo starts with fresh chain geometry: no crop frame of the last photo survives.
    QVViewChain::setController(m_pDisplayController);
    m_pImage = image;
    m_pCorrectedImage = m_pPerspectiveImage = m_pImageToSave = image;
    m_bSetDrawingRect = true;
    m_bCorrectFlag = false;
    m_bMagnifierFlag = false;
    m_bPreviewFlag = true;
    if (!mBatchFlag) setImageToDraw(m_pImage);
    m_pFixdSizeImage = scaleToFixedSize(m_pImage);
    m_pCorrectedImage = m_pPerspectiveImage = m_pFixdSizeImage;
    m_FixedSizeRect = m_DrawingRct;
    const qv::Rect extent = m_pImage.extent();
    if (m_pDisplayController) m_pDisplayController->setDFOVwithWidth(extent.width(), extent.height());
    m_bApplyFlag = false;
}

Image QVDisplayView::scaleToFixedSize(const Image& image) {
    if (image.isNull()) return Image();
    const qv::Rect extent = image.extent();
    if (!extent.isFinite() || extent.isEmpty()) return Image();
    const double factor = std::min(kFixedSize / extent.width(), kFixedSize / extent.height());
    std::shared_ptr<qv::ci::Filter> lanczos = qv::ci::Filter::filterWithName("CILanczosScaleTransform");
    if (!lanczos) return Image();
    lanczos->setDefaults();
    lanczos->setValue(qv::ci::kInputImage, image);
    lanczos->setValue(qv::ci::kInputScale, factor);
    const qv::ci::FilterValue output = lanczos->valueForKey("outputImage");
    if (!output.image() || output.image()->isNull()) return Image();
    qv::ci::Context context;
    return madeIntoPixels(context, *output.image());
}

// --- Fitting and showing -----------------------------------------------------------------------

qv::AffineTransform QVDisplayView::fittingTransformFor(const qv::Rect& extent) const {
    // Everything shown is fitted with the scale that fits the corrected image, so a scaled or
    // turned result keeps the size it has relative to the photo.
    const qv::Rect reference = m_pCorrectedImage.isNull() ? extent : m_pCorrectedImage.extent();
    const qv::Rect box = bounds();
    const double k = std::max(reference.width() / box.width(), reference.height() / box.height());
    if (!std::isfinite(k) || k <= 0) return qv::AffineTransform{0, 0, 0, 0, 0, 0};
    const double ox = (box.width() - extent.width() / k) / 2;
    const double oy = (box.height() - extent.height() / k) / 2;
    return qv::AffineTransform{1 / k, 0, 0, 1 / k, ox, oy};
}

Image QVDisplayView::fitted(const Image& image, qv::AffineTransform* fit) {
    if (image.isNull()) return Image();
    *fit = fittingTransformFor(image.extent());
    if (!fit->isInvertible()) return Image();
    m_Delta = qv::Point{fit->tx, fit->ty};
    m_Scale = float(1 / fit->a);
    m_RotationAngle = 0;
    return image.imageByApplyingTransform(*fit);
}

Image QVDisplayView::scaleImageToDraw(const Image& image) {
    qv::AffineTransform fit;
    return fitted(image, &fit);
}

void QVDisplayView::setImageToDraw(const Image& image) {
    if (image.isNull()) {
        setNeedsDisplay();
        return;
    }
    if (m_bMagnifierFlag) {
        m_pImageToDraw = image;
        m_pFittedSource = Image();
    } else {
        m_pImageToDraw = fitted(image, &m_DrawnFit);
        m_pFittedSource = m_pImageToDraw.isNull() ? Image() : image;
    }
    if (image == m_pImage && m_bSetDrawingRect) {
        m_DrawingRct = narrowed(m_pImageToDraw.extent());
        m_bSetDrawingRect = false;
    }
    setNeedsDisplay();
}

void QVDisplayView::setImage(const Image& image) {
    if (m_bMagnifierFlag) {
        lensFilter();
        setImageToDraw(lensOutput());
    } else if (!m_bPreviewFlag) {
        setImageToDraw(m_pFixdSizeImage);
    } else {
        setImageToDraw(image);
    }
}

void QVDisplayView::calculateDrawingRect() {
    m_DrawingRct = narrowed(scaleImageToDraw(m_pCorrectedImage).extent());
    setNeedsDisplay();
}

void QVDisplayView::refresh(const qv::Rect& rect, const Image& image) {
    // The new image differs from the one drawn only inside rect (the lens's old and new squares):
    // the picture already rendered stays good elsewhere.
    if (m_Cache.successor == m_pImageToDraw && !m_Cache.successor.isNull()) {
        m_Cache.changed = m_Cache.changed.unionWith(rect);
        m_Cache.successor = image;
    } else if (m_Cache.shows == m_pImageToDraw && !m_Cache.shows.isNull()) {
        m_Cache.changed = rect;
        m_Cache.successor = image;
    }
    m_pImageToDraw = image;
    m_pFittedSource = Image();
    setNeedsDisplay();
}
