#pragma once
// Rewrites of a PNG file's chunks that leave its picture data untouched.
#include <string>

#include "foundation/Value.h"

namespace qv::io::codec {

// The PNG with its colour profile replaced by `icc`: any iCCP, sRGB or gAMA chunk (the last two
// would contradict the profile) is dropped and a new iCCP chunk follows the header. False when the
// bytes are not a well-formed PNG up to its end chunk.
bool replacePngIccProfile(const Data& png, const Data& icc, Data& out, std::string& error);

}  // namespace qv::io::codec
