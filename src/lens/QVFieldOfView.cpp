#include "lens/QVFieldOfView.h"

#include <cmath>

double QVFieldOfView::degToRad(double degrees) { return degrees * kPi / 180.0; }

double QVFieldOfView::radToDeg(double radians) { return radians * 180.0 / kPi; }

double QVFieldOfView::calculateVerticalFOVFromHFOV(double h, double width, double height) {
    return radToDeg(2.0 * std::atan(std::tan(0.5 * degToRad(h)) * height / width));
}

double QVFieldOfView::calculateDiagonalFOVFromHVOV(double h, double v) {
    const double x = 2.0 * std::tan(0.5 * degToRad(h));
    const double y = 2.0 * std::tan(0.5 * degToRad(v));
    return radToDeg(2.0 * std::atan(0.5 * std::sqrt(x * x + y * y)));
}

double QVFieldOfView::clampAngularWidth(double degrees) {
    if (!std::isfinite(degrees) || degrees <= 0) return kDefaultAngularWidth;
    return degrees > kMaximumAngularWidth ? kMaximumAngularWidth : degrees;
}

double QVFieldOfView::angularWidth(bool useTypedAngle, double typedAngle, double horizontalAngle, double width,
                                   double height) {
    if (useTypedAngle) return clampAngularWidth(typedAngle);
    const double v = calculateVerticalFOVFromHFOV(horizontalAngle, width, height);
    return clampAngularWidth(calculateDiagonalFOVFromHVOV(horizontalAngle, v));
}
