#pragma once
// The image writer: one image with its property dictionary, encoded as JPEG, TIFF, PSD, OpenEXR
// or PNG into a file or a buffer. Nothing reaches the target until finalize() has the whole file:
// a failure leaves an existing file as it was.
#include <functional>
#include <memory>
#include <string>

#include "foundation/BandSource.h"
#include "foundation/Bitmap.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "imageio/ImageTypes.h"

namespace qv::io {

namespace codec {
struct EncodeSettings;
}
namespace metadata {
struct WriteRequest;
}

class ImageDestination {
public:
    // Null (`reason` says why) for a type identifier this layer does not write or a count other than 1.
    static std::unique_ptr<ImageDestination> createWithPath(const std::string& path, const std::string& type,
                                                            std::size_t count = 1);
    static std::unique_ptr<ImageDestination> createWithPath(const std::string& path, const std::string& type,
                                                            std::size_t count, std::string& reason);
    // Rewrites the file at `path` with the metadata of `properties` ("{TIFF}", "{Exif}", "{GPS}",
    // "{IPTC}", the orientation) while its encoded picture and ICC profile stay byte for byte: the
    // picture is not compressed a second time. Only for a JPEG, TIFF, PSD or PNG file whose content
    // is of `type`; false (`reason` says why) and the file unchanged otherwise or on a failure.
    static bool copyImageSource(const std::string& path, const std::string& type, const Dictionary& properties);
    static bool copyImageSource(const std::string& path, const std::string& type, const Dictionary& properties,
                                std::string& reason);
    // Writes into `out` on a successful finalize(); `out` must outlive the destination.
    static std::unique_ptr<ImageDestination> createWithData(Data& out, const std::string& type, std::size_t count = 1);
    static std::unique_ptr<ImageDestination> createWithData(Data& out, const std::string& type, std::size_t count,
                                                            std::string& reason);

    // The picture in any bitmap format (typically premultiplied ARGB8 or RGBA16 from the renderer;
    // alpha is unpremultiplied on the way out) and its properties:
    //  - "kCGImageDestinationLossyCompressionQuality": JPEG quality 0..1 (0.9 when absent);
    //  - "Orientation" (or "{TIFF}" "Orientation"): written as the file's orientation;
    //  - "{TIFF}" "Compression": 1 none, 5 LZW, 8 Deflate, 32773 PackBits (TIFF only);
    //  - "DPIWidth"/"DPIHeight": resolution (72 when absent);
    //  - "{TIFF}", "{Exif}", "{GPS}", "{IPTC}": written into the file's metadata.
    // The colour space's ICC profile is embedded when it has one that fits the written pixels.
    // The bitmap is kept until finalize(): pass it with std::move to spare a copy of a large one.
    // JPEG stores 8-bit colour; TIFF, PSD and PNG keep 16 bits and keep alpha where a pixel is
    // transparent; OpenEXR stores half floats.
    void addImage(Bitmap image, Dictionary properties, ColorSpace colorSpace = ColorSpace::deviceRGB());

    // How this writer takes a picture rendered (premultiplied) in `rendered`, band by band: the
    // layout of the bands and the conversion of a rendered row into it (none: the rendered rows
    // themselves). JPEG and TIFF take their stored layout and encode each band as it arrives, so
    // the picture is never held whole; the other types gather the bands first. TIFF keeps alpha
    // only for a picture with a transparent pixel, so it asks `opaque` (without it, TIFF gathers
    // too); JPEG never asks.
    struct BandLayout {
        PixelFormat format = PixelFormat::ARGB8;
        bool premultiplied = true;
        RowConversion convert;
    };
    BandLayout bandLayoutFor(PixelFormat rendered, const std::function<bool()>& opaque = {}) const;
    // The picture as bands in the layout bandLayoutFor gave, read during finalize(); otherwise as
    // addImage.
    void addBands(std::unique_ptr<BandSource> bands, Dictionary properties, ColorSpace colorSpace = ColorSpace::deviceRGB());

    // Encodes and writes; true when the whole file reached its target. Only the first call writes.
    bool finalize();
    // The destination's first failure; empty while none.
    const std::string& error() const { return m_error; }

private:
    ImageDestination() = default;
    bool encode(Data& bytes);
    // Bands in TIFF's stored layout written into the file at the path as they arrive, the file
    // replaced once whole.
    bool streamsIntoFile() const;
    bool writeStreamedTiff();
    bool gatherBands();
    // The encoder's settings and the metadata's request for a `format` picture of the given size;
    // for a TIFF with metadata also the head that carries it (empty otherwise).
    bool encodingSettings(PixelFormat format, int width, int height, codec::EncodeSettings& settings,
                          metadata::WriteRequest& request, bool& withMetadata, Data& head);
    bool tiffMetadataHead(PixelFormat format, const codec::EncodeSettings& settings, const metadata::WriteRequest& request,
                          Data& head);

    ImageType m_type = ImageType::Unknown;
    std::string m_path;
    Data* m_out = nullptr;
    bool m_added = false, m_finalized = false;
    Bitmap m_image;
    std::unique_ptr<BandSource> m_bands;
    Dictionary m_properties;
    ColorSpace m_colorSpace;
    std::string m_error;
};

}  // namespace qv::io
