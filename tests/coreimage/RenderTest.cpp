// Rendering contract: pixels come back where they were put, in every format, and a render that
// cannot be made fails without allocating.
#include <gtest/gtest.h>
#include <tbb/global_control.h>
#include <tbb/task_arena.h>

#include <cmath>
#include <cstring>
#include <limits>

#include "TestImages.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"

using namespace qv;
using namespace qv::ci;
using citest::pixel;
using citest::RGBA;

TEST(Render, BitmapRoundTripKeepsRowsTopDownAndExtentBottomUp) {
    Bitmap source = citest::patternBitmap(37, 21);
    Image image = Image::fromBitmap(source);
    ASSERT_FALSE(image.isNull());
    EXPECT_EQ(image.extent(), Rect(0, 0, 37, 21));
    Bitmap out = citest::render8(image, image.extent());
    ASSERT_TRUE(out.isValid());
    EXPECT_EQ(citest::maxDifference(out, source), 0);

    // The top-left pixel of the bitmap is the working-space pixel just below y = height.
    Bitmap corner = citest::render8(image, Rect(0, 20, 1, 1));
    ASSERT_TRUE(corner.isValid());
    EXPECT_EQ(pixel(corner, 0, 0), pixel(source, 0, 0));
    Bitmap bottomRight = citest::render8(image, Rect(36, 0, 1, 1));
    EXPECT_EQ(pixel(bottomRight, 0, 0), pixel(source, 36, 20));
}

TEST(Render, OutsideTheExtentIsTransparent) {
    Image image = Image::fromBitmap(citest::patternBitmap(8, 8));
    Bitmap out = citest::render8(image, Rect(-4, -4, 16, 16));
    ASSERT_TRUE(out.isValid());
    EXPECT_EQ(pixel(out, 0, 0), (RGBA{0, 0, 0, 0}));
    EXPECT_EQ(pixel(out, 15, 15), (RGBA{0, 0, 0, 0}));
    EXPECT_EQ(pixel(out, 4, 4).a, 255);  // working (0, 11) -> image top-left region
}

TEST(Render, FormatsAgree) {
    Bitmap source = citest::patternBitmap(19, 13);
    Image image = Image::fromBitmap(source).imageByApplyingTransform(AffineTransform::rotation(0.3).scaled(1.3, 0.9));
    const Rect r = image.extent();
    Context context;
    Bitmap rgba8 = context.createBitmap(image, r, PixelFormat::RGBA8);
    Bitmap argb8 = context.createBitmap(image, r, PixelFormat::ARGB8);
    Bitmap rgba16 = context.createBitmap(image, r, PixelFormat::RGBA16);
    Bitmap rgbaf = context.createBitmap(image, r, PixelFormat::RGBAf);
    ASSERT_TRUE(rgba8.isValid() && argb8.isValid() && rgba16.isValid() && rgbaf.isValid());
    EXPECT_TRUE(rgba16.premultiplied);
    int worst16 = 0, worstF = 0;
    for (int y = 0; y < rgba8.height; ++y)
        for (int x = 0; x < rgba8.width; ++x) {
            EXPECT_EQ(pixel(rgba8, x, y), pixel(argb8, x, y));
            const auto* p16 = reinterpret_cast<const std::uint16_t*>(rgba16.row(y)) + 4 * x;
            const auto* pf = reinterpret_cast<const float*>(rgbaf.row(y)) + 4 * x;
            for (int c = 0; c < 4; ++c) {
                const int v8 = rgba8.row(y)[4 * x + c];
                worst16 = std::max(worst16, std::abs(int(std::lround(p16[c] / 257.0)) - v8));
                worstF = std::max(worstF, std::abs(int(std::lround(std::clamp(pf[c], 0.f, 1.f) * 255)) - v8));
            }
        }
    EXPECT_LE(worst16, 1);
    EXPECT_LE(worstF, 1);
}

TEST(Render, SixteenBitSourceKeepsItsPrecision) {
    Bitmap source = Bitmap::make(4, 2, PixelFormat::RGB16);
    auto* p = reinterpret_cast<std::uint16_t*>(source.row(0));
    p[0] = 1000, p[1] = 40000, p[2] = 65535;
    Image image = Image::fromBitmap(source);
    Context context;
    Bitmap out = context.createBitmap(image, image.extent(), PixelFormat::RGBA16);
    ASSERT_TRUE(out.isValid());
    const auto* q = reinterpret_cast<const std::uint16_t*>(out.row(0));
    EXPECT_EQ(q[0], 1000);
    EXPECT_EQ(q[1], 40000);
    EXPECT_EQ(q[2], 65535);
    EXPECT_EQ(q[3], 65535);
}

TEST(Render, UnpremultipliedAlphaIsPremultipliedOnTheWayIn) {
    Bitmap source = Bitmap::make(1, 1, PixelFormat::RGBA8, false);
    source.pixels = {200, 100, 50, 128};
    Bitmap out = citest::render8(Image::fromBitmap(source), Rect(0, 0, 1, 1));
    EXPECT_EQ(pixel(out, 0, 0), (RGBA{100, 50, 25, 128}));
}

TEST(Render, UnusableRequestsFailCleanly) {
    Image image = Image::fromBitmap(citest::patternBitmap(4, 4));
    Context context;
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_FALSE(context.createBitmap(Image(), Rect(0, 0, 4, 4), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect::null(), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect(0, 0, 0, 4), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect::infinite(), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect(0, 0, inf, 4), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect(std::nan(""), 0, 4, 4), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect(0, 0, 1e7, 1e7), PixelFormat::ARGB8).isValid());
    EXPECT_FALSE(context.createBitmap(image, Rect(0, 0, 4, 4), PixelFormat::RGB8).isValid());
    EXPECT_FALSE(Image::fromBitmap(Bitmap{}).node());

    // Rendering into a bitmap of the wrong size leaves it untouched.
    Bitmap target = Bitmap::make(3, 3, PixelFormat::ARGB8, true);
    std::memset(target.pixels.data(), 7, target.pixels.size());
    EXPECT_FALSE(context.render(image, target, Rect(0, 0, 4, 4)));
    EXPECT_EQ(target.pixels[0], 7);
}

TEST(Render, FractionalRectanglesAreMadeWhole) {
    EXPECT_EQ(Context::renderBounds(Rect(0.5, -0.25, 10, 3)), Rect(0, -1, 11, 4));
    EXPECT_EQ(Context::renderBounds(Rect(0, 0, 900.0000000001, 600)), Rect(0, 0, 900, 600));
    EXPECT_TRUE(Context::renderBounds(Rect(0, 0, 0.00001, 5)).isNull());
}

TEST(Render, DeterministicWhateverTheThreadCount) {
    Image image = Image::fromBitmap(citest::patternBitmap(300, 200))
                      .imageByApplyingTransform(AffineTransform::rotation(0.05).scaled(1.7, 1.7));
    auto chain = Filter::filterWithName("CILanczosScaleTransform");
    chain->setDefaults();
    chain->setValue("inputImage", image);
    chain->setValue("inputScale", 0.61);
    Image scaled = chain->valueForKey("outputImage").image() ? *chain->valueForKey("outputImage").image() : Image();
    ASSERT_FALSE(scaled.isNull());
    for (const Image& subject : {image, scaled}) {
        Bitmap reference;
        {
            tbb::global_control one(tbb::global_control::max_allowed_parallelism, 1);
            reference = citest::render8(subject, subject.extent());
        }
        for (int threads : {2, 3, 8}) {
            tbb::task_arena arena(threads);
            Bitmap other;
            arena.execute([&] { other = citest::render8(subject, subject.extent()); });
            ASSERT_TRUE(other.isValid());
            EXPECT_EQ(other.pixels, reference.pixels) << threads << " threads";
        }
    }
}

TEST(Render, SmallRectangleOfHugeChainReadsOnlyWhatItNeeds) {
    // A 4000 x 3000 picture through three transforms: a 16 x 16 render must read about 16 rows.
    Bitmap big = Bitmap::make(4000, 3000, PixelFormat::RGBA8, true);
    Image image = Image::fromBitmap(std::move(big))
                      .imageByApplyingTransform(AffineTransform::rotation(0.01))
                      .imageByApplyingTransform(AffineTransform::scale(1.02, 1.02));
    auto perspective = Filter::filterWithName("CIPerspectiveTransform");
    const Rect e = image.extent();
    perspective->setValue("inputImage", image);
    perspective->setValue("inputTopLeft", Vec2{e.minX() + 10, e.maxY()});
    perspective->setValue("inputTopRight", Vec2{e.maxX() - 10, e.maxY()});
    perspective->setValue("inputBottomRight", Vec2{e.maxX(), e.minY()});
    perspective->setValue("inputBottomLeft", Vec2{e.minX(), e.minY()});
    Image out = *perspective->valueForKey("outputImage").image();
    Context context;
    Bitmap tile = context.createBitmap(out, Rect(1900, 1400, 16, 16), PixelFormat::ARGB8);
    ASSERT_TRUE(tile.isValid());
    EXPECT_GT(context.lastStatistics().rasterRowsFetched, 10u);
    EXPECT_LE(context.lastStatistics().rasterRowsFetched, 24u);
    EXPECT_LE(context.lastStatistics().rasterPixelsFetched, 24u * 24u);
}
