#pragma once
// The source list's cell: a file's icon and then its name. The icon sits 3 points from the left
// edge, centred vertically; the text takes the rest of the frame.
#include <memory>

#include "appkit/Canvas.h"
#include "appkit/Color.h"
#include "appkit/Image.h"
#include "appkit/Matrix.h"
#include "foundation/Geometry.h"

class ImageAndTextCell : public qv::ui::Cell {
public:
    static constexpr double kImageInset = 3;

    ImageAndTextCell() = default;
    // A copy shares the image.
    std::shared_ptr<ImageAndTextCell> copy() const;

    const std::shared_ptr<qv::ui::Image>& image() const { return m_image; }
    void setImage(std::shared_ptr<qv::ui::Image> image);

    // The icon's frame in a cell frame: (x + 3, y + ceil((h - image height) / 2), image size);
    // empty without an image.
    qv::Rect imageFrameForCellFrame(const qv::Rect& frame) const;
    // The part of the frame the text is edited, selected and drawn in: what is right of the icon.
    qv::Rect textFrameForCellFrame(const qv::Rect& frame) const;
    // The text cell's size widened by the icon's width and the inset.
    qv::Size cellSize(const qv::Size& textSize) const;

    // Draws the icon source over at its frame, after filling the strip left of the text with the
    // background colour when one is given (the text is drawn in textFrameForCellFrame). False
    // without an image.
    bool drawWithFrame(qv::ui::Canvas& canvas, const qv::Rect& frame, const qv::ui::Color* background) const;

private:
    std::shared_ptr<qv::ui::Image> m_image;
};
