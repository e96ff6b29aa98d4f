#pragma once
// Four-lane float vectors (one RGBA pixel) through the compiler's vector extension, so that the
// inner loops compile to SSE on x86-64 without hand-written intrinsics.
#include <cstdint>
#include <cstring>

namespace qv::ci::detail {

typedef float v4f __attribute__((vector_size(16)));
typedef std::uint8_t v4u8 __attribute__((vector_size(4)));
typedef std::uint16_t v4u16 __attribute__((vector_size(8)));

inline v4f load4(const float* p) {
    v4f v;
    std::memcpy(&v, p, sizeof v);
    return v;
}
inline v4f load4(const std::uint8_t* p) {
    v4u8 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, v4f);
}
inline v4f load4(const std::uint16_t* p) {
    v4u16 v;
    std::memcpy(&v, p, sizeof v);
    return __builtin_convertvector(v, v4f);
}
inline void store4(float* p, v4f v) { std::memcpy(p, &v, sizeof v); }

inline v4f splat(float f) { return v4f{f, f, f, f}; }
inline v4f vmin(v4f a, v4f b) { return a < b ? a : b; }
inline v4f vmax(v4f a, v4f b) { return a > b ? a : b; }

}  // namespace qv::ci::detail
