#pragma once
// One request of the fisheye command, taken whole from the controls on the main thread, and the
// rules that refuse one that cannot run.
#include <cstdint>
#include <string>

#include "foundation/Value.h"

namespace shell {

// What an unwrap is asked to do, as the four fields and the sampler pop-up hold it.
struct UnwrapSettings {
    float width = 0;      // output size in pixels; 0 (either) means the input's size
    float height = 0;
    float inputFOV = 0;   // degrees; the engine takes them truncated to whole degrees
    float outputFOV = 0;
    int sampler = 3;      // SamplerType code

    int wholeInputFOV() const { return int(inputFOV); }
    int wholeOutputFOV() const { return int(outputFOV); }
};

// A fisheye sees at most the whole circle around it.
inline constexpr float kLargestInputFOV = 360;

// The message that refuses the settings, or an empty string when they can run: sizes finite and 0
// or at least one pixel, no larger together than the image layer's pixel limit, the input field
// of view above 0 and at most 360 and the output one within 1 to 179 once truncated to whole
// degrees, a sampler code of the table.
std::string unwrapRefusal(const UnwrapSettings& settings);

// The working file's type for the engine's output: the upper-cased extension, "TIF" for both
// "TIF" and "TIFF" (type 1), any other extension as it is (type 0, JPEG).
struct UnwrapFileType {
    std::string extension;
    int type = 0;
};
UnwrapFileType unwrapFileTypeOf(const std::string& workingFile);

struct UnwrapRequest {
    UnwrapSettings settings;
    std::string input;         // the working file
    std::string output;        // "_QuorvelCI_twrite.EXT" in the support folder
    std::string readCopy;      // "_QuorvelCI_tread.EXT" there, removed after a success
    std::string profile;       // the support folder's "Profile"
    int type = 0;              // 0 JPEG, 1 TIFF: how the result is rewritten with the metadata
    qv::Value metadata;        // a copy of the preview's, taken when the request was made
    unsigned long threads = 4; // the engine's threads
    std::uint64_t photo = 0;   // the opened photo it belongs to
    std::uint64_t number = 0;  // counts the requests made
};

// The request for a working file with the support folder's paths filled in.
UnwrapRequest makeUnwrapRequest(const UnwrapSettings& settings, const std::string& workingFile);

}  // namespace shell
