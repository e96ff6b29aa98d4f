// The magnifier's lens filter: what the glass shows, the ring around it, the rest unchanged, and
// its image unit.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "EngineImages.h"
#include "coreimage/CIImageUnit.h"
#include "engine/LensFilter.h"

using enginetest::Rendered;
using enginetest::Rgba;
using qv::ci::Image;

namespace {

constexpr int kSize = 400;

// Red grows with x and green with y, linearly, so a bilinear read anywhere has a known value.
Image ramp() {
    return enginetest::drawImage(kSize, kSize, [](int x, int y) {
        return Rgba{float(x) / kSize, float(y) / kSize, 0.9f, 1};
    });
}

// The ramp's red and green at a point (pixel centres lie at .5).
float rampAt(double coordinate) {
    return float((coordinate - 0.5) / kSize);
}

std::shared_ptr<qv::ci::Filter> lens(const Image& input, qv::Vec2 centre, double magnification) {
    auto filter = std::make_shared<LensFilter>();
    filter->setValue("inputImage", input);
    filter->setValue("inputCenter", centre);
    filter->setValue("inputMagnification", magnification);
    filter->setValue("inputWidth", 100.0);
    filter->setValue("inputRingWidth", 10.0);
    filter->setValue("inputRoundness", 0.0);
    filter->setValue("inputShineOpacity", 0.0);
    return filter;
}

Image output(qv::ci::Filter& filter) {
    const qv::ci::FilterValue v = filter.valueForKey("outputImage");
    return v.image() ? *v.image() : Image();
}

}  // namespace

TEST(LensFilter, TheGlassShowsTheInputMagnifiedAboutTheCentre) {
    auto filter = lens(ramp(), {200, 200}, 4);
    const Rendered r(output(*filter), qv::Rect(0, 0, kSize, kSize));
    ASSERT_TRUE(r.isValid());
    // Pixels well inside the glass (radius 50) read the input at centre + offset / 4.
    for (auto [x, y] : {std::pair{200, 200}, {230, 210}, {175, 232}, {214, 170}}) {
        const double sx = 200 + (x + 0.5 - 200) / 4, sy = 200 + (y + 0.5 - 200) / 4;
        EXPECT_NEAR(r.channel(x, y, 0), rampAt(sx), 1e-4) << x << "," << y;
        EXPECT_NEAR(r.channel(x, y, 1), rampAt(sy), 1e-4) << x << "," << y;
        EXPECT_NEAR(r.channel(x, y, 3), 1, 1e-6);
    }
    // Outside the ring (radius 60) the input is unchanged.
    for (auto [x, y] : {std::pair{10, 10}, {262, 200}, {200, 139}, {390, 390}}) {
        EXPECT_NEAR(r.channel(x, y, 0), rampAt(x + 0.5), 1e-5) << x << "," << y;
        EXPECT_NEAR(r.channel(x, y, 1), rampAt(y + 0.5), 1e-5) << x << "," << y;
    }
}

TEST(LensFilter, ARingOfOpaqueGreyFramesTheGlass) {
    auto filter = lens(ramp(), {200, 200}, 2);
    const Rendered r(output(*filter), qv::Rect(0, 0, kSize, kSize));
    // Radius 55, in the middle of the ring, in four directions: grey, opaque, not the input.
    for (auto [x, y] : {std::pair{255, 200}, {144, 200}, {200, 255}, {200, 144}}) {
        const Rgba c = r.at(x, y);
        EXPECT_NEAR(c[0], c[1], 1e-6) << x << "," << y;
        EXPECT_NEAR(c[1], c[2], 1e-6) << x << "," << y;
        EXPECT_NEAR(c[3], 1, 1e-6);
        EXPECT_LT(c[2], 0.8f) << "the ring is not the input's blue";
    }
    // The ring is lit from the top left: brighter there than at the bottom right.
    EXPECT_GT(r.channel(161, 239, 0), r.channel(238, 160, 0));
}

TEST(LensFilter, ARenderedPartOfTheLensMatchesTheWholeRender) {
    // Each render reads only the region it needs: a tile inside the glass must still fetch the
    // magnified source, which lies elsewhere.
    auto filter = lens(ramp(), {300, 120}, 5);
    const Image out = output(*filter);
    const Rendered whole(out, qv::Rect(0, 0, kSize, kSize));
    const Rendered tile(out, qv::Rect(320, 130, 16, 16));
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            for (int c = 0; c < 4; ++c) ASSERT_FLOAT_EQ(tile.channel(x, y, c), whole.channel(320 + x, 130 + y, c));
}

TEST(LensFilter, ALensOverTheEdgeReachesBeyondTheInput) {
    auto filter = lens(ramp(), {5, 5}, 2);
    const qv::Rect extent = output(*filter).extent();
    EXPECT_LE(extent.minX(), 5 - 60);
    EXPECT_LE(extent.minY(), 5 - 60);
    EXPECT_GE(extent.maxX(), kSize);
    // The ring is drawn where there is no input.
    const Rendered r(output(*filter), qv::Rect(-60, -60, 10, 10));
    EXPECT_NEAR(r.channel(5, 5 + 60 - 60, 3), 0, 1e-6) << "beyond the ring: nothing";
    const Rendered ring(output(*filter), qv::Rect(5 - 56, 5, 1, 1));
    EXPECT_NEAR(ring.channel(0, 0, 3), 1, 1e-6);
}

TEST(LensFilter, ShadingAndShineChangeOnlyTheGlass) {
    auto plain = lens(ramp(), {200, 200}, 3);
    auto dressed = lens(ramp(), {200, 200}, 3);
    dressed->setValue("inputRoundness", 2.0);
    dressed->setValue("inputShineOpacity", 1.0);
    const Rendered a(output(*plain), qv::Rect(0, 0, kSize, kSize));
    const Rendered b(output(*dressed), qv::Rect(0, 0, kSize, kSize));
    // The highlight sits towards the top left of the glass and brightens it.
    EXPECT_GT(b.channel(186, 214, 0), a.channel(186, 214, 0) + 0.1f);
    // The rim of the glass is shaded, the bottom right away from the highlight darker.
    EXPECT_LT(b.channel(232, 168, 0), a.channel(232, 168, 0));
    // Outside the lens nothing changes.
    EXPECT_FLOAT_EQ(b.channel(20, 20, 0), a.channel(20, 20, 0));
}

TEST(LensFilter, UnusableInputsStillGiveASoundImage) {
    EXPECT_TRUE(output(*lens(Image(), {0, 0}, 2)).isNull());
    // A magnification of 0 or less shows the input at its own size inside the glass.
    for (double m : {0.0, -3.0, double(NAN)}) {
        auto filter = lens(ramp(), {200, 200}, m);
        const Rendered r(output(*filter), qv::Rect(0, 0, kSize, kSize));
        EXPECT_NEAR(r.channel(220, 200, 0), rampAt(220.5), 1e-5) << m;
    }
    // No glass and no ring: the input itself.
    const Image input = ramp();
    auto none = lens(input, {200, 200}, 2);
    none->setValue("inputWidth", 0.0);
    none->setValue("inputRingWidth", 0.0);
    EXPECT_EQ(output(*none), input);
}

TEST(LensFilter, ItsSizeIsReadableAndItComesFromItsImageUnit) {
    LensFilter::installImageUnit();
    const auto units = qv::ci::installedImageUnits();
    EXPECT_NE(std::find(units.begin(), units.end(), "LensFilter"), units.end());
    // The application loads the unit by the path of its bundle, as it would a plug-in.
    ASSERT_TRUE(qv::ci::loadPlugIn("/Applications/QuorvelCI.app/Contents/PlugIns/LensFilter.plugin"));
    std::shared_ptr<qv::ci::Filter> filter = qv::ci::Filter::filterWithName("LensFilter");
    ASSERT_TRUE(filter);
    const qv::ci::FilterValue width = filter->valueForKey("inputWidth");
    const qv::ci::FilterValue ring = filter->valueForKey("inputRingWidth");
    ASSERT_TRUE(width.number() && ring.number());
    EXPECT_EQ(*width.number(), LensFilter::kDefaultWidth);
    EXPECT_EQ(*ring.number(), LensFilter::kDefaultRingWidth);
    EXPECT_EQ(filter->attributes().get("CIAttributeFilterDisplayName").stringOr(""), "Lens");
}
