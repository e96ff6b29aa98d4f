// Interpolation between calibration records and the crop rescaling, against hand-computed values.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "lens/CoefficientLookup.h"

namespace {

using lensdb::coefficientsAt;

constexpr double kTolerance = 1e-7;
const double kNaN = std::numeric_limits<double>::quiet_NaN();
const double kInf = std::numeric_limits<double>::infinity();

// Sentinel records at both ends: a result that read them would show 99.
std::vector<DATCalibration> zoomRecords() {
    return {{5, 99, 99, 99}, {10, 0.01f, -0.02f, 0.005f}, {15, 0.02f, -0.04f, 0}, {20, 0, 0.01f, 0}, {25, 99, 99, 99}};
}

void expectCoefficients(const std::optional<QVCoefficientResult>& r, double f, double a, double b, double c) {
    ASSERT_TRUE(r.has_value());
    EXPECT_NEAR(f, (*r)[0], kTolerance);
    EXPECT_NEAR(a, (*r)[1], kTolerance);
    EXPECT_NEAR(b, (*r)[2], kTolerance);
    EXPECT_NEAR(c, (*r)[3], kTolerance);
}

TEST(CoefficientTest, InterpolatesLinearlyBetweenNeighbouringRecords) {
    const auto records = zoomRecords();
    // t = 0.5 between 10 mm and 15 mm.
    expectCoefficients(coefficientsAt(records, 1, 3, 12.5, 1.5, 1.5), 12.5, 0.015, -0.03, 0.0025);
    // t = 0.2 between 15 mm and 20 mm: a = 0.02 - 0.02 x 0.2, b = -0.04 + 0.05 x 0.2.
    expectCoefficients(coefficientsAt(records, 1, 3, 16, 1.5, 1.5), 16, 0.016, -0.03, 0);
}

TEST(CoefficientTest, ExactFocalLengthTakesItsRecord) {
    const auto records = zoomRecords();
    expectCoefficients(coefficientsAt(records, 1, 3, 15, 1, 1), 15, 0.02, -0.04, 0);
    expectCoefficients(coefficientsAt(records, 1, 3, 10, 1, 1), 10, 0.01, -0.02, 0.005);
    expectCoefficients(coefficientsAt(records, 1, 3, 20, 1, 1), 20, 0, 0.01, 0);
}

TEST(CoefficientTest, FocalLengthsOutsideTheRangeTakeTheNearestEnd) {
    const auto records = zoomRecords();
    expectCoefficients(coefficientsAt(records, 1, 3, 4, 1, 1), 10, 0.01, -0.02, 0.005);
    expectCoefficients(coefficientsAt(records, 1, 3, -30, 1, 1), 10, 0.01, -0.02, 0.005);
    expectCoefficients(coefficientsAt(records, 1, 3, 300, 1, 1), 20, 0, 0.01, 0);
}

TEST(CoefficientTest, OneRecordAnswersForEveryFocalLength) {
    const std::vector<DATCalibration> records = {{30, 0.001f, -0.002f, 0}};
    for (double f : {0.0, 29.9, 30.0, 31.0, 1000.0})
        expectCoefficients(coefficientsAt(records, 0, 0, f, 1.5, 1.5), 30, 0.001, -0.002, 0);
}

TEST(CoefficientTest, CropRescalingMatchesHandComputedValues) {
    const auto records = zoomRecords();
    // s = 1.5, q = 1 / 1.00125.
    expectCoefficients(coefficientsAt(records, 1, 3, 10, 1.5, 1.0), 10, 0.033707865168539325, -0.0449438202247191,
                       0.00749063670411985);
    // Interpolated first (0.015, -0.03, 0.0025), then rescaled: q = 1 / 0.999375.
    expectCoefficients(coefficientsAt(records, 1, 3, 12.5, 1.5, 1.0), 12.5, 0.050656660412757966,
                       -0.06754221388367729, 0.00375234521575985);
}

TEST(CoefficientTest, EqualMultipliersAndZeroCoefficientsStayAsTheyAre) {
    const auto records = zoomRecords();
    expectCoefficients(coefficientsAt(records, 1, 3, 10, 1.5, 1.5), 10, 0.01, -0.02, 0.005);
    expectCoefficients(coefficientsAt(records, 1, 3, 10, 1.0, 1.0), 10, 0.01, -0.02, 0.005);
    const std::vector<DATCalibration> flat = {{10, 0, 0, 0}};
    expectCoefficients(coefficientsAt(flat, 0, 0, 10, 1.6, 1.0), 10, 0, 0, 0);
}

TEST(CoefficientTest, NonFiniteFocalLengthGivesNothing) {
    const auto records = zoomRecords();
    for (double f : {kNaN, kInf, -kInf}) EXPECT_FALSE(coefficientsAt(records, 1, 3, f, 1, 1)) << f;
}

TEST(CoefficientTest, RangesOutsideTheBlockGiveNothing) {
    const auto records = zoomRecords();
    EXPECT_FALSE(coefficientsAt(records, -1, 2, 10, 1, 1));
    EXPECT_FALSE(coefficientsAt(records, 3, 2, 10, 1, 1));
    EXPECT_FALSE(coefficientsAt(records, 1, 5, 10, 1, 1));
    EXPECT_FALSE(coefficientsAt({}, 0, 0, 10, 1, 1));
}

TEST(CoefficientTest, RecordsRunningBackwardsAreToleratedOnlyWithinATenth) {
    // Last focal length more than 0.1 below the first: nothing.
    const std::vector<DATCalibration> backwards = {{99, 99, 99, 99}, {20, 0.1f, 0, 0}, {10, 0.2f, 0, 0}, {99, 99, 99, 99}};
    for (double f : {5.0, 15.0, 25.0}) EXPECT_FALSE(coefficientsAt(backwards, 1, 2, f, 1, 1)) << f;
    // Within 0.1: the first record's focal length is taken, never a record outside the lens.
    const std::vector<DATCalibration> nearly = {{99, 99, 99, 99}, {20.05f, 0.1f, 0, 0}, {20, 0.2f, 0, 0}};
    for (double f : {5.0, 20.02, 25.0}) {
        auto r = coefficientsAt(nearly, 1, 2, f, 1, 1);
        ASSERT_TRUE(r) << f;
        EXPECT_LT((*r)[1], 1.0) << f;
    }
}

TEST(CoefficientTest, UnorderedMiddleRecordsNeverReachOutsideTheLens) {
    // 10, 30, 20: the walk stops inside the lens's own records whatever the focal length.
    const std::vector<DATCalibration> unordered = {
        {0, 99, 99, 99}, {10, 0.1f, 0, 0}, {30, 0.3f, 0, 0}, {20, 0.2f, 0, 0}, {1000, 99, 99, 99}};
    for (double f = 0; f <= 40; f += 0.5) {
        auto r = coefficientsAt(unordered, 1, 3, f, 1, 1);
        ASSERT_TRUE(r) << f;
        EXPECT_GE((*r)[1], 0.1 - kTolerance) << f;
        EXPECT_LE((*r)[1], 0.3 + kTolerance) << f;
    }
}

TEST(CoefficientTest, NonFiniteResultsGiveNothing) {
    const std::vector<DATCalibration> poisoned = {{10, std::nanf(""), 0, 0}};
    EXPECT_FALSE(coefficientsAt(poisoned, 0, 0, 10, 1, 1));
    // A lens multiplier of 0 against a camera's 0 divides by nothing.
    const std::vector<DATCalibration> records = zoomRecords();
    EXPECT_FALSE(coefficientsAt(records, 1, 3, 10, 1.5, 0.0));
}

}  // namespace
