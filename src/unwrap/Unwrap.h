#pragma once
// The unwrap engine's C++ entries: remap a fisheye image held in memory into a perspective image.
#include "unwrap/Image.h"

#include <string>

namespace unwrap {

// Fills the whole of dst with the perspective view (horizontal field of view outputFOV degrees,
// centred on the optical axis) of the equidistant fisheye src (horizontal field of view inputFOV).
// Runs on `threads` workers, or on the calling thread for 0. Throws on failure: std::bad_cast when the
// two views differ in pixel type, std::invalid_argument for an empty source, std::bad_alloc, and
// whatever a band raised. The views' images must outlive the call and must not overlap.
void unwrap(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV, int samplerType,
            unsigned long threads);

// Why such a request cannot run (empty when it can): an input field of view that is not above 0, an
// output field of view outside (0, 180), an unknown sampler type.
std::string requestError(float inputFOV, float outputFOV, int samplerType);

// unwrap() behind the checks of requestError and of the images (non-empty, same pixel type): 0 on
// success, -1 when refused or failed, with the reason on the standard error stream. Never throws.
int unwrapImage(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV,
                int samplerType, unsigned long threads) noexcept;

}  // namespace unwrap
