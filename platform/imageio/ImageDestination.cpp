#include "imageio/ImageDestination.h"

#include <cerrno>
#include <cmath>
#include <cstring>
#include <tuple>

#include "foundation/Files.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/codecs/Codec.h"
#include "imageio/metadata/Metadata.h"
#include "imageio/support/Files.h"
#include "imageio/support/PixelLayout.h"
#include "imageio/support/TiffSplice.h"

namespace qv::io {

namespace {

bool writableType(ImageType type) {
    return type == ImageType::JPEG || type == ImageType::TIFF || type == ImageType::PSD || type == ImageType::OpenEXR ||
           type == ImageType::PNG;
}

const Value& tiffEntry(const Dictionary& properties, const char* key) {
    auto it = properties.find(kCGImagePropertyTIFFDictionary);
    return it == properties.end() ? Value::null() : it->second.get(key);
}

const Value& topEntry(const Dictionary& properties, const char* key) {
    auto it = properties.find(key);
    return it == properties.end() ? Value::null() : it->second;
}

long orientationOf(const Dictionary& properties) {
    long value = long(topEntry(properties, kCGImagePropertyOrientation).integerOr(0));
    if (value == 0) value = long(tiffEntry(properties, kCGImagePropertyTIFFOrientation).integerOr(0));
    return value >= 1 && value <= 8 ? value : 0;
}

// The resolution in dots per inch: the top-level entries, else the TIFF tags, else 72.
std::pair<double, double> resolutionOf(const Dictionary& properties) {
    double x = topEntry(properties, kCGImagePropertyDPIWidth).doubleOr(0);
    double y = topEntry(properties, kCGImagePropertyDPIHeight).doubleOr(0);
    if (!(x > 0 && y > 0)) {
        const double perInch = tiffEntry(properties, "ResolutionUnit").integerOr(2) == 3 ? 2.54 : 1.0;
        x = tiffEntry(properties, "XResolution").doubleOr(0) * perInch;
        y = tiffEntry(properties, "YResolution").doubleOr(0) * perInch;
    }
    if (!(x > 0 && y > 0 && std::isfinite(x) && std::isfinite(y))) x = y = 72.0;
    return {x, y};
}

PixelFormat storedFormat(ImageType type, const Bitmap& image) {
    switch (type) {
    case ImageType::JPEG: return support::isGrayFormat(image.format) ? PixelFormat::Gray8 : PixelFormat::RGB8;
    case ImageType::OpenEXR: return support::isOpaque(image) ? PixelFormat::RGB16 : PixelFormat::RGBA16;
    default: return support::storageFormatFor(image);
    }
}

// Whether the writer encodes bands as they come: they are in its stored layout already.
bool takesBandsAsStored(ImageType type, const BandSource& bands) {
    if (bands.premultiplied()) return false;
    if (type == ImageType::JPEG) return bands.format() == PixelFormat::RGB8 || bands.format() == PixelFormat::Gray8;
    return type == ImageType::TIFF && support::isStorageFormat(bands.format());
}

}  // namespace

std::unique_ptr<ImageDestination> ImageDestination::createWithPath(const std::string& path, const std::string& type,
                                                                   std::size_t count) {
    std::string unused;
    return createWithPath(path, type, count, unused);
}

std::unique_ptr<ImageDestination> ImageDestination::createWithPath(const std::string& path, const std::string& type,
                                                                   std::size_t count, std::string& reason) {
    const ImageType t = imageTypeFromIdentifier(type);
    if (!writableType(t) || count != 1 || path.empty()) {
        reason = "cannot write \"" + type + "\" images";
        return nullptr;
    }
    std::unique_ptr<ImageDestination> d(new ImageDestination);
    d->m_type = t;
    d->m_path = path;
    return d;
}

bool ImageDestination::copyImageSource(const std::string& path, const std::string& type, const Dictionary& properties) {
    std::string unused;
    return copyImageSource(path, type, properties, unused);
}

bool ImageDestination::copyImageSource(const std::string& path, const std::string& type, const Dictionary& properties,
                                       std::string& reason) {
    std::string why;
    auto fail = [&](const std::string& failure) {
        reason = failure;
        return false;
    };
    const ImageType wanted = imageTypeFromIdentifier(type);
    if (!writableType(wanted) || wanted == ImageType::OpenEXR) return fail("cannot copy \"" + type + "\" images");
    auto source = ImageSource::createWithPath(path, why);
    if (!source) return fail(why);
    if (source->imageType() != wanted) return fail("the file is not of the type " + type);
    Data bytes = source->bytes();
    metadata::WriteRequest request;
    request.orientation = orientationOf(properties);
    request.pixelWidth = source->pixelWidth();
    request.pixelHeight = source->pixelHeight();
    source.reset();
    try {
        if (!metadata::writeMetadata(bytes, properties, request, why)) return fail(why);
    } catch (const std::exception& e) {
        return fail(e.what());
    }
    if (!support::writeFileAtomically(path, bytes, why)) return fail(why);
    return true;
}

std::unique_ptr<ImageDestination> ImageDestination::createWithData(Data& out, const std::string& type, std::size_t count) {
    std::string unused;
    return createWithData(out, type, count, unused);
}

std::unique_ptr<ImageDestination> ImageDestination::createWithData(Data& out, const std::string& type, std::size_t count,
                                                                   std::string& reason) {
    const ImageType t = imageTypeFromIdentifier(type);
    if (!writableType(t) || count != 1) {
        reason = "cannot write \"" + type + "\" images";
        return nullptr;
    }
    std::unique_ptr<ImageDestination> d(new ImageDestination);
    d->m_type = t;
    d->m_out = &out;
    return d;
}

void ImageDestination::addImage(Bitmap image, Dictionary properties, ColorSpace colorSpace) {
    if (m_added) {
        m_error = "the destination holds one image";
        m_image = Bitmap{};  // a second image makes finalize fail rather than drop one silently
        m_bands.reset();
        return;
    }
    m_added = true;
    m_image = std::move(image);
    m_properties = std::move(properties);
    m_colorSpace = std::move(colorSpace);
}

ImageDestination::BandLayout ImageDestination::bandLayoutFor(PixelFormat rendered, const std::function<bool()>& opaque) const {
    BandLayout layout;
    layout.format = rendered;
    auto stored = [&](PixelFormat format) {
        layout.format = format;
        layout.premultiplied = false;
        layout.convert = support::rowConversion(rendered, true, format);
    };
    const bool deep = bitsPerComponent(rendered) > 8;
    if (m_type == ImageType::JPEG) stored(PixelFormat::RGB8);
    // As storageFormatFor decides for the whole rendered picture.
    else if (m_type == ImageType::TIFF && opaque && !support::isGrayFormat(rendered))
        stored(opaque() ? (deep ? PixelFormat::RGB16 : PixelFormat::RGB8) : (deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8));
    return layout;
}

void ImageDestination::addBands(std::unique_ptr<BandSource> bands, Dictionary properties, ColorSpace colorSpace) {
    const bool first = !m_added;
    addImage(Bitmap{}, std::move(properties), std::move(colorSpace));
    if (first) m_bands = std::move(bands);
}

// Bands of a writer that needs the whole picture become its bitmap.
bool ImageDestination::gatherBands() {
    BandSource& bands = *m_bands;
    m_image = Bitmap::makeUninitialized(bands.width(), bands.height(), bands.format(), bands.premultiplied());
    if (!m_image.isValid()) {
        m_error = "out of memory";
        return false;
    }
    int rows = 0, first = 0;
    while (const Bitmap* band = bands.nextBand(first)) {
        if (first != rows || band->width != m_image.width || band->format != m_image.format ||
            band->height > m_image.height - rows) break;
        for (int r = 0; r < band->height; ++r) std::memcpy(m_image.row(rows + r), band->row(r), m_image.bytesPerRow);
        rows += band->height;
    }
    m_bands.reset();
    if (rows != m_image.height) {
        m_image = Bitmap{};
        m_error = "the picture's rows did not all arrive";
        return false;
    }
    return true;
}

bool ImageDestination::encode(Data& bytes) {
    // Bands already in a stored layout are encoded as they come; others are gathered.
    const bool streamed = m_bands && takesBandsAsStored(m_type, *m_bands);
    if (m_bands && !streamed && !gatherBands()) return false;
    // Streamed bands come in the stored layout already.
    const PixelFormat format = streamed ? m_bands->format() : storedFormat(m_type, m_image);
    Bitmap converted;
    const bool asIs = streamed || (format == m_image.format && !m_image.premultiplied);
    if (!asIs) {
        converted = support::convertPixels(m_image, format);
        if (!converted.isValid()) {
            m_error = "out of memory";
            return false;
        }
    }
    const Bitmap& pixels = asIs ? m_image : converted;
    const int width = streamed ? m_bands->width() : pixels.width;
    const int height = streamed ? m_bands->height() : pixels.height;

    codec::EncodeSettings settings;
    metadata::WriteRequest request;
    bool withMetadata = false;
    Data head;
    if (!encodingSettings(format, width, height, settings, request, withMetadata, head)) return false;
    const bool tiffHead = !head.empty();
    const std::size_t headSize = head.size();

    bool ok = false;
    switch (m_type) {
    case ImageType::JPEG:
        ok = streamed ? codec::encodeJpeg(*m_bands, settings, bytes, m_error) : codec::encodeJpeg(pixels, settings, bytes, m_error);
        break;
    case ImageType::TIFF:
        ok = streamed ? codec::encodeTiff(*m_bands, settings, bytes, m_error, std::move(head))
                      : codec::encodeTiff(pixels, settings, bytes, m_error, std::move(head));
        break;
    case ImageType::PSD: ok = codec::encodePsd(pixels, settings, bytes, m_error); break;
    case ImageType::OpenEXR: ok = codec::encodeExr(pixels, settings, bytes, m_error); break;
    case ImageType::PNG: ok = codec::encodePng(pixels, settings, bytes, m_error); break;
    default: m_error = "unsupported type"; break;
    }
    // The picture (and what renders it) is not needed for the metadata, which rewrites a JPEG,
    // PSD or PNG file and so holds it twice: the pixel memory goes first, buffers kept for reuse
    // included.
    m_bands.reset();
    converted = Bitmap{};
    m_image = Bitmap{};
    releaseKeptPixels();
    if (!ok) return false;
    if (tiffHead) return support::spliceTiffPicture(bytes, headSize, m_error);
    if (withMetadata && !metadata::writeMetadata(bytes, m_properties, request, m_error)) return false;
    return true;
}

bool ImageDestination::encodingSettings(PixelFormat format, int width, int height, codec::EncodeSettings& settings,
                                        metadata::WriteRequest& request, bool& withMetadata, Data& head) {
    const Value& quality = topEntry(m_properties, kCGImageDestinationLossyCompressionQuality);
    settings.quality = quality.isNumber() ? quality.doubleOr(0.9) : 0.9;
    settings.tiffCompression = int(tiffEntry(m_properties, kCGImagePropertyTIFFCompression).integerOr(1));
    settings.orientation = orientationOf(m_properties);
    std::tie(settings.dpiWidth, settings.dpiHeight) = resolutionOf(m_properties);
    // A profile is embedded only where it describes the written samples.
    const bool grayPixels = support::isGrayFormat(format);
    const ColorSpace::Model model = m_colorSpace.model();
    if (m_colorSpace.hasICCProfile() && ((grayPixels && model == ColorSpace::Model::Gray) ||
                                         (!grayPixels && model == ColorSpace::Model::RGB)))
        settings.iccProfile = m_colorSpace.iccProfile();
    settings.properties = m_properties;

    request.orientation = settings.orientation;
    request.pixelWidth = width;
    request.pixelHeight = height;
    withMetadata = m_type != ImageType::OpenEXR && (metadata::hasMetadata(m_properties) || settings.orientation != 0);
    // A TIFF's metadata goes into a small TIFF of its own that the picture then follows, so the
    // picture's bytes are written once and never copied by a rewrite of the whole file.
    head.clear();
    if (withMetadata && m_type == ImageType::TIFF) {
        if (!tiffMetadataHead(format, settings, request, head)) return false;
        settings.iccProfile.clear();  // the head carries it
    }
    return true;
}

bool ImageDestination::streamsIntoFile() const {
    return !m_path.empty() && m_type == ImageType::TIFF && m_bands && takesBandsAsStored(m_type, *m_bands);
}

bool ImageDestination::writeStreamedTiff() {
    codec::EncodeSettings settings;
    metadata::WriteRequest request;
    bool withMetadata = false;
    Data head;
    if (!encodingSettings(m_bands->format(), m_bands->width(), m_bands->height(), settings, request, withMetadata, head))
        return false;
    files::ReplacingFile file(m_path);
    if (!file.valid() || !support::writeAt(file.fd(), head, 0, m_error)) {
        if (m_error.empty()) m_error = "cannot write " + m_path;
        return false;
    }
    std::uint64_t end = 0;
    const bool encoded = codec::encodeTiff(*m_bands, settings, file.fd(), head.size(), end, m_error);
    m_bands.reset();
    releaseKeptPixels();
    if (!encoded) return false;
    if (!head.empty() && !support::spliceTiffPictureInFile(file.fd(), std::move(head), end, m_error)) return false;
    if (!file.commit()) {
        m_error = "cannot write " + m_path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
        return false;
    }
    return true;
}

// The TIFF that carries the metadata ahead of the picture: a one-pixel picture written with the
// picture's settings and layout (so its directory has the same structure tags), with the
// properties' metadata written into it; padded to an even length, where the picture starts.
bool ImageDestination::tiffMetadataHead(PixelFormat format, const codec::EncodeSettings& settings,
                                        const metadata::WriteRequest& request, Data& head) {
    const Bitmap standIn = Bitmap::make(1, 1, format, false);
    if (!standIn.isValid()) {
        m_error = "out of memory";
        return false;
    }
    if (!codec::encodeTiff(standIn, settings, head, m_error)) return false;
    if (!metadata::writeMetadata(head, m_properties, request, m_error)) return false;
    if (head.size() % 2) head.push_back(0);
    return true;
}

bool ImageDestination::finalize() {
    if (m_finalized) {
        if (m_error.empty()) m_error = "the destination was already finalized";
        return false;
    }
    m_finalized = true;
    if (!m_added || (!m_image.isValid() && !m_bands)) {
        if (m_error.empty()) m_error = "no image to write";
        return false;
    }
    try {
        if (streamsIntoFile()) return writeStreamedTiff();
        Data bytes;
        if (!encode(bytes)) return false;
        if (m_out) {
            *m_out = std::move(bytes);
            return true;
        }
        return support::writeFileAtomically(m_path, bytes, m_error);
    } catch (const std::exception& e) {
        m_error = e.what();
        return false;
    }
}

}  // namespace qv::io
