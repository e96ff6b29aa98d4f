#include <gtest/gtest.h>

#include <cmath>

#include "foundation/Geometry.h"

using namespace qv;

TEST(Rect, UnionAndIntersectionTreatTheNullRectangleAsNothing) {
    Rect a(0, 0, 10, 10), b(5, -5, 10, 10);
    EXPECT_EQ(a.unionWith(b), Rect(0, -5, 15, 15));
    EXPECT_EQ(a.intersection(b), Rect(5, 0, 5, 5));
    EXPECT_TRUE(a.intersection(Rect(20, 20, 1, 1)).isNull());
    EXPECT_EQ(Rect::null().unionWith(a), a);
    EXPECT_EQ(Rect::infinite().intersection(b), b);
}

TEST(Rect, IntegralGrowsToWholePixelsAndInsetCanVanish) {
    EXPECT_EQ(Rect(-0.5, 1.25, 2, 2).integral(), Rect(-1, 1, 3, 3));
    EXPECT_EQ(Rect(0, 0, 10, 4).insetBy(1, 1), Rect(1, 1, 8, 2));
    EXPECT_TRUE(Rect(0, 0, 10, 4).insetBy(1, 3).isNull());
}

TEST(AffineTransform, ConcatAppliesLeftThenRight) {
    auto t = AffineTransform::translation(10, 0).concat(AffineTransform::scale(2, 2));
    Point p = t.apply(Point{1, 1});
    EXPECT_DOUBLE_EQ(p.x, 22);
    EXPECT_DOUBLE_EQ(p.y, 2);
    Point back = t.inverted().apply(p);
    EXPECT_NEAR(back.x, 1, 1e-12);
    EXPECT_NEAR(back.y, 1, 1e-12);
}

TEST(AffineTransform, RotatedRectangleBoundsAreTheRotatedCorners) {
    Rect r = AffineTransform::rotation(M_PI / 2).apply(Rect(0, 0, 4, 2));
    EXPECT_NEAR(r.minX(), -2, 1e-12);
    EXPECT_NEAR(r.maxX(), 0, 1e-12);
    EXPECT_NEAR(r.minY(), 0, 1e-12);
    EXPECT_NEAR(r.maxY(), 4, 1e-12);
}

#include "foundation/Bitmap.h"

TEST(Bitmap, MakeRefusesSizesThatCannotBeAPhoto) {
    EXPECT_FALSE(Bitmap::make(0, 10, PixelFormat::RGB8).isValid());
    EXPECT_FALSE(Bitmap::make(-5, 10, PixelFormat::RGB8).isValid());
    EXPECT_FALSE(Bitmap::make(1 << 20, 1 << 20, PixelFormat::RGBAf).isValid());
    Bitmap b = Bitmap::make(3, 2, PixelFormat::RGBA16);
    ASSERT_TRUE(b.isValid());
    EXPECT_EQ(b.bytesPerRow, 24u);
    EXPECT_EQ(b.row(1) - b.row(0), 24);
}
