#pragma once
// Immutable, lazily evaluated images. An Image is a handle on a recipe node: building one (from a
// bitmap, by a transform, through a filter) computes nothing; only a Context renders pixels.
//
// Coordinates: origin bottom-left, y up, in doubles. Extents may be negative, fractional or
// infinite. Outside its extent an image is transparent black. Samples are premultiplied RGBA.
//
// A default-constructed Image is the null image: a real value that every filter accepts and passes
// on (a null input gives a null output), and that a Context refuses to render.
#include <memory>

#include "foundation/Bitmap.h"
#include "foundation/Geometry.h"

namespace qv::ci {

namespace detail {
class Node;
}

class Image {
public:
    Image() = default;  // the null image
    explicit Image(std::shared_ptr<const detail::Node> node) : m_node(std::move(node)) {}

    // An image holding the bitmap's pixels (copied, or taken when moved in). The bitmap's rows run
    // top-down; the image's extent is (0, 0, width, height) with row 0 at the top. An invalid
    // bitmap gives the null image.
    static Image fromBitmap(const Bitmap& bitmap);
    static Image fromBitmap(Bitmap&& bitmap);

    // The pixels of an image made by fromBitmap, in its storage format (premultiplied RGBA8, RGBA16
    // or RGBAf, rows top-down), shared rather than copied; null for any other image.
    std::shared_ptr<const Bitmap> pixels() const;

    bool isNull() const { return !m_node; }
    explicit operator bool() const { return !isNull(); }

    // The null rectangle for the null image.
    Rect extent() const;

    // The image moved by the transform: a point p of this image appears at transform.apply(p).
    // A transform that cannot be inverted gives the null image.
    Image imageByApplyingTransform(const AffineTransform& transform) const;
    // The part of the image inside rect; transparent elsewhere.
    Image imageByCroppingToRect(const Rect& rect) const;

    // Two handles on the same recipe.
    bool operator==(const Image& other) const { return m_node == other.m_node; }
    bool operator!=(const Image& other) const { return m_node != other.m_node; }

    const std::shared_ptr<const detail::Node>& node() const { return m_node; }

private:
    std::shared_ptr<const detail::Node> m_node;
};

}  // namespace qv::ci
