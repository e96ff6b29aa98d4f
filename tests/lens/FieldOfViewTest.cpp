// The diagonal angle of view and its clamp.
#include <gtest/gtest.h>

#include <limits>

#include "lens/QVFieldOfView.h"

namespace {

constexpr double kTolerance = 1e-4;

TEST(FieldOfViewTest, TypedAngleIsClampedIntoZeroToNinety) {
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(true, 0, 50, 3000, 2000));
    EXPECT_EQ(90.0, QVFieldOfView::angularWidth(true, 120, 50, 3000, 2000));
    EXPECT_EQ(45.0, QVFieldOfView::angularWidth(true, 45, 50, 3000, 2000));
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(true, -10, 50, 3000, 2000));
    EXPECT_EQ(90.0, QVFieldOfView::angularWidth(true, 90, 50, 3000, 2000));
}

TEST(FieldOfViewTest, ComputedFromTheHorizontalAngleAndTheImageSize) {
    EXPECT_NEAR(34.5380, QVFieldOfView::calculateVerticalFOVFromHFOV(50, 3000, 2000), kTolerance);
    EXPECT_NEAR(58.5353, QVFieldOfView::angularWidth(false, 0, 50, 3000, 2000), kTolerance);
    EXPECT_NEAR(30.0, QVFieldOfView::calculateVerticalFOVFromHFOV(30, 1000, 1000), 1e-9);
    EXPECT_NEAR(41.5071, QVFieldOfView::calculateDiagonalFOVFromHVOV(30, 30), kTolerance);
    // 90.48 degrees comes out of the formula and is clamped.
    const double v = QVFieldOfView::calculateVerticalFOVFromHFOV(80, 3000, 2000);
    EXPECT_NEAR(90.4834, QVFieldOfView::calculateDiagonalFOVFromHVOV(80, v), kTolerance);
    EXPECT_EQ(90.0, QVFieldOfView::angularWidth(false, 0, 80, 3000, 2000));
}

TEST(FieldOfViewTest, NoHorizontalAngleGivesTheDefault) {
    EXPECT_EQ(0.0, QVFieldOfView::calculateDiagonalFOVFromHVOV(0, 0));
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(false, 0, 0, 3000, 2000));
}

TEST(FieldOfViewTest, NonFiniteAnglesTakeTheDefaultInsteadOfNaN) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(false, 0, 50, 0, 0));  // a 0 x 0 image
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(true, nan, 50, 3000, 2000));
    EXPECT_EQ(34.9681, QVFieldOfView::angularWidth(true, inf, 50, 3000, 2000));
    EXPECT_EQ(34.9681, QVFieldOfView::clampAngularWidth(-inf));
}

TEST(FieldOfViewTest, DegreesAndRadians) {
    EXPECT_DOUBLE_EQ(QVFieldOfView::kPi, QVFieldOfView::degToRad(180));
    EXPECT_DOUBLE_EQ(90.0, QVFieldOfView::radToDeg(QVFieldOfView::kPi / 2));
}

}  // namespace
