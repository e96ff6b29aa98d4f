#pragma once
// Rewrites of a JPEG file's marker segments that leave its compressed picture untouched.
#include <string>

#include "foundation/Value.h"

namespace qv::io::codec {

// The JPEG with its ICC profile replaced by `icc`: every APP2 "ICC_PROFILE" segment is dropped and
// the new profile is written in chunks after the leading APP0/APP1 segments; all other bytes are
// kept as they were. False when the bytes are not a well-formed JPEG up to its first scan or the
// profile is too large for the 255 chunks JPEG allows.
bool replaceJpegIccProfile(const Data& jpeg, const Data& icc, Data& out, std::string& error);

}  // namespace qv::io::codec
