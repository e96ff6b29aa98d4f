#pragma once
// The focal range of a photo's lens as the metadata tool prints it for "-lensinfo". Two forms are
// read: rational fields ("Lens Info  ...: 18/1 55/1 35/10 56/10") and the tool's newer readable
// form ("Lens Info  ...: 18-55mm f/3.5-5.6", or "50mm f/1.8" for a prime lens).
#include <string>

namespace shell {

struct FocalRange {
    float minimum = 0;
    float maximum = 0;
};

// The range from the tool's output; {0, 0} for anything else: a text that does not begin with
// "Lens Info", one too short to hold a value, a field of more than nine characters, a zero
// denominator or a value that is not a number.
FocalRange parseLensInfo(const std::string& text);

}  // namespace shell
