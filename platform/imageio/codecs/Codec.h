#pragma once
// The interface every file format implements: a decoder that reads a header and then the pixels of
// image 0, and an encoder that turns a bitmap in the format's storage layout into file bytes.
#include <cstdint>
#include <memory>
#include <optional>
#include <string>

#include "foundation/BandSource.h"
#include "foundation/Bitmap.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "imageio/ImageTypes.h"

namespace qv::io::codec {

// Decoding never allocates a picture above this many pixels (a 16384 x 16384 image).
inline constexpr std::uint64_t kDefaultMaxPixels = std::uint64_t(1) << 28;

// What the caller allows and asks of a decode.
struct Limits {
    std::uint64_t maxPixels = kDefaultMaxPixels;
    // Opaque colour pixels delivered as RGBA8 or RGBA16 (alpha at its maximum, so premultiplied
    // as it stands): the renderer's own storage, which then needs no converted copy. Decoders
    // that cannot produce it for a file deliver their usual layout.
    bool fourChannels = false;
    // When positive, a decoder that can scale while decoding (JPEG's DCT scaling) may deliver the
    // picture reduced, to no less than this width and height; the bitmap's size tells.
    int minimumWidth = 0, minimumHeight = 0;
};

// Refuses a width x height picture above the limit, or one that the compressed input cannot hold:
// no codec here packs more than a few thousand pixels into a byte, so a tiny file that claims a
// huge picture is a lie, caught before the picture is allocated. Small pictures always pass.
bool plausibleSize(std::uint64_t width, std::uint64_t height, std::size_t inputBytes, const Limits& limits,
                   std::string& error);

// What a decoder learns from the header without decoding pixels.
struct Header {
    int width = 0;
    int height = 0;
    int bitsPerComponent = 8;  // of the decoded bitmap: 8 or 16
    bool hasAlpha = false;
    const char* colorModel = "RGB";  // of the file: "RGB", "Gray" or "CMYK"
    Data iccProfile;                 // as embedded, any colour model
    bool decodedAsSRGB = false;      // decoded samples are sRGB (CMYK converted, OpenEXR encoded)
    long orientation = 0;            // from the format's own field; 0 when it has none
    double dpiWidth = 0, dpiHeight = 0;
    Dictionary properties;           // format-specific entries for the property dictionary
    bool metadataThroughExiv2 = true;
};

class Decoder {
public:
    virtual ~Decoder() = default;
    virtual bool readHeader(Header& header, std::string& error) = 0;
    // The stored pixels of image 0, rows top-down, not turned by the orientation.
    virtual std::optional<Bitmap> decode(const Limits& limits, std::string& error) = 0;
};

// A decoder over bytes that the decoder keeps alive; null for a type without one.
std::unique_ptr<Decoder> makeDecoder(ImageType type, std::shared_ptr<const Data> bytes);

struct EncodeSettings {
    double quality = 0.9;        // JPEG, 0..1
    int tiffCompression = 1;     // 1 none, 5 LZW, 8 Deflate, 32773 PackBits
    long orientation = 0;        // written where the format has a field for it; 0 writes none
    double dpiWidth = 72, dpiHeight = 72;
    Data iccProfile;             // embedded when not empty
    Dictionary properties;       // formats without Exiv2 support store these themselves
};

// Encoders take a bitmap already in the format's storage layout (straight alpha): JPEG Gray8 or
// RGB8; TIFF, PSD and PNG Gray8/16, RGB8/16, RGBA8/16; OpenEXR RGB16 or RGBA16.
bool encodeJpeg(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error);
// JPEG straight from bands of Gray8 or RGB8 rows, encoded as they arrive.
bool encodeJpeg(BandSource& bands, const EncodeSettings& settings, Data& out, std::string& error);
bool encodeTiff(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error, Data leading = {});
// TIFF straight from bands in its storage layout (straight alpha), written as they arrive. The
// bytes of `out` begin with `leading` and the TIFF follows, its offsets counted from its own start.
bool encodeTiff(BandSource& bands, const EncodeSettings& settings, Data& out, std::string& error, Data leading = {});
// TIFF straight from bands, written into the open file `fd` from byte `start` on (its offsets
// counted from there) as the bands arrive; `end` is then the file position after its last byte.
bool encodeTiff(BandSource& bands, const EncodeSettings& settings, int fd, std::uint64_t start, std::uint64_t& end,
                std::string& error);
bool encodePng(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error);
bool encodePsd(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error);
bool encodeExr(const Bitmap& bitmap, const EncodeSettings& settings, Data& out, std::string& error);

std::unique_ptr<Decoder> makeJpegDecoder(std::shared_ptr<const Data> bytes);
std::unique_ptr<Decoder> makeTiffDecoder(std::shared_ptr<const Data> bytes);
// A TIFF picture whose decoded bitmap takes at least this many bytes is decoded by several threads
// at once, each reading its own run of strips or tile rows; smaller ones stay on the calling thread.
inline constexpr std::size_t kTiffParallelDecodeBytes = std::size_t(4) << 20;
std::unique_ptr<Decoder> makePngDecoder(std::shared_ptr<const Data> bytes);
std::unique_ptr<Decoder> makePsdDecoder(std::shared_ptr<const Data> bytes);
std::unique_ptr<Decoder> makeExrDecoder(std::shared_ptr<const Data> bytes);
std::unique_ptr<Decoder> makeRawDecoder(std::shared_ptr<const Data> bytes);

// Whether the raw helper (LibRaw, in a process of its own) recognises the bytes as a camera raw
// file it can decode.
bool isRecognisedCameraRaw(const std::uint8_t* bytes, std::size_t size);

}  // namespace qv::io::codec
