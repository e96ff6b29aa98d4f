#include "shell/batch/BatchPipeline.h"

#include <cmath>

#include "coreimage/CIContext.h"
#include "engine/QVCorrectionChain.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "output/QVImageEncoder.h"
#include "output/QVOutputType.h"
#include "shell/controller/QVController.h"

namespace batch {

std::optional<LoadedPhoto> loadPhoto(const std::string& path) {
    if (!qv::files::exists(path) || qv::files::isFolder(path)) return std::nullopt;
    std::optional<qv::Data> bytes = qv::files::readWhole(path);
    if (!bytes) return std::nullopt;
    const std::shared_ptr<qv::io::ImageSource> source = qv::io::ImageSource::createWithData(std::move(*bytes));
    if (!source) return std::nullopt;
    // Decoded straight into the renderer's storage layout, as the window opens a photo: no converted
    // copy of the photo is made, and the run's memory holds one layout of it.
    qv::io::DecodeOptions options;
    options.renderLayout = true;
    std::optional<qv::Bitmap> pixels = source->createImage(0, options);
    if (!pixels) return std::nullopt;
    LoadedPhoto photo;
    photo.image = qv::ci::Image::fromBitmap(std::move(*pixels));
    if (photo.image.isNull()) return std::nullopt;
    photo.metadata = source->properties(0);
    photo.colorSpace = source->colorSpace();
    photo.sourceRect = photo.image.extent();
    return photo;
}

PhotoReading::PhotoReading(std::string path, const LensInfo& lensInfo)
    : m_path(std::move(path)),
      m_focalRange(std::async(std::launch::async, lensInfo, m_path)),
      m_photo(std::async(std::launch::async, loadPhoto, m_path)) {}

ReadPhoto PhotoReading::take() {
    ReadPhoto read;
    read.photo = m_photo.get();
    read.focalRange = m_focalRange.get();
    return read;
}

CorrectionSettings CorrectionSettings::of(QVController& c) {
    CorrectionSettings s;
    s.parameters = c.correctionParameters();
    s.fisheye = c.fisheyeSettings();
    return s;
}

qv::ci::Image correctedImage(const qv::ci::Image& image, const CorrectionSettings& settings) {
    QVCorrectionChain chain(settings.parameters);
    qv::ci::Image out = chain.applyCorrectionBeforeSave(image);
    out = chain.scaleImage(out);
    out = chain.chromaticAberrationBeforeSave(out);
    out = chain.vignetteCorrection(out);
    return chain.perspectiveTransformBeforeSave(out);
}

qv::Rect effectiveRectForImage(const qv::Rect& e, const qv::Rect& s, bool cropInside, double scale) {
    const double x = (e.width() - s.width()) / 2, y = (e.height() - s.height()) / 2;
    if (cropInside) {
        if (scale > 100) return qv::Rect(x, y, s.width(), s.height()).intersection(e);
        return e;
    }
    return qv::Rect(x + (e.minX() < 0 ? e.minX() : 0), y + (e.minY() < 0 ? e.minY() : 0), s.width(), s.height());
}

std::optional<qv::Data> dataFromImage(const qv::ci::Image& image, const qv::Rect& rect, QVOutputType::Type type,
                                      const qv::Dictionary& metadata, const qv::io::ColorSpace& colorSpace) {
    std::string unused;
    return dataFromImage(image, rect, type, metadata, colorSpace, unused);
}

std::optional<qv::Data> dataFromImage(const qv::ci::Image& image, const qv::Rect& rect, QVOutputType::Type type,
                                      const qv::Dictionary& metadata, const qv::io::ColorSpace& colorSpace,
                                      std::string& reason) {
    auto fail = [&](const std::string& why) -> std::optional<qv::Data> {
        reason = why;
        return std::nullopt;
    };
    if (image.isNull()) return fail("the correction made no picture");
    // Whole pixels of the rectangle's own size: rounding, not growing, keeps a source-sized output
    // exactly the source's size.
    const qv::Rect whole(std::round(rect.minX()), std::round(rect.minY()), std::round(rect.width()),
                         std::round(rect.height()));
    if (whole.isEmpty()) return fail("nothing of the picture is inside the output rectangle");
    const qv::PixelFormat format =
        QVImageEncoder::wantsSixteenBits(metadata) ? qv::PixelFormat::RGBA16 : qv::PixelFormat::ARGB8;
    qv::Data bytes;
    auto destination = qv::io::ImageDestination::createWithData(bytes, QVOutputType::typeIdentifier(type), 1, reason);
    if (!destination) return std::nullopt;
    qv::ci::Context context(qv::ci::ContextOptions{});
    // A writer that keeps alpha only where a pixel is transparent asks before the first band.
    const qv::io::ImageDestination::BandLayout layout =
        destination->bandLayoutFor(format, [&] { return context.rendersOpaque(image, whole, format); });
    std::unique_ptr<qv::BandSource> bands =
        context.bandSource(image, whole, format, layout.convert, layout.format, layout.premultiplied);
    if (!bands) return fail("the picture could not be rendered");
    destination->addBands(std::move(bands), metadata, colorSpace);
    if (!destination->finalize()) return fail(destination->error());
    return bytes;
}

qv::Dictionary withValidOrientation(qv::Dictionary metadata) {
    auto mend = [](qv::Value& orientation) {
        const auto value = orientation.asInteger();
        if (!value || *value < 1 || *value > 8) orientation = 1;
    };
    if (auto top = metadata.find(qv::io::kCGImagePropertyOrientation); top != metadata.end()) mend(top->second);
    if (auto tiff = metadata.find(qv::io::kCGImagePropertyTIFFDictionary);
        tiff != metadata.end() && tiff->second.contains(qv::io::kCGImagePropertyTIFFOrientation))
        mend(tiff->second[qv::io::kCGImagePropertyTIFFOrientation]);
    return metadata;
}

}  // namespace batch
