#include "unwrap/Image.h"
#include "unwrap/Kernels.h"
#include "unwrap/Sample.h"
#include "unwrap/SamplerLUT.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <random>
#include <vector>

using namespace unwrap;

namespace {

constexpr int kKernelTypes[] = {gaussian, mitchell, lanczos2, lanczos3, bspline};

double lineSum(const SamplerLine& line) {
    double sum = 0.0;
    for (int i = 0; i < line.size(); ++i) sum += line[i];
    return sum;
}

template <typename Channel>
Raster<const Channel> rasterOf(const std::vector<Channel>& pixels, int width, int height) {
    return Raster<const Channel>(pixels.data(), std::ptrdiff_t(3 * width), width, height);
}

}  // namespace

TEST(SamplerLUT, EveryLineOfEveryKernelSumsToOne) {
    for (int type : kKernelTypes)
        for (float scale : {1.0f, 1.7f, 3.0f})
            for (bool y : {false, true}) {
                const SamplerLUT lut(type, 100, scale, scale);
                for (unsigned long phase = 0; phase < 100; ++phase) {
                    const SamplerLine line = lut.line(y, phase);
                    ASSERT_GT(line.size(), 0);
                    EXPECT_NEAR(lineSum(line), 1.0, 1e-5) << type << " " << scale << " " << phase;
                }
            }
}

TEST(SamplerLUT, BSplineAtPhaseZero) {
    const SamplerLUT lut(bspline, 100, 1.0f, 1.0f);
    const SamplerLine line = lut.line(false, 0);
    EXPECT_EQ(line.start, -2);
    ASSERT_EQ(line.size(), 4);
    EXPECT_NEAR(line[0], 0.0f, 1e-6f);
    EXPECT_NEAR(line[1], 1.0f / 6.0f, 1e-6f);
    EXPECT_NEAR(line[2], 2.0f / 3.0f, 1e-6f);
    EXPECT_NEAR(line[3], 1.0f / 6.0f, 1e-6f);
}

TEST(SamplerLUT, GaussianAtPhaseZeroReachesFourPixelsBack) {
    const SamplerLUT lut(gaussian, 100, 1.0f, 1.0f);
    const SamplerLine line = lut.line(false, 0);
    EXPECT_EQ(line.start, -4);
    ASSERT_EQ(line.size(), 8);
    EXPECT_EQ(line[0], 0.0f);  // 4 is on the support's edge, outside it
    EXPECT_GT(line[4], line[3]);
}

TEST(SamplerLUT, Lanczos3AtPhaseZeroIsTheCentreTapAlone) {
    const SamplerLUT lut(lanczos3, 100, 1.0f, 1.0f);
    const SamplerLine line = lut.line(true, 0);
    EXPECT_EQ(line.start, -3);
    ASSERT_EQ(line.size(), 6);
    for (int i = 0; i < 6; ++i) EXPECT_NEAR(line[i], i == 3 ? 1.0f : 0.0f, 1e-6f);
}

TEST(SamplerLUT, ScaleWidensTheFootprint) {
    const SamplerLUT lut(mitchell, 100, 2.0f, 1.0f);
    EXPECT_EQ(lut.line(false, 0).start, -4);
    EXPECT_EQ(lut.line(false, 0).size(), 8);
    EXPECT_EQ(lut.line(true, 0).size(), 4);
    EXPECT_EQ(lut.taps(false), 8);
}

TEST(SamplerLUT, ScalesThatCannotBeUsedAreBounded) {
    EXPECT_EQ(SamplerLUT(lanczos2, 100, 0.25f, NAN).taps(false), 4);
    EXPECT_EQ(SamplerLUT(lanczos2, 100, 0.25f, NAN).taps(true), 4);
    EXPECT_LE(SamplerLUT(bspline, 10, INFINITY, 1.0f).taps(false), int(4 * SamplerLUT::kMaxScale) + 1);
}

TEST(SamplerLUT, UnknownSamplerGivesEmptyTablesAndSaysSo) {
    testing::internal::CaptureStderr();
    const SamplerLUT lut(9, 100, 1.0f, 1.0f);
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "SamplerLUT doesn't support this sampler\n");
    EXPECT_TRUE(lut.empty());
    EXPECT_EQ(lut.line(false, 0).size(), 0);
}

TEST(SamplerLUT, CoordinatesTakeTheNearestPhase) {
    const SamplerLUT lut(bspline, 100, 1.0f, 1.0f);
    const auto phaseOf = [&](float coordinate, int& first) {
        const SamplerFootprint f = lut.locate(false, coordinate);
        first = f.first;
        return f.phase;
    };
    int first = 0;
    EXPECT_EQ(phaseOf(5.0f, first), 0);
    EXPECT_EQ(first, 5 - 2);
    EXPECT_EQ(phaseOf(5.994f, first), 99);
    EXPECT_EQ(first, 5 + lut.line(false, 99).start);
    // Within half a phase of the next pixel: phase 0 of that pixel, not the last phase of this one.
    EXPECT_EQ(phaseOf(5.996f, first), 0);
    EXPECT_EQ(first, 6 - 2);
    EXPECT_EQ(phaseOf(-0.3f, first), 70);
    EXPECT_EQ(first, -1 + lut.line(false, 70).start);
}

TEST(Sample, ChannelsAreClippedAndRounded) {
    std::uint8_t bytes[3];
    storePixel(Pixel4{255.9f, -3.2f, 127.99f, 0.0f}, bytes);
    EXPECT_EQ(bytes[0], 255);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 128);
    storePixel(Pixel4{127.4f, NAN, 300.0f, 0.0f}, bytes);
    EXPECT_EQ(bytes[0], 127);
    EXPECT_EQ(bytes[1], 0);
    EXPECT_EQ(bytes[2], 255);
    std::uint16_t words[3];
    storePixel(Pixel4{70000.0f, 65534.6f, 1.5f, 0.0f}, words);
    EXPECT_EQ(words[0], 65535);
    EXPECT_EQ(words[1], 65535);
    EXPECT_EQ(words[2], 2);
}

TEST(Sample, FootprintOutsideTheSourceMissesAndAPartialOneFadesByTheMissingWeight) {
    const int w = 12, h = 12;
    const std::vector<std::uint8_t> flat(std::size_t(3 * w * h), 200);
    const SamplerLUT lut(bspline, 100, 1.0f, 1.0f);
    std::uint8_t out[3] = {1, 2, 3};
    EXPECT_FALSE(sample(lut, rasterOf(flat, w, h), Point2(-5.0f, 6.0f), out));
    EXPECT_FALSE(sample(lut, rasterOf(flat, w, h), Point2(6.0f, 20.0f), out));
    // At x = -0.5 the taps lie on columns -2, -1, 0, 1 with weights 1, 23, 23, 1 (/48): half is inside.
    ASSERT_TRUE(sample(lut, rasterOf(flat, w, h), Point2(-0.5f, 6.0f), out));
    EXPECT_EQ(out[0], 100);
    EXPECT_EQ(out[2], 100);
    ASSERT_TRUE(sample(lut, rasterOf(flat, w, h), Point2(6.0f, 6.25f), out));
    EXPECT_EQ(out[1], 200);
}

template <typename Channel, int N>
void expectWideSumsEqualColumnSums(int samplerType, unsigned seed) {
    const SamplerLUT lut(samplerType, 100, 1.0f, 1.0f);
    ASSERT_EQ(lut.taps(false), N);
    ASSERT_EQ(lut.taps(true), N);
    std::mt19937 generator(seed);
    std::uniform_int_distribution<unsigned> channel(0, std::numeric_limits<Channel>::max());
    const int w = 24, h = 20;
    std::vector<Channel> pixels(std::size_t(3 * w * h));
    for (Channel& c : pixels) c = Channel(channel(generator));
    const Raster<const Channel> raster = rasterOf(pixels, w, h);
    std::uniform_real_distribution<float> xs(4.0f, float(w - N)), ys(4.0f, float(h - N - 1));
    for (int i = 0; i < 400; ++i) {
        const SamplerFootprint fx = lut.locate(false, xs(generator)), fy = lut.locate(true, ys(generator));
        ASSERT_TRUE(raster.holds(fx.first, fy.first, N, N, wideReach<N>()));
        const float* wx = lut.columnWeights(fx.phase);
        const float* wy = lut.rowWeights<Channel>(fy.phase);
        const Channel* topLeft = raster.pixel(fx.first, fy.first);
        const Pixel4 wide = accumulateWide<N, N>(topLeft, raster.stride, wx, wy, lut.pairedRowWeights(fy.phase));
        const Pixel4 columns = accumulate(topLeft, raster.stride, wx, N, wy, N);
        for (int c = 0; c < 3; ++c) ASSERT_EQ(wide[c], columns[c]) << samplerType << " " << i << " " << c;
    }
}

TEST(Sample, WideRowSumsEqualColumnSumsBitForBit) {
    expectWideSumsEqualColumnSums<std::uint8_t, 4>(lanczos2, 1);
    expectWideSumsEqualColumnSums<std::uint8_t, 6>(lanczos3, 2);
    expectWideSumsEqualColumnSums<std::uint8_t, 8>(gaussian, 3);
    expectWideSumsEqualColumnSums<std::uint16_t, 4>(mitchell, 4);
    expectWideSumsEqualColumnSums<std::uint16_t, 6>(lanczos3, 5);
    expectWideSumsEqualColumnSums<std::uint16_t, 8>(gaussian, 6);
}

TEST(SamplerLUT, FixedRowWeightsSumToExactlyOneAndPairUp) {
    for (int type : kKernelTypes) {
        const SamplerLUT lut(type, 100, 1.0f, 1.0f);
        const int taps = lut.taps(true);
        ASSERT_LE(taps, SamplerLUT::kMaxFixedTaps);
        for (int phase = 0; phase < 100; ++phase) {
            const float* fixed = lut.rowWeights<std::uint8_t>(phase);
            const float* exact = lut.rowWeights<std::uint16_t>(phase);
            const std::int16_t* paired = lut.pairedRowWeights(phase);
            ASSERT_NE(paired, nullptr);
            double sum = 0.0;
            for (int k = 0; k < taps; ++k) {
                sum += fixed[k];
                EXPECT_NEAR(fixed[k], exact[k], 1.0 / SamplerLUT::kFixedOne);
                EXPECT_EQ(fixed[k] * SamplerLUT::kFixedOne, float(paired[8 * (k / 2) + k % 2]));
                EXPECT_EQ(paired[8 * (k / 2) + 6 + k % 2], paired[8 * (k / 2) + k % 2]);
            }
            EXPECT_EQ(sum, 1.0) << type << " " << phase;
        }
    }
    // Wide footprints keep float weights only.
    const SamplerLUT wide(gaussian, 100, 3.0f, 3.0f);
    EXPECT_EQ(wide.pairedRowWeights(0), nullptr);
    EXPECT_EQ(wide.rowWeights<std::uint8_t>(5), wide.rowWeights<std::uint16_t>(5));
}

TEST(Sample, WideReadsNeverReachPastTheLastPixel) {
    const std::vector<std::uint8_t> pixels(3 * 8 * 4, 0);
    const Raster<const std::uint8_t> raster = rasterOf(pixels, 8, 4);
    EXPECT_TRUE(raster.holds(0, 0, 4, 4, 12));   // exactly the block's channels of the last row
    EXPECT_FALSE(raster.holds(4, 0, 4, 4, 16));  // would read 4 channels past the end
    EXPECT_TRUE(raster.holds(4, 0, 4, 3, 16));   // runs into the next row, which exists
    EXPECT_FALSE(raster.holds(-1, 0, 2, 2, 7));
    EXPECT_FALSE(raster.holds(0, 3, 2, 2, 7));
    // A footprint wider or taller than the image never counts as inside, even where reading it
    // would stay within the buffer.
    const Raster<const std::uint8_t> narrow = rasterOf(pixels, 3, 10);
    EXPECT_FALSE(narrow.holds(0, 0, 4, 2, 12));
    const Raster<const std::uint8_t> flat = rasterOf(pixels, 16, 2);
    EXPECT_FALSE(flat.holds(0, 0, 2, 4, 7));
}

TEST(Sample, AFootprintWiderThanTheSourceSumsOnlyItsPixels) {
    // Three columns under a six-tap footprint: the taps that fall beside the image are dropped, not
    // taken from the neighbouring rows.
    const int w = 3, h = 12;
    std::vector<std::uint8_t> pixels(std::size_t(3 * w * h), 0);
    for (int y = 0; y < h; ++y)
        for (int c = 0; c < 3; ++c) pixels[std::size_t(3 * (y * w + 1) + c)] = 200;  // only the middle column lit
    const SamplerLUT lut(lanczos3, 100, 1.0f, 1.0f);
    std::uint8_t out[3];
    ASSERT_TRUE(sample(lut, rasterOf(pixels, w, h), Point2(1.0f, 5.0f), out));
    EXPECT_EQ(out[0], 200);
    ASSERT_TRUE(sample(lut, rasterOf(pixels, w, h), Point2(0.0f, 5.0f), out));
    EXPECT_EQ(out[0], 0);
    // Just right of the image the six taps start on its first column: the compiled six-tap sampler
    // must clip them as the general one does.
    std::uint8_t general[3], sixTaps[3];
    ASSERT_TRUE(sample(lut, rasterOf(pixels, w, h), Point2(3.3f, 5.0f), general));
    const bool sampled = sampleSeparable<6, 6>(lut.tables<std::uint8_t>(), rasterOf(pixels, w, h), Point2(3.3f, 5.0f), sixTaps);
    ASSERT_TRUE(sampled);
    EXPECT_EQ(sixTaps[0], general[0]);
    EXPECT_EQ(sixTaps[1], general[1]);
}

TEST(Sample, BilinearInterpolatesAndExtendsTheEdgeByOnePixel) {
    const int w = 4, h = 3;
    std::vector<std::uint8_t> pixels(std::size_t(3 * w * h));
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x)
            for (int c = 0; c < 3; ++c) pixels[std::size_t(3 * (y * w + x) + c)] = std::uint8_t(40 * x + 10 * y + c);
    const Raster<const std::uint8_t> raster = rasterOf(pixels, w, h);
    std::uint8_t out[3];
    ASSERT_TRUE(sampleBilinear(raster, Point2(2.0f, 1.0f), out));
    EXPECT_EQ(out[0], 90);
    ASSERT_TRUE(sampleBilinear(raster, Point2(1.5f, 0.5f), out));
    EXPECT_EQ(out[1], 66);  // (40 + 80 + 50 + 90) / 4 + 1
    ASSERT_TRUE(sampleBilinear(raster, Point2(3.0f, 2.0f), out));  // the last pixel itself
    EXPECT_EQ(out[2], 142);
    ASSERT_TRUE(sampleBilinear(raster, Point2(-0.5f, 0.0f), out));  // left of the first column
    EXPECT_EQ(out[0], 0);
    ASSERT_TRUE(sampleBilinear(raster, Point2(3.7f, 2.6f), out));  // beyond the last pixel
    EXPECT_EQ(out[0], 140);
    EXPECT_FALSE(sampleBilinear(raster, Point2(-1.2f, 1.0f), out));
    EXPECT_FALSE(sampleBilinear(raster, Point2(1.0f, 3.0f), out));
    EXPECT_FALSE(sampleBilinear(raster, Point2(NAN, 1.0f), out));
}

TEST(Kernels, ValuesAtKnownPoints) {
    EXPECT_FLOAT_EQ(sinc(0.0f), 1.0f);
    EXPECT_NEAR(sinc(1.0f), 0.0f, 1e-6f);
    EXPECT_FLOAT_EQ(bspline_kernel()(0.0f), 0.6666667f);
    EXPECT_FLOAT_EQ(bspline_kernel()(1.0f), 1.0f / 6.0f);
    EXPECT_FLOAT_EQ(mitchell_kernel()(0.0f), 8.0f / 9.0f);
    EXPECT_EQ(mitchell_kernel()(2.0f), 0.0f);
    EXPECT_EQ(gaussian_kernel()(0.0f), 1.0f);
    EXPECT_EQ(gaussian_kernel()(4.0f), 0.0f);
    EXPECT_EQ(lanczos_kernel<3>()(3.0f), 0.0f);
    EXPECT_FLOAT_EQ(lanczos_kernel<2>().support(), 2.0f);
}
