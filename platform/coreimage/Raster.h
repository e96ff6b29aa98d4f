#pragma once
// Pixel-holding images: a decoded bitmap, or the materialised output of a resample. Pixels are kept
// premultiplied in one of three storage formats (RGBA8, RGBA16, RGBAf), rows top-down, and are
// read by bilinear interpolation at pixel centres; outside the pixels an image is transparent.
#include <memory>

#include "coreimage/Node.h"
#include "foundation/Bitmap.h"

namespace qv::ci::detail {

// The bitmap in a storage format: RGBA8, RGBA16 or RGBAf, premultiplied. 8-bit formats become
// RGBA8, 16-bit formats RGBA16, float stays float. An invalid bitmap stays invalid.
Bitmap toStorageFormat(Bitmap bitmap);
bool isStorageFormat(const Bitmap& bitmap);

class RasterNode : public Node {
public:
    // bitmap in a storage format; (originX, originY) is where its bottom-left corner lies.
    RasterNode(std::shared_ptr<const Bitmap> bitmap, double originX, double originY);

    const std::shared_ptr<const Bitmap>& bitmap() const { return m_bitmap; }
    double originX() const { return m_originX; }
    double originY() const { return m_originY; }

    Rect regionOfInterest(std::size_t, const Rect&, const Prepared*) const override { return Rect::null(); }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect& roi, std::unique_ptr<Prepared> prepared,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink& sink) const override;

private:
    std::shared_ptr<const Bitmap> m_bitmap;
    double m_originX, m_originY;
};

// Bilinear reads of a bitmap in storage format, limited to the pixels inside roi (which the render
// planned for; anything else reads as transparent). Counts the rows it may touch.
std::unique_ptr<Evaluator> makeRasterEvaluator(std::shared_ptr<const Bitmap> bitmap, double originX, double originY,
                                               const Rect& roi, const RenderStatisticsSink& sink);

}  // namespace qv::ci::detail
