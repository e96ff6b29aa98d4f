#pragma once
// The bytes of one value read as another type of the same size: the exact bit pattern, so NaN
// payloads, infinities, subnormals and signed zeros pass through unchanged. (std::bit_cast is C++20.)
#include <cstring>
#include <type_traits>

namespace qv {

template <class To, class From>
To bitCast(const From& from) {
    static_assert(sizeof(To) == sizeof(From), "bitCast needs types of one size");
    static_assert(std::is_trivially_copyable_v<To> && std::is_trivially_copyable_v<From>,
                  "bitCast copies bytes");
    To to;
    std::memcpy(&to, &from, sizeof to);
    return to;
}

}  // namespace qv
