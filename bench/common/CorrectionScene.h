#pragma once
// The scene the engine benchmarks correct: a photo-like picture and the controls with every
// correction on. Header-only; the benchmarks that include it see tests/engine for the fakes.
#include <cstdint>

#include "FakeParameters.h"
#include "foundation/Bitmap.h"

namespace qvbench {

// Smooth gradients with a fine texture, so that no step can skip work; RGB8 as a decoded JPEG
// gives it, or RGBA8 as the renderer keeps it.
inline qv::Bitmap makeTexturedPhoto(int width, int height, qv::PixelFormat format) {
    const bool alpha = format == qv::PixelFormat::RGBA8;
    const int channels = alpha ? 4 : 3;
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, alpha ? qv::PixelFormat::RGBA8 : qv::PixelFormat::RGB8, alpha);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.row(y);
        for (int x = 0; x < width; ++x) {
            std::uint8_t* p = row + channels * x;
            p[0] = std::uint8_t((x * 255) / width);
            p[1] = std::uint8_t((y * 255) / height);
            p[2] = std::uint8_t(((x ^ y) & 0x3f) + 96);
            if (alpha) p[3] = 255;
        }
    }
    return bitmap;
}

// Distortion, scale 1.05, both fringe factors, vignetting, yaw, pitch and rotation.
inline void everyCorrectionOn(FakeParameters& p, FakeParameters::Crop crop) {
    p.coefficients = {0.01, -0.03, 0.02, 1.0};
    p.scale = 105;
    p.red = 1.0006;
    p.blue = 0.9994;
    p.vignetAmount = 30;
    p.vignetMid = 10;
    p.yawAngle = 3;
    p.pitchAngle = -2;
    p.rotation = 1.5;
    p.angleOfView = 60;
    p.crop = crop;
}

}  // namespace qvbench
