#pragma once
// The one-dimensional filter kernels of the resampling samplers. Each has a support (the half-width
// beyond which it is 0) and is evaluated only while the sampler tables are built, never per pixel.
#include <cmath>

namespace unwrap {

inline float sinc(float x) {
    const float PI = 3.1415927f;
    const float a = PI * x;
    return a == 0.0f ? 1.0f : std::sin(a) / a;
}

struct bspline_kernel {
    float support() const { return 2.0f; }
    float operator()(float x) const {
        const float a = std::abs(x);
        if (a < 1.0f) return 0.5f * a * a * a - a * a + 0.6666667f;
        if (a < 2.0f) {
            const float b = 2.0f - a;
            return b * b * b * 0.16666667f;
        }
        return 0.0f;
    }
};

// Mitchell-Netravali with B = C = 1/3.
struct mitchell_kernel {
    float support() const { return 2.0f; }
    float operator()(float x) const {
        const float B = 1.0f / 3.0f, C = 1.0f / 3.0f;
        const float a = std::abs(x);
        if (a < 1.0f)
            return ((12.0f - 9.0f * B - 6.0f * C) * a * a * a + (-18.0f + 12.0f * B + 6.0f * C) * a * a +
                    (6.0f - 2.0f * B)) /
                   6.0f;
        if (a < 2.0f)
            return ((-B - 6.0f * C) * a * a * a + (6.0f * B + 30.0f * C) * a * a + (-12.0f * B - 48.0f * C) * a +
                    (8.0f * B + 24.0f * C)) /
                   6.0f;
        return 0.0f;
    }
};

// Not normalised; the tables normalise every phase.
struct gaussian_kernel {
    static constexpr float sigma = 2.0f;
    float support() const { return 2.0f * sigma; }
    float operator()(float x) const {
        if (std::abs(x) >= support()) return 0.0f;
        return float(std::exp(-double(x) * double(x) / (2.0 * double(sigma) * double(sigma))));
    }
};

template <int Lobes>
struct lanczos_kernel {
    float support() const { return float(Lobes); }
    float operator()(float x) const {
        const float a = std::abs(x);
        return a < float(Lobes) ? sinc(a) * sinc(a / float(Lobes)) : 0.0f;
    }
};

}  // namespace unwrap
