#include "unwrap/Projections.h"

#include <cassert>
#include <cmath>

namespace unwrap {

float radians(float degrees) {
    static const float kDegreesToRadians = pi / 180.0f;
    return degrees * kDegreesToRadians;
}

PerspectiveProjector::PerspectiveProjector(float width, float horizontalFOVInDegrees, Point2 centre)
    : m_centre(centre) {
    assert(horizontalFOVInDegrees < 180.0f && "horizontalFOVInDegrees <180.0f");
    m_scale = float(width / (2.0 * std::tan(double(radians(horizontalFOVInDegrees)) / 2.0)));
    assert(m_scale != 0.0f && "m_scale != 0.0f");
    m_inverseScale = 1.0f / m_scale;
}

Point2 PerspectiveProjector::project(const point3<float>& ray) const {
    return Point2(m_centre.x + ray.x / ray.z * m_scale, m_centre.y + ray.y / ray.z * m_scale);
}

point3<float> PerspectiveProjector::invert(const Point2& p) const {
    const float qx = (p.x - m_centre.x) * m_inverseScale;
    const float qy = (p.y - m_centre.y) * m_inverseScale;
    const float n = 1.0f / std::sqrt(1.0f + qx * qx + qy * qy);
    return {qx * n, qy * n, n};
}

FishEyeProjector::FishEyeProjector(float width, float horizontalFOVInDegrees, Point2 centre) : m_centre(centre) {
    m_radiusToTheta = radians(horizontalFOVInDegrees) / width;
    assert(m_radiusToTheta != 0.0f && "m_radiusToTheta != 0.0f");
    m_thetaToRadius = 1.0f / m_radiusToTheta;
}

Point2 FishEyeProjector::project(const point3<float>& ray) const {
    const float r = std::sqrt(ray.x * ray.x + ray.y * ray.y);
    if (r == 0.0f) return m_centre;
    const float theta = std::atan2(r, ray.z);
    const float radiusOverR = m_thetaToRadius * theta / r;
    return Point2(m_centre.x + radiusOverR * ray.x, m_centre.y + radiusOverR * ray.y);
}

point3<float> FishEyeProjector::invert(const Point2& p) const {
    const float dx = p.x - m_centre.x, dy = p.y - m_centre.y;
    const float r = std::sqrt(dx * dx + dy * dy);
    if (r == 0.0f) return {0.0f, 0.0f, 1.0f};  // the optical axis; the direction of d is undefined here
    const float theta = m_radiusToTheta * r;
    const float s = std::sin(theta) / r;
    return {s * dx, s * dy, std::cos(theta)};
}

bool testAllProjections(std::ostream& log) {
    const Point2 centre(50.0f, 50.0f);
    const bool perspective = testProjection(PerspectiveProjector(100.0f, 70.0f, centre), 100.0f, 100.0f, log);
    if (!perspective) log << "Perspective Projection Failed \n";
    const bool fisheye = testProjection(FishEyeProjector(100.0f, 70.0f, centre), 100.0f, 100.0f, log);
    if (!fisheye) log << "Fisheye Projection Failed \n";
    return perspective && fisheye;
}

}  // namespace unwrap
