#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

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

TEST(Bitmap, APhotoSizedBufferIsTakenAgainForTheSameSize) {
    const void* first = nullptr;
    {
        Bitmap b = Bitmap::makeUninitialized(3000, 2000, PixelFormat::RGBA8, true);
        ASSERT_TRUE(b.isValid());
        first = b.pixels.data();
    }
    Bitmap again = Bitmap::makeUninitialized(3000, 2000, PixelFormat::RGBA8, true);
    ASSERT_TRUE(again.isValid());
    EXPECT_EQ(again.pixels.data(), first);
}

TEST(Bitmap, ManyBuffersOfManySizesComeAndGo) {
    // More releases than are kept, of mixed sizes, with every buffer written whole: the kept list
    // never hands one buffer to two owners.
    std::vector<Bitmap> live;
    for (int round = 0; round < 3; ++round) {
        for (int k = 0; k < 4; ++k) {
            live.push_back(Bitmap::makeUninitialized(2100 + 100 * (k % 2), 2000, PixelFormat::RGBA8, true));
            ASSERT_TRUE(live.back().isValid());
            std::memset(live.back().pixels.data(), k + 1, live.back().pixels.size());
        }
        for (std::size_t i = 0; i < live.size(); ++i) {
            for (std::size_t j = i + 1; j < live.size(); ++j) EXPECT_NE(live[i].pixels.data(), live[j].pixels.data());
        }
        live.erase(live.begin(), live.begin() + 3);
    }
}

TEST(Bitmap, MakeZeroesEvenBuffersReusingFreedPixelMemory) {
    // Photo-sized buffers come from a different allocation path and are kept for reuse; dirty one
    // and free it first, so a make() that forgot to zero would show the old bytes.
    const int w = 3000, h = 2000;
    {
        Bitmap dirty = Bitmap::makeUninitialized(w, h, PixelFormat::RGBA8);
        ASSERT_TRUE(dirty.isValid());
        std::fill(dirty.pixels.begin(), dirty.pixels.end(), std::uint8_t(0xab));
    }
    Bitmap clean = Bitmap::make(w, h, PixelFormat::RGBA8);
    ASSERT_TRUE(clean.isValid());
    EXPECT_EQ(std::count(clean.pixels.begin(), clean.pixels.end(), std::uint8_t(0)), std::ptrdiff_t(clean.pixels.size()));
    Bitmap small = Bitmap::make(7, 5, PixelFormat::RGB16);
    EXPECT_EQ(std::count(small.pixels.begin(), small.pixels.end(), std::uint8_t(0)), std::ptrdiff_t(small.pixels.size()));
    // Copies stay independent buffers of the same bytes.
    Bitmap copy = small;
    copy.pixels[0] = 1;
    EXPECT_EQ(small.pixels[0], 0);
    EXPECT_EQ(copy.pixels.size(), small.pixels.size());
}
