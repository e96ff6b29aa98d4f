#pragma once
// Pictures for the engine tests: images drawn from a function of the pixel position, rendered back
// into floats and read in the layer's coordinates (origin bottom-left, y up).
#include <array>
#include <functional>

#include "coreimage/CIContext.h"
#include "coreimage/CIImage.h"
#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace enginetest {

using Rgba = std::array<float, 4>;

// Points the kernel look-up at the source tree's resources folder.
void useBundleResources();

// A width x height opaque image whose pixel with centre (x + 0.5, y + 0.5) (y up) has colour(x, y).
qv::ci::Image drawImage(int width, int height, const std::function<Rgba(int x, int y)>& colour);
qv::ci::Image uniformImage(int width, int height, Rgba colour);

// A rendering of a rectangle of an image into premultiplied floats.
class Rendered {
public:
    Rendered(const qv::ci::Image& image, const qv::Rect& rect);
    bool isValid() const { return m_bitmap.isValid(); }
    int width() const { return m_bitmap.width; }
    int height() const { return m_bitmap.height; }
    // The pixel at (x, y) counted from the rectangle's bottom-left corner, y up.
    Rgba at(int x, int y) const;
    float channel(int x, int y, int c) const { return at(x, y)[c]; }

private:
    qv::Bitmap m_bitmap;
};

}  // namespace enginetest
