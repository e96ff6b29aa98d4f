#pragma once
// What the fisheye command's worker does with one request, off the main thread and touching no
// control: the engine on the working file, the photo's colour profile embedded in the result, and
// the preview's metadata written back into it.
#include <string>

#include "foundation/Value.h"
#include "shell/unwrap/UnwrapRequest.h"

namespace shell {

// Runs the request. unwrapped tells whether the engine wrote the output, rewritten whether the
// metadata was then put on it.
void unwrap(const UnwrapRequest& request, bool& unwrapped, bool& rewritten);

// Rewrites the JPEG (type 0, and any other value) or TIFF (type 1) file at path in place with the
// properties, keeping its pixels and colour profile. False, with a line on the standard error
// stream, when the file could not be read or written.
bool addImageProperties(const qv::Value& properties, const std::string& path, int type);

}  // namespace shell
