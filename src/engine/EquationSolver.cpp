#include "engine/EquationSolver.h"

#include <cmath>

namespace {
constexpr double kThirdOfPi = 1.0471975511965976;
constexpr double kNoRoot = 1000.0;
}  // namespace

int squareZero(const double* p, double* roots) {
    if (p[2] == 0) {
        if (p[1] == 0) {
            if (p[0] != 0) return 0;
            roots[0] = 0;
            return 1;
        }
        roots[0] = -p[0] / p[1];
        return 1;
    }
    if (4 * p[2] * p[0] > p[1] * p[1]) return 0;
    const double root = std::sqrt(p[1] * p[1] - 4 * p[2] * p[0]);
    roots[0] = (-p[1] + root) / (2 * p[2]);
    roots[1] = (-p[1] - root) / (2 * p[2]);
    return 2;
}

int cubeZero(const double* p, double* roots) {
    if (p[3] == 0) return squareZero(p, roots);
    // Reduced to t³ + 3q·t + 2r = 0 with x = t − p[2] / (3·p[3]).
    const double a = p[2] / p[3];
    const double b = p[1] / p[3];
    const double c = p[0] / p[3];
    const double q = (-(1.0 / 3.0) * a * a + b) / 3.0;
    const double r = ((2.0 / 27.0) * a * a * a - (1.0 / 3.0) * a * b + c) / 2.0;
    const double shift = p[2] / (-3.0 * p[3]);
    if (r * r + q * q * q >= 0) {
        const double root = std::sqrt(q * q * q + r * r);
        roots[0] = cubeRoot(root - r) + cubeRoot(-r - root) + shift;
        return 1;
    }
    const double phi = std::acos(-r / std::sqrt(-q * q * q));
    const double s = std::sqrt(-q);
    roots[0] = 2 * s * std::cos(phi / 3) + shift;
    roots[1] = -2 * s * std::cos(kThirdOfPi + phi / 3) + shift;
    roots[2] = -2 * s * std::cos(phi / 3 - kThirdOfPi) + shift;
    return 3;
}

double cubeRoot(double x) {
    if (x == 0) return 0;
    if (x > 0) return std::pow(x, 1.0 / 3.0);
    return -std::pow(-x, 1.0 / 3.0);
}

double smallestRoot(const double* p) {
    double roots[3];
    const int count = cubeZero(p, roots);
    double smallest = kNoRoot;
    for (int i = 0; i < count; ++i)
        if (roots[i] > 0 && roots[i] < smallest) smallest = roots[i];
    return smallest;
}
