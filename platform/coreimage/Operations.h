#pragma once
// The image operations the filters are built from. Each takes images and parameters and returns a
// new lazy image; a null input image gives the null image unless said otherwise.
#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"
#include "foundation/Geometry.h"

namespace qv::ci::detail {

// Geometric operations (Warps.cpp): they map output positions back to their input.
Image affineTransformed(const Image& image, const AffineTransform& transform);
// The image's extent corners go to the four points; null for a degenerate or non-convex quad.
Image perspectiveTransformed(const Image& image, Point topLeft, Point topRight, Point bottomRight, Point bottomLeft);

// A Lanczos resample by (scaleX, scaleY) about the origin (Lanczos.cpp): a pixel-holding image.
Image lanczosScaled(const Image& image, double scaleX, double scaleY);

// Point operations (PointOps.cpp): they combine the colours of their inputs at each position.
struct ColorMatrix {
    float rows[4][4];  // output r, g, b, a = rows[k] . (r, g, b, a), not premultiplied
    float bias[4];
};
Image colorMatrixApplied(const Image& image, const ColorMatrix& matrix);
// Per-component maximum; a null operand gives the other operand.
Image maximumComposited(const Image& image, const Image& background);
Image sourceAtopComposited(const Image& image, const Image& background);
Image exposureAdjusted(const Image& image, double ev);
Image cropped(const Image& image, const Rect& rect);
// An infinite image: color0 within radius0 of center, color1 beyond radius1, smooth between.
Image radialGradient(Point center, double radius0, double radius1, Color color0, Color color1);

}  // namespace qv::ci::detail
