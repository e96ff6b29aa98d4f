#include "output/QVImageEncoder.h"

#include "coreimage/CIContext.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "output/QVOutputType.h"

namespace QVImageEncoder {

bool wantsSixteenBits(const qv::Dictionary& metadata) {
    const auto found = metadata.find(qv::io::kCGImagePropertyDepth);
    return found != metadata.end() && found->second.integerOr(0) == 16;
}

std::optional<qv::Data> dataFromImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata,
                                      std::optional<float> jpegQuality, const qv::io::ColorSpace& colorSpace) {
    std::string unused;
    return dataFromImage(std::move(image), type, metadata, jpegQuality, colorSpace, unused);
}

std::optional<qv::Data> dataFromImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata,
                                      std::optional<float> jpegQuality, const qv::io::ColorSpace& colorSpace,
                                      std::string& reason) {
    qv::Data bytes;
    auto destination = qv::io::ImageDestination::createWithData(bytes, QVOutputType::typeIdentifier(type), 1, reason);
    if (!destination) return std::nullopt;
    if (!encodeImage(std::move(image), type, metadata, jpegQuality, *destination, colorSpace, reason))
        return std::nullopt;
    return bytes;
}

bool encodeImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                 qv::io::ImageDestination& destination, const qv::io::ColorSpace& colorSpace) {
    std::string unused;
    return encodeImage(std::move(image), type, metadata, jpegQuality, destination, colorSpace, unused);
}

bool encodeImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                 qv::io::ImageDestination& destination, const qv::io::ColorSpace& colorSpace, std::string& reason) {
    if (image.isNull()) {
        reason = "no image to encode";
        return false;
    }

    // The pixels are rendered upright, so the file must not ask for another turn.
    metadata[qv::io::kCGImagePropertyOrientation] = 1;
    if (auto tiff = metadata.find(qv::io::kCGImagePropertyTIFFDictionary); tiff != metadata.end())
        tiff->second[qv::io::kCGImagePropertyTIFFOrientation] = 1;
    if (type == QVOutputType::Type::JPEG && jpegQuality)
        metadata[qv::io::kCGImageDestinationLossyCompressionQuality] = double(*jpegQuality);

    const qv::PixelFormat format = wantsSixteenBits(metadata) ? qv::PixelFormat::RGBA16 : qv::PixelFormat::ARGB8;
    qv::ci::Context context(qv::ci::ContextOptions{});
    // Rendered band by band into the writer, which takes each band in its own layout.
    // A writer that keeps alpha only where a pixel is transparent asks before the first band.
    const qv::io::ImageDestination::BandLayout layout =
        destination.bandLayoutFor(format, [&] { return context.rendersOpaque(image, image.extent(), format); });
    std::unique_ptr<qv::BandSource> bands =
        context.bandSource(image, image.extent(), format, layout.convert, layout.format, layout.premultiplied);
    if (!bands) {
        reason = "the image could not be rendered";
        return false;
    }
    image = qv::ci::Image();  // the bands hold it for as long as they are rendered
    destination.addBands(std::move(bands), metadata, colorSpace);
    if (!destination.finalize()) {
        reason = destination.error();
        return false;
    }
    return true;
}

}  // namespace QVImageEncoder
