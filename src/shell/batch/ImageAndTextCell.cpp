#include "shell/batch/ImageAndTextCell.h"

#include <cmath>

std::shared_ptr<ImageAndTextCell> ImageAndTextCell::copy() const {
    auto made = std::make_shared<ImageAndTextCell>();
    made->setTitle(title());
    made->setTag(tag());
    made->setEnabled(isEnabled());
    made->setTransparent(isTransparent());
    made->setObjectValue(objectValue());
    made->m_image = m_image;
    return made;
}

void ImageAndTextCell::setImage(std::shared_ptr<qv::ui::Image> image) {
    if (image != m_image) m_image = std::move(image);
}

qv::Rect ImageAndTextCell::imageFrameForCellFrame(const qv::Rect& frame) const {
    if (!m_image) return qv::Rect();
    const qv::Size size = m_image->size();
    return qv::Rect(frame.minX() + kImageInset, frame.minY() + std::ceil((frame.height() - size.height) / 2),
                    size.width, size.height);
}

qv::Rect ImageAndTextCell::textFrameForCellFrame(const qv::Rect& frame) const {
    if (!m_image) return frame;
    const double strip = m_image->size().width + kImageInset;
    return frame.divide(strip, qv::RectEdge::MinX).second;
}

qv::Size ImageAndTextCell::cellSize(const qv::Size& textSize) const {
    const double widen = (m_image ? m_image->size().width : 0) + kImageInset;
    return qv::Size{textSize.width + widen, textSize.height};
}

bool ImageAndTextCell::drawWithFrame(qv::ui::Canvas& canvas, const qv::Rect& frame,
                                     const qv::ui::Color* background) const {
    if (!m_image) return false;
    if (background) {
        canvas.setFillColor(*background);
        canvas.fillRect(frame.divide(m_image->size().width + kImageInset, qv::RectEdge::MinX).first);
    }
    return m_image->compositeToPoint(canvas, imageFrameForCellFrame(frame).origin);
}
