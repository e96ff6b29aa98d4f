#include "unwrap/Projections.h"
#include "unwrap/Warp.h"

#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

using namespace unwrap;

namespace {

// A projector whose project is not the inverse of its invert: the self-test must catch it.
struct SkewedProjector {
    PerspectiveProjector inner{100.0f, 70.0f, Point2(50.0f, 50.0f)};
    Point2 project(const point3<float>& ray) const {
        const Point2 p = inner.project(ray);
        return Point2(p.x + 0.01f, p.y);
    }
    point3<float> invert(const Point2& p) const { return inner.invert(p); }
};

}  // namespace

TEST(Projections, OutputCentreLandsOnSourceCentre) {
    const Point2 outputCentre(2000.0f, 1500.0f), sourceCentre(3000.0f, 2000.0f);
    const PerspectiveProjector perspective(4000.0f, 90.0f, outputCentre);
    const point3<float> ray = perspective.invert(outputCentre);
    EXPECT_EQ(ray.x, 0.0f);
    EXPECT_EQ(ray.y, 0.0f);
    EXPECT_EQ(ray.z, 1.0f);
    const PerspectiveToFishEyeFn fn = makePerspectiveToFishEyeFn(6000, sourceCentre, 180.0f, 4000, outputCentre, 90.0f);
    const Point2 source = fn(outputCentre);
    EXPECT_FLOAT_EQ(source.x, 3000.0f);
    EXPECT_FLOAT_EQ(source.y, 2000.0f);
}

TEST(Projections, RightEdgeLandsAQuarterOfTheWidthOutOnA180DegreeFisheye) {
    // 90 degrees out: the focal length is half the width, the edge ray is 45 degrees off axis, and the
    // equidistant 180-degree source puts 45 degrees a quarter of its width from the centre.
    const float width = 1000.0f;
    const Point2 centre(500.0f, 400.0f);
    const PerspectiveToFishEyeFn fn = makePerspectiveToFishEyeFn(1000, centre, 180.0f, 1000, centre, 90.0f);
    const Point2 source = fn(Point2(width, centre.y));
    EXPECT_NEAR(source.x, centre.x + width / 4.0f, 0.01f);
    EXPECT_NEAR(source.y, centre.y, 0.001f);
    EXPECT_FLOAT_EQ(PerspectiveProjector(width, 90.0f, centre).scale(), 500.0f);
}

TEST(Projections, AnyOutputPointLandsWhereTheEquidistantModelPutsIt) {
    const Point2 outputCentre(320.0f, 240.0f), sourceCentre(400.0f, 300.0f);
    const PerspectiveToFishEyeFn fn = makePerspectiveToFishEyeFn(800, sourceCentre, 150.0f, 640, outputCentre, 100.0f);
    const double focal = 640.0 / (2.0 * std::tan(100.0 * M_PI / 360.0));
    const double pixelsPerRadian = 800.0 / (150.0 * M_PI / 180.0);
    for (const Point2 p : {Point2(0.0f, 0.0f), Point2(640.0f, 480.0f), Point2(100.0f, 400.0f), Point2(600.0f, 20.0f)}) {
        const double dx = p.x - outputCentre.x, dy = p.y - outputCentre.y;
        const double offAxis = std::atan(std::hypot(dx, dy) / focal);
        const double radius = pixelsPerRadian * offAxis, scale = radius / std::hypot(dx, dy);
        const Point2 source = fn(p);
        EXPECT_NEAR(source.x, sourceCentre.x + dx * scale, 0.02) << p.x << "," << p.y;
        EXPECT_NEAR(source.y, sourceCentre.y + dy * scale, 0.02) << p.x << "," << p.y;
    }
}

TEST(Projections, FisheyeRoundTripsAndItsCentreIsTheAxis) {
    const FishEyeProjector fisheye(200.0f, 180.0f, Point2(100.0f, 80.0f));
    const point3<float> axis = fisheye.invert(Point2(100.0f, 80.0f));
    EXPECT_EQ(axis.z, 1.0f);
    EXPECT_EQ(fisheye.project(axis).x, 100.0f);
    const Point2 back = fisheye.project(fisheye.invert(Point2(150.0f, 30.0f)));
    EXPECT_NEAR(back.x, 150.0f, 1e-3f);
    EXPECT_NEAR(back.y, 30.0f, 1e-3f);
}

TEST(Projections, SelfTestPassesTheRealProjectorsAndCatchesABrokenOne) {
    std::ostringstream log;
    EXPECT_TRUE(testAllProjections(log));
    EXPECT_EQ(log.str(), "");

    std::ostringstream brokenLog;
    EXPECT_FALSE(testProjection(SkewedProjector(), 100.0f, 100.0f, brokenLog));
    EXPECT_NE(brokenLog.str().find("Failed at : "), std::string::npos);
    EXPECT_NE(brokenLog.str().find("Warped Back"), std::string::npos);
}

TEST(Projections, RadiansOfDegrees) {
    EXPECT_FLOAT_EQ(radians(180.0f), pi);
    EXPECT_FLOAT_EQ(radians(90.0f), pi / 2.0f);
}
