#include "appkit/Dragging.h"

#include <algorithm>

#include "appkit/View.h"
#include "appkit/Window.h"

namespace qv::ui {
namespace {

bool acceptsPasteboard(const View& view, const Pasteboard* pasteboard) {
    if (!pasteboard || view.registeredDraggedTypes().empty()) return false;
    return pasteboard->availableTypeFromArray(view.registeredDraggedTypes()).has_value();
}

}  // namespace

DropOutcome dropOnView(View& view, DraggingInfo info) {
    DropOutcome outcome;
    if (!acceptsPasteboard(view, info.pasteboard.get())) return outcome;
    if (!info.destinationWindow) info.destinationWindow = view.window();
    auto keep = view.shared_from_this();  // a destination may drop its own last reference
    outcome.delivered = true;
    outcome.entered = view.draggingEntered(info);
    outcome.updated = view.draggingUpdated(info);
    if (outcome.updated == kDragOperationNone) {
        view.draggingExited(info);
        outcome.exited = true;
    } else {
        outcome.prepared = view.prepareForDragOperation(info);
        if (outcome.prepared) outcome.performed = view.performDragOperation(info);
        if (outcome.performed) {
            view.concludeDragOperation(info);
            outcome.concluded = true;
        }
    }
    view.draggingEnded(info);
    return outcome;
}

DropOutcome dropOnWindow(Window& window, Point locationInWindow, DraggingInfo info) {
    if (!window.contentView()) return {};
    View* view = window.contentView()->hitTest(locationInWindow);
    while (view && !acceptsPasteboard(*view, info.pasteboard.get())) view = view->superview();
    if (!view) return {};
    info.locationInWindow = locationInWindow;
    info.destinationWindow = &window;
    return dropOnView(*view, info);
}

}  // namespace qv::ui
