// Rows of float RGBA in the output formats. Where the processor has them, 256-bit versions write
// eight pixels at a time and leave the rest of the row to the baseline loops; both round alike,
// so that the output does not depend on the processor.
#include "coreimage/RowFormats.h"

#include <cstring>

#include "coreimage/CpuFeatures.h"
#include "coreimage/SimdTypes.h"
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif

namespace qv::ci::detail {

namespace {

#if QV_HAS_WIDE_BUILD
// Two pixels clamped to [0, 1] as the baseline clamps them (max answers its second operand when
// either is NaN, so NaN becomes 0), scaled, and rounded to nearest by adding a half and truncating.
// The compiler may fuse the multiplication and the addition; for every float in [0, 1] and both
// scales that truncates to the same integer as the baseline's two roundings (checked over all of
// them), so the output stays the same byte for byte.
QV_TARGET_WIDE __m256i scaledPair(const float* src, __m256 scale) {
    const __m256 v = _mm256_min_ps(_mm256_max_ps(_mm256_loadu_ps(src), _mm256_setzero_ps()), _mm256_set1_ps(1.f));
    return _mm256_cvttps_epi32(_mm256_add_ps(_mm256_mul_ps(v, scale), _mm256_set1_ps(0.5f)));
}

// 8-bit pixels, eight at a time while eight remain; answers how many it wrote.
QV_TARGET_WIDE int writeBytesWide(const float* src, int n, bool alphaFirst, std::uint8_t* dst) {
    const __m256 scale = _mm256_set1_ps(255.f);
    // Packing works within 128-bit halves, which leaves the pixels in the order 0 2 4 6 1 3 5 7.
    const __m256i inOrder = _mm256_setr_epi32(0, 4, 1, 5, 2, 6, 3, 7);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const float* p = src + 4 * i;
        const __m256i pixels0213 = _mm256_packs_epi32(scaledPair(p, scale), scaledPair(p + 8, scale));
        const __m256i pixels4657 = _mm256_packs_epi32(scaledPair(p + 16, scale), scaledPair(p + 24, scale));
        __m256i bytes = _mm256_permutevar8x32_epi32(_mm256_packus_epi16(pixels0213, pixels4657), inOrder);
        if (alphaFirst) bytes = _mm256_or_si256(_mm256_slli_epi32(bytes, 8), _mm256_srli_epi32(bytes, 24));
        _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * i), bytes);
    }
    return i;
}

// 16-bit pixels, eight at a time while eight remain; answers how many it wrote.
QV_TARGET_WIDE int writeShortsWide(const float* src, int n, std::uint16_t* dst) {
    const __m256 scale = _mm256_set1_ps(65535.f);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        for (int k = i; k < i + 8; k += 4) {
            // Four pixels; packing within 128-bit halves leaves them in the order 0 2 1 3.
            const float* p = src + 4 * k;
            const __m256i shorts = _mm256_packus_epi32(scaledPair(p, scale), scaledPair(p + 8, scale));
            _mm256_storeu_si256(reinterpret_cast<__m256i*>(dst + 4 * k),
                                _mm256_permute4x64_epi64(shorts, _MM_SHUFFLE(3, 1, 2, 0)));
        }
    }
    return i;
}
#endif

}  // namespace

void writeRow(const float* src, int n, PixelFormat format, std::uint8_t* dst) {
    const v4f zero = splat(0.f), one = splat(1.f);
    switch (format) {
    case PixelFormat::ARGB8:
    case PixelFormat::RGBA8: {
        typedef std::int32_t v4i __attribute__((vector_size(16)));
        const bool alphaFirst = format == PixelFormat::ARGB8;
        int i = 0;
#if QV_HAS_WIDE_BUILD
        if (wideVectors()) i = writeBytesWide(src, n, alphaFirst, dst);
#endif
#if defined(__SSE2__)
        // Four pixels at a time: round, saturate to bytes, rotate alpha to the front for ARGB.
        const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(255.f), half = _mm_set1_ps(0.5f);
        for (; i + 4 <= n; i += 4) {
            __m128i q[4];
            for (int k = 0; k < 4; ++k) {
                const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + 4 * (i + k)), lo), _mm_set1_ps(1.f));
                q[k] = _mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, hi), half));
            }
            __m128i bytes = _mm_packus_epi16(_mm_packs_epi32(q[0], q[1]), _mm_packs_epi32(q[2], q[3]));
            if (alphaFirst) bytes = _mm_or_si128(_mm_slli_epi32(bytes, 8), _mm_srli_epi32(bytes, 24));
            _mm_storeu_si128(reinterpret_cast<__m128i*>(dst + 4 * i), bytes);
        }
#endif
        for (; i < n; ++i) {
            const v4f v = vmin(vmax(load4(src + 4 * i), zero), one) * 255.f + 0.5f;
            v4i q = __builtin_convertvector(v, v4i);
            if (alphaFirst) q = __builtin_shufflevector(q, q, 3, 0, 1, 2);
            const v4u8 bytes = __builtin_convertvector(q, v4u8);
            std::memcpy(dst + 4 * i, &bytes, 4);
        }
        break;
    }
    case PixelFormat::RGBA16: {
        auto* p = reinterpret_cast<std::uint16_t*>(dst);
        int i = 0;
#if QV_HAS_WIDE_BUILD
        if (wideVectors()) i = writeShortsWide(src, n, p);
#endif
#if defined(__SSE2__)
        // Two pixels at a time. SSE2 packs only to signed 16 bits: shift the range down by 32768,
        // pack with saturation, and flip the top bit back.
        const __m128 lo = _mm_setzero_ps(), hi = _mm_set1_ps(1.f), scale = _mm_set1_ps(65535.f);
        const __m128 half = _mm_set1_ps(0.5f);
        const __m128i bias = _mm_set1_epi32(32768), flip = _mm_set1_epi16(std::int16_t(0x8000));
        for (; i + 2 <= n; i += 2) {
            __m128i q[2];
            for (int k = 0; k < 2; ++k) {
                const __m128 v = _mm_min_ps(_mm_max_ps(_mm_loadu_ps(src + 4 * (i + k)), lo), hi);
                q[k] = _mm_sub_epi32(_mm_cvttps_epi32(_mm_add_ps(_mm_mul_ps(v, scale), half)), bias);
            }
            _mm_storeu_si128(reinterpret_cast<__m128i*>(p + 4 * i), _mm_xor_si128(_mm_packs_epi32(q[0], q[1]), flip));
        }
#endif
        for (; i < n; ++i) {
            const v4f v = vmin(vmax(load4(src + 4 * i), zero), one) * 65535.f + 0.5f;
            typedef std::int32_t v4i __attribute__((vector_size(16)));
            const v4i q = __builtin_convertvector(v, v4i);
            for (int c = 0; c < 4; ++c) p[4 * i + c] = std::uint16_t(q[c]);
        }
        break;
    }
    default: std::memcpy(dst, src, sizeof(float) * 4 * std::size_t(n)); break;
    }
}

}  // namespace qv::ci::detail
