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

// The input and transform of an image that is an affine transform of another; and an affine
// transform node put over an image as it is, without the simplifications of affineTransformed, so
// that it maps every point as the node it was taken from does.
bool affineParts(const Image& image, Image& input, AffineTransform& transform);
Image affineNodeOver(const Image& image, const AffineTransform& transform);

// A scale about the origin into the given extent, reading the input's edge pixels in full up to
// its edges (a finite, non-empty input; null otherwise).
Image edgeScaled(const Image& image, double scaleX, double scaleY, const Rect& extent);

// A resample by (scaleX, scaleY) about the origin (Lanczos.cpp), into the scaled extent with its
// edges rounded to whole pixels. A mild scale (neither factor below kMildScale) is a geometric
// node, sampled with the rest of the chain; a stronger reduction is a Lanczos filtered,
// pixel-holding image.
constexpr double kMildScale = 0.5;
Image lanczosScaled(const Image& image, double scaleX, double scaleY);
// Always the separable Lanczos filter, whatever the factors.
Image lanczosFiltered(const Image& image, double scaleX, double scaleY);

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
