// Geometric and point operations, checked pixel by pixel on small pictures.
#include <gtest/gtest.h>

#include <cmath>

#include "TestImages.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"

using namespace qv;
using namespace qv::ci;
using citest::pixel;
using citest::RGBA;

namespace {

Image output(const std::shared_ptr<Filter>& f) {
    const FilterValue v = f->valueForKey("outputImage");
    return v.image() ? *v.image() : Image();
}

Image viaAffineFilter(const Image& in, const AffineTransform& t) {
    auto f = Filter::filterWithName("CIAffineTransform");
    f->setDefaults();
    f->setValue("inputImage", in);
    f->setValue("inputTransform", t);
    return output(f);
}

Image channel(const Image& in, bool r, bool g, bool b) {
    auto f = Filter::filterWithName("CIColorMatrix");
    f->setDefaults();
    f->setValue("inputImage", in);
    f->setValue("inputRVector", Vec4{r ? 1.0 : 0.0, 0, 0, 0});
    f->setValue("inputGVector", Vec4{0, g ? 1.0 : 0.0, 0, 0});
    f->setValue("inputBVector", Vec4{0, 0, b ? 1.0 : 0.0, 0});
    f->setValue("inputAVector", Vec4{0, 0, 0, 1});
    f->setValue("inputBiasVector", Vec4{0, 0, 0, 0});
    return output(f);
}

Image maximum(const Image& a, const Image& b) {
    auto f = Filter::filterWithName("CIMaximumCompositing");
    f->setDefaults();
    f->setValue("inputImage", a);
    f->setValue("inputBackgroundImage", b);
    return output(f);
}

Image perspective(const Image& in, Point tl, Point tr, Point br, Point bl) {
    auto f = Filter::filterWithName("CIPerspectiveTransform");
    f->setDefaults();
    f->setValue("inputImage", in);
    f->setValue("inputTopLeft", Vec2{tl.x, tl.y});
    f->setValue("inputTopRight", Vec2{tr.x, tr.y});
    f->setValue("inputBottomRight", Vec2{br.x, br.y});
    f->setValue("inputBottomLeft", Vec2{bl.x, bl.y});
    return output(f);
}

Image lanczos(const Image& in, double scale, double aspect = 1) {
    auto f = Filter::filterWithName("CILanczosScaleTransform");
    f->setDefaults();
    f->setValue("inputImage", in);
    f->setValue("inputScale", scale);
    f->setValue("inputAspectRatio", aspect);
    return output(f);
}

}  // namespace

TEST(Affine, IdentityReturnsTheInputPixels) {
    Bitmap source = citest::patternBitmap(23, 17);
    Image image = Image::fromBitmap(source);
    // A rotation there and back is not the identity object but must give the same pixels.
    Image turned = viaAffineFilter(viaAffineFilter(image, AffineTransform::rotation(0.7)), AffineTransform::rotation(-0.7));
    for (const Image& i : {viaAffineFilter(image, AffineTransform{}), turned}) {
        Bitmap out = citest::render8(i, Rect(0, 0, 23, 17));
        ASSERT_TRUE(out.isValid());
        EXPECT_LE(citest::maxDifference(out, source), 0);
    }
}

TEST(Affine, IntegerTranslationMovesPixelsExactly) {
    Bitmap source = citest::patternBitmap(20, 10);
    Image moved = viaAffineFilter(Image::fromBitmap(source), AffineTransform::translation(5, -3));
    EXPECT_EQ(moved.extent(), Rect(5, -3, 20, 10));
    Bitmap out = citest::render8(moved, moved.extent());
    EXPECT_EQ(citest::maxDifference(out, source), 0);
    // Also through a scale that cancels, so that the general path is taken.
    Image general = viaAffineFilter(viaAffineFilter(Image::fromBitmap(source), AffineTransform::scale(2, 2)),
                                    AffineTransform::scale(0.5, 0.5).translated(0, 0).concat(AffineTransform::translation(5, -3)));
    EXPECT_EQ(citest::maxDifference(citest::render8(general, Rect(5, -3, 20, 10)), source), 0);
}

TEST(Affine, QuarterTurnMapsCornersAsExpected) {
    // Counter-clockwise by 90 degrees about the origin: (x, y) -> (-y, x).
    Bitmap source = citest::patternBitmap(6, 4);
    Image turned = viaAffineFilter(Image::fromBitmap(source), AffineTransform::rotation(M_PI / 2));
    const Rect e = turned.extent();
    EXPECT_NEAR(e.minX(), -4, 1e-9);
    EXPECT_NEAR(e.minY(), 0, 1e-9);
    EXPECT_NEAR(e.width(), 4, 1e-9);
    EXPECT_NEAR(e.height(), 6, 1e-9);
    Bitmap out = citest::render8(turned, e);
    ASSERT_EQ(out.width, 4);
    ASSERT_EQ(out.height, 6);
    // Source top-left (its working-space top-left) turns to the bottom-left... and so on.
    EXPECT_EQ(pixel(out, 0, 5), pixel(source, 0, 0));  // source top-left -> out bottom-left
    EXPECT_EQ(pixel(out, 3, 5), pixel(source, 0, 3));  // source bottom-left -> out bottom-right
    EXPECT_EQ(pixel(out, 0, 0), pixel(source, 5, 0));  // source top-right -> out top-left
    EXPECT_EQ(pixel(out, 3, 0), pixel(source, 5, 3));  // source bottom-right -> out top-right
}

TEST(Affine, NonInvertibleTransformAndNullInputGiveNull) {
    Image image = Image::fromBitmap(citest::patternBitmap(4, 4));
    EXPECT_TRUE(viaAffineFilter(image, AffineTransform::scale(0, 1)).isNull());
    EXPECT_TRUE(viaAffineFilter(Image(), AffineTransform::scale(2, 1)).isNull());
}

TEST(PointOps, MaximumOfChannelImagesRestoresTheImage) {
    Bitmap source = citest::patternBitmap(16, 9);
    Image image = Image::fromBitmap(source);
    Image red = channel(image, true, false, false), green = channel(image, false, true, false),
          blue = channel(image, false, false, true);
    Bitmap justGreen = citest::render8(green, image.extent());
    EXPECT_EQ(pixel(justGreen, 3, 2), (RGBA{0, pixel(source, 3, 2).g, 0, 255}));
    Image restored = maximum(blue, maximum(green, red));
    EXPECT_EQ(citest::maxDifference(citest::render8(restored, image.extent()), source), 0);
    // A missing operand gives the other one.
    EXPECT_EQ(maximum(Image(), red), red);
    EXPECT_EQ(maximum(red, Image()), red);
    EXPECT_TRUE(maximum(Image(), Image()).isNull());
}

TEST(PointOps, ChromaticAberrationPatternScalesChannelsAboutTheCentre) {
    // Red scaled up about the centre, blue down: the centre pixel keeps all three channels.
    Bitmap source = citest::constantBitmap(41, 41, 200, 150, 100);
    Image image = Image::fromBitmap(source);
    auto scaled = [&](const Image& c, double f) {
        return viaAffineFilter(c, AffineTransform{f, 0, 0, f, (41 - 41 * f) / 2, (41 - 41 * f) / 2});
    };
    Image r = scaled(channel(image, true, false, false), 1.1);
    Image b = scaled(channel(image, false, false, true), 0.9);
    Image out = maximum(b, maximum(channel(image, false, true, false), r));
    Bitmap bm = citest::render8(out, image.extent());
    EXPECT_EQ(pixel(bm, 20, 20), (RGBA{200, 150, 100, 255}));
    // Near the border the shrunk blue channel has gone.
    EXPECT_EQ(pixel(bm, 0, 20).b, 0);
    EXPECT_EQ(pixel(bm, 0, 20).r, 200);
}

TEST(PointOps, SourceAtopExposureCropAndGradient) {
    Image grey = Image::fromBitmap(citest::constantBitmap(8, 8, 100, 100, 100));
    auto exposure = Filter::filterWithName("CIExposureAdjust");
    exposure->setValue("inputImage", grey);
    exposure->setValue("inputEV", 1.0);
    EXPECT_EQ(pixel(citest::render8(output(exposure), Rect(0, 0, 1, 1)), 0, 0), (RGBA{200, 200, 200, 255}));

    auto crop = Filter::filterWithName("CICrop");
    crop->setValue("inputImage", grey);
    crop->setValue("inputRectangle", Vec4{2, 2, 3, 3});
    Image cropped = output(crop);
    EXPECT_EQ(cropped.extent(), Rect(2, 2, 3, 3));
    Bitmap c = citest::render8(cropped, Rect(0, 0, 8, 8));
    EXPECT_EQ(pixel(c, 1, 6).a, 0);
    EXPECT_EQ(pixel(c, 2, 5).a, 255);

    auto gradient = Filter::filterWithName("CIRadialGradient");
    gradient->setDefaults();
    gradient->setValue("inputCenter", Vec2{0, 0});
    gradient->setValue("inputRadius0", 0.0);
    gradient->setValue("inputRadius1", 10.0);
    Image g = output(gradient);
    EXPECT_TRUE(g.extent().isInfinite());
    auto atop = Filter::filterWithName("CISourceAtopCompositing");
    atop->setValue("inputImage", g);
    atop->setValue("inputBackgroundImage", grey);
    Image composed = output(atop);
    EXPECT_EQ(composed.extent(), grey.extent());
    Bitmap a = citest::render8(composed, Rect(0, 0, 8, 8));
    EXPECT_NEAR(pixel(a, 0, 7).r, 237, 1);  // 0.71 from the centre: t = 0.071 of the way to black
    EXPECT_LE(pixel(a, 7, 0).r, 60);   // far: darker
    EXPECT_EQ(pixel(a, 7, 0).a, 255);
}

TEST(Perspective, OwnCornersGiveTheIdentity) {
    Bitmap source = citest::patternBitmap(31, 19);
    Image image = Image::fromBitmap(source);
    Image same = perspective(image, {0, 19}, {31, 19}, {31, 0}, {0, 0});
    ASSERT_FALSE(same.isNull());
    EXPECT_EQ(same.extent(), image.extent());
    EXPECT_LE(citest::maxDifference(citest::render8(same, image.extent()), source), 1);
}

TEST(Perspective, KeystoneNarrowsTheTopAndDegenerateQuadsGiveNull) {
    Image image = Image::fromBitmap(citest::constantBitmap(100, 100, 255, 255, 255));
    Image keystone = perspective(image, {25, 100}, {75, 100}, {100, 0}, {0, 0});
    ASSERT_FALSE(keystone.isNull());
    EXPECT_EQ(keystone.extent(), Rect(0, 0, 100, 100));
    Bitmap out = citest::render8(keystone, keystone.extent());
    EXPECT_EQ(pixel(out, 50, 1).a, 255);  // top middle is inside
    EXPECT_EQ(pixel(out, 5, 1).a, 0);     // top corners are outside
    EXPECT_EQ(pixel(out, 2, 98).a, 255);  // bottom corners inside
    // Corners on one line, a bow tie, a point.
    EXPECT_TRUE(perspective(image, {0, 0}, {1, 1}, {2, 2}, {3, 3}).isNull());
    EXPECT_TRUE(perspective(image, {0, 100}, {100, 0}, {100, 100}, {0, 0}).isNull());
    EXPECT_TRUE(perspective(image, {5, 5}, {5, 5}, {5, 5}, {5, 5}).isNull());
    EXPECT_TRUE(perspective(Image(), {25, 100}, {75, 100}, {100, 0}, {0, 0}).isNull());
}

TEST(Lanczos, OutputSizeIsTheScaledExtentRounded) {
    Image photo = Image::fromBitmap(Bitmap::make(600, 400, PixelFormat::RGB8));
    Image big = photo.imageByApplyingTransform(AffineTransform::scale(10, 10));  // a 6000 x 4000 extent
    EXPECT_EQ(lanczos(big, 900.0 / 6000).extent(), Rect(0, 0, 900, 600));
    EXPECT_EQ(lanczos(Image::fromBitmap(Bitmap::make(300, 200, PixelFormat::RGB8)), 3).extent(), Rect(0, 0, 900, 600));
    EXPECT_EQ(lanczos(photo, 1, 1.25).extent(), Rect(0, 0, 750, 400));
    EXPECT_TRUE(lanczos(Image(), 0.5).isNull());
    EXPECT_TRUE(lanczos(photo, 0).isNull());
}

TEST(Lanczos, ConstantStaysConstantUpAndDown) {
    Image grey = Image::fromBitmap(citest::constantBitmap(64, 48, 120, 60, 30));
    for (double scale : {0.15, 0.5, 1.7, 3.0}) {
        Image scaled = lanczos(grey, scale, 1.1);
        Bitmap out = citest::render8(scaled, scaled.extent());
        ASSERT_TRUE(out.isValid());
        for (int y = 0; y < out.height; ++y)
            for (int x = 0; x < out.width; ++x) ASSERT_EQ(pixel(out, x, y), (RGBA{120, 60, 30, 255})) << scale;
    }
}

TEST(Lanczos, DownscaleAveragesDetail) {
    // A one-pixel checkerboard halves to mid grey.
    Bitmap checker = Bitmap::make(64, 64, PixelFormat::RGB8);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            for (int c = 0; c < 3; ++c) checker.row(y)[3 * x + c] = ((x + y) & 1) ? 255 : 0;
    Image half = lanczos(Image::fromBitmap(checker), 0.5);
    Bitmap out = citest::render8(half, half.extent());
    for (int y = 4; y < 28; ++y)
        for (int x = 4; x < 28; ++x) EXPECT_NEAR(pixel(out, x, y).r, 128, 2);
}

TEST(Lanczos, ScaledProxyIsComputedOnceAndReused) {
    Image proxy = lanczos(Image::fromBitmap(citest::patternBitmap(400, 300)), 0.25);
    Context context;
    Bitmap first = context.createBitmap(proxy, proxy.extent(), PixelFormat::ARGB8);
    EXPECT_EQ(context.lastStatistics().rasterRowsFetched, 300u);
    Bitmap second = context.createBitmap(proxy, proxy.extent(), PixelFormat::ARGB8);
    EXPECT_EQ(context.lastStatistics().rasterRowsFetched, 0u);
    EXPECT_EQ(first.pixels, second.pixels);
}
