#pragma once
// Sampling the source at a real-valued position, for one destination pixel. Everything here is inline
// and free of allocation: it runs once per output pixel.
#include "unwrap/Pixel4.h"
#include "unwrap/Projections.h"
#include "unwrap/SamplerLUT.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <utility>

// The per-pixel functions are inlined into the row loops whatever the compiler's size estimate.
#define QV_HOT_INLINE inline __attribute__((always_inline))

namespace unwrap {

// Interleaved RGB pixels in memory: row y starts at data + y * stride channels.
template <typename Channel>
struct Raster {
    Raster(Channel* data, std::ptrdiff_t stride, int width, int height)
        : data(data),
          stride(stride),
          width(width),
          height(height),
          right(float(width)),
          bottom(float(height)),
          end(pixel(width, height - 1)) {}

    Channel* pixel(int x, int y) const { return data + y * stride + 3 * std::ptrdiff_t(x); }

    // Whether the block of w x h pixels at (x, y) lies inside the image and `reach` channels from the
    // start of each of its rows can be read (a wide read may run past a row into the next one, but
    // not past the image's last pixel).
    bool holds(int x, int y, int w, int h, int reach) const {
        return x >= 0 && y >= 0 && x + w <= width && y + h <= height && pixel(x, y + h - 1) + reach <= end;
    }

    Channel* data;
    std::ptrdiff_t stride;
    int width;
    int height;
    float right;   // width and height as floats
    float bottom;
    Channel* end;  // one past the last pixel's last channel
};

// Positions this far out cannot touch the source; checking it first also keeps the integer
// conversions below in range, whatever a degenerate mapping produced (NaN included).
inline bool positionUsable(const Point2& p) { return std::abs(p.x) < 1.0e8f && std::abs(p.y) < 1.0e8f; }

// The filtered sum of an nx x ny block of pixels: each column is summed down with the y weights, then
// the columns across with the x weights, every sum taken in order from the first term.
template <typename Channel>
inline Pixel4 accumulate(const Channel* topLeft, std::ptrdiff_t stride, const float* wx, int nx, const float* wy,
                         int ny) {
    Pixel4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
    for (int k = 0; k < nx; ++k) {
        const Channel* s = topLeft + 3 * k;
        Pixel4 column = {0.0f, 0.0f, 0.0f, 0.0f};
        for (int j = 0; j < ny; ++j) column += wy[j] * loadPixel(s + j * stride);
        sum += wx[k] * column;
    }
    return sum;
}

// Channels read from the start of each row by accumulateWide<NX>.
template <int NX>
constexpr int wideReach() {
    return 4 * ((3 * NX + 3) / 4);
}

// Tap K's three channels out of the column sums held four channels to a lane group (the last tap's
// channels end in the last group, so no group past it is read).
template <int K>
inline Pixel4 tapOf(const Pixel4* columns) {
    using Mask = std::int32_t __attribute__((vector_size(16)));
    constexpr int first = 3 * K, group = first / 4, lane = first % 4;
    if constexpr (lane == 0) {
        return columns[group];
    } else if constexpr (lane == 1) {
        return __builtin_shuffle(columns[group], Mask{1, 2, 3, 3});
    } else {
        return __builtin_shuffle(columns[group], columns[group + 1], Mask{lane, lane + 1, lane + 2, lane + 2});
    }
}

template <int... K>
inline Pixel4 sumTaps(const Pixel4* columns, const float* wx, std::integer_sequence<int, K...>) {
    Pixel4 sum = {0.0f, 0.0f, 0.0f, 0.0f};
    ((sum += wx[K] * tapOf<K>(columns)), ...);
    return sum;
}

// accumulate() for a block of NX x NY taps known at compile time, with the same sums in the same
// order, computed on whole rows: each row is read four channels at a time and the column sums of all
// taps are carried together, so that a row costs a few wide reads instead of one read per tap. The
// caller makes sure wideReach<NX>() channels can be read from each row's start.
template <int NX, int NY, typename Channel>
inline Pixel4 accumulateWide(const Channel* topLeft, std::ptrdiff_t stride, const float* wx, const float* wy,
                             const std::int16_t* /*pairedWy*/) {
    constexpr int groups = wideReach<NX>() / 4;
    Pixel4 columns[groups] = {};
#pragma GCC unroll 2
    for (int j = 0; j < NY; ++j) {
        Pixel4 row[groups];
        loadChannels<groups>(topLeft + j * stride, row);
        const float w = wy[j];
#pragma GCC unroll 16
        for (int g = 0; g < groups; ++g) columns[g] += w * row[g];
    }
    return sumTaps(columns, wx, std::make_integer_sequence<int, NX>());
}

#if defined(__SSE2__)
// For 8-bit channels the columns are summed in integers, two rows to a multiply-add, with the row
// weights in fixed steps (pairedWy, from SamplerLUT::pairedRowWeights). The sums are those of the
// float version with the same fixed weights (wy), bit for bit: every product and partial sum is a
// whole number of 1 / kFixedOne well inside single precision.
template <int NX, int NY>
inline Pixel4 accumulateWide(const std::uint8_t* topLeft, std::ptrdiff_t stride, const float* wx,
                             const float* /*wy*/, const std::int16_t* pairedWy) {
    static_assert(NY % 2 == 0, "rows are taken in pairs");
    constexpr int groups = wideReach<NX>() / 4;
    constexpr int wordVectors = (groups + 1) / 2;
    __m128i sums[groups];
#pragma GCC unroll 16
    for (int g = 0; g < groups; ++g) sums[g] = _mm_setzero_si128();
#pragma GCC unroll 4
    for (int pair = 0; pair < NY / 2; ++pair) {
        const __m128i weights = _mm_loadu_si128(reinterpret_cast<const __m128i*>(pairedWy + 8 * pair));
        __m128i upper[wordVectors], lower[wordVectors];
        loadWords<groups>(topLeft + 2 * pair * stride, upper);
        loadWords<groups>(topLeft + (2 * pair + 1) * stride, lower);
#pragma GCC unroll 16
        for (int g = 0; g < groups; ++g) {
            const __m128i rows = g % 2 == 0 ? _mm_unpacklo_epi16(upper[g / 2], lower[g / 2])
                                            : _mm_unpackhi_epi16(upper[g / 2], lower[g / 2]);
            sums[g] = _mm_add_epi32(sums[g], _mm_madd_epi16(rows, weights));
        }
    }
    Pixel4 columns[groups];
#pragma GCC unroll 16
    for (int g = 0; g < groups; ++g) columns[g] = toFloats(sums[g]) * (1.0f / SamplerLUT::kFixedOne);
    return sumTaps(columns, wx, std::make_integer_sequence<int, NX>());
}
#endif

// Separable filtered sample through the tables of lut (which must not be empty), with NX and NY the
// tables' tap counts when known at compile time (0: read from the tables). Taps that fall outside the
// source are dropped and the rest are not renormalised, so a pixel whose footprint is partly outside
// fades towards black. False when the footprint misses the source entirely.
template <int NX, int NY, typename Channel>
QV_HOT_INLINE bool sampleSeparable(const SamplerTables& tables, const Raster<const Channel>& src, const Point2& p,
                                   Channel* out) {
    if (!positionUsable(p)) return false;
    const int nx = NX > 0 ? NX : tables.xTaps;
    const int ny = NY > 0 ? NY : tables.yTaps;
    const SamplerFootprint fx = tables.locate(false, p.x);
    const SamplerFootprint fy = tables.locate(true, p.y);
    const float* wx = tables.columnWeights(fx.phase);
    const float* wy = tables.rowWeights(fy.phase);
    if constexpr (NX > 0 && NY > 0) {
        if (src.holds(fx.first, fy.first, NX, NY, wideReach<NX>())) {
            storePixel(accumulateWide<NX, NY>(src.pixel(fx.first, fy.first), src.stride, wx, wy,
                                              tables.pairedRowWeights(fy.phase)),
                       out);
            return true;
        }
    }
    const int k0 = std::max(0, -fx.first), k1 = std::min(nx, src.width - fx.first);
    const int j0 = std::max(0, -fy.first), j1 = std::min(ny, src.height - fy.first);
    if (k0 >= k1 || j0 >= j1) return false;
    storePixel(accumulate(src.pixel(fx.first + k0, fy.first + j0), src.stride, wx + k0, k1 - k0, wy + j0, j1 - j0),
               out);
    return true;
}

template <typename Channel>
inline bool sample(const SamplerLUT& lut, const Raster<const Channel>& src, const Point2& p, Channel* out) {
    return sampleSeparable<0, 0>(lut.tables<Channel>(), src, p, out);
}

// Bilinear interpolation of the four pixels around p. Within one pixel outside the source the edge
// pixels are extended; beyond that the sample misses (false).
template <typename Channel>
QV_HOT_INLINE bool sampleBilinear(const Raster<const Channel>& src, const Point2& p, Channel* out) {
    // floor(p) within [-1, size - 1]; false for NaN as well.
    if (!(p.x >= -1.0f && p.y >= -1.0f && p.x < src.right && p.y < src.bottom)) return false;
    const int x0 = floorToInt(p.x), y0 = floorToInt(p.y);
    const float fx = p.x - float(x0), fy = p.y - float(y0);
    Pixel4 a, b, c, d;
    if (src.holds(x0, y0, 2, 2, 7)) {
        const Channel* top = src.pixel(x0, y0);
        a = loadFourChannels(top);
        b = loadFourChannels(top + 3);
        c = loadFourChannels(top + src.stride);
        d = loadFourChannels(top + src.stride + 3);
    } else {
        const int xa = std::max(x0, 0), xb = std::min(x0 + 1, src.width - 1);
        const int ya = std::max(y0, 0), yb = std::min(y0 + 1, src.height - 1);
        a = loadPixel(src.pixel(xa, ya));
        b = loadPixel(src.pixel(xb, ya));
        c = loadPixel(src.pixel(xa, yb));
        d = loadPixel(src.pixel(xb, yb));
    }
    const Pixel4 upper = a + fx * (b - a);
    const Pixel4 lower = c + fx * (d - c);
    storePixel(upper + fy * (lower - upper), out);
    return true;
}

}  // namespace unwrap
