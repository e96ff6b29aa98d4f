#include <gtest/gtest.h>

#include <random>

#include "TestImages.h"
#include "imageio/support/PackBits.h"
#include "imageio/support/PixelLayout.h"

using namespace qv;
using namespace qv::io::support;

TEST(PixelLayout, PremultipliedColourComesOutStraight) {
    Bitmap argb = Bitmap::make(3, 1, PixelFormat::ARGB8, true);
    const std::uint8_t px[] = {128, 64, 32, 0,  // half-transparent: straight colour 127, 64, 0
                               0, 0, 0, 0,       // fully transparent
                               255, 10, 20, 30};
    std::copy(std::begin(px), std::end(px), argb.pixels.begin());
    const Bitmap rgba = convertPixels(argb, PixelFormat::RGBA8);
    EXPECT_EQ(rgba.pixels[0], 128);
    EXPECT_EQ(rgba.pixels[1], 64);
    EXPECT_EQ(rgba.pixels[2], 0);
    EXPECT_EQ(rgba.pixels[3], 128);
    EXPECT_EQ(rgba.pixels[7], 0);
    EXPECT_EQ((std::vector<int>{rgba.pixels[8], rgba.pixels[9], rgba.pixels[10], rgba.pixels[11]}),
              (std::vector<int>{10, 20, 30, 255}));
    EXPECT_FALSE(rgba.premultiplied);
}

TEST(PixelLayout, SixteenBitsSurviveEveryWideConversion) {
    const Bitmap source = qvtest::makeTestBitmap(17, 5, PixelFormat::RGBA16, true);
    for (PixelFormat f : {PixelFormat::RGBA16, PixelFormat::RGBAf}) {
        const Bitmap back = convertPixels(convertPixels(source, f), PixelFormat::RGBA16);
        EXPECT_EQ(qvtest::maxDifference16(source, back), 0);
    }
    const Bitmap narrowed = convertPixels(source, PixelFormat::RGBA8);
    EXPECT_LE(qvtest::maxDifference8(source, narrowed), 0);
}

TEST(PixelLayout, StorageKeepsAlphaOnlyWhereSomethingIsTransparent) {
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::ARGB8, false, true)), PixelFormat::RGB8);
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::ARGB8, true, true)), PixelFormat::RGBA8);
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::RGBA16)), PixelFormat::RGB16);
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::RGBA16, true)), PixelFormat::RGBA16);
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::RGBAf)), PixelFormat::RGB16);
    EXPECT_EQ(storageFormatFor(qvtest::makeTestBitmap(8, 8, PixelFormat::Gray16)), PixelFormat::Gray16);
}

TEST(PackBits, RoundTripsRunsAndLiterals) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 200; ++trial) {
        Data input(std::size_t(random() % 700));
        for (std::size_t i = 0; i < input.size();) {
            const std::size_t run = 1 + random() % (random() % 2 ? 3 : 300);
            const std::uint8_t v = std::uint8_t(random() % 4);
            for (std::size_t k = 0; k < run && i < input.size(); ++k, ++i) input[i] = v;
        }
        Data packed;
        packBits(input.data(), input.size(), packed);
        Data output(input.size());
        ASSERT_TRUE(unpackBits(packed.data(), packed.size(), output.data(), output.size()));
        EXPECT_EQ(output, input);
        // Never more than one header byte per 128 literal bytes of overhead.
        EXPECT_LE(packed.size(), input.size() + input.size() / 128 + 1);
    }
}

TEST(PackBits, RefusesShortAndOverflowingInput) {
    const Data longRun = {std::uint8_t(-127), 9};  // 128 copies of 9
    Data out(10);
    EXPECT_FALSE(unpackBits(longRun.data(), longRun.size(), out.data(), out.size()));
    const Data literal = {5, 1, 2, 3};  // six bytes promised, three given
    Data six(6);
    EXPECT_FALSE(unpackBits(literal.data(), literal.size(), six.data(), six.size()));
    EXPECT_FALSE(unpackBits(nullptr, 0, six.data(), six.size()));
}
