#include "Fixtures.h"

#include "unwrap/Unwrap.h"
#include "unwrap/Unwrapper.h"

#include <gtest/gtest.h>

#include <typeinfo>

using namespace unwrap;
using namespace unwraptest;

namespace {

constexpr int kAllSamplers[] = {bilinear, gaussian, mitchell, lanczos2, lanczos3, bspline};

Image unwrapped(const Image& source, int width, int height, float inputFOV, float outputFOV, int sampler,
                unsigned long threads) {
    Image output = sameTypeImage(source, width, height);
    EXPECT_EQ(unwrapImage(gil::const_view(source), gil::view(output), inputFOV, outputFOV, sampler, threads), 0);
    return output;
}

}  // namespace

TEST(Bands, CoverEveryRowOnceInOrderWithoutEmptyBands) {
    for (int height : {1, 7, 8, 9, 10, 64, 100, 3000})
        for (unsigned long threads : {1ul, 2ul, 3ul, 4ul, 8ul, 13ul, 1000ul, ~0ul}) {
            const std::vector<RowBand> bands = bandRows(height, threads);
            ASSERT_FALSE(bands.empty());
            EXPECT_EQ(bands.front().first, 0);
            EXPECT_EQ(bands.back().end, height);
            for (std::size_t i = 0; i < bands.size(); ++i) {
                EXPECT_LT(bands[i].first, bands[i].end);
                EXPECT_EQ(bands[i].first % 8, 0);
                if (i > 0) {
                    EXPECT_EQ(bands[i].first, bands[i - 1].end);
                }
            }
            const std::size_t workers = workerCount(threads, bands.size());
            EXPECT_GE(workers, 1u);
            EXPECT_LE(workers, bands.size());
            EXPECT_LE(workers, threads);
        }
}

TEST(Bands, EightWorkersStartOnLongBandsAndEndOnShortOnes) {
    const std::vector<RowBand> bands = bandRows(3000, 8);
    EXPECT_GE(bands.size(), 32u);
    EXPECT_EQ(bands.front().end - bands.front().first, 3000 / 16 / 8 * 8);
    for (std::size_t i = 1; i < bands.size(); ++i)
        EXPECT_LE(bands[i].end - bands[i].first, bands[i - 1].end - bands[i - 1].first);
    EXPECT_EQ(bands.back().end - bands.back().first, 8);
    EXPECT_EQ(workerCount(8, bands.size()), 8u);
}

TEST(Bands, TheCallingThreadOrASingleWorkerTakesOneBand) {
    for (unsigned long threads : {0ul, 1ul}) {
        const std::vector<RowBand> bands = bandRows(10, threads);
        ASSERT_EQ(bands.size(), 1u);
        EXPECT_EQ(bands[0].first, 0);
        EXPECT_EQ(bands[0].end, 10);
    }
    EXPECT_TRUE(bandRows(0, 4).empty());
}

TEST(Unwrap, OutputIsByteIdenticalForEveryThreadCount) {
    const Image source = noiseImage<std::uint8_t>(90, 60, 7);
    const int width = 50, height = 20;
    for (int sampler : kAllSamplers) {
        const Image reference = unwrapped(source, width, height, 180.0f, 100.0f, sampler, 0);
        for (unsigned long threads = 1; threads <= unsigned(height) + 5; ++threads)
            ASSERT_TRUE(sameImage(unwrapped(source, width, height, 180.0f, 100.0f, sampler, threads), reference))
                << "sampler " << sampler << ", " << threads << " threads";
    }
    const Image deep = noiseImage<std::uint16_t>(90, 60, 8);
    const Image deepReference = unwrapped(deep, width, height, 170.0f, 80.0f, lanczos3, 0);
    for (unsigned long threads : {1ul, 3ul, 8ul, 40ul})
        EXPECT_TRUE(sameImage(unwrapped(deep, width, height, 170.0f, 80.0f, lanczos3, threads), deepReference));
}

TEST(Unwrap, NearIdentityReproducesTheInputWithInterpolatingSamplers) {
    const Image noise = noiseImage<std::uint8_t>(64, 48, 3);
    for (int sampler : {bilinear, lanczos2, lanczos3})
        for (unsigned long threads : {0ul, 4ul})
            EXPECT_TRUE(sameImage(unwrapped(noise, 64, 48, 1.0f, 1.0f, sampler, threads), noise)) << sampler;
    const Image deepNoise = noiseImage<std::uint16_t>(64, 48, 4);
    for (int sampler : {lanczos2, lanczos3})
        EXPECT_TRUE(sameImage(unwrapped(deepNoise, 64, 48, 1.0f, 1.0f, sampler, 2), deepNoise)) << sampler;
}

TEST(Unwrap, NearIdentityKeepsFlatFieldsAndRampsWithSmoothingSamplers) {
    const Image flat = flatImage<std::uint8_t>(64, 48, 17, 128, 250);
    const Image ramp = makeImage<std::uint8_t>(64, 48, [](int x, int y, int c) { return unsigned(2 * x + y + c); });
    for (int sampler : {gaussian, mitchell, bspline}) {
        const Image flatOut = unwrapped(flat, 64, 48, 1.0f, 1.0f, sampler, 2);
        const Image rampOut = unwrapped(ramp, 64, 48, 1.0f, 1.0f, sampler, 2);
        // Away from the border, where the footprint is whole.
        for (int y = 5; y < 43; ++y)
            for (int x = 5; x < 59; ++x)
                for (int c = 0; c < 3; ++c) {
                    ASSERT_EQ(channelAt(flatOut, x, y, c), channelAt(flat, x, y, c)) << sampler;
                    ASSERT_EQ(channelAt(rampOut, x, y, c), channelAt(ramp, x, y, c)) << sampler << " " << x << "," << y;
                }
    }
}

TEST(Unwrap, SixteenBitImagesKeepTheirDepth) {
    const Image flat = flatImage<std::uint16_t>(80, 60, 40000, 300, 65535);
    const Image output = unwrapped(flat, 40, 30, 180.0f, 60.0f, mitchell, 3);
    ASSERT_TRUE(is16Bit(output));
    EXPECT_EQ(channelAt(output, 20, 15, 0), 40000u);
    EXPECT_EQ(channelAt(output, 20, 15, 1), 300u);
    EXPECT_EQ(channelAt(output, 20, 15, 2), 65535u);
}

TEST(Unwrap, TheCentreComesFromTheSourceCentre) {
    // A bright 3 x 3 spot on the optical axis of a dark fisheye shows up at the output's centre.
    const Image spot = makeImage<std::uint8_t>(61, 41, [](int x, int y, int) {
        return (std::abs(x - 30) <= 1 && std::abs(y - 20) <= 1) ? 250u : 0u;
    });
    // The centre of a 61 x 41 image is (30.5, 20.5): the spot covers it from (29, 19) to (31, 21).
    const Image output = unwrapped(spot, 21, 21, 180.0f, 20.0f, bilinear, 0);
    EXPECT_GT(channelAt(output, 10, 10, 0), 200u);
    EXPECT_EQ(channelAt(output, 0, 0, 0), 0u);
}

TEST(Unwrap, PixelsWhoseFootprintMissesTheSourceAreBlack) {
    // A wide view of a narrow fisheye: the corners look past the fisheye's field.
    const Image flat = flatImage<std::uint8_t>(40, 40, 200, 200, 200);
    for (int sampler : kAllSamplers) {
        const Image output = unwrapped(flat, 60, 60, 60.0f, 150.0f, sampler, 2);
        EXPECT_EQ(channelAt(output, 0, 0, 0), 0u) << sampler;
        EXPECT_EQ(channelAt(output, 59, 59, 2), 0u) << sampler;
        EXPECT_EQ(channelAt(output, 30, 30, 1), 200u) << sampler;
    }
}

TEST(Unwrap, DifferentPixelTypesFailInsideTheBandsAndAreReported) {
    const Image source = flatImage<std::uint8_t>(20, 20, 1, 2, 3);
    Image deep = flatImage<std::uint16_t>(10, 10, 0, 0, 0);
    for (unsigned long threads : {0ul, 1ul, 4ul}) {
        EXPECT_THROW(unwrap::unwrap(gil::const_view(source), gil::view(deep), 180.0f, 90.0f, lanczos2, threads),
                     std::bad_cast);
        testing::internal::CaptureStderr();
        EXPECT_EQ(unwrapImage(gil::const_view(source), gil::view(deep), 180.0f, 90.0f, lanczos2, threads), -1);
        EXPECT_NE(testing::internal::GetCapturedStderr().find("pixel type"), std::string::npos);
    }
}

TEST(Unwrap, RequestsThatCannotRunAreRefused) {
    const Image source = flatImage<std::uint8_t>(20, 20, 1, 2, 3);
    Image output = sameTypeImage(source, 10, 10);
    const auto run = [&](float in, float out, int sampler) {
        testing::internal::CaptureStderr();
        const int result = unwrapImage(gil::const_view(source), gil::view(output), in, out, sampler, 2);
        testing::internal::GetCapturedStderr();
        return result;
    };
    EXPECT_EQ(run(0.0f, 90.0f, 0), -1);
    EXPECT_EQ(run(-10.0f, 90.0f, 0), -1);
    EXPECT_EQ(run(NAN, 90.0f, 0), -1);
    EXPECT_EQ(run(180.0f, 0.0f, 0), -1);
    EXPECT_EQ(run(180.0f, 180.0f, 0), -1);
    EXPECT_EQ(run(180.0f, INFINITY, 0), -1);
    EXPECT_EQ(run(180.0f, 90.0f, -1), -1);
    EXPECT_EQ(run(180.0f, 90.0f, 6), -1);
    EXPECT_EQ(run(180.0f, 179.0f, 5), 0);
    Image empty = sameTypeImage(source, 0, 0);
    testing::internal::CaptureStderr();
    EXPECT_EQ(unwrapImage(gil::const_view(empty), gil::view(output), 180.0f, 90.0f, 0, 2), -1);
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(unwrapImage(gil::const_view(source), gil::view(empty), 180.0f, 90.0f, 0, 2), 0);
}

TEST(Unwrap, AnUnknownSamplerGivenToTheDriverPaintsBlack) {
    const Image source = flatImage<std::uint8_t>(20, 20, 100, 100, 100);
    Image output = flatImage<std::uint8_t>(10, 10, 9, 9, 9);
    testing::internal::CaptureStderr();
    unwrap::unwrap(gil::const_view(source), gil::view(output), 180.0f, 90.0f, 17, 2);
    EXPECT_NE(testing::internal::GetCapturedStderr().find("doesn't support"), std::string::npos);
    EXPECT_TRUE(sameImage(output, flatImage<std::uint8_t>(10, 10, 0, 0, 0)));
}

TEST(OutputImage, TakesTheLikeImagesPixelTypeAndRefusesSizesNoMemoryCanHold) {
    const unwrap::Image eight = noiseImage<std::uint8_t>(8, 6), sixteen = noiseImage<std::uint16_t>(8, 6);
    unwrap::OutputImage out;
    unwrap::construct_image(gil::const_view(sixteen), 30, 20, out);
    ASSERT_TRUE(boost::variant2::holds_alternative<gil::rgb16_view_t>(out.view));
    EXPECT_EQ(out.view.width(), 30);
    EXPECT_EQ(out.view.height(), 20);
    // Written whole by an unwrap, it reads back as what was written.
    unwrap::unwrap(gil::const_view(sixteen), out.view, 180, 90, bilinear, 2);
    const unwrap::ConstImageView written = out.constView();
    EXPECT_EQ(written.width(), 30);
    EXPECT_TRUE(boost::variant2::holds_alternative<gil::rgb16c_view_t>(written));

    unwrap::construct_image(gil::const_view(eight), 0, 20, out);
    EXPECT_EQ(out.memory, nullptr) << "an empty image takes no memory";
    EXPECT_EQ(out.view.width() * out.view.height(), 0);
    EXPECT_THROW(unwrap::construct_image(gil::const_view(eight), 1 << 30, 1 << 30, out), std::bad_alloc);
    EXPECT_THROW(unwrap::construct_image(gil::const_view(eight), -1, 20, out), std::bad_alloc);
}
