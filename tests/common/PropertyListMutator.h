#pragma once
// Damages the XML text of a property list the ways a failing disk, an interrupted write or a careless
// hand edit would: bytes changed (NUL among them), runs cut out or repeated, the file cut short,
// tags of one type swapped for another, markup dropped in. Deterministic for a seed.
#include <cstdint>
#include <random>
#include <string>

namespace qvtest {

class PropertyListMutator {
public:
    explicit PropertyListMutator(std::uint32_t seed) : m_random(seed) {}
    std::string mutate(const std::string& xml);

private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::size_t(m_random() % n); }
    std::mt19937 m_random;
};

}  // namespace qvtest
