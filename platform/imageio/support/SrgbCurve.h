#pragma once
// The sRGB transfer curve between the linear half floats of OpenEXR and the sRGB-encoded 16-bit
// samples of a decoded bitmap, as two lookup tables built once.
#include <cstdint>

namespace qv::io::support {

// sRGB-encoded 16-bit sample of a linear value given as half-float bits (clamped to 0..1).
std::uint16_t halfLinearToEncoded16(std::uint16_t halfBits);
// Linear half-float bits of an sRGB-encoded 16-bit sample.
std::uint16_t encoded16ToHalfLinear(std::uint16_t sample);

// Alpha is linear in both: plain scaling.
std::uint16_t halfToUnit16(std::uint16_t halfBits);
std::uint16_t unit16ToHalf(std::uint16_t sample);

}  // namespace qv::io::support
