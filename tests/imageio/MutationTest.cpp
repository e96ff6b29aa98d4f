// The readers over a few thousand mutated files of every format, with a fixed seed so that any
// failure comes back the same way. The sanitizer build is where this test earns its keep.
#include <gtest/gtest.h>

#include "Mutator.h"
#include "common/TempDir.h"

namespace {

constexpr int kMutationsPerSeed = 250;
constexpr int kEmbedEvery = 10;  // one input in ten also goes through the profile embedding

class Mutation : public testing::TestWithParam<int> {};

}  // namespace

TEST_P(Mutation, ReadersStayConsistentOnDamagedInput) {
    static const auto seeds = qvtest::mutationSeeds();
    const auto& seed = seeds.at(std::size_t(GetParam()));
    qvtest::TempDir scratch;
    qvtest::Mutator mutator(0x5EED0000u + std::uint64_t(GetParam()));
    EXPECT_EQ(qvtest::exerciseReader(seed.bytes, scratch.path()), "") << seed.name << " itself";
    for (int i = 0; i < kMutationsPerSeed; ++i) {
        const qv::Data input = mutator.mutate(seed.bytes);
        const std::string verdict = qvtest::exerciseReader(input, i % kEmbedEvery == 0 ? scratch.path() : "");
        EXPECT_EQ(verdict, "") << seed.name << " mutation " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(EverySeed, Mutation, testing::Range(0, int(qvtest::mutationSeeds().size())),
                         [](const testing::TestParamInfo<int>& info) {
                             std::string name = qvtest::mutationSeeds().at(std::size_t(info.param)).name;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
