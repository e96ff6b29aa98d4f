#include "lens/CoefficientLookup.h"

#include <cmath>

namespace lensdb {

std::optional<QVCoefficientResult> coefficientsAt(const std::vector<DATCalibration>& calibrations,
                                                  std::int64_t first, std::int64_t last, double focalLength,
                                                  double lensMultiplier, double matchingMultiplier) {
    if (first < 0 || last < first || std::uint64_t(last) >= calibrations.size()) return std::nullopt;
    if (!std::isfinite(focalLength)) return std::nullopt;
    auto F = [&](std::int64_t k) { return calibrations[std::size_t(k)].focalLength; };
    double f = focalLength;

    // Outside the calibrated range the nearest end's coefficients hold.
    if (F(first) > f)
        f = F(first);
    else if (f > F(last))
        f = F(last);
    // Only records that run backwards get past the clamp: a tenth of a millimetre is tolerated.
    if (F(first) > f) {
        if (float(F(first) - 0.1f) > f) return std::nullopt;
        f = F(first);
    }
    if (f > F(last)) {
        if (f > float(F(last) + 0.1f)) return std::nullopt;
        f = F(last);
    }

    double a, b, c;
    std::int64_t k = first;
    while (k < last && f > F(k)) ++k;
    if (k == first || F(k) == f) {
        const DATCalibration& r = calibrations[std::size_t(k)];
        a = r.a;
        b = r.b;
        c = r.c;
    } else {
        // The walk stopped at the first record at or beyond f, so F(k - 1) < f < F(k): the span is
        // positive and both records belong to the lens. Differences of stored values stay in single
        // precision, as the stored values are.
        const DATCalibration& lo = calibrations[std::size_t(k - 1)];
        const DATCalibration& hi = calibrations[std::size_t(k)];
        const double t = (f - lo.focalLength) / double(float(hi.focalLength - lo.focalLength));
        a = lo.a + double(float(hi.a - lo.a)) * t;
        b = lo.b + double(float(hi.b - lo.b)) * t;
        c = lo.c + double(float(hi.c - lo.c)) * t;
    }

    // A lens calibrated on another sensor size sees a different part of its image circle: rescale
    // the polynomial so that it keeps the image's scale on this camera.
    const double m = lensMultiplier;
    const double M = matchingMultiplier;
    if (m != M) {
        const double s = m / M;
        const double q = 1.0 / ((1.0 - (a + b + c)) + a * s * s * s + b * s * s + c * s);
        a = a * q * s * s * s;
        b = b * q * s * s;
        c = c * q * s;
    }
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(c)) return std::nullopt;
    return QVCoefficientResult{f, a, b, c};
}

}  // namespace lensdb
