#pragma once
// Mutation testing of the readers: small valid files of every format, a deterministic mutator,
// and one routine that runs the layer over an input and reports anything inconsistent.
#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "foundation/Value.h"

namespace qvtest {

struct SeedFile {
    std::string name;
    qv::Data bytes;
};

// Small files of every format the layer reads, with metadata and profiles where they fit.
std::vector<SeedFile> mutationSeeds();

class Mutator {
public:
    explicit Mutator(std::uint64_t seed) : m_random(seed) {}
    // A copy of input with one to four random mutations: bit flips, interesting numbers written
    // over header fields, truncation, removed, repeated or inserted ranges.
    qv::Data mutate(const qv::Data& input);

private:
    std::size_t below(std::size_t n) { return n == 0 ? 0 : std::size_t(m_random() % n); }
    std::mt19937_64 m_random;
};

// Runs the reader over the input: header, properties, decoding (with and without orientation).
// With a scratch folder, also embeds a profile into the input written there and checks that the
// file is either left untouched or rewritten readable. Answers "" when everything was consistent,
// else what was not. Crashes and sanitizer reports are the caller's other verdict.
std::string exerciseReader(const qv::Data& input, const std::string& scratchFolder = "");

}  // namespace qvtest
