#pragma once
// The unwrap of a photo at full resolution, in memory: what a save writes when the preview shows
// an unwrap result. The photo is read as the image reader reads it (any format it knows),
// unwrapped as stored with the same settings as the preview's working copy (sizes of 0 meaning
// the photo's own size) and then turned upright by its orientation, as the preview shows it.
#include <string>

#include "coreimage/CIImage.h"
#include "shell/unwrap/UnwrapRequest.h"

namespace shell {

// The unwrapped photo as an image in the photo's depth (8 or 16 bits); the null image, with the
// reason on the standard error stream, when the photo cannot be read or the settings refused.
qv::ci::Image unwrapPhoto(const std::string& path, const UnwrapSettings& settings, unsigned long threads);

}  // namespace shell
