#pragma once
// Four-lane float vectors (one RGBA pixel) through the compiler's vector extension, so that the
// inner loops compile to SSE on x86-64 without hand-written intrinsics.
#include <cstdint>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace qv::ci::detail {

typedef float v4f __attribute__((vector_size(16)));
typedef std::uint8_t v4u8 __attribute__((vector_size(4)));
typedef std::uint16_t v4u16 __attribute__((vector_size(8)));

inline v4f load4(const float* p) {
    v4f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
// Widening integer samples to float: the generic conversion compiles to scalar code without
// SSE4.1, so spell out the SSE2 unpacking (these loads sit in every bilinear fetch).
inline v4f load4(const std::uint8_t* p) {
#if defined(__SSE2__)
    std::int32_t bits;
    std::memcpy(&bits, p, 4);
    const __m128i zero = _mm_setzero_si128();
    const __m128i wide = _mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero), zero);
    return (v4f)_mm_cvtepi32_ps(wide);
#else
    v4u8 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, v4f);
#endif
}
inline v4f load4(const std::uint16_t* p) {
#if defined(__SSE2__)
    const __m128i wide = _mm_unpacklo_epi16(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p)), _mm_setzero_si128());
    return (v4f)_mm_cvtepi32_ps(wide);
#else
    v4u16 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, v4f);
#endif
}
inline void store4(float* p, v4f v) { std::memcpy(p, &v, sizeof v); }

inline v4f splat(float f) { return v4f{f, f, f, f}; }
inline v4f vmin(v4f a, v4f b) { return a < b ? a : b; }
inline v4f vmax(v4f a, v4f b) { return a > b ? a : b; }

}  // namespace qv::ci::detail
