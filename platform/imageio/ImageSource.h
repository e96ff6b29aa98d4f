#pragma once
// The image reader: opens a file or a buffer, tells its type from its content, and gives image 0
// as a bitmap with its pixel size, depth, colour space and property dictionary.
#include <memory>
#include <optional>
#include <string>

#include "foundation/Bitmap.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "imageio/ImageTypes.h"

namespace qv::io {

struct DecodeOptions {
    // Turn the pixels upright by the image's orientation (the properties keep the stored value).
    bool applyOrientation = false;
    // Pictures above this many pixels are refused instead of allocated.
    std::uint64_t maxPixels = std::uint64_t(1) << 28;
    // Opaque colour pictures come as premultiplied RGBA8 or RGBA16, the Core Image layer's storage,
    // straight from the decoder (JPEG, TIFF), so no converted copy of the photo is ever made.
    bool renderLayout = false;
    // When positive, the decoder may deliver the picture reduced to no less than this size where
    // it scales cheaply while decoding (JPEG); the bitmap's size tells. Orientation is applied
    // after, so these bound the stored width and height.
    int minimumWidth = 0, minimumHeight = 0;
};

class ImageSource {
public:
    // Null when the file cannot be read, its type is not one this layer reads, or its header is
    // damaged; `reason` then says why. A directory, an empty file or a file of another kind all
    // fail this way.
    static std::shared_ptr<ImageSource> createWithPath(const std::string& path);
    static std::shared_ptr<ImageSource> createWithPath(const std::string& path, std::string& reason);
    static std::shared_ptr<ImageSource> createWithData(Data bytes);
    static std::shared_ptr<ImageSource> createWithData(Data bytes, std::string& reason);

    ~ImageSource();
    ImageSource(const ImageSource&) = delete;
    ImageSource& operator=(const ImageSource&) = delete;

    // "public.jpeg", "public.tiff", "com.adobe.photoshop-image", "com.ilm.openexr-image",
    // "public.png" or "public.camera-raw-image".
    const std::string& type() const { return m_type; }
    ImageType imageType() const { return m_imageType; }
    std::size_t count() const { return 1; }  // only the first image of a file is used

    int pixelWidth() const { return m_pixelWidth; }
    int pixelHeight() const { return m_pixelHeight; }
    int bitsPerComponent() const { return m_bitsPerComponent; }  // 8 or 16
    bool hasAlpha() const { return m_hasAlpha; }

    // The properties of image `index` ("Depth", "PixelWidth", "PixelHeight", "Orientation",
    // "{TIFF}", "{Exif}", "{GPS}", "{IPTC}", ...); an empty dictionary for another index.
    Dictionary properties(std::size_t index = 0) const;
    // The integer orientation, 0 when the file has none.
    long orientation() const;

    // The colour space of the decoded pixels: the embedded profile when it is a usable RGB or gray
    // profile; sRGB when the decoder produced sRGB itself (CMYK files, OpenEXR, camera raw);
    // device RGB otherwise.
    ColorSpace colorSpace() const { return m_colorSpace; }
    // The ICC profile exactly as embedded in the file (any colour model); empty when none.
    const Data& embeddedProfile() const { return m_embeddedProfile; }

    // Decodes image `index`; nothing (`reason` says why) when the pixels cannot be read. Rows run
    // top-down; the format is Gray8/16, RGB8/16 or RGBA8/16 as the file stores it (premultiplied
    // only for TIFF files with associated alpha, as the bitmap says).
    std::optional<Bitmap> createImage(std::size_t index = 0, const DecodeOptions& options = {}) const;
    std::optional<Bitmap> createImage(std::size_t index, const DecodeOptions& options, std::string& reason) const;

    const Data& bytes() const { return *m_bytes; }

private:
    ImageSource() = default;
    std::shared_ptr<const Data> m_bytes;
    std::string m_type;
    ImageType m_imageType = ImageType::Unknown;
    int m_pixelWidth = 0, m_pixelHeight = 0, m_bitsPerComponent = 8;
    bool m_hasAlpha = false;
    Dictionary m_properties;
    ColorSpace m_colorSpace;
    Data m_embeddedProfile;
};

}  // namespace qv::io
