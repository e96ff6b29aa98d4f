#pragma once
// The full-resolution encoder and the file save: a corrected image is rendered whole at 8 or 16
// bits, encoded with the photo's metadata, and the file is replaced only once it is complete,
// with the extracted profile embedded into 16-bit output and the TIFF compression applied.
#include <optional>
#include <string>

#include "coreimage/CIImage.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "output/QVOutputType.h"

namespace qv::io {
class ImageDestination;
}

namespace QVImageEncoder {

// Encodes the image's whole extent as the output type (QVOutputType). The metadata is the
// photo's property dictionary and is changed in place, so later saves see the same changes: its
// orientation becomes 1 (the pixels are already upright), and for JPEG the JPEG quality (0 to
// 1) is set when one is given. "Depth" 16 renders 16-bit RGBA, anything else 8-bit ARGB. The
// pixels keep the photo's colours unconverted, so the photo's colour space goes with them: its
// profile is embedded at either depth where the type can carry one (JPEG, TIFF, PSD).
// Nothing when the image cannot be rendered or encoded; `reason` then says why. The image is given
// up once it is rendered (moved in, it is released before the metadata is written).
std::optional<qv::Data> dataFromImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata,
                                      std::optional<float> jpegQuality,
                                      const qv::io::ColorSpace& colorSpace = qv::io::ColorSpace::deviceRGB());
std::optional<qv::Data> dataFromImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata,
                                      std::optional<float> jpegQuality, const qv::io::ColorSpace& colorSpace,
                                      std::string& reason);

// Renders and encodes as dataFromImage does, into the destination given (finalized here).
bool encodeImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                 qv::io::ImageDestination& destination,
                 const qv::io::ColorSpace& colorSpace = qv::io::ColorSpace::deviceRGB());
bool encodeImage(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                 qv::io::ImageDestination& destination, const qv::io::ColorSpace& colorSpace, std::string& reason);

// True when the metadata asks for 16 bits per sample.
bool wantsSixteenBits(const qv::Dictionary& metadata);

struct SaveOptions {
    std::string profilePath;  // an ICC profile file to embed into 16-bit output; none when empty
    bool sixteenBits = false;
    int tiffCompressionTag = 0;  // 0: as encoded; else a TIFF compression tag value
};

// Writes the encoded bytes to a temporary file beside path, embeds the profile and recompresses
// there, then renames it over path: whatever fails, the file at path is either the old one or the
// complete new one. False when the file could not be written; `reason` then says why.
bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options);
bool writeEncodedFile(const qv::Data& bytes, const std::string& path, const SaveOptions& options, std::string& reason);
// Encodes the image (as dataFromImage) and writes it as writeEncodedFile does, the encoder writing
// into the temporary file as it goes where the type allows (TIFF), so the file is never held
// whole in memory.
bool saveImageFile(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                   const std::string& path, const SaveOptions& options,
                   const qv::io::ColorSpace& colorSpace = qv::io::ColorSpace::deviceRGB());
bool saveImageFile(qv::ci::Image image, QVOutputType::Type type, qv::Dictionary& metadata, std::optional<float> jpegQuality,
                   const std::string& path, const SaveOptions& options, const qv::io::ColorSpace& colorSpace,
                   std::string& reason);

}  // namespace QVImageEncoder
