#include "lens/DatFormat.h"

#include "foundation/BitCast.h"

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
    return qv::bitCast<std::int32_t>(u);
}

float loadF32(const std::uint8_t* p) {
    return qv::bitCast<float>(loadI32(p));
}

void storeI32(std::uint8_t* p, std::int32_t v) {
    const auto u = qv::bitCast<std::uint32_t>(v);
    for (int i = 0; i < 4; ++i) p[i] = std::uint8_t(u >> (8 * i));
}

void storeF32(std::uint8_t* p, float v) {
    storeI32(p, qv::bitCast<std::int32_t>(v));
}

}  // namespace lensdb
