#pragma once
// EXIF orientation (1-8): how the stored pixels must be turned to stand upright.
#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace qv::io {

// The transform that turns a W x H image stored with the given orientation upright, in the
// y-up coordinates of the Core Image layer (origin bottom-left). 1 and every value outside 2-8
// (0 for "none", 9, negative numbers) give the identity.
AffineTransform orientationTransform(long orientation, double width, double height);

// Whether the orientation swaps width and height (5 to 8).
bool orientationSwapsAxes(long orientation);

// The bitmap turned upright: the same pixel format, width and height swapped for 5 to 8. Rows
// stay top-down. Values outside 2-8 give an unchanged copy.
Bitmap applyOrientation(const Bitmap& stored, long orientation);

}  // namespace qv::io
