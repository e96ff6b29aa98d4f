#pragma once
// The parameter record of the engine's command line, with its option parser and its printer.
#include <cstdint>
#include <ostream>
#include <string>

#include "unwrap/Image.h"
#include "unwrap/Sampler.h"

namespace unwrap {

// The largest output the command line accepts: the engine's image limit. A larger size would be
// refused only after minutes of work and gigabytes of memory.
inline constexpr std::uint64_t kMaxOutputPixels = kMaxImagePixels;

struct UnwrapParams {
    std::string inputImage;
    std::string outputImage;
    int outputWidth = 0;   // 0: the input's
    int outputHeight = 0;  // 0: the input's
    float inputFOV = 0.0f;
    float outputFOV = 0.0f;
    bool sizeGiven = false;
    int sampler = samplerCode(kDefaultSampler);
    int noOfThreads = 2;

    // Fills the record from the arguments; true when it is complete. "--help", a missing or malformed
    // option, or a value that cannot be used writes the reason and the option descriptions to the
    // standard error stream and gives false.
    bool parseCommandLineArguments(int argc, const char* const argv[]);

    // Whether the last parse was asked for the help text.
    bool helpRequested() const { return m_help; }

private:
    bool m_help = false;
};

std::ostream& operator<<(std::ostream& out, const UnwrapParams& params);

}  // namespace unwrap
