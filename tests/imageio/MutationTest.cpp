// The readers over a few thousand mutated files of every format, with a fixed seed so that any
// failure comes back the same way. The sanitizer build is where this test earns its keep; each
// format's run is bounded in inputs and in time.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

#include "Mutator.h"
#include "common/MutationRun.h"
#include "common/TempDir.h"

namespace {

constexpr int kMutationsPerSeed = 250;
constexpr int kEmbedEvery = 10;  // one input in ten also goes through the profile embedding

class Mutation : public testing::TestWithParam<std::string> {};

}  // namespace

TEST_P(Mutation, ReadersStayConsistentOnDamagedInput) {
    const std::string& name = GetParam();
    const qv::Data seed = qvtest::makeMutationSeed(name);
    ASSERT_FALSE(seed.empty());
    qvtest::TempDir scratch;
    const auto& names = qvtest::mutationSeedNames();
    const auto index = std::uint64_t(std::find(names.begin(), names.end(), name) - names.begin());
    qvtest::Mutator mutator(0x5EED0000u + index);
    EXPECT_EQ(qvtest::exerciseReader(seed, scratch.path()), "") << name << " itself";
    for (qvtest::MutationRun run("mutated " + name, kMutationsPerSeed); run.next();) {
        const int i = run.index();
        const qv::Data input = mutator.mutate(seed);
        const std::string verdict = qvtest::exerciseReader(input, i % kEmbedEvery == 0 ? scratch.path() : "");
        EXPECT_EQ(verdict, "") << name << " mutation " << i;
    }
}

INSTANTIATE_TEST_SUITE_P(EverySeed, Mutation, testing::ValuesIn(qvtest::mutationSeedNames()),
                         [](const testing::TestParamInfo<std::string>& info) {
                             std::string name = info.param;
                             for (char& c : name)
                                 if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
                             return name;
                         });
