#include "appkit/IndexSet.h"

#include <cstring>
#include <string>

namespace qv::ui {
namespace {
// A tag, then each index as eight little-endian bytes. The tag keeps foreign data from reading
// as a row set.
constexpr char kTag[] = "QVIndexSet1";
constexpr std::size_t kTagSize = sizeof(kTag) - 1;
}  // namespace

std::optional<std::size_t> IndexSet::first() const {
    if (m_indices.empty()) return std::nullopt;
    return *m_indices.begin();
}

std::optional<std::size_t> IndexSet::last() const {
    if (m_indices.empty()) return std::nullopt;
    return *m_indices.rbegin();
}

Data IndexSet::archived() const {
    Data data(kTag, kTag + kTagSize);
    for (std::size_t index : m_indices) {
        std::uint64_t v = index;
        for (int byte = 0; byte < 8; ++byte) data.push_back(std::uint8_t(v >> (8 * byte)));
    }
    return data;
}

std::optional<IndexSet> IndexSet::unarchive(const Data& data) {
    if (data.size() < kTagSize || std::memcmp(data.data(), kTag, kTagSize) != 0) return std::nullopt;
    if ((data.size() - kTagSize) % 8 != 0) return std::nullopt;
    IndexSet set;
    for (std::size_t at = kTagSize; at < data.size(); at += 8) {
        std::uint64_t v = 0;
        for (int byte = 0; byte < 8; ++byte) v |= std::uint64_t(data[at + byte]) << (8 * byte);
        set.add(std::size_t(v));
    }
    return set;
}

}  // namespace qv::ui
