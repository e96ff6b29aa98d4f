#pragma once
// The peer of a view that draws itself (the preview, a window's content view): it shows the view's
// part of the window's canvas, sends the mouse to the window as the layer's events, and takes file
// drops from the desktop for the view registered for file names under the pointer.
#include <memory>

#include "appkit-qt/ViewPeer.h"
#include "appkit/Dragging.h"

class QMimeData;

namespace qv::qt {

class CanvasPeer : public ViewPeer {
public:
    CanvasPeer(const std::shared_ptr<ui::View>& view, QWidget* parent);
    void canvasChanged() override;

    // What a drop of this data at a point of the widget gives the window layer: the drag's
    // pasteboard with the local files' names, or none when it carries no local file.
    static std::optional<ui::DraggingInfo> draggingInfo(const QMimeData& data);
    // The window point under a point of this peer's widget.
    Point windowPoint(const QPointF& local) const;
};

}  // namespace qv::qt
