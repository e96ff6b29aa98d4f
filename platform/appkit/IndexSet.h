#pragma once
// A sorted set of row indices, as tables report their selection and as a row drag archives it.
#include <cstddef>
#include <optional>
#include <set>

#include "foundation/Value.h"

namespace qv::ui {

class IndexSet {
public:
    IndexSet() = default;
    IndexSet(std::initializer_list<std::size_t> indices) : m_indices(indices) {}
    static IndexSet single(std::size_t index) { return IndexSet{index}; }

    void add(std::size_t index) { m_indices.insert(index); }
    void remove(std::size_t index) { m_indices.erase(index); }
    void clear() { m_indices.clear(); }
    bool contains(std::size_t index) const { return m_indices.count(index) != 0; }
    std::size_t count() const { return m_indices.size(); }
    bool empty() const { return m_indices.empty(); }
    std::optional<std::size_t> first() const;
    std::optional<std::size_t> last() const;
    auto begin() const { return m_indices.begin(); }
    auto end() const { return m_indices.end(); }
    bool operator==(const IndexSet& o) const { return m_indices == o.m_indices; }

    // The archived form a row drag puts on the pasteboard, and its reading; reading answers
    // nothing for data that is not such an archive.
    Data archived() const;
    static std::optional<IndexSet> unarchive(const Data& data);

private:
    std::set<std::size_t> m_indices;
};

}  // namespace qv::ui
