#include "engine/EquationSolver.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

TEST(EquationSolver, CubicWithThreeRealRoots) {
    const double p[4] = {-6, 11, -6, 1};  // (x-1)(x-2)(x-3)
    double roots[3];
    ASSERT_EQ(cubeZero(p, roots), 3);
    std::sort(roots, roots + 3);
    EXPECT_NEAR(roots[0], 1, 1e-9);
    EXPECT_NEAR(roots[1], 2, 1e-9);
    EXPECT_NEAR(roots[2], 3, 1e-9);
    EXPECT_NEAR(smallestRoot(p), 1, 1e-9);
}

TEST(EquationSolver, CubicWithOneRealRoot) {
    const double p[4] = {-8, 0, 0, 1};  // x³ = 8
    double roots[3];
    ASSERT_EQ(cubeZero(p, roots), 1);
    EXPECT_NEAR(roots[0], 2, 1e-9);
    const double shifted[4] = {2, 2, 1, 1};  // (x+1)(x²+2): the root -1 only
    ASSERT_EQ(cubeZero(shifted, roots), 1);
    EXPECT_NEAR(roots[0], -1, 1e-9);
    EXPECT_EQ(smallestRoot(shifted), 1000.0);
}

TEST(EquationSolver, LowerDegrees) {
    double roots[3];
    const double quadratic[4] = {-4, 0, 1, 0};  // x² = 4
    ASSERT_EQ(cubeZero(quadratic, roots), 2);
    EXPECT_DOUBLE_EQ(roots[0], 2);
    EXPECT_DOUBLE_EQ(roots[1], -2);
    const double noRealRoot[3] = {1, 0, 1};  // x² + 1
    EXPECT_EQ(squareZero(noRealRoot, roots), 0);
    const double linear[3] = {3, -6, 0};
    ASSERT_EQ(squareZero(linear, roots), 1);
    EXPECT_DOUBLE_EQ(roots[0], 0.5);
    const double zero[3] = {0, 0, 0};
    ASSERT_EQ(squareZero(zero, roots), 1);
    EXPECT_DOUBLE_EQ(roots[0], 0);
    const double constant[3] = {5, 0, 0};
    EXPECT_EQ(squareZero(constant, roots), 0);
}

TEST(EquationSolver, SmallestRootIgnoresRootsAtOrBelowZeroAndAbove1000) {
    const double p[4] = {0, -1, 0, 1};  // x³ - x: roots -1, 0, 1
    EXPECT_NEAR(smallestRoot(p), 1, 1e-9);
    const double far[4] = {-2000, 1, 0, 0};  // x = 2000
    EXPECT_EQ(smallestRoot(far), 1000.0);
}

TEST(EquationSolver, CubeRootKeepsTheSign) {
    EXPECT_EQ(cubeRoot(0), 0);
    EXPECT_NEAR(cubeRoot(27), 3, 1e-12);
    EXPECT_NEAR(cubeRoot(-27), -3, 1e-12);
}

}  // namespace
