#include "unwrap/Warp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace unwrap;

namespace {

// An affine mapping: the grid interpolation reproduces it up to rounding.
struct Affine {
    Point2 operator()(const Point2& p) const { return Point2(2.0f * p.x + 0.5f * p.y + 3.0f, -p.x + 3.0f * p.y - 7.0f); }
};

// Something with curvature, so that interpolated and exact values differ.
struct Curved {
    Point2 operator()(const Point2& p) const { return Point2(p.x * p.x, p.y * p.y + p.x); }
};

}  // namespace

TEST(Warp, RoundUpDivide) {
    EXPECT_EQ(roundUpDivide(16, 8), 2);
    EXPECT_EQ(roundUpDivide(17, 8), 3);
    EXPECT_EQ(roundUpDivide(1, 8), 1);
    EXPECT_EQ(roundUpDivide(0, 8), 0);
}

TEST(Warp, GridCoversTheBandAndOneStepBeyond) {
    const WarpLUT<Curved> band(Curved(), 8, 20, 0, 10);
    EXPECT_EQ(band.firstGridRow(), 0);
    ASSERT_EQ(band.grid().size(), 3u);       // y = 0, 8, 16
    ASSERT_EQ(band.grid()[0].size(), 4u);    // x = 0, 8, 16, 24
    EXPECT_EQ(band.grid()[2][3].x, 24.0f * 24.0f);
    EXPECT_EQ(band.grid()[2][3].y, 16.0f * 16.0f + 24.0f);
    EXPECT_EQ(WarpLUT<Curved>(Curved(), 8, 16, 0, 10).grid()[0].size(), 3u);

    const WarpLUT<Curved> later(Curved(), 8, 16, 13, 30);
    EXPECT_EQ(later.firstGridRow(), 1);
    EXPECT_EQ(later.grid().size(), 4u);  // y = 8 .. 32
}

TEST(Warp, RowsOnTheGridAreCopiedAndRowsBetweenAreInterpolated) {
    const WarpLUT<Curved> warp(Curved(), 8, 16, 0, 10);
    std::vector<Point2> row(16);
    warp.fillCoordinateVector(row, 8);
    EXPECT_EQ(row[0].y, warp.grid()[1][0].y);
    EXPECT_EQ(row[8].x, warp.grid()[1][1].x);
    warp.fillCoordinateVector(row, 4);
    EXPECT_FLOAT_EQ(row[0].y, 0.5f * (warp.grid()[0][0].y + warp.grid()[1][0].y));
    EXPECT_FLOAT_EQ(row[8].y, 0.5f * (warp.grid()[0][1].y + warp.grid()[1][1].y));
    // Across a cell the values step linearly from one grid column to the next.
    EXPECT_FLOAT_EQ(row[4].x, 0.5f * (row[0].x + row[8].x));
}

TEST(Warp, EveryPointOfARowIsWrittenForAnyWidth) {
    for (int width : {1, 7, 8, 16, 20, 33}) {
        const WarpLUT<Affine> warp(Affine(), 8, width, 0, 24);
        for (int rowIndex : {0, 5, 8, 23}) {
            std::vector<Point2> row(std::size_t(width), Point2(NAN, NAN));
            warp.fillCoordinateVector(row, rowIndex);
            for (int x = 0; x < width; ++x) {
                const Point2 exact = Affine()(Point2(float(x), float(rowIndex)));
                EXPECT_NEAR(row[std::size_t(x)].x, exact.x, 1e-3f) << width << " " << x;
                EXPECT_NEAR(row[std::size_t(x)].y, exact.y, 1e-3f) << width << " " << x;
            }
        }
    }
}

TEST(Warp, ARowComesOutTheSameWhicheverBandHoldsIt) {
    const WarpLUT<Curved> whole(Curved(), 8, 40, 0, 48);
    const WarpLUT<Curved> part(Curved(), 8, 40, 16, 24);
    std::vector<Point2> a(40), b(40);
    for (int row = 16; row < 24; ++row) {
        whole.fillCoordinateVector(a, row);
        part.fillCoordinateVector(b, row);
        for (std::size_t x = 0; x < a.size(); ++x) {
            EXPECT_EQ(a[x].x, b[x].x);
            EXPECT_EQ(a[x].y, b[x].y);
        }
    }
}

TEST(Warp, GriddedUnwrapStaysWithinTwoHundredthsOfAPixelOfTheExactMapping) {
    const int width = 800, height = 600;
    const Point2 source(600.0f, 400.0f), output(400.0f, 300.0f);
    const auto warp = createPerspectiveToFishEyeWarpFn(1200, 800, source, 180.0f, width, 0, height, output, 90.0f);
    const TemplateWarpFn<PerspectiveToFishEyeFn> exact(
        makePerspectiveToFishEyeFn(1200, source, 180.0f, width, output, 90.0f));
    std::vector<Point2> gridded(width), reference(width);
    float worst = 0.0f;
    for (int row = 0; row < height; row += 7) {
        warp->fillCoordinateVector(gridded, row);
        exact.fillCoordinateVector(reference, row);
        for (int x = 0; x < width; ++x)
            worst = std::max({worst, std::abs(gridded[x].x - reference[x].x), std::abs(gridded[x].y - reference[x].y)});
    }
    EXPECT_LT(worst, 0.02f);
}

TEST(Warp, DerivativesOfAnAffineMapping) {
    const TemplateWarpFn<Affine> warp{Affine()};
    Point2 d1, d2;
    warp.computeDerivatives(Point2(10.0f, 20.0f), d1, d2);
    EXPECT_NEAR(d1.x, 2.0f, 1e-3f);
    EXPECT_NEAR(d1.y, -1.0f, 1e-3f);
    EXPECT_NEAR(d2.x, 0.5f, 1e-3f);
    EXPECT_NEAR(d2.y, 3.0f, 1e-3f);
}
