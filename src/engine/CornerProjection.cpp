#include "engine/CornerProjection.h"

#include <array>
#include <cmath>

namespace {

constexpr double kRadiansPerDegree = 0.017453292519943295;
constexpr double kMinimumAreaShare = 1e-3;

// The distance at which the image diagonal spans the angle of view. An angle of view of 0 puts the
// viewer infinitely far away (a parallel projection), which Pp handles.
double viewingDistance(const imageParams& params) {
    const double diagonal = std::sqrt(params.imageWidth * params.imageWidth + params.imageHeight * params.imageHeight);
    return diagonal / std::tan(params.angularWidth * kRadiansPerDegree / 2) / 2;
}

std::array<spacePoint, 4> unrotatedCorners(const imageParams& params) {
    const double halfWidth = params.imageWidth / 2;
    const double halfHeight = params.imageHeight / 2;
    return {{{0, -halfWidth, halfHeight}, {0, halfWidth, halfHeight}, {0, halfWidth, -halfHeight}, {0, -halfWidth, -halfHeight}}};
}

// The corners turned by the three angles, still in space (before the perspective division).
std::array<spacePoint, 4> turnedCorners(const imageParams& params) {
    const double yaw = params.yaw * kRadiansPerDegree;
    const double pitch = params.pitch * kRadiansPerDegree;
    const double rotation = params.rotation * kRadiansPerDegree;
    std::array<spacePoint, 4> corners = unrotatedCorners(params);
    for (spacePoint& corner : corners) corner = C(rotation, Y(yaw, P(pitch, corner)));
    return corners;
}

void writeCorners(const imageParams& params, double dx, double dy, coordinates* result) {
    if (!result) return;
    const double f = viewingDistance(params);
    std::array<spacePoint, 4> corners = turnedCorners(params);
    for (spacePoint& corner : corners) corner = Pp(f, corner);
    cornerPoint* targets[4] = {&result->TL, &result->TR, &result->BR, &result->BL};
    for (int i = 0; i < 4; ++i) {
        targets[i]->x = static_cast<float>(corners[i].x + dx);
        targets[i]->y = static_cast<float>(corners[i].y + dy);
    }
}

double cross(const cornerPoint& o, const cornerPoint& a, const cornerPoint& b) {
    return (double(a.x) - o.x) * (double(b.y) - o.y) - (double(a.y) - o.y) * (double(b.x) - o.x);
}

}  // namespace

spacePoint P(double angle, spacePoint p) {
    const double t = p.y * std::sin(angle) / std::sqrt(p.d * p.d + p.x * p.x);
    return {std::fabs(p.x) * t + p.d, p.x - std::fabs(p.d) * t, p.y * std::cos(angle)};
}

spacePoint Y(double angle, spacePoint p) {
    return {p.d * std::cos(angle) - p.x * std::sin(angle), p.d * std::sin(angle) + p.x * std::cos(angle), p.y};
}

spacePoint C(double angle, spacePoint p) {
    return {p.d, p.x * std::cos(angle) - p.y * std::sin(angle), p.x * std::sin(angle) + p.y * std::cos(angle)};
}

spacePoint Pp(double f, spacePoint p) {
    // A viewer at infinite distance sees the points unscaled; f / (f - d) would give inf / inf.
    const double s = std::isinf(f) && f > 0 ? 1.0 : f / (f - p.d);
    return {0, p.x * s, p.y * s};
}

void CalculatePoints(imageParams params, coordinates* result) {
    writeCorners(params, 0, 0, result);
}

void RevertPoints(imageParams params, coordinates* result) {
    writeCorners(params, params.imageWidth / 2, params.imageHeight / 2, result);
}

bool ProjectionIsUsable(const imageParams& params) {
    if (!(params.imageWidth > 0) || !(params.imageHeight > 0)) return false;
    const double f = viewingDistance(params);
    if (std::isnan(f) || f <= 0) return false;
    if (!std::isinf(f)) {
        // A corner at or behind the viewer's plane would be projected through infinity.
        for (const spacePoint& corner : turnedCorners(params))
            if (!(f - corner.d > 1e-6 * f)) return false;
    }
    coordinates projected;
    CalculatePoints(params, &projected);
    const cornerPoint quad[4] = {projected.TL, projected.TR, projected.BR, projected.BL};
    for (const cornerPoint& corner : quad)
        if (!std::isfinite(corner.x) || !std::isfinite(corner.y)) return false;
    // Convex (every turn the same way) and not collapsed: a picture seen nearly edge-on becomes a
    // sliver that keeps less than a thousandth of its area, which is no picture either.
    int sign = 0;
    double twiceArea = 0;
    for (int i = 0; i < 4; ++i) {
        const double turn = cross(quad[i], quad[(i + 1) % 4], quad[(i + 2) % 4]);
        const int turnSign = turn > 0 ? 1 : turn < 0 ? -1 : 0;
        if (turnSign == 0 || (sign != 0 && turnSign != sign)) return false;
        sign = turnSign;
        twiceArea += double(quad[i].x) * quad[(i + 1) % 4].y - double(quad[(i + 1) % 4].x) * quad[i].y;
    }
    return std::fabs(twiceArea) / 2 >= kMinimumAreaShare * params.imageWidth * params.imageHeight;
    return true;
}
