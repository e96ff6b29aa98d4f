#include <gtest/gtest.h>

#include "imageio/Orientation.h"

using namespace qv;
using namespace qv::io;

namespace {

// A 3 x 2 gray picture whose pixels are the letters a-f:  a b c / d e f
Bitmap letters() {
    Bitmap b = Bitmap::make(3, 2, PixelFormat::Gray8);
    const char* text = "abcdef";
    for (int i = 0; i < 6; ++i) b.pixels[std::size_t(i)] = std::uint8_t(text[i]);
    return b;
}

std::string rowsOf(const Bitmap& b) {
    std::string s;
    for (int y = 0; y < b.height; ++y) {
        if (y) s += '/';
        for (int x = 0; x < b.width; ++x) s += char(b.row(y)[x]);
    }
    return s;
}

}  // namespace

TEST(Orientation, TransformTableForEveryValue) {
    const double W = 40, H = 30;
    EXPECT_EQ(orientationTransform(2, W, H), (AffineTransform{-1, 0, 0, 1, W, 0}));
    EXPECT_EQ(orientationTransform(3, W, H), (AffineTransform{-1, 0, 0, -1, W, H}));
    EXPECT_EQ(orientationTransform(4, W, H), (AffineTransform{1, 0, 0, -1, 0, H}));
    EXPECT_EQ(orientationTransform(5, W, H), (AffineTransform{0, -1, -1, 0, H, W}));
    EXPECT_EQ(orientationTransform(6, W, H), (AffineTransform{0, -1, 1, 0, 0, W}));
    EXPECT_EQ(orientationTransform(7, W, H), (AffineTransform{0, 1, 1, 0, 0, 0}));
    EXPECT_EQ(orientationTransform(8, W, H), (AffineTransform{0, 1, -1, 0, H, 0}));
    for (long other : {0L, 1L, 9L, -3L, 1000L}) EXPECT_TRUE(orientationTransform(other, W, H).isIdentity()) << other;
}

TEST(Orientation, SixTurnsTheCornersAsTheViewExpects) {
    const double W = 6000, H = 4000;
    const AffineTransform t = orientationTransform(6, W, H);
    EXPECT_EQ(t.apply(Point{0, 0}), (Point{0, W}));
    EXPECT_EQ(t.apply(Point{W, H}), (Point{H, 0}));
    const Rect upright = t.apply(Rect(0, 0, W, H));
    EXPECT_EQ(upright, Rect(0, 0, H, W));
}

TEST(Orientation, PixelsTurnUprightForEveryValue) {
    const Bitmap stored = letters();
    EXPECT_EQ(rowsOf(applyOrientation(stored, 1)), "abc/def");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 2)), "cba/fed");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 3)), "fed/cba");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 4)), "def/abc");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 5)), "ad/be/cf");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 6)), "da/eb/fc");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 7)), "fc/eb/da");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 8)), "cf/be/ad");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 9)), "abc/def");
    EXPECT_EQ(rowsOf(applyOrientation(stored, 0)), "abc/def");
}

TEST(Orientation, PixelTurnAgreesWithTheTransform) {
    // The transform is in y-up coordinates; the bitmap rows run top-down. Both must put every
    // stored pixel at the same upright place.
    Bitmap stored = Bitmap::make(5, 3, PixelFormat::RGB16);
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 5; ++x) {
            auto* p = reinterpret_cast<std::uint16_t*>(stored.row(y)) + x * 3;
            p[0] = std::uint16_t(x), p[1] = std::uint16_t(y), p[2] = 0xABCD;
        }
    for (long o = 1; o <= 8; ++o) {
        const Bitmap upright = applyOrientation(stored, o);
        ASSERT_EQ(upright.width, orientationSwapsAxes(o) ? 3 : 5);
        const AffineTransform t = orientationTransform(o, 5, 3);
        for (int y = 0; y < 3; ++y)
            for (int x = 0; x < 5; ++x) {
                const Point centre = t.apply(Point{x + 0.5, 3 - y - 0.5});
                const int ux = int(centre.x - 0.5 + 0.25), uy = int(upright.height - centre.y - 0.5 + 0.25);
                const auto* p = reinterpret_cast<const std::uint16_t*>(upright.row(uy)) + ux * 3;
                EXPECT_EQ(p[0], x) << "orientation " << o;
                EXPECT_EQ(p[1], y) << "orientation " << o;
                EXPECT_EQ(p[2], 0xABCD);
            }
    }
}
