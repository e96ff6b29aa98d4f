#pragma once
// What the saves need of the photo as the user chose it, taken when it opens: the working copy the
// view shows is the photo redrawn, and its colour space may not be the photo's.
#include "imageio/ColorSpace.h"

struct ChosenPhoto {
    // The photo's own colour space; the saved pixels are its samples, unconverted, so every output
    // that can carry a profile carries this one.
    qv::io::ColorSpace colorSpace = qv::io::ColorSpace::deviceRGB();
};
