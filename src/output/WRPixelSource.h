#pragma once
// One input image as the PSD writer reads it: three colour samples (red, green, blue) and an
// optional alpha, each 8 or 16 bits, whatever layout the decoder produced. Grey images give the
// same sample to all three colour channels; ARGB gives its alpha last; float and premultiplied
// images are brought to straight 16-bit samples once, up front.
#include <cstddef>
#include <cstdint>
#include <memory>

#include "foundation/Bitmap.h"
#include "output/WRRect.h"

class WRPixelSource {
public:
    static constexpr int kColourSamples = 3;  // the document is RGB

    // Null when the bitmap holds no pixels.
    static std::shared_ptr<const WRPixelSource> make(std::shared_ptr<const qv::Bitmap> bitmap);

    int width() const { return m_bitmap->width; }
    int height() const { return m_bitmap->height; }
    bool hasAlpha() const { return m_hasAlpha; }
    int samplesPerPixel() const { return kColourSamples + (m_hasAlpha ? 1 : 0); }
    int alphaChannel() const { return kColourSamples; }

    // Channel `channel` (0..2 colour, 3 alpha) of row y over columns [left, right) as `depth`-byte
    // big-endian samples, written to `scratch` ((right - left) * depth bytes), which it answers. An
    // 8-bit sample v becomes v * 257 in two bytes; a 16-bit sample becomes round(v / 257) in one.
    const std::uint8_t* channelRow(int channel, int y, int left, int right, int depth, std::uint8_t* scratch) const;

    // The smallest rectangle holding every pixel with a non-zero sample; the whole image when none has.
    WRRect opaqueRect() const;

    // Alpha that is only fully transparent or fully opaque, with at least one opaque pixel.
    bool hasUnfeatheredAlpha() const;

private:
    explicit WRPixelSource(std::shared_ptr<const qv::Bitmap> bitmap);

    std::shared_ptr<const qv::Bitmap> m_bitmap;
    bool m_hasAlpha = false;
    int m_sampleBytes = 1;
    int m_pixelBytes = 1;
    int m_offset[4] = {0, 0, 0, 0};  // byte offset of each channel inside a pixel
};
