#include "unwrap/Unwrap.h"

#include <cmath>
#include <exception>
#include <iostream>
#include <new>
#include <typeinfo>

namespace unwrap {

std::string requestError(float inputFOV, float outputFOV, int samplerType) {
    if (!(std::isfinite(inputFOV) && inputFOV > 0.0f)) return "the input field of view must be above 0 degrees";
    if (!(std::isfinite(outputFOV) && outputFOV > 0.0f && outputFOV < 180.0f))
        return "the output field of view must lie between 0 and 180 degrees";
    if (samplerType < 0 || samplerType >= kSamplerTypeCount) return "the sampler type is not valid";
    return std::string();
}

int unwrapImage(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV,
                int samplerType, unsigned long threads) noexcept {
    try {
        std::string refusal = requestError(inputFOV, outputFOV, samplerType);
        if (refusal.empty() && (src.width() == 0 || src.height() == 0)) refusal = "the input image is empty";
        if (!refusal.empty()) {
            std::cerr << "Unwrap: " << refusal << std::endl;
            return -1;
        }
        unwrap(src, dst, inputFOV, outputFOV, samplerType, threads);
        return 0;
    } catch (const std::bad_cast&) {  // raised by the band tasks
        std::cerr << "Unwrap: the output image's pixel type differs from the input's" << std::endl;
    } catch (const std::bad_alloc&) {
        std::cerr << "Unwrap: not enough memory" << std::endl;
    } catch (const std::exception& e) {
        std::cerr << "Unwrap: " << e.what() << std::endl;
    } catch (...) {
        std::cerr << "Unwrap: unknown failure" << std::endl;
    }
    return -1;
}

}  // namespace unwrap
