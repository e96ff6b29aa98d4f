#include "shell/unwrap/UnwrapRequest.h"

#include <cctype>
#include <cmath>

#include "foundation/Paths.h"
#include "unwrap/Image.h"
#include "unwrap/UnwrapParams.h"

namespace shell {

namespace {

std::string sizeRefusal(float size, const char* which) {
    const std::string name = which;
    if (std::isnan(size) || std::isinf(size)) return "Unwrap:Output image " + name + " is not a number";
    if (size < 0) return "Unwrap:Output image " + name + " cannot be negetive";
    if (size > 0 && size < 1) return "Unwrap:Output image " + name + " must be 0 or at least one pixel";
    return std::string();
}

}  // namespace

std::string unwrapRefusal(const UnwrapSettings& s) {
    if (std::string why = sizeRefusal(s.width, "width"); !why.empty()) return why;
    if (std::string why = sizeRefusal(s.height, "height"); !why.empty()) return why;
    // A size of 0 takes the input's, which was read within the limit. A larger picture would
    // cost minutes and gigabytes before the view refuses to load it.
    if (s.width > 0 && s.height > 0 && double(s.width) * double(s.height) > double(unwrap::kMaxOutputPixels))
        return "Unwrap:Output image of " + std::to_string(std::uint64_t(s.width)) + " x " +
               std::to_string(std::uint64_t(s.height)) + " pixels is above the limit of " +
               std::to_string(unwrap::kMaxOutputPixels) + " pixels";
    if (s.sampler < 0 || s.sampler >= unwrap::kSamplerTypeCount) return "Unwrap:Samplertype is not valid";
    if (!std::isfinite(s.inputFOV)) return "Unwrap: Input FOV is not a number";
    if (s.inputFOV < 0) return "Unwrap: Input FOV cannot be negative";
    // Checked before the angle is taken in whole degrees, which a number this large would not fit.
    if (s.inputFOV > kLargestInputFOV) return "Unwrap: Input FOV cannot be more than 360 degrees";
    if (s.wholeInputFOV() <= 0) return "Unwrap: Input FOV must be at least 1 degree";
    if (!std::isfinite(s.outputFOV) || s.outputFOV < 1 || s.outputFOV >= 180)
        return "Unwrap: Output FOV must lie between 1 and 179 degrees";
    return std::string();
}

UnwrapFileType unwrapFileTypeOf(const std::string& workingFile) {
    UnwrapFileType result;
    for (char ch : qv::paths::pathExtension(workingFile))
        result.extension += char(std::toupper(static_cast<unsigned char>(ch)));
    if (result.extension == "TIF" || result.extension == "TIFF") {
        result.extension = "TIF";
        result.type = 1;
    }
    return result;
}

UnwrapRequest makeUnwrapRequest(const UnwrapSettings& settings, const std::string& workingFile) {
    UnwrapRequest request;
    request.settings = settings;
    request.input = workingFile;
    const UnwrapFileType fileType = unwrapFileTypeOf(workingFile);
    const std::string folder = qv::paths::supportFolder();
    request.output = folder + "_QuorvelCI_twrite." + fileType.extension;
    request.readCopy = folder + "_QuorvelCI_tread." + fileType.extension;
    request.profile = folder + "Profile";
    request.type = fileType.type;
    return request;
}

}  // namespace shell
