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

#if defined(__SSE2__)
inline Pixel4 toFloats(__m128i words) { return Pixel4(_mm_cvtepi32_ps(words)); }
#endif

// Loads the four channels from p: a pixel and the first channel after it, or any four consecutive
// channels of a row. Faster than loadPixel, but the caller must know that all four can be read.
inline Pixel4 loadFourChannels(const std::uint8_t* p) {
#if defined(__SSE2__)
    std::int32_t bits;
    std::memcpy(&bits, p, sizeof bits);
    const __m128i zero = _mm_setzero_si128();
    return toFloats(_mm_unpacklo_epi16(_mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero), zero));
#else
    return Pixel4{float(p[0]), float(p[1]), float(p[2]), float(p[3])};
#endif
}

inline Pixel4 loadFourChannels(const std::uint16_t* p) {
#if defined(__SSE2__)
    const __m128i words = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p));
    return toFloats(_mm_unpacklo_epi16(words, _mm_setzero_si128()));
#else
    return Pixel4{float(p[0]), float(p[1]), float(p[2]), float(p[3])};
#endif
}

// Loads the 4 * Groups consecutive channels from p into Groups pixels' worth of lanes, with as few
// wide reads as possible. Reads exactly those channels.
template <int Groups>
inline void loadChannels(const std::uint8_t* p, Pixel4* out) {
    int g = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; g + 4 <= Groups; g += 4) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * g));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero), high = _mm_unpackhi_epi8(bytes, zero);
        out[g] = toFloats(_mm_unpacklo_epi16(low, zero));
        out[g + 1] = toFloats(_mm_unpackhi_epi16(low, zero));
        out[g + 2] = toFloats(_mm_unpacklo_epi16(high, zero));
        out[g + 3] = toFloats(_mm_unpackhi_epi16(high, zero));
    }
    if (Groups - g >= 2) {
        const __m128i bytes = _mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4 * g));
        const __m128i low = _mm_unpacklo_epi8(bytes, zero);
        out[g] = toFloats(_mm_unpacklo_epi16(low, zero));
        out[g + 1] = toFloats(_mm_unpackhi_epi16(low, zero));
        g += 2;
    }
#endif
    for (; g < Groups; ++g) out[g] = loadFourChannels(p + 4 * g);
}

template <int Groups>
inline void loadChannels(const std::uint16_t* p, Pixel4* out) {
    int g = 0;
#if defined(__SSE2__)
    const __m128i zero = _mm_setzero_si128();
    for (; g + 2 <= Groups; g += 2) {
        const __m128i words = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * g));
        out[g] = toFloats(_mm_unpacklo_epi16(words, zero));
        out[g + 1] = toFloats(_mm_unpackhi_epi16(words, zero));
    }
#endif
    for (; g < Groups; ++g) out[g] = loadFourChannels(p + 4 * g);
}

#if defined(__SSE2__)
// Loads the 4 * Groups consecutive 8-bit channels from p as 16-bit numbers, eight to an element of
// out (the last element holds four when Groups is odd). Reads exactly those channels.
template <int Groups>
inline void loadWords(const std::uint8_t* p, __m128i* out) {
    const __m128i zero = _mm_setzero_si128();
    int g = 0, w = 0;
    for (; g + 4 <= Groups; g += 4, w += 2) {
        const __m128i bytes = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + 4 * g));
        out[w] = _mm_unpacklo_epi8(bytes, zero);
        out[w + 1] = _mm_unpackhi_epi8(bytes, zero);
    }
    if (Groups - g >= 2) {
        out[w++] = _mm_unpacklo_epi8(_mm_loadl_epi64(reinterpret_cast<const __m128i*>(p + 4 * g)), zero);
        g += 2;
    }
    if (Groups - g == 1) {
        std::int32_t bits;
        std::memcpy(&bits, p + 4 * g, sizeof bits);
        out[w] = _mm_unpacklo_epi8(_mm_cvtsi32_si128(bits), zero);
    }
}
#endif

// Stores R, G and B clipped to the channel's range (filter ringing overshoots both ways) and rounded
// to nearest; NaN lanes store 0.
template <typename Channel>
inline void storePixel(Pixel4 value, Channel* out) {
    const float top = float(std::numeric_limits<Channel>::max());
#if defined(__SSE2__)
    // max(NaN, 0) is 0: the first operand is returned only when it compares greater.
    const __m128 clipped = _mm_min_ps(_mm_max_ps(__m128(value), _mm_setzero_ps()), _mm_set1_ps(top));
    const __m128i words = _mm_cvttps_epi32(_mm_add_ps(clipped, _mm_set1_ps(0.5f)));
    if constexpr (sizeof(Channel) == 1) {
        const __m128i shorts = _mm_packs_epi32(words, words);
        const std::uint32_t bytes = std::uint32_t(_mm_cvtsi128_si32(_mm_packus_epi16(shorts, shorts)));
        const std::uint16_t redGreen = std::uint16_t(bytes);
        std::memcpy(out, &redGreen, sizeof redGreen);
        out[2] = std::uint8_t(bytes >> 16);
    } else {
        // SSE2 packs with signed saturation only: down by 32768 to pack, then the sign bit flipped back.
        const __m128i centred = _mm_sub_epi32(words, _mm_set1_epi32(32768));
        const __m128i packed = _mm_xor_si128(_mm_packs_epi32(centred, centred), _mm_set1_epi16(-32768));
        std::uint64_t lanes;
        _mm_storel_epi64(reinterpret_cast<__m128i*>(&lanes), packed);
        const std::uint32_t redGreen = std::uint32_t(lanes);
        std::memcpy(out, &redGreen, sizeof redGreen);
        out[2] = Channel(lanes >> 32);
    }
#else
    for (int c = 0; c < 3; ++c) {
        const float v = value[c] > 0.0f ? value[c] : 0.0f;
        out[c] = Channel((v < top ? v : top) + 0.5f);
    }
#endif
}

}  // namespace unwrap
