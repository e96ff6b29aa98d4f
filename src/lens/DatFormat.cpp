#include "lens/DatFormat.h"

#include <cstring>

const std::string& DATDatabase::groupNameOfCamera(std::size_t i) const {
    static const std::string kNone;
    if (i >= cameras.size()) return kNone;
    std::int32_t group = cameras[i].group;
    if (group < 0 || std::size_t(group) >= groups.size()) return kNone;
    return groups[std::size_t(group)].name;
}

namespace lensdb {

std::int32_t loadI32(const std::uint8_t* p) {
    std::uint32_t u = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
                      std::uint32_t(p[3]) << 24;
    std::int32_t v;
    std::memcpy(&v, &u, sizeof v);
    return v;
}

float loadF32(const std::uint8_t* p) {
    std::int32_t bits = loadI32(p);
    float f;
    std::memcpy(&f, &bits, sizeof f);
    return f;
}

void storeI32(std::uint8_t* p, std::int32_t v) {
    std::uint32_t u;
    std::memcpy(&u, &v, sizeof u);
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(u >> (8 * i));
}

void storeF32(std::uint8_t* p, float v) {
    std::int32_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    storeI32(p, bits);
}

}  // namespace lensdb
