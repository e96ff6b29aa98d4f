#pragma once
// Reading the fields of a user lens database record for display: the label keys of its lens type
// and radial shift mode codes, and the text a field shows.
#include <cstdint>
#include <string>

#include "foundation/Value.h"

namespace shell {

// "kRectilinear" for 0 and every unknown code; "kScanningCamera" 1, "kCircularFisheye" 2,
// "kFullFrameFisheye" 3, "kEquirectangular" 4, "kOrthographic" 8.
std::string lensTypeLabelKey(std::int64_t code);
// "kRadial" for 0 and every unknown code; "kVertical" 0x1000000, "kHorizontal" 0x2000000.
std::string radialShiftModeLabelKey(std::int64_t code);

// A field that may hold a string or a number: a string as it stands, a number as its shortest
// text, `missing` when the key is absent or holds something else.
std::string fieldText(const qv::Value& value, const std::string& missing);

}  // namespace shell
