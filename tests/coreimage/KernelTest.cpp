// Kernels from text: parsing, errors, warps that compose with transforms, colour kernels.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <fstream>

#include "common/TempDir.h"
#include "TestImages.h"
#include "coreimage/CIKernel.h"
#include "coreimage/ResourceText.h"

using namespace qv;
using namespace qv::ci;
using citest::pixel;
using citest::RGBA;

namespace {

const char* kShift = R"(
    // Reads the picture `offset` away: the result moves by -offset.
    kernel vec4 shift(sampler src, vec2 offset)
    {
        return sample(src, samplerTransform(src, destCoord() + offset));
    }
)";

const char* kRadial = R"(
    /* The radial polynomial: a destination radius r (in units of R) reads the source at
       (a r^3 + b r^2 + c r + d) r. */
    kernel vec4 radial(sampler src, vec2 center, vec4 params, vec2 radius)
    {
        vec2 d = destCoord() - center;
        float r = length(d) / radius.x;
        float s = ((params.x * r + params.y) * r + params.z) * r + params.w;
        return sample(src, samplerTransform(src, center + d * s));
    }
)";

const char* kGain = R"(
    kernel vec4 gain(sampler src, vec2 center, float amount, float radius)
    {
        vec4 p = unpremultiply(sample(src, samplerCoord(src)));
        float r = distance(destCoord(), center) / radius;
        float g = 1.0 + amount * smoothstep(0.0, 1.0, r * r);
        return premultiply(vec4(p.rgb * g, p.a));
    }
)";

std::shared_ptr<Kernel> one(const char* text) {
    std::string error;
    auto kernels = Kernel::kernelsWithString(text, error);
    EXPECT_EQ(kernels.size(), 1u) << error;
    return kernels.empty() ? nullptr : kernels[0];
}

}  // namespace

TEST(KernelLanguage, ParsesParametersAndRecognisesWarps) {
    auto radial = one(kRadial);
    ASSERT_TRUE(radial);
    EXPECT_EQ(radial->name(), "radial");
    ASSERT_EQ(radial->parameters().size(), 4u);
    EXPECT_EQ(radial->parameters()[0].type, KernelParameterType::Sampler);
    EXPECT_EQ(radial->parameters()[2].type, KernelParameterType::Vec4);
    EXPECT_TRUE(radial->isWarp());
    auto gain = one(kGain);
    ASSERT_TRUE(gain);
    EXPECT_FALSE(gain->isWarp());
    const std::string two = std::string(kShift) + kRadial;
    EXPECT_EQ(Kernel::kernelsWithString(two).size(), 2u);
}

TEST(KernelLanguage, BrokenTextGivesNoKernel) {
    const std::string broken[] = {
        "",
        "kernel vec4 k(sampler s) { return sample(s, destCoord()) }",               // missing ;
        "kernel vec4 k(sampler s) { return sample(s, destCoord()); ",               // missing }
        "kernel vec2 k(sampler s) { return destCoord(); }",                         // wrong result type
        "kernel vec4 k(sampler s) { return destCoord(); }",                         // vec2 returned
        "kernel vec4 k(sampler s) { vec2 p = vec4(1.0); return sample(s, p); }",    // mismatch
        "kernel vec4 k(sampler s) { return sample(s, undefinedName); }",            // unknown name
        "kernel vec4 k(sampler s) { return nosuch(s); }",                           // unknown function
        "kernel vec4 k(sampler s) { return sample(s, destCoord().xq); }",           // bad swizzle
        "kernel vec4 k(float s) { return sample(s, destCoord()); }",                // not a sampler
        "kernel vec4 k(sampler s) { float a = 1.0; return sample(s, destCoord()) @ a; }",
        "kernel vec4 k(sampler s) { /* never closed",
        std::string(kShift) + "kernel",
    };
    for (const std::string& text : broken) {
        std::string error;
        EXPECT_TRUE(Kernel::kernelsWithString(text, error).empty()) << text;
        EXPECT_FALSE(error.empty()) << text;
    }
}

TEST(KernelWarp, IntegerShiftMovesPixelsExactlyAndComposes) {
    Bitmap source = citest::patternBitmap(24, 16);
    Image image = Image::fromBitmap(source);
    auto k = one(kShift);
    Image shifted = k->apply(Rect(-3, 2, 24, 16), {Sampler(image), Vec2{3, -2}});
    ASSERT_FALSE(shifted.isNull());
    EXPECT_EQ(citest::maxDifference(citest::render8(shifted, Rect(-3, 2, 24, 16)), source), 0);
    // Composed with a transform back: the original pixels again.
    Image back = shifted.imageByApplyingTransform(AffineTransform::translation(3, -2));
    EXPECT_EQ(citest::maxDifference(citest::render8(back, Rect(0, 0, 24, 16)), source), 0);
    // Outside the domain of definition nothing is drawn.
    Image clipped = k->apply(Rect(0, 0, 10, 16), {Sampler(image), Vec2{0, 0}});
    Bitmap out = citest::render8(clipped, Rect(0, 0, 24, 16));
    EXPECT_EQ(pixel(out, 12, 5).a, 0);
    EXPECT_EQ(pixel(out, 5, 5), pixel(source, 5, 5));
}

TEST(KernelWarp, RadialPolynomialMatchesTheFormula) {
    // A horizontal ramp: the red value tells where the kernel sampled.
    const int w = 200, h = 120;
    Bitmap ramp = Bitmap::make(w, h, PixelFormat::RGBAf, true);
    for (int y = 0; y < h; ++y)
        for (int x = 0; x < w; ++x) {
            float* p = reinterpret_cast<float*>(ramp.row(y)) + 4 * x;
            p[0] = (x + 0.5f) / 256.f, p[1] = 0, p[2] = 0, p[3] = 1;
        }
    Image image = Image::fromBitmap(ramp);
    const double a = 0.01, b = -0.03, c = 0.02, d = 1 - (a + b + c), R = 60;
    Image warped = one(kRadial)->apply(image.extent(), {Sampler(image), Vec2{100, 60}, Vec4{a, b, c, d}, Vec2{R, 0}});
    Context context;
    Bitmap out = context.createBitmap(warped, image.extent(), PixelFormat::RGBAf);
    ASSERT_TRUE(out.isValid());
    EXPECT_GT(context.lastStatistics().kernelGridPoints, 0u);
    double worst = 0;
    for (int row = 10; row < 110; row += 7)
        for (int x = 10; x < 190; x += 5) {
            const double px = x + 0.5, py = h - row - 0.5;
            const double dx = px - 100, dy = py - 60, r = std::hypot(dx, dy) / R;
            const double s = ((a * r + b) * r + c) * r + d;
            const double expected = 100 + dx * s;
            const double got = reinterpret_cast<const float*>(out.row(row))[4 * x] * 256.0;
            worst = std::max(worst, std::fabs(got - expected));
        }
    EXPECT_LT(worst, 0.02);  // in pixels: the grid interpolation error
}

TEST(KernelWarp, ReadsOnlyTheRowsItNeeds) {
    Image image = Image::fromBitmap(Bitmap::make(3000, 2000, PixelFormat::RGBA8, true));
    Image warped = one(kRadial)->apply(image.extent(), {Sampler(image), Vec2{1500, 1000}, Vec4{0, 0, 0.1, 0.9}, Vec2{1000, 0}});
    Context context;
    ASSERT_TRUE(context.createBitmap(warped, Rect(1490, 990, 20, 20), PixelFormat::ARGB8).isValid());
    EXPECT_LE(context.lastStatistics().rasterRowsFetched, 26u);
    // A region-of-interest function is honoured as well (here 200 pixels around).
    Image wide = one(kRadial)->apply(image.extent(), {Sampler(image), Vec2{1500, 1000}, Vec4{0, 0, 0.1, 0.9}, Vec2{1000, 0}},
                                     [](int, const Rect& r) { return r.insetBy(-200, -200); });
    ASSERT_TRUE(context.createBitmap(wide, Rect(1490, 990, 20, 20), PixelFormat::ARGB8).isValid());
    EXPECT_GE(context.lastStatistics().rasterRowsFetched, 420u);
}

TEST(KernelWarp, PositionsThatAreNotFiniteSomewhereLeaveTheReadsUnbounded) {
    // Finite, the positions stay within a pixel or two of the origin; at x = 16 (a grid column)
    // they are infinite, so the box of the finite ones says nothing: the render reads every row
    // of the region it draws, not the two the finite ones would give.
    const char* pole = R"(
        kernel vec4 pole(sampler src)
        {
            vec2 d = destCoord();
            return sample(src, samplerTransform(src, vec2(10.0 / (d.x - 16.0), 0.0)));
        }
    )";
    Image image = Image::fromBitmap(Bitmap::make(400, 300, PixelFormat::RGBA8, true));
    Image warped = one(pole)->apply(image.extent(), {Sampler(image)});
    Context context;
    ASSERT_TRUE(context.createBitmap(warped, Rect(0, 0, 200, 120), PixelFormat::ARGB8).isValid());
    EXPECT_GE(context.lastStatistics().rasterRowsFetched, 120u);
}

TEST(KernelColour, RadialGainBrightensAwayFromTheCentre) {
    Image grey = Image::fromBitmap(citest::constantBitmap(101, 101, 100, 100, 100));
    Image out = one(kGain)->apply(grey.extent(), {Sampler(grey), Vec2{50.5, 50.5}, 0.5, 50.0});
    Bitmap bm = citest::render8(out, grey.extent());
    EXPECT_EQ(pixel(bm, 50, 50), (RGBA{100, 100, 100, 255}));
    // At distance 50 (r = 1): gain 1.5.
    EXPECT_NEAR(pixel(bm, 0, 50).r, 150, 1);
    EXPECT_EQ(pixel(bm, 0, 50).a, 255);
    EXPECT_LT(pixel(bm, 25, 50).r, 150);
    EXPECT_GT(pixel(bm, 25, 50).r, 100);
}

TEST(KernelApply, WrongArgumentsOrNullSamplerGiveNull) {
    auto k = one(kShift);
    Image image = Image::fromBitmap(citest::patternBitmap(4, 4));
    EXPECT_TRUE(k->apply(image.extent(), {Sampler(image)}).isNull());
    EXPECT_TRUE(k->apply(image.extent(), {Vec2{1, 1}, Sampler(image)}).isNull());
    EXPECT_TRUE(k->apply(image.extent(), {Sampler(Image()), Vec2{1, 1}}).isNull());
    EXPECT_TRUE(k->apply(Rect::null(), {Sampler(image), Vec2{1, 1}}).isNull());
    EXPECT_FALSE(k->apply(image.extent(), {Sampler(image), Vec4{1, 1, 0, 0}}).isNull());
}

TEST(ResourceText, KernelSourceIsReadFromTheResourceFolder) {
    qvtest::TempDir dir;
    std::ofstream(dir.file("Shift.cikernel")) << kShift;
    setenv("QV_RESOURCE_DIR", dir.path().c_str(), 1);
    auto text = readResourceText("Shift", "cikernel");
    ASSERT_TRUE(text);
    EXPECT_EQ(Kernel::kernelsWithString(*text).size(), 1u);
    EXPECT_FALSE(readResourceText("Missing", "cikernel"));
    EXPECT_FALSE(readResourceText("../Shift", "cikernel"));
    unsetenv("QV_RESOURCE_DIR");
}
