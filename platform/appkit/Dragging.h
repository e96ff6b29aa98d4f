#pragma once
// Drag and drop: the operations a drag offers and a destination answers with, what a destination
// learns about a drag, and the sequence of destination calls that a drop runs.
#include <climits>
#include <memory>
#include <optional>

#include "appkit/Pasteboard.h"
#include "foundation/Geometry.h"

namespace qv::ui {

class View;
class Window;

using DragOperation = unsigned;
inline constexpr DragOperation kDragOperationNone = 0;
inline constexpr DragOperation kDragOperationCopy = 1;
inline constexpr DragOperation kDragOperationLink = 2;
inline constexpr DragOperation kDragOperationGeneric = 4;
inline constexpr DragOperation kDragOperationPrivate = 8;
inline constexpr DragOperation kDragOperationMove = 16;
inline constexpr DragOperation kDragOperationDelete = 32;
inline constexpr DragOperation kDragOperationEvery = UINT_MAX;

struct DraggingInfo {
    std::shared_ptr<Pasteboard> pasteboard;
    DragOperation sourceOperationMask = kDragOperationEvery;
    const void* source = nullptr;  // the object the drag started from, or null for another program
    Point locationInWindow{};
    Window* destinationWindow = nullptr;
};

// What the destination answered at each step of one drop.
struct DropOutcome {
    bool delivered = false;  // the destination was registered for a type on the pasteboard
    DragOperation entered = kDragOperationNone;
    DragOperation updated = kDragOperationNone;
    bool exited = false;    // the destination refused and the drag left it
    bool prepared = false;  // prepareForDragOperation answered yes
    bool performed = false;  // performDragOperation answered yes
    bool concluded = false;
};

// Runs one drag onto a view and its release there, as the platform does: draggingEntered, then
// draggingUpdated; a refused drag (no operation) gets draggingExited; an accepted one
// prepareForDragOperation, performDragOperation and, when both said yes, concludeDragOperation.
// draggingEnded closes every drag. A view registered for none of the pasteboard's types is not
// called at all.
DropOutcome dropOnView(View& view, DraggingInfo info);

// The same at a point of a window: the destination is the deepest view under the point that is
// registered for a type on the pasteboard.
DropOutcome dropOnWindow(Window& window, Point locationInWindow, DraggingInfo info);

}  // namespace qv::ui
