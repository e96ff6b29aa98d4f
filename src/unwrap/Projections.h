#pragma once
// The geometry of an unwrap: a pinhole (perspective) camera for the output, an equidistant fisheye for
// the source, and their composition, which takes an output pixel position to the source position whose
// colour it shows. Positions are in pixels, the top-left pixel at (0, 0); an image's centre is taken
// as (0.5 * width, 0.5 * height).
#include <boost/gil/point.hpp>

#include <cmath>
#include <ostream>
#include <random>

namespace unwrap {

using Point2 = boost::gil::point2<float>;

template <typename T>
struct point3 {
    T x, y, z;
};

constexpr float pi = 3.1415927f;

float radians(float degrees);

// Pinhole camera whose horizontal field of view spans the image width.
class PerspectiveProjector {
public:
    // Requires 0 < horizontalFOVInDegrees < 180.
    PerspectiveProjector(float width, float horizontalFOVInDegrees, Point2 centre);

    Point2 project(const point3<float>& ray) const;
    // A unit ray with positive z.
    point3<float> invert(const Point2& p) const;

    float scale() const { return m_scale; }

private:
    float m_scale;  // focal length in pixels
    float m_inverseScale;
    Point2 m_centre;
};

// Equidistant fisheye: the distance from the centre is proportional to the angle from the optical
// axis, and the field of view spans the image width.
class FishEyeProjector {
public:
    // Requires horizontalFOVInDegrees > 0.
    FishEyeProjector(float width, float horizontalFOVInDegrees, Point2 centre);

    Point2 project(const point3<float>& ray) const;
    point3<float> invert(const Point2& p) const;

private:
    float m_radiusToTheta;  // radians per pixel of radius
    float m_thetaToRadius;
    Point2 m_centre;
};

// Output position -> viewing ray through the output camera -> position in the source image.
template <typename OutputProjector, typename SourceProjector>
class UnwrapFn {
public:
    UnwrapFn(const OutputProjector& output, const SourceProjector& source) : m_source(source), m_output(output) {}

    Point2 operator()(const Point2& p) const { return m_source.project(m_output.invert(p)); }

private:
    SourceProjector m_source;
    OutputProjector m_output;
};

using PerspectiveToFishEyeFn = UnwrapFn<PerspectiveProjector, FishEyeProjector>;

constexpr float TOLERANCE = 0.001f;

// Inverts 100 random points of a width x height image to rays and projects them back; true when each
// comes back within TOLERANCE. Every point that does not is described on log.
template <typename Projector>
bool testProjection(const Projector& projector, float width, float height, std::ostream& log) {
    std::mt19937 generator(5489u);
    std::uniform_real_distribution<float> xs(0.0f, width), ys(0.0f, height);
    bool passed = true;
    for (int i = 0; i < 100; ++i) {
        const Point2 p(xs(generator), ys(generator));
        const point3<float> world = projector.invert(p);
        const Point2 back = projector.project(world);
        if (!(std::abs(back.x - p.x) <= TOLERANCE && std::abs(back.y - p.y) <= TOLERANCE)) {
            log << "Failed at : (" << p.x << ", " << p.y << ") World : (" << world.x << ", " << world.y << ", "
                << world.z << ") Warped Back (" << back.x << ", " << back.y << ")\n";
            passed = false;
        }
    }
    return passed;
}

// Runs the round trip on both projectors (100 x 100 image, centre (50, 50), 70 degrees); false when
// either fails, after naming it on log.
bool testAllProjections(std::ostream& log);

}  // namespace unwrap
