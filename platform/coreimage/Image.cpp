#include "coreimage/CIImage.h"

#include "coreimage/Node.h"
#include "coreimage/Operations.h"
#include "coreimage/Raster.h"

namespace qv::ci {

Image Image::fromBitmap(const Bitmap& bitmap) {
    if (!bitmap.isValid()) return Image();
    return fromBitmap(Bitmap(bitmap));
}

Image Image::fromBitmap(Bitmap&& bitmap) {
    if (!bitmap.isValid()) return Image();
    Bitmap stored = detail::toStorageFormat(std::move(bitmap));
    if (!stored.isValid()) return Image();
    return Image(std::make_shared<detail::RasterNode>(std::make_shared<const Bitmap>(std::move(stored)), 0.0, 0.0));
}

std::shared_ptr<const Bitmap> Image::pixels() const {
    const auto* raster = dynamic_cast<const detail::RasterNode*>(m_node.get());
    if (!raster || raster->originX() != 0 || raster->originY() != 0) return nullptr;
    return raster->bitmap();
}

Rect Image::extent() const { return m_node ? m_node->extent() : Rect::null(); }

Image Image::imageByApplyingTransform(const AffineTransform& transform) const {
    return detail::affineTransformed(*this, transform);
}

Image Image::imageByCroppingToRect(const Rect& rect) const { return detail::cropped(*this, rect); }

}  // namespace qv::ci
