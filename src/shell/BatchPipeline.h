#pragma once
// One batch photo's way through: the batch's own loader (no orientation applied, the metadata
// kept as read), the correction at full resolution (the batch's distortion and affine scale, then
// the chain's chromatic-aberration, vignetting and perspective steps), the output rectangle, and
// the encoder that passes the metadata on unchanged.
//
// The settings come from a CorrectionSettings value taken on the main thread before the photo is
// corrected, so the worker never reads the controls while the user or the controller moves them.
#include <optional>
#include <string>
#include <vector>

#include "coreimage/CIImage.h"
#include "engine/QVParameterSource.h"
#include "foundation/Geometry.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "output/QVOutputType.h"

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

// The fisheye settings of the main window's fields.
struct FisheyeSettings {
    float outputWidth = 0, outputHeight = 0, inputFOV = 0, outputFOV = 0;
    int samplerType = 3;
};

// Every setting the correction of one photo reads, as values. It answers the chain's questions
// like the controller would, the angle of view included.
class CorrectionSettings : public QVParameterSource {
public:
    // Read on the main thread.
    static CorrectionSettings of(QVController& controller);

    int correctionType() override { return m_correctionType; }
    std::vector<double> correctionValues() override { return m_coefficients; }
    double redValue() override { return m_red; }
    double greenValue() override { return 1.0; }
    double blueValue() override { return m_blue; }
    bool isVignetRequired() override { return m_vignetAmount != 0; }
    double vignetBrightness() override { return m_vignetAmount; }
    double vignetMidpoint() override { return m_vignetMidpoint; }
    double scaleValue() override { return m_scale; }
    double aspectValue() override { return m_aspect; }
    double yaw() override { return m_yaw; }
    double pitch() override { return m_pitch; }
    double rotationAngle() override { return m_rotation; }
    void setDFOVwithWidth(double width, double height) override;
    double angularWidth() override { return m_angularWidth; }
    bool isCropNoneSelected() override { return !m_cropInside && !m_cropOutside; }
    bool isCropInsideSelected() override { return m_cropInside; }
    bool isCropOutsideSelected() override { return m_cropOutside; }
    std::string originalImagePath() override { return {}; }

    const FisheyeSettings& fisheye() const { return m_fisheye; }

    // For tests: settings with no correction at all, changed through the fields below.
    CorrectionSettings() = default;
    int m_correctionType = 0;
    std::vector<double> m_coefficients{0, 0, 0, 1};
    double m_red = 1, m_blue = 1, m_vignetAmount = 0, m_vignetMidpoint = 0;
    double m_scale = 100, m_aspect = 1, m_yaw = 0, m_pitch = 0, m_rotation = 0;
    bool m_cropInside = false, m_cropOutside = false;
    bool m_typedAngle = false;
    double m_typedAngleValue = 0, m_lensAngle = 0, m_angularWidth = 0;
    FisheyeSettings m_fisheye;
};

// The corrected image: distortion (lens correction with non-zero coefficients only), the affine
// scale (not at 100), chromatic aberration, vignetting, perspective. Null when a step cannot make
// a picture.
qv::ci::Image correctedImage(const qv::ci::Image& image, CorrectionSettings& settings);

// The part of the corrected image that is written. E is the corrected extent, S the source
// rectangle: crop inside above 100 per cent, S centred on E and clipped to it; crop inside at
// most 100 per cent, E; otherwise S centred on E, moved by E's origin when that is negative.
qv::Rect effectiveRectForImage(const qv::Rect& extent, const qv::Rect& source, bool cropInside, double scale);

// Renders the rectangle (made whole) at 8 bits, or 16 when the metadata's "Depth" is 16, and
// encodes it as the output type with the metadata unchanged. Nothing, with a reason, on failure.
std::optional<qv::Data> dataFromImage(const qv::ci::Image& image, const qv::Rect& rect, QVOutputType::Type type,
                                      const qv::Dictionary& metadata, const qv::io::ColorSpace& colorSpace,
                                      std::string* error = nullptr);

}  // namespace batch
