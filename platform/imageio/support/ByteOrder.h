#pragma once
// Big-endian reads and writes for the file formats that store their numbers that way (PSD, JPEG).
#include <cstdint>

#include "foundation/Value.h"

namespace qv::io::support {

inline std::uint16_t readBE16(const std::uint8_t* p) { return std::uint16_t((unsigned(p[0]) << 8) | p[1]); }
inline std::uint32_t readBE32(const std::uint8_t* p) {
    return (std::uint32_t(p[0]) << 24) | (std::uint32_t(p[1]) << 16) | (std::uint32_t(p[2]) << 8) | p[3];
}
inline void appendBE16(Data& out, std::uint32_t v) {
    out.push_back(std::uint8_t(v >> 8));
    out.push_back(std::uint8_t(v));
}
inline void appendBE32(Data& out, std::uint32_t v) {
    appendBE16(out, v >> 16);
    appendBE16(out, v & 0xFFFF);
}
inline void writeBE32(std::uint8_t* p, std::uint32_t v) {
    p[0] = std::uint8_t(v >> 24), p[1] = std::uint8_t(v >> 16), p[2] = std::uint8_t(v >> 8), p[3] = std::uint8_t(v);
}

}  // namespace qv::io::support
