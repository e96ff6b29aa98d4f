#pragma once
// PackBits run-length coding (the RLE of PSD image data).
#include <cstddef>
#include <cstdint>

#include "foundation/Value.h"

namespace qv::io::support {

// Appends the PackBits coding of n bytes to out.
void packBits(const std::uint8_t* src, std::size_t n, Data& out);

// Decodes PackBits from src (at most srcSize bytes) into exactly `expected` bytes at dst. False
// when the input ends early or a run would overflow the output.
bool unpackBits(const std::uint8_t* src, std::size_t srcSize, std::uint8_t* dst, std::size_t expected);

}  // namespace qv::io::support
