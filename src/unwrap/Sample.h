#pragma once
// Sampling the source at a real-valued position, for one destination pixel. Everything here is inline
// and free of allocation: it runs once per output pixel.
#include "unwrap/Projections.h"
#include "unwrap/SamplerLUT.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <limits>

namespace unwrap {

// Interleaved RGB pixels in memory: row y starts at data + y * stride channels.
template <typename Channel>
struct Raster {
    Channel* data;
    std::ptrdiff_t stride;
    int width;
    int height;

    Channel* pixel(int x, int y) const { return data + y * stride + 3 * std::ptrdiff_t(x); }
};

// Float to channel: clipped to [0, max] (filter ringing overshoots both ways), then rounded to nearest.
template <typename Channel>
struct channel_clamps_t {
    Channel operator()(float value) const {
        const float top = float(std::numeric_limits<Channel>::max());
        value = value > 0.0f ? value : 0.0f;  // NaN becomes 0 as well
        value = value < top ? value : top;
        return Channel(value + 0.5f);
    }
};

template <typename Channel>
inline void storePixel(const float rgb[3], Channel* out) {
    const channel_clamps_t<Channel> clamp;
    out[0] = clamp(rgb[0]);
    out[1] = clamp(rgb[1]);
    out[2] = clamp(rgb[2]);
}

// Positions this far out cannot touch the source; checking it first also keeps the integer
// conversions below in range, whatever a degenerate mapping produced (NaN included).
inline bool positionUsable(const Point2& p) { return std::abs(p.x) < 1.0e8f && std::abs(p.y) < 1.0e8f; }

// Weighted sum over a block of ny rows by nx columns whose top-left pixel is topLeft: along each row
// with the x weights, then across the rows with the y weights. NX and NY fix the block at compile time
// for the common tap counts (0: the run-time counts).
template <int NX, int NY, typename Channel>
inline void accumulate(const Channel* topLeft, std::ptrdiff_t stride, const float* wx, int nx, const float* wy,
                       int ny, float rgb[3]) {
    const int cx = NX > 0 ? NX : nx;
    const int cy = NY > 0 ? NY : ny;
    float r = 0.0f, g = 0.0f, b = 0.0f;
    for (int j = 0; j < cy; ++j) {
        const Channel* s = topLeft + j * stride;
        float hr = 0.0f, hg = 0.0f, hb = 0.0f;
        for (int k = 0; k < cx; ++k) {
            const float w = wx[k];
            hr += w * float(s[3 * k]);
            hg += w * float(s[3 * k + 1]);
            hb += w * float(s[3 * k + 2]);
        }
        const float w = wy[j];
        r += w * hr;
        g += w * hg;
        b += w * hb;
    }
    rgb[0] = r;
    rgb[1] = g;
    rgb[2] = b;
}

// Separable filtered sample through the tables of lut (which must not be empty), with NX and NY the
// tables' tap counts when known at compile time. Taps that fall outside the source are dropped and the
// rest are not renormalised, so a pixel whose footprint is partly outside fades towards black. False
// when the footprint misses the source entirely.
template <int NX, int NY, typename Channel, typename OutChannel>
inline bool sampleSeparable(const SamplerLUT& lut, const Raster<const Channel>& src, const Point2& p,
                            OutChannel* out) {
    if (!positionUsable(p)) return false;
    const int nx = NX > 0 ? NX : lut.taps(false);
    const int ny = NY > 0 ? NY : lut.taps(true);
    const SamplerFootprint fx = lut.locate(false, p.x);
    const SamplerFootprint fy = lut.locate(true, p.y);
    float rgb[3];
    if (fx.first >= 0 && fy.first >= 0 && fx.first + nx <= src.width && fy.first + ny <= src.height) {
        accumulate<NX, NY>(src.pixel(fx.first, fy.first), src.stride, fx.weights, nx, fy.weights, ny, rgb);
    } else {
        const int k0 = std::max(0, -fx.first), k1 = std::min(nx, src.width - fx.first);
        const int j0 = std::max(0, -fy.first), j1 = std::min(ny, src.height - fy.first);
        if (k0 >= k1 || j0 >= j1) return false;
        accumulate<0, 0>(src.pixel(fx.first + k0, fy.first + j0), src.stride, fx.weights + k0, k1 - k0,
                         fy.weights + j0, j1 - j0, rgb);
    }
    storePixel(rgb, out);
    return true;
}

template <typename Channel, typename OutChannel>
inline bool sample(const SamplerLUT& lut, const Raster<const Channel>& src, const Point2& p, OutChannel* out) {
    return sampleSeparable<0, 0>(lut, src, p, out);
}

// Bilinear interpolation of the four pixels around p. Within one pixel outside the source the edge
// pixels are extended; beyond that the sample misses (false).
template <typename Channel, typename OutChannel>
inline bool sampleBilinear(const Raster<const Channel>& src, const Point2& p, OutChannel* out) {
    if (!positionUsable(p)) return false;
    const float wholeX = std::floor(p.x), wholeY = std::floor(p.y);
    const int x0 = int(wholeX), y0 = int(wholeY);
    if (x0 < -1 || y0 < -1 || x0 >= src.width || y0 >= src.height) return false;
    const float fx = p.x - wholeX, fy = p.y - wholeY;
    const int xa = std::max(x0, 0), xb = std::min(x0 + 1, src.width - 1);
    const int ya = std::max(y0, 0), yb = std::min(y0 + 1, src.height - 1);
    const Channel* top = src.data + ya * src.stride;
    const Channel* bottom = src.data + yb * src.stride;
    const Channel *a = top + 3 * xa, *b = top + 3 * xb, *c = bottom + 3 * xa, *d = bottom + 3 * xb;
    float rgb[3];
    for (int i = 0; i < 3; ++i) {
        const float upper = float(a[i]) + fx * (float(b[i]) - float(a[i]));
        const float lower = float(c[i]) + fx * (float(d[i]) - float(c[i]));
        rgb[i] = upper + fy * (lower - upper);
    }
    storePixel(rgb, out);
    return true;
}

}  // namespace unwrap
