#include "coreimage/Raster.h"

#include <tbb/blocked_range.h>
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

#include "coreimage/CpuFeatures.h"
#include "coreimage/SimdTypes.h"
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif

namespace qv::ci::detail {

namespace {

template <class F>
void forEachRow(int height, F&& f) {
    tbb::parallel_for(tbb::blocked_range<int>(0, height, 16), [&](const tbb::blocked_range<int>& r) {
        for (int y = r.begin(); y != r.end(); ++y) f(y);
    });
}

// Source layout: channel offsets of r, g, b, a (-1: absent) for each pixel format.
struct Layout {
    int channels, r, g, b, a;
};
Layout layoutOf(PixelFormat f) {
    switch (f) {
    case PixelFormat::Gray8:
    case PixelFormat::Gray16: return {1, 0, 0, 0, -1};
    case PixelFormat::RGB8:
    case PixelFormat::RGB16: return {3, 0, 1, 2, -1};
    case PixelFormat::ARGB8: return {4, 1, 2, 3, 0};
    default: return {4, 0, 1, 2, 3};
    }
}

template <class T>
void convertRows(const Bitmap& in, Bitmap& out, T maxValue) {
    const Layout l = layoutOf(in.format);
    const bool premultiply = l.a >= 0 && !in.premultiplied;
    forEachRow(in.height, [&](int y) {
        const T* src = reinterpret_cast<const T*>(in.row(y));
        T* dst = reinterpret_cast<T*>(out.row(y));
        for (int x = 0; x < in.width; ++x, src += l.channels, dst += 4) {
            T a = l.a >= 0 ? src[l.a] : maxValue;
            T c[3] = {src[l.r], src[l.g], src[l.b]};
            for (int k = 0; k < 3; ++k) {
                if (premultiply) {
                    if constexpr (std::is_floating_point_v<T>) {
                        c[k] = c[k] * a;
                    } else {
                        c[k] = T((std::uint64_t(c[k]) * a + maxValue / 2) / maxValue);
                    }
                }
                dst[k] = c[k];
            }
            dst[3] = a;
        }
    });
}

}  // namespace

bool isStorageFormat(const Bitmap& b) {
    return b.premultiplied &&
           (b.format == PixelFormat::RGBA8 || b.format == PixelFormat::RGBA16 || b.format == PixelFormat::RGBAf);
}

Bitmap toStorageFormat(Bitmap bitmap) {
    if (!bitmap.isValid()) return Bitmap{};
    if (bitmap.format == PixelFormat::RGBA8 || bitmap.format == PixelFormat::RGBA16 ||
        bitmap.format == PixelFormat::RGBAf) {
        if (bitmap.premultiplied) return bitmap;
    }
    const int bytes = bytesPerSample(bitmap.format);
    const PixelFormat target = bytes == 1 ? PixelFormat::RGBA8 : bytes == 2 ? PixelFormat::RGBA16 : PixelFormat::RGBAf;
    Bitmap out = Bitmap::makeUninitialized(bitmap.width, bitmap.height, target, true);
    if (!out.isValid()) return out;
    if (bytes == 1) convertRows<std::uint8_t>(bitmap, out, 255);
    else if (bytes == 2) convertRows<std::uint16_t>(bitmap, out, 65535);
    else convertRows<float>(bitmap, out, 1.f);
    return out;
}

namespace {

// Bilinear interpolation over a pixel buffer. Pixel (column c, row r from the top) has its centre
// at (originX + c + 0.5, originY + height - r - 0.5). Reads are limited to columns [bx0, bx1) and
// rows [by0, by1); other pixels read as transparent.
template <class T>
class RasterEvaluator final : public Evaluator {
public:
    RasterEvaluator(std::shared_ptr<const Bitmap> bitmap, double ox, double oy, const Rect& roi)
        : m_bitmap(std::move(bitmap)), m_ox(ox), m_oy(oy) {
        const Bitmap& b = *m_bitmap;
        m_base = b.pixels.data();
        m_stride = b.bytesPerRow;
        m_offsetsFit32Bits = double(m_stride) * double(b.height) < 2147483647.0;
        m_top = oy + b.height;
        if (roi.isEmpty()) {
            m_bx0 = m_bx1 = m_by0 = m_by1 = 0;
        } else if (roi.isInfinite()) {
            m_bx0 = 0, m_bx1 = b.width, m_by0 = 0, m_by1 = b.height;
        } else {
            m_bx0 = clampIndex(std::floor(roi.minX() - ox), b.width);
            m_bx1 = clampIndex(std::ceil(roi.maxX() - ox), b.width);
            m_by0 = clampIndex(std::floor(m_top - roi.maxY()), b.height);
            m_by1 = clampIndex(std::ceil(m_top - roi.minY()), b.height);
        }
        if (m_bx1 <= m_bx0 || m_by1 <= m_by0) m_bx0 = m_bx1 = m_by0 = m_by1 = 0;
    }

    int rows() const { return m_by1 - m_by0; }
    int columns() const { return m_bx1 - m_bx0; }

    void sample(const float* xs, const float* ys, int n, float* out, Arena&) const override {
        read(xs, ys, n, out, kAllChannels);
    }
    void sampleChannel(const float* xs, const float* ys, int n, float* out, Arena&, const PointBounds*,
                       int channel) const override {
        read(xs, ys, n, out, channel);
    }

    void sampleRow(double x0, double y, int n, float* out, Arena& arena) const override {
        // A row whose centres fall on pixel centres needs no interpolation: copy and convert.
        const double du = x0 - m_ox, dv = m_top - y - 1;
        if (du != std::floor(du) || dv != std::floor(dv) || std::fabs(du) > 1e9 || std::fabs(dv) > 1e9) {
            Evaluator::sampleRow(x0, y, n, out, arena);
            return;
        }
        const long long r = static_cast<long long>(dv), c0 = static_cast<long long>(du);
        if (r < m_by0 || r >= m_by1) {
            std::fill(out, out + 4 * std::size_t(n), 0.f);
            return;
        }
        const T* row = reinterpret_cast<const T*>(m_base + std::size_t(r) * m_stride);
        for (int i = 0; i < n; ++i) {
            const long long c = c0 + i;
            const v4f value = (c >= m_bx0 && c < m_bx1) ? load4(row + 4 * c) * kScale : v4f{0, 0, 0, 0};
            store4(out + 4 * i, value);
        }
    }

private:
    // The colours at the points (channel: as sampleChannel takes it; only the 8-bit read with
    // 256-bit instructions makes use of it).
    void read(const float* xs, const float* ys, int n, float* out, [[maybe_unused]] int channel) const {
        const float ox = float(m_ox + 0.5), top = float(m_top - 0.5);
        // Coordinates beyond these limits read nothing; checking them first also keeps the integer
        // conversion below in range for any float, NaN included.
        const float uLo = float(m_bx0) - 1.f, uHi = float(m_bx1);
        const float vLo = float(m_by0) - 1.f, vHi = float(m_by1);
        int i = 0;
#if QV_HAS_WIDE_BUILD
        if constexpr (std::is_same_v<T, std::uint8_t>) {
            if (wideVectors()) i = sampleBytesWide(xs, ys, n, out, channel);
        }
#endif
#if defined(__SSE2__)
        // Four points at a time: positions, cells and weights in vector registers; then the four
        // pixel pairs of each point, unless a point needs the careful path at the edges.
        const __m128 vox = _mm_set1_ps(ox), vtop = _mm_set1_ps(top);
        const __m128 vuLo = _mm_set1_ps(uLo), vuHi = _mm_set1_ps(uHi), vvLo = _mm_set1_ps(vLo), vvHi = _mm_set1_ps(vHi);
        // Interior cells: both pixels of both rows lie in [bx0, bx1) x [by0, by1).
        const __m128i cLo = _mm_set1_epi32(m_bx0 - 1), cHi = _mm_set1_epi32(m_bx1 - 1);
        const __m128i rLo = _mm_set1_epi32(m_by0 - 1), rHi = _mm_set1_epi32(m_by1 - 1);
        for (; i + 4 <= n; i += 4) {
            const __m128 u = _mm_sub_ps(_mm_loadu_ps(xs + i), vox);
            const __m128 v = _mm_sub_ps(vtop, _mm_loadu_ps(ys + i));
            const __m128 valid = _mm_and_ps(_mm_and_ps(_mm_cmpgt_ps(u, vuLo), _mm_cmplt_ps(u, vuHi)),
                                            _mm_and_ps(_mm_cmpgt_ps(v, vvLo), _mm_cmplt_ps(v, vvHi)));
            // Only valid lanes are converted; the others would not fit an int.
            const __m128 su = _mm_and_ps(u, valid), sv = _mm_and_ps(v, valid);
            __m128i c = _mm_cvttps_epi32(su), r = _mm_cvttps_epi32(sv);
            c = _mm_add_epi32(c, _mm_castps_si128(_mm_cmplt_ps(su, _mm_cvtepi32_ps(c))));  // floor
            r = _mm_add_epi32(r, _mm_castps_si128(_mm_cmplt_ps(sv, _mm_cvtepi32_ps(r))));
            const __m128 fx = _mm_sub_ps(su, _mm_cvtepi32_ps(c)), fy = _mm_sub_ps(sv, _mm_cvtepi32_ps(r));
            const __m128i interior = _mm_and_si128(_mm_and_si128(_mm_cmpgt_epi32(c, cLo), _mm_cmplt_epi32(c, cHi)),
                                                   _mm_and_si128(_mm_cmpgt_epi32(r, rLo), _mm_cmplt_epi32(r, rHi)));
            const int validBits = _mm_movemask_ps(valid);
            const int interiorBits = _mm_movemask_ps(_mm_and_ps(_mm_castsi128_ps(interior), valid));
            Cells<4> cells;
            _mm_store_si128(reinterpret_cast<__m128i*>(cells.c), c);
            _mm_store_si128(reinterpret_cast<__m128i*>(cells.r), r);
            _mm_store_ps(cells.fx, fx);
            _mm_store_ps(cells.fy, fy);
            if (interiorBits & 8) {
                // Reads run along rows: ask for the lines a few points further on in both rows.
                // (Addresses as integers: they may lie past the pixels, which a prefetch may touch.)
                const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(pixel(cells.c[3], cells.r[3])) + 1024;
                _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
                _mm_prefetch(reinterpret_cast<const char*>(ahead + m_stride), _MM_HINT_T0);
            }
            // 8-bit pixels are read with integer weights (see integerWeights), the others in float.
            if constexpr (std::is_same_v<T, std::uint8_t>) integerWeights(fx, fy, cells.topWeights, cells.bottomWeights);
            readEach(cells, interiorBits, validBits, out + 4 * i);
        }
#endif
        for (; i < n; ++i) {
            const float u = xs[i] - ox, v = top - ys[i];
            if (!(u > uLo && u < uHi && v > vLo && v < vHi)) {
                store4(out + 4 * i, v4f{0, 0, 0, 0});
                continue;
            }
            int c = int(u), r = int(v);
            if (u < float(c)) --c;
            if (v < float(r)) --r;
            const float fx = u - float(c), fy = v - float(r);
            const bool inside = c >= m_bx0 && c < m_bx1 - 1 && r >= m_by0 && r < m_by1 - 1;
            store4(out + 4 * i, inside ? interpolate(pixel(c, r), fx, fy) : interpolateAtEdge(c, r, fx, fy));
        }
    }

    static constexpr float kScale = std::is_same_v<T, std::uint8_t>    ? 1.f / 255.f
                                    : std::is_same_v<T, std::uint16_t> ? 1.f / 65535.f
                                                                       : 1.f;

    static constexpr int kWeightUnit = 1 << 14;

    // The cells and weights of a batch of points, for reading them one by one.
    template <int N>
    struct Cells {
        alignas(32) std::int32_t c[N], r[N], topWeights[N], bottomWeights[N];
        alignas(32) float fx[N], fy[N];
    };
    // Reads the batch point by point: interior cells blended directly (8-bit pixels with their
    // integer weights), cells at the edge with their outside pixels transparent, the rest transparent.
    template <int N>
    void readEach(const Cells<N>& cells, int interiorBits, int validBits, float* out) const {
        for (int k = 0; k < N; ++k) {
            float* o = out + 4 * k;
            if (interiorBits >> k & 1) {
                if constexpr (std::is_same_v<T, std::uint8_t>)
                    store4(o, interpolateBytes(pixel(cells.c[k], cells.r[k]), cells.topWeights[k], cells.bottomWeights[k]));
                else
                    store4(o, interpolate(pixel(cells.c[k], cells.r[k]), cells.fx[k], cells.fy[k]));
            } else if (validBits >> k & 1) {
                store4(o, interpolateAtEdge(cells.c[k], cells.r[k], cells.fx[k], cells.fy[k]));
            } else {
                store4(o, v4f{0, 0, 0, 0});
            }
        }
    }
    static int clampIndex(double v, int limit) { return int(std::clamp(v, 0.0, double(limit))); }

    // The bilinear blend of the 2 x 2 pixels from p (top-left) at weights fx, fy, scaled to [0, 1].
    v4f interpolate(const T* p0, float fx, float fy) const {
        const T* p1 = reinterpret_cast<const T*>(reinterpret_cast<const std::uint8_t*>(p0) + m_stride);
        v4f t00, t10, t01, t11;
        load4Pair(p0, t00, t10);
        load4Pair(p1, t01, t11);
        return blend(t00, t10, t01, t11, fx, fy);
    }
#if defined(__SSE2__)
    // 8-bit pixels are blended in integers, each of the four weights in 1/16384ths, and converted
    // to float once: the weights of a point are packed in pairs (top-left | top-right << 16,
    // bottom-left | bottom-right << 16) for one multiply-add per row. Truncating three weights
    // and giving the rest to the fourth keeps their sum exactly 16384, so flat areas stay exact.
    static void integerWeights(__m128 fx, __m128 fy, std::int32_t* top, std::int32_t* bottom) {
        const __m128 one = _mm_set1_ps(1.f), unit = _mm_set1_ps(float(kWeightUnit));
        const __m128 gx = _mm_sub_ps(one, fx), gy = _mm_mul_ps(_mm_sub_ps(one, fy), unit);
        const __m128 fyu = _mm_mul_ps(fy, unit);
        const __m128i w00 = _mm_cvttps_epi32(_mm_mul_ps(gx, gy)), w10 = _mm_cvttps_epi32(_mm_mul_ps(fx, gy));
        const __m128i w01 = _mm_cvttps_epi32(_mm_mul_ps(gx, fyu));
        __m128i w11 = _mm_sub_epi32(_mm_set1_epi32(kWeightUnit), _mm_add_epi32(_mm_add_epi32(w00, w10), w01));
        w11 = _mm_max_epi16(w11, _mm_setzero_si128());  // never below 0 (values stay within 16 bits)
        _mm_store_si128(reinterpret_cast<__m128i*>(top), _mm_or_si128(w00, _mm_slli_epi32(w10, 16)));
        _mm_store_si128(reinterpret_cast<__m128i*>(bottom), _mm_or_si128(w01, _mm_slli_epi32(w11, 16)));
    }
    v4f interpolateBytes(const T* p0, std::int32_t topWeights, std::int32_t bottomWeights) const {
        const auto* p1 = reinterpret_cast<const std::uint8_t*>(p0) + m_stride;
        const __m128i zero = _mm_setzero_si128();
        // Each row's two pixels interleaved channel by channel (r0 r1 g0 g1 b0 b1 a0 a1) as 16-bit.
        auto rowPair = [&](const void* p) {
            const __m128i both = _mm_loadl_epi64(static_cast<const __m128i*>(p));
            return _mm_unpacklo_epi8(_mm_unpacklo_epi8(both, _mm_srli_si128(both, 4)), zero);
        };
        const __m128i sum = _mm_add_epi32(_mm_madd_epi16(rowPair(p0), _mm_set1_epi32(topWeights)),
                                          _mm_madd_epi16(rowPair(p1), _mm_set1_epi32(bottomWeights)));
        return (v4f)_mm_mul_ps(_mm_cvtepi32_ps(sum), _mm_set1_ps(kScale / float(kWeightUnit)));
    }
#endif
#if QV_HAS_WIDE_BUILD
    // The 8-bit read eight points at a time with 256-bit instructions; returns how many points it
    // did (a multiple of 8). Interior points are blended with the same integer weights as
    // interpolateBytes, so both versions give identical results; channel (as sampleChannel takes
    // it) picks between blending all four channels and blending one with alpha.
    QV_TARGET_WIDE int sampleBytesWide(const float* xs, const float* ys, int n, float* out, int channel) const {
        // Cell offsets are computed in 32-bit vector lanes; a buffer beyond that (over 2 GB) takes
        // the baseline read.
        if (!m_offsetsFit32Bits) return 0;
        const std::uint8_t* const base = m_base;
        const std::size_t stride = m_stride;
        const __m256i vstride = _mm256_set1_epi32(int(stride));
        const __m256 vox = _mm256_set1_ps(float(m_ox + 0.5)), vtop = _mm256_set1_ps(float(m_top - 0.5));
        const __m256 uLo = _mm256_set1_ps(float(m_bx0) - 1.f), uHi = _mm256_set1_ps(float(m_bx1));
        const __m256 vLo = _mm256_set1_ps(float(m_by0) - 1.f), vHi = _mm256_set1_ps(float(m_by1));
        const __m256 uFirst = _mm256_set1_ps(float(m_bx0)), uEnd = _mm256_set1_ps(float(m_bx1 - 1));
        const __m256 vFirst = _mm256_set1_ps(float(m_by0)), vEnd = _mm256_set1_ps(float(m_by1 - 1));
        const __m256 one = _mm256_set1_ps(1.f), unit = _mm256_set1_ps(float(kWeightUnit));
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 u = _mm256_sub_ps(_mm256_loadu_ps(xs + i), vox);
            const __m256 v = _mm256_sub_ps(vtop, _mm256_loadu_ps(ys + i));
            // Interior cells (both pixels of both rows readable) are told by the positions
            // themselves: u in [bx0, bx1 - 1), v in [by0, by1 - 1); not a number never is. Their
            // positions are not negative, so truncation finds their cells as floor would.
            const __m256 interior =
                _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(u, uFirst, _CMP_GE_OQ), _mm256_cmp_ps(u, uEnd, _CMP_LT_OQ)),
                              _mm256_and_ps(_mm256_cmp_ps(v, vFirst, _CMP_GE_OQ), _mm256_cmp_ps(v, vEnd, _CMP_LT_OQ)));
            const int interiorBits = _mm256_movemask_ps(interior);
            __m256i c = _mm256_cvttps_epi32(u), r = _mm256_cvttps_epi32(v);
            __m256 fx = _mm256_sub_ps(u, _mm256_cvtepi32_ps(c)), fy = _mm256_sub_ps(v, _mm256_cvtepi32_ps(r));
            if (interiorBits != 0xff) {
                // The others take the careful path, which needs their cells by floor.
                const __m256 fu = _mm256_floor_ps(u), fv = _mm256_floor_ps(v);
                c = _mm256_cvttps_epi32(fu), r = _mm256_cvttps_epi32(fv);
                fx = _mm256_sub_ps(u, fu), fy = _mm256_sub_ps(v, fv);
            }
            // The weights as integerWeights makes them: packed pairs, summing exactly to the unit.
            const __m256 gx = _mm256_sub_ps(one, fx), gy = _mm256_mul_ps(_mm256_sub_ps(one, fy), unit);
            const __m256 fyu = _mm256_mul_ps(fy, unit);
            const __m256i w00 = _mm256_cvttps_epi32(_mm256_mul_ps(gx, gy)), w10 = _mm256_cvttps_epi32(_mm256_mul_ps(fx, gy));
            const __m256i w01 = _mm256_cvttps_epi32(_mm256_mul_ps(gx, fyu));
            __m256i w11 = _mm256_sub_epi32(_mm256_set1_epi32(kWeightUnit), _mm256_add_epi32(_mm256_add_epi32(w00, w10), w01));
            w11 = _mm256_max_epi16(w11, _mm256_setzero_si256());
            const __m256i topW = _mm256_or_si256(w00, _mm256_slli_epi32(w10, 16));
            const __m256i bottomW = _mm256_or_si256(w01, _mm256_slli_epi32(w11, 16));
            float* o = out + 4 * i;
            if (interiorBits != 0xff) {
                Cells<8> cells;
                _mm256_store_si256(reinterpret_cast<__m256i*>(cells.c), c);
                _mm256_store_si256(reinterpret_cast<__m256i*>(cells.r), r);
                _mm256_store_si256(reinterpret_cast<__m256i*>(cells.topWeights), topW);
                _mm256_store_si256(reinterpret_cast<__m256i*>(cells.bottomWeights), bottomW);
                _mm256_store_ps(cells.fx, fx);
                _mm256_store_ps(cells.fy, fy);
                // Points reading nothing are told apart from those at the edge here, off the common path.
                const __m256 valid = _mm256_and_ps(
                    _mm256_and_ps(_mm256_cmp_ps(u, uLo, _CMP_GT_OQ), _mm256_cmp_ps(u, uHi, _CMP_LT_OQ)),
                    _mm256_and_ps(_mm256_cmp_ps(v, vLo, _CMP_GT_OQ), _mm256_cmp_ps(v, vHi, _CMP_LT_OQ)));
                readEach(cells, interiorBits, _mm256_movemask_ps(valid), o);
                continue;
            }
            alignas(32) std::int32_t offsets[8];
            _mm256_store_si256(reinterpret_cast<__m256i*>(offsets),
                               _mm256_add_epi32(_mm256_mullo_epi32(r, vstride), _mm256_slli_epi32(c, 2)));
            // Reads run along rows: ask for the lines a few points further on in both rows, and
            // for the row that the tile's next rows of points will reach.
            const std::uintptr_t ahead = reinterpret_cast<std::uintptr_t>(base + offsets[7]) + 1024;
            _mm_prefetch(reinterpret_cast<const char*>(ahead), _MM_HINT_T0);
            _mm_prefetch(reinterpret_cast<const char*>(ahead + stride), _MM_HINT_T0);
            const std::uintptr_t below = reinterpret_cast<std::uintptr_t>(base + offsets[7]) + 3 * stride + 64;
            _mm_prefetch(reinterpret_cast<const char*>(below), _MM_HINT_T0);
            // The offsets are read back from memory one by one: cheaper than taking each out of
            // the register, which is what the compiler would otherwise do.
            __asm__ volatile("" : : "r"(offsets) : "memory");
            if (channel == kAllChannels)
                blendAllChannels(offsets, topW, bottomW, o);
            else
                blendOneChannel(offsets, topW, bottomW, channel, o);
        }
        return i;
    }

    // The four channels of eight interior points. Point k shares a register with point k + 4,
    // each in a 128-bit lane holding its two pixel pairs, top and bottom, so that every shuffle
    // stays within its lane: the pairs are broadcast from memory and blended together, each
    // shuffle spreads one row's pair to 16-bit channels, and the results are stored a lane at a time.
    QV_TARGET_WIDE __attribute__((always_inline)) void blendAllChannels(const std::int32_t* offsets, __m256i topW,
                                                                         __m256i bottomW, float* o) const {
        const std::uint8_t* const top = m_base;
        const std::uint8_t* const bottom = m_base + m_stride;
        // Per 128-bit lane: bytes 0-7 the top pixel pair (r0 g0 b0 a0 r1 g1 b1 a1), 8-15 the bottom
        // one; each shuffle makes r0 r1 g0 g1 b0 b1 a0 a1 as 16-bit words of one row.
        const __m256i topWords = _mm256_setr_epi8(0, -1, 4, -1, 1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1, 0, -1, 4, -1,
                                                  1, -1, 5, -1, 2, -1, 6, -1, 3, -1, 7, -1);
        const __m256i bottomWords = _mm256_setr_epi8(8, -1, 12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1, 8, -1,
                                                     12, -1, 9, -1, 13, -1, 10, -1, 14, -1, 11, -1, 15, -1);
        const __m256 toFloat = _mm256_set1_ps(kScale / float(kWeightUnit));
        auto blend = [&](auto point) QV_TARGET_WIDE {
            constexpr int k = decltype(point)::value;
            const __m256i pairs =
                fourPixelPairs(top + offsets[k], bottom + offsets[k], top + offsets[k + 4], bottom + offsets[k + 4]);
            // Each point's packed weights over its whole lane.
            const __m256i topPair = _mm256_shuffle_epi32(topW, _MM_SHUFFLE(k, k, k, k));
            const __m256i bottomPair = _mm256_shuffle_epi32(bottomW, _MM_SHUFFLE(k, k, k, k));
            const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(pairs, topWords), topPair),
                                                 _mm256_madd_epi16(_mm256_shuffle_epi8(pairs, bottomWords), bottomPair));
            const __m256 values = _mm256_mul_ps(_mm256_cvtepi32_ps(sum), toFloat);
            _mm_storeu_ps(o + 4 * k, _mm256_castps256_ps128(values));
            _mm_storeu_ps(o + 4 * (k + 4), _mm256_extractf128_ps(values, 1));
        };
        blend(std::integral_constant<int, 0>{});
        blend(std::integral_constant<int, 1>{});
        blend(std::integral_constant<int, 2>{});
        blend(std::integral_constant<int, 3>{});
    }
    // The pixel pairs (8 bytes each) at a, b, c and d as the four 64-bit words of a register, in
    // that order: each is broadcast from memory and the four are blended, which needs no shuffle.
    QV_TARGET_WIDE __attribute__((always_inline)) static __m256i fourPixelPairs(const std::uint8_t* a, const std::uint8_t* b,
                                                                                const std::uint8_t* c, const std::uint8_t* d) {
        const __m256i low = _mm256_blend_epi32(broadcastPair(a), broadcastPair(b), 0x0c);
        const __m256i high = _mm256_blend_epi32(broadcastPair(c), broadcastPair(d), 0xc0);
        return _mm256_blend_epi32(low, high, 0xf0);
    }
    // The pixel pair at p in every 64-bit word.
    QV_TARGET_WIDE __attribute__((always_inline)) static __m256i broadcastPair(const std::uint8_t* p) {
        return _mm256_broadcastq_epi64(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)));
    }
    // One colour channel and alpha of eight interior points, half the blending of all four: each
    // register holds the top (or bottom) pixel pairs of four points, and one byte shuffle spreads
    // the channel's and alpha's bytes of both pixels of each to 16-bit words. Each point comes
    // out as (c, c, c, alpha). Points k, k + 1 share the low lane with k + 4, k + 5 in the high
    // one, so that every shuffle stays within its lane: the pixel pairs are broadcast from memory
    // and blended together, the weights unpacked in place, and the results stored a lane at a time.
    QV_TARGET_WIDE __attribute__((always_inline)) void blendOneChannel(const std::int32_t* offsets, __m256i topW,
                                                                        __m256i bottomW, int channel, float* o) const {
        const std::uint8_t* const top = m_base;
        const std::uint8_t* const bottom = m_base + m_stride;
        const char c = char(channel);
        // Per 128-bit lane: bytes 0-7 one point's pixel pair (r0 g0 b0 a0 r1 g1 b1 a1), 8-15 the
        // next one's; the words come out c0 c1 (first point), c0 c1 (second), a0 a1, a0 a1.
        const __m256i pick = _mm256_setr_epi8(c, -1, char(c + 4), -1, char(c + 8), -1, char(c + 12), -1, 3, -1, 7, -1, 11, -1,
                                              15, -1, c, -1, char(c + 4), -1, char(c + 8), -1, char(c + 12), -1, 3, -1, 7, -1,
                                              11, -1, 15, -1);
        const __m256 toFloat = _mm256_set1_ps(kScale / float(kWeightUnit));
        for (int k = 0; k < 4; k += 2) {
            // The pixel pairs of points k, k + 1, k + 4, k + 5 in this row.
            auto pairsOf = [&](const std::uint8_t* row) QV_TARGET_WIDE {
                return fourPixelPairs(row + offsets[k], row + offsets[k + 1], row + offsets[k + 4], row + offsets[k + 5]);
            };
            // Each point's packed weights, twice over, in the lanes its pixel pairs take.
            const __m256i topPair = k == 0 ? _mm256_unpacklo_epi64(topW, topW) : _mm256_unpackhi_epi64(topW, topW);
            const __m256i bottomPair = k == 0 ? _mm256_unpacklo_epi64(bottomW, bottomW) : _mm256_unpackhi_epi64(bottomW, bottomW);
            const __m256i sum = _mm256_add_epi32(_mm256_madd_epi16(_mm256_shuffle_epi8(pairsOf(top), pick), topPair),
                                                 _mm256_madd_epi16(_mm256_shuffle_epi8(pairsOf(bottom), pick), bottomPair));
            // Per lane: c and alpha of its first point, then of its second.
            const __m256 values = _mm256_mul_ps(_mm256_cvtepi32_ps(sum), toFloat);
            const __m256 firsts = _mm256_permute_ps(values, _MM_SHUFFLE(2, 0, 0, 0));
            const __m256 seconds = _mm256_permute_ps(values, _MM_SHUFFLE(3, 1, 1, 1));
            _mm_storeu_ps(o + 4 * k, _mm256_castps256_ps128(firsts));
            _mm_storeu_ps(o + 4 * (k + 1), _mm256_castps256_ps128(seconds));
            _mm_storeu_ps(o + 4 * (k + 4), _mm256_extractf128_ps(firsts, 1));
            _mm_storeu_ps(o + 4 * (k + 5), _mm256_extractf128_ps(seconds, 1));
        }
    }
#endif
    // The same where some of the four pixels lie outside the readable ones (they count as transparent).
    v4f interpolateAtEdge(int c, int r, float fx, float fy) const {
        return blend(fetch(c, r), fetch(c + 1, r), fetch(c, r + 1), fetch(c + 1, r + 1), fx, fy);
    }
    static v4f blend(v4f t00, v4f t10, v4f t01, v4f t11, float fx, float fy) {
        const v4f top4 = t00 + (t10 - t00) * fx;
        const v4f bottom4 = t01 + (t11 - t01) * fx;
        return (top4 + (bottom4 - top4) * fy) * kScale;
    }

    const T* pixel(int c, int r) const {
        return reinterpret_cast<const T*>(m_base + std::size_t(r) * m_stride) + 4 * std::size_t(c);
    }
    v4f fetch(int c, int r) const {
        if (c < m_bx0 || c >= m_bx1 || r < m_by0 || r >= m_by1) return v4f{0, 0, 0, 0};
        return load4(pixel(c, r));
    }

    std::shared_ptr<const Bitmap> m_bitmap;
    const std::uint8_t* m_base;
    std::size_t m_stride;
    double m_ox, m_oy, m_top;
    int m_bx0, m_bx1, m_by0, m_by1;
    bool m_offsetsFit32Bits;
};

template <class T>
std::unique_ptr<Evaluator> makeTyped(std::shared_ptr<const Bitmap> bitmap, double ox, double oy, const Rect& roi,
                                     const RenderStatisticsSink& sink) {
    auto e = std::make_unique<RasterEvaluator<T>>(std::move(bitmap), ox, oy, roi);
    sink.addRasterRows(std::size_t(e->rows()), std::size_t(e->rows()) * std::size_t(e->columns()));
    return e;
}

}  // namespace

std::unique_ptr<Evaluator> makeRasterEvaluator(std::shared_ptr<const Bitmap> bitmap, double ox, double oy,
                                               const Rect& roi, const RenderStatisticsSink& sink) {
    switch (bitmap->format) {
    case PixelFormat::RGBA8: return makeTyped<std::uint8_t>(std::move(bitmap), ox, oy, roi, sink);
    case PixelFormat::RGBA16: return makeTyped<std::uint16_t>(std::move(bitmap), ox, oy, roi, sink);
    default: return makeTyped<float>(std::move(bitmap), ox, oy, roi, sink);
    }
}

RasterNode::RasterNode(std::shared_ptr<const Bitmap> bitmap, double originX, double originY)
    : Node(Rect(originX, originY, bitmap->width, bitmap->height)),
      m_bitmap(std::move(bitmap)),
      m_originX(originX),
      m_originY(originY) {}

std::unique_ptr<Evaluator> RasterNode::makeEvaluator(const Rect& roi, std::unique_ptr<Prepared>,
                                                     const std::vector<const Evaluator*>&,
                                                     const RenderStatisticsSink& sink) const {
    return makeRasterEvaluator(m_bitmap, m_originX, m_originY, roi, sink);
}

}  // namespace qv::ci::detail
