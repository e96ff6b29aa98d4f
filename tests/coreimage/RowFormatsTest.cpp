// The last step of a render: float rows in the output formats. The 256-bit and the baseline
// versions must write the same bytes for every input, rounding boundaries, NaN and infinities
// included, and neither may write past the row.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "coreimage/CpuFeatures.h"
#include "coreimage/RowFormats.h"

using qv::PixelFormat;
using qv::ci::detail::setWideVectorsForTesting;
using qv::ci::detail::writeRow;

namespace {

// Runs with the wide versions on or off, and restores what the processor offers afterwards.
class WideVectors {
public:
    explicit WideVectors(bool enabled) { setWideVectorsForTesting(enabled); }
    ~WideVectors() { setWideVectorsForTesting(true); }
};

constexpr std::uint8_t kGuard = 0xA5;

// The row written in format, followed by guard bytes that must stay untouched.
std::vector<std::uint8_t> written(const std::vector<float>& src, PixelFormat format, bool wide) {
    const int n = int(src.size() / 4);
    const std::size_t size = std::size_t(n) * (format == PixelFormat::RGBA16 ? 8 : 4);
    std::vector<std::uint8_t> out(size + 64, kGuard);
    WideVectors mode(wide);
    writeRow(src.data(), n, format, out.data());
    for (std::size_t i = size; i < out.size(); ++i) EXPECT_EQ(out[i], kGuard) << "written past the row at byte " << i;
    return out;
}

// Samples that probe the conversion: both sides of every rounding boundary of both integer
// formats, the clamps, and the values that are not numbers.
std::vector<float> probingSamples() {
    const float inf = std::numeric_limits<float>::infinity();
    std::vector<float> v{0.f, -0.f, 1.f, -1.f, 2.f, 1e30f, -1e30f, inf, -inf, std::nanf(""), -std::nanf(""),
                         std::numeric_limits<float>::denorm_min(), std::nextafter(1.f, 2.f), std::nextafter(1.f, 0.f)};
    for (int k = 0; k <= 255; ++k) {
        for (float f : {k / 255.f, (k + 0.5f) / 255.f}) v.insert(v.end(), {f, std::nextafter(f, 0.f), std::nextafter(f, 2.f)});
    }
    for (int k = 0; k < 65536; k += 257) {
        const float f = (k + 0.5f) / 65535.f;
        v.insert(v.end(), {f, std::nextafter(f, 0.f), std::nextafter(f, 2.f)});
    }
    return v;
}

const PixelFormat kIntegerFormats[] = {PixelFormat::ARGB8, PixelFormat::RGBA8, PixelFormat::RGBA16};

}  // namespace

TEST(RowFormats, WideAndBaselineWriteTheSameBytes) {
    const std::vector<float> samples = probingSamples();
    // Every length up to 40 (whole groups of eight, and the rest), then rows as long as a tile.
    std::vector<int> lengths;
    for (int n = 0; n <= 40; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {255, 256, int(samples.size() / 4)});
    for (PixelFormat format : kIntegerFormats) {
        for (int n : lengths) {
            // The samples shifted along the row, so that each lands in every channel and lane.
            for (std::size_t shift : {0u, 1u, 6u, 13u}) {
                std::vector<float> row(4 * std::size_t(n));
                for (std::size_t i = 0; i < row.size(); ++i) row[i] = samples[(i + shift * 4 + shift) % samples.size()];
                EXPECT_EQ(written(row, format, false), written(row, format, true))
                    << "format " << int(format) << ", " << n << " pixels, shift " << shift;
            }
        }
    }
}

TEST(RowFormats, ClampAndRoundHalvesUp) {
    // Eleven pixels: a group of eight for the wide version and three for the baseline tail,
    // each pixel r, g, b, a = one case. The expected bytes hold in both modes.
    const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
    const float cases[][4] = {{0.51f / 255, 1.49f / 255, 2.6f / 255, 1.f}, {nan, -1.f, 2.f, inf},
                              {-inf, 0.f, 1.f, 0.5f}, {0.5f, 254.49f / 255, 1.f, 1.f}};
    const std::uint8_t expected8[][4] = {{1, 1, 3, 255}, {0, 0, 255, 255}, {0, 0, 255, 128}, {128, 254, 255, 255}};
    std::vector<float> row;
    for (int i = 0; i < 11; ++i) row.insert(row.end(), cases[i % 4], cases[i % 4] + 4);
    for (bool wide : {false, true}) {
        SCOPED_TRACE(wide ? "wide" : "baseline");
        const std::vector<std::uint8_t> rgba = written(row, PixelFormat::RGBA8, wide);
        const std::vector<std::uint8_t> argb = written(row, PixelFormat::ARGB8, wide);
        const std::vector<std::uint8_t> shorts = written(row, PixelFormat::RGBA16, wide);
        for (int i = 0; i < 11; ++i) {
            const std::uint8_t* e = expected8[i % 4];
            for (int c = 0; c < 4; ++c) {
                EXPECT_EQ(rgba[4 * i + c], e[c]) << "pixel " << i << " channel " << c;
                EXPECT_EQ(argb[4 * i + (c + 1) % 4], e[c]) << "pixel " << i << " channel " << c;
            }
            std::uint16_t s[4];
            std::memcpy(s, shorts.data() + 8 * i, sizeof s);
            const float* in = cases[i % 4];
            for (int c = 0; c < 4; ++c) {
                const float clamped = in[c] > 0.f ? std::min(in[c], 1.f) : 0.f;  // NaN to 0
                EXPECT_EQ(s[c], std::uint16_t(std::floor(double(clamped * 65535.f) + 0.5))) << "pixel " << i;
            }
        }
    }
}

TEST(RowFormats, FloatRowsAreCopied) {
    std::vector<float> row(4 * 13);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = float(i) - 7.25f;
    std::vector<float> out(row.size());
    writeRow(row.data(), 13, PixelFormat::RGBAf, reinterpret_cast<std::uint8_t*>(out.data()));
    EXPECT_EQ(out, row);
}
