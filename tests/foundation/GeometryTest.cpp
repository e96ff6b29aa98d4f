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

TEST(Rect, DivideSplitsAStripOffAnEdge) {
    Rect frame(10, 20, 100, 40);
    auto [left, rest] = frame.divide(19, RectEdge::MinX);
    EXPECT_EQ(left, Rect(10, 20, 19, 40));
    EXPECT_EQ(rest, Rect(29, 20, 81, 40));
    auto [top, below] = frame.divide(15, RectEdge::MaxY);
    EXPECT_EQ(top, Rect(10, 45, 100, 15));
    EXPECT_EQ(below, Rect(10, 20, 100, 25));
    auto [all, nothing] = frame.divide(500, RectEdge::MaxX);
    EXPECT_EQ(all, frame);
    EXPECT_EQ(nothing.width(), 0);
    EXPECT_EQ(Rect(0, 0, 0, 5).divide(1, RectEdge::MinX).first, Rect());
}

TEST(AffineTransform, SizesIgnoreTheTranslation) {
    auto t = AffineTransform::translation(5, 5).concat(AffineTransform::scale(2, 3));
    Size s = t.apply(Size{4, 1});
    EXPECT_DOUBLE_EQ(s.width, 8);
    EXPECT_DOUBLE_EQ(s.height, 3);
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
