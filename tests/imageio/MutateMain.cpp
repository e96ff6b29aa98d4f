// Longer mutation runs by hand: imageio_mutate [seed] [count]. Prints the inputs that gave an
// inconsistent answer and writes them beside the working folder for a closer look.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "Mutator.h"
#include "TestImages.h"

int main(int argc, char** argv) {
    const std::uint64_t seed = argc > 1 ? std::strtoull(argv[1], nullptr, 0) : 1;
    const long count = argc > 2 ? std::strtol(argv[2], nullptr, 0) : 10000;
    const auto seeds = qvtest::mutationSeeds();
    qvtest::Mutator mutator(seed);
    long failures = 0;
    for (long i = 0; i < count; ++i) {
        const auto& base = seeds[std::size_t(i) % seeds.size()];
        const qv::Data input = mutator.mutate(base.bytes);
        const std::string verdict = qvtest::exerciseReader(input);
        if (!verdict.empty()) {
            ++failures;
            const std::string name = "mutation-" + std::to_string(seed) + "-" + std::to_string(i) + "-" + base.name;
            qvtest::writeFile(name, input);
            std::printf("%s: %s\n", name.c_str(), verdict.c_str());
        }
    }
    std::printf("%ld inputs, %ld inconsistent\n", count, failures);
    return failures == 0 ? 0 : 1;
}
