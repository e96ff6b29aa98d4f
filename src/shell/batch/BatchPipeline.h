#pragma once
// One batch photo's way through: the batch's own loader (no orientation applied, the metadata
// kept as read), the correction at full resolution (the batch's distortion and affine scale, then
// the chain's chromatic-aberration, vignetting and perspective steps), the output rectangle, and
// the encoder that passes the metadata on unchanged.
//
// The settings come from a CorrectionSettings value taken on the main thread before the photo is
// corrected, so the worker never reads the controls while the user or the controller moves them.
#include <functional>
#include <future>
#include <optional>
#include <string>
#include <vector>

#include "coreimage/CIImage.h"
#include "engine/CorrectionParameters.h"
#include "foundation/Geometry.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "output/QVOutputType.h"
#include "shell/lens/LensInfoText.h"
#include "shell/unwrap/UnwrapRequest.h"

class QVController;

namespace batch {

// A photo as the batch loads it.
struct LoadedPhoto {
    qv::ci::Image image;
    qv::Dictionary metadata;  // the properties of image 0, as the reader gave them
    qv::io::ColorSpace colorSpace;
    qv::Rect sourceRect;      // the extent as loaded
};

// Image 0 of an existing file, decoded from its bytes read whole; nothing when the path is not a
// file or does not decode.
std::optional<LoadedPhoto> loadPhoto(const std::string& path);

// A photo as the run reads it before its turn: decoded, and the focal range of its lens.
struct ReadPhoto {
    std::optional<LoadedPhoto> photo;
    shell::FocalRange focalRange;
};

// The reading of one photo, begun at once on threads of its own: the decoding, and beside it the
// question to the metadata tool (`lensInfo`), so that the run reads the next photo while it
// corrects and writes the one in hand. Dropping a reading waits for its threads.
class PhotoReading {
public:
    using LensInfo = std::function<shell::FocalRange(const std::string& path)>;
    PhotoReading(std::string path, const LensInfo& lensInfo);
    const std::string& path() const { return m_path; }
    // Waits for both parts; once only.
    ReadPhoto take();

private:
    std::string m_path;
    std::future<shell::FocalRange> m_focalRange;
    std::future<std::optional<LoadedPhoto>> m_photo;
};

// Every setting the correction of one photo reads, as values taken on the main thread.
struct CorrectionSettings {
    static CorrectionSettings of(QVController& controller);

    CorrectionParameters parameters;
    shell::UnwrapSettings fisheye;  // the main window's fisheye fields
};

// The corrected image: distortion (lens correction with non-zero coefficients only), the affine
// scale (not at 100), chromatic aberration, vignetting, perspective. Null when a step cannot make
// a picture.
qv::ci::Image correctedImage(const qv::ci::Image& image, const CorrectionSettings& settings);

// The part of the corrected image that is written. E is the corrected extent, S the source
// rectangle: crop inside above 100 per cent, S centred on E and clipped to it; crop inside at
// most 100 per cent, E; otherwise S centred on E, moved by E's origin when that is negative.
qv::Rect effectiveRectForImage(const qv::Rect& extent, const qv::Rect& source, bool cropInside, double scale);

// Renders the rectangle (made whole) at 8 bits, or 16 when the metadata's "Depth" is 16, and
// encodes it as the output type with the metadata unchanged. The rendering goes band by band into
// the encoder, the next band rendered on the other cores while the encoder takes one, so the
// rendered picture is never held whole. Nothing on failure; `reason` then says why.
std::optional<qv::Data> dataFromImage(const qv::ci::Image& image, const qv::Rect& rect, QVOutputType::Type type,
                                      const qv::Dictionary& metadata, const qv::io::ColorSpace& colorSpace);
std::optional<qv::Data> dataFromImage(const qv::ci::Image& image, const qv::Rect& rect, QVOutputType::Type type,
                                      const qv::Dictionary& metadata, const qv::io::ColorSpace& colorSpace,
                                      std::string& reason);

// The metadata as the batch writes it: as read, except an orientation outside 1 to 8 (at the top
// level or in "{TIFF}"), which becomes 1. The batch does not turn its pixels, so a valid
// orientation stays true of them; an invalid one meant no turn, and readers refuse a file that
// carries it.
qv::Dictionary withValidOrientation(qv::Dictionary metadata);

}  // namespace batch
