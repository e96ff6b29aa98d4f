#pragma once
// One RGB pixel as four float lanes (R, G, B and a lane that is ignored), so that the weighted sums
// of the samplers work on a whole pixel per instruction. The arithmetic is lane-wise IEEE single
// precision, so a sum gives the same R, G and B however its pixels were loaded.
#include <cstdint>
#include <cstring>
#include <limits>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace unwrap {

using Pixel4 = float __attribute__((vector_size(16)));

// Loads only the pixel's three channels (the fourth lane is 0).
template <typename Channel>
inline Pixel4 loadPixel(const Channel* p) {
    return Pixel4{float(p[0]), float(p[1]), float(p[2]), 0.0f};
}

// Loads the four channels from p with a single wide read: a pixel and the first channel after it, or
// any four consecutive channels of a row. Faster than loadPixel, but the caller must know that all
// four lie inside the buffer.
inline Pixel4 loadFourChannels(const std::uint8_t* p) {
#if defined(__SSE2__)
    std::int32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    const __m128i zero = _mm_setzero_si128();
    const __m128i words = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero);
    return Pixel4(_mm_cvtepi32_ps(_mm_unpacklo_epi16(words, zero)));
#else
    return loadPixel(p);
#endif
}

inline Pixel4 loadFourChannels(const std::uint16_t* p) {
#if defined(__SSE2__)
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return Pixel4(_mm_cvtepi32_ps(_mm_unpacklo_epi16(words, _mm_setzero_si128())));
#else
    return loadPixel(p);
#endif
}

// Stores R, G and B clipped to [0, max] (filter ringing overshoots both ways) and rounded to nearest.
template <typename Channel>
inline void storePixel(Pixel4 value, Channel* out) {
    const float top = float(std::numeric_limits<Channel>::max());
    const Pixel4 zero = {0.0f, 0.0f, 0.0f, 0.0f};
    value = value > zero ? value : zero;  // NaN lanes become 0 as well
    value = value < top ? value : top;
    value += 0.5f;
    using Int4 = std::int32_t __attribute__((vector_size(16)));
    const Int4 rounded = __builtin_convertvector(value, Int4);
    out[0] = Channel(rounded[0]);
    out[1] = Channel(rounded[1]);
    out[2] = Channel(rounded[2]);
}

}  // namespace unwrap
