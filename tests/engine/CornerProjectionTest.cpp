#include "engine/CornerProjection.h"

#include <gtest/gtest.h>

#include <cmath>

namespace {

imageParams photo(double yaw, double pitch, double rotation, double angleOfView = 60) {
    imageParams params;
    params.imageWidth = 4000;
    params.imageHeight = 3000;
    params.yaw = yaw;
    params.pitch = pitch;
    params.rotation = rotation;
    params.angularWidth = angleOfView;
    return params;
}

void expectCorner(const cornerPoint& corner, double x, double y, double tolerance = 1e-3) {
    EXPECT_NEAR(corner.x, x, tolerance);
    EXPECT_NEAR(corner.y, y, tolerance);
}

TEST(CornerProjection, NoAnglesGiveTheUnrotatedCornersWhateverTheAngleOfView) {
    for (double angleOfView : {1.0, 34.9681, 60.0, 90.0, 170.0}) {
        coordinates centred, reverted;
        CalculatePoints(photo(0, 0, 0, angleOfView), &centred);
        RevertPoints(photo(0, 0, 0, angleOfView), &reverted);
        expectCorner(centred.TL, -2000, 1500);
        expectCorner(centred.TR, 2000, 1500);
        expectCorner(centred.BR, 2000, -1500);
        expectCorner(centred.BL, -2000, -1500);
        expectCorner(reverted.TL, 0, 3000);
        expectCorner(reverted.TR, 4000, 3000);
        expectCorner(reverted.BR, 4000, 0);
        expectCorner(reverted.BL, 0, 0);
    }
}

TEST(CornerProjection, RotationAloneTurnsTheCornersInThePlane) {
    coordinates corners;
    CalculatePoints(photo(0, 0, 90), &corners);
    expectCorner(corners.TL, -1500, -2000, 1e-2);
    expectCorner(corners.TR, -1500, 2000, 1e-2);
    expectCorner(corners.BR, 1500, 2000, 1e-2);
    expectCorner(corners.BL, 1500, -2000, 1e-2);
}

TEST(CornerProjection, PitchWidensTheEdgeThatComesTowardsTheViewer) {
    coordinates corners;
    CalculatePoints(photo(0, 10, 0), &corners);
    const double topWidth = corners.TR.x - corners.TL.x;
    const double bottomWidth = corners.BR.x - corners.BL.x;
    // The top edge tilts towards the viewer (positive depth) and grows; the bottom one shrinks.
    EXPECT_GT(topWidth, 4000);
    EXPECT_LT(bottomWidth, 4000);
    // The picture stays symmetric about the vertical axis.
    EXPECT_NEAR(corners.TL.x, -corners.TR.x, 1e-2);
    EXPECT_NEAR(corners.BL.x, -corners.BR.x, 1e-2);
}

TEST(CornerProjection, YawWidensTheSideThatComesTowardsTheViewer) {
    coordinates corners;
    CalculatePoints(photo(10, 0, 0), &corners);
    const double leftHeight = corners.TL.y - corners.BL.y;
    const double rightHeight = corners.TR.y - corners.BR.y;
    EXPECT_NE(leftHeight, rightHeight);
    EXPECT_NEAR(leftHeight + rightHeight, 2 * 3000, 400);
    EXPECT_NEAR(corners.TL.y, -corners.BL.y, 1e-2);
}

TEST(CornerProjection, AnInfinitelyDistantViewerProjectsInParallel) {
    const spacePoint projected = Pp(INFINITY, spacePoint{5, -3, 2});
    EXPECT_EQ(projected.x, -3);
    EXPECT_EQ(projected.y, 2);
    // An angle of view of 0 is that viewer: the turned corners come out finite.
    coordinates corners;
    CalculatePoints(photo(0, 0, 30, 0), &corners);
    EXPECT_TRUE(std::isfinite(corners.TL.x) && std::isfinite(corners.TL.y));
    EXPECT_TRUE(ProjectionIsUsable(photo(0, 20, 30, 0)));
}

TEST(CornerProjection, UsabilityRejectsTheDegenerateProjections) {
    EXPECT_TRUE(ProjectionIsUsable(photo(0, 0, 0)));
    EXPECT_TRUE(ProjectionIsUsable(photo(20, -15, 5)));
    EXPECT_TRUE(ProjectionIsUsable(photo(0, 0, 90)));
    // Edge-on: the picture collapses to a line.
    EXPECT_FALSE(ProjectionIsUsable(photo(0, 90, 0)));
    EXPECT_FALSE(ProjectionIsUsable(photo(90, 0, 0)));
    // Beyond half the angle of view a corner passes behind the viewer.
    EXPECT_FALSE(ProjectionIsUsable(photo(0, 75, 0, 120)));
    // A 180-degree angle of view puts the viewer on the picture.
    EXPECT_FALSE(ProjectionIsUsable(photo(0, 10, 0, 180)));
    EXPECT_FALSE(ProjectionIsUsable(photo(NAN, 0, 0)));
    imageParams empty = photo(0, 0, 0);
    empty.imageWidth = 0;
    EXPECT_FALSE(ProjectionIsUsable(empty));
}

}  // namespace
