#include "imageio/ImageSource.h"

#include "imageio/ImageProperties.h"
#include "imageio/Orientation.h"
#include "imageio/codecs/Codec.h"
#include "imageio/metadata/Metadata.h"
#include "imageio/support/Files.h"

namespace qv::io {

namespace {

// Entries of `extra` that `properties` lacks, one level into the nested dictionaries.
void addMissing(Dictionary& properties, const Dictionary& extra) {
    for (const auto& [key, value] : extra) {
        Value& slot = properties[key];
        if (slot.isNull()) {
            slot = value;
        } else if (slot.isDictionary() && value.isDictionary()) {
            for (const auto& [inner, innerValue] : *value.dictionary())
                if (!slot.contains(inner)) slot[inner] = innerValue;
        }
    }
}

}  // namespace

ImageSource::~ImageSource() = default;

std::shared_ptr<ImageSource> ImageSource::createWithPath(const std::string& path) {
    std::string unused;
    return createWithPath(path, unused);
}

std::shared_ptr<ImageSource> ImageSource::createWithPath(const std::string& path, std::string& reason) {
    Data bytes;
    std::string message;
    if (!support::readWholeFile(path, bytes, message)) {
        reason = message;
        return nullptr;
    }
    return createWithData(std::move(bytes), reason);
}

std::shared_ptr<ImageSource> ImageSource::createWithData(Data bytes) {
    std::string unused;
    return createWithData(std::move(bytes), unused);
}

std::shared_ptr<ImageSource> ImageSource::createWithData(Data bytes, std::string& reason) {
    try {
        const ImageType type = sniffImageType(bytes.data(), bytes.size());
        if (type == ImageType::Unknown) {
            reason = bytes.empty() ? "the file is empty" : "not an image file of a known type";
            return nullptr;
        }
        auto shared = std::make_shared<const Data>(std::move(bytes));
        auto decoder = codec::makeDecoder(type, shared);
        codec::Header header;
        std::string message;
        if (!decoder || !decoder->readHeader(header, message)) {
            reason = message.empty() ? "unreadable image header" : message;
            return nullptr;
        }
        if (header.width <= 0 || header.height <= 0) {
            reason = "the image has no pixels";
            return nullptr;
        }

        std::shared_ptr<ImageSource> source(new ImageSource);
        source->m_bytes = shared;
        source->m_imageType = type;
        source->m_type = typeIdentifier(type);
        source->m_pixelWidth = header.width;
        source->m_pixelHeight = header.height;
        source->m_bitsPerComponent = header.bitsPerComponent;
        source->m_hasAlpha = header.hasAlpha;
        source->m_embeddedProfile = header.iccProfile;

        Dictionary& p = source->m_properties;
        std::string ignored;
        if (header.metadataThroughExiv2) metadata::readMetadata(*shared, p, ignored);  // no metadata is no failure
        addMissing(p, header.properties);
        p[kCGImagePropertyDepth] = header.bitsPerComponent;
        p[kCGImagePropertyPixelWidth] = header.width;
        p[kCGImagePropertyPixelHeight] = header.height;
        p[kCGImagePropertyColorModel] = header.colorModel;
        p[kCGImagePropertyHasAlpha] = header.hasAlpha;
        if (header.dpiWidth > 0 && header.dpiHeight > 0) {
            p[kCGImagePropertyDPIWidth] = header.dpiWidth;
            p[kCGImagePropertyDPIHeight] = header.dpiHeight;
        }
        // The format's own field (TIFF tag, raw flip, OpenEXR attribute) is the truth; EXIF else.
        long orientation = header.orientation;
        if (orientation == 0) orientation = long(p[kCGImagePropertyTIFFDictionary].get(kCGImagePropertyTIFFOrientation).integerOr(0));
        if (p[kCGImagePropertyTIFFDictionary].size() == 0) p.erase(kCGImagePropertyTIFFDictionary);
        if (orientation != 0) {
            p[kCGImagePropertyOrientation] = orientation;
            if (p.count(kCGImagePropertyTIFFDictionary)) p[kCGImagePropertyTIFFDictionary][kCGImagePropertyTIFFOrientation] = orientation;
        }

        std::optional<ColorSpace> embedded;
        if (!header.iccProfile.empty()) embedded = ColorSpace::fromICCProfile(header.iccProfile);
        const bool grayPixels = header.colorModel == std::string(kCGImagePropertyColorModelGray) && !header.hasAlpha;
        const bool fits = embedded && ((embedded->model() == ColorSpace::Model::RGB && !grayPixels) ||
                                       (embedded->model() == ColorSpace::Model::Gray && grayPixels));
        if (fits && !header.decodedAsSRGB)
            source->m_colorSpace = *embedded;
        else if (header.decodedAsSRGB)
            source->m_colorSpace = ColorSpace::sRGB();
        if (embedded) p[kCGImagePropertyProfileName] = embedded->name();
        return source;
    } catch (const std::exception& e) {
        reason = e.what();
        return nullptr;
    }
}

Dictionary ImageSource::properties(std::size_t index) const { return index == 0 ? m_properties : Dictionary{}; }

long ImageSource::orientation() const {
    auto it = m_properties.find(kCGImagePropertyOrientation);
    return it == m_properties.end() ? 0 : long(it->second.integerOr(0));
}

std::optional<Bitmap> ImageSource::createImage(std::size_t index, const DecodeOptions& options) const {
    std::string unused;
    return createImage(index, options, unused);
}

std::optional<Bitmap> ImageSource::createImage(std::size_t index, const DecodeOptions& options,
                                               std::string& reason) const {
    if (index != 0) {
        reason = "no image at that index";
        return std::nullopt;
    }
    try {
        auto decoder = codec::makeDecoder(m_imageType, m_bytes);
        codec::Limits limits;
        limits.maxPixels = options.maxPixels;
        limits.fourChannels = options.renderLayout;
        limits.minimumWidth = options.minimumWidth;
        limits.minimumHeight = options.minimumHeight;
        std::string message;
        std::optional<Bitmap> bitmap = decoder ? decoder->decode(limits, message) : std::nullopt;
        if (!bitmap || !bitmap->isValid()) {
            reason = message.empty() ? "the image data cannot be decoded" : message;
            return std::nullopt;
        }
        // An upright photo is returned as decoded: turning it would only copy it.
        if (options.applyOrientation && orientation() >= 2 && orientation() <= 8) {
            Bitmap upright = applyOrientation(*bitmap, orientation());
            if (!upright.isValid()) {
                reason = "out of memory";
                return std::nullopt;
            }
            return upright;
        }
        return bitmap;
    } catch (const std::exception& e) {
        reason = e.what();
        return std::nullopt;
    }
}

}  // namespace qv::io
