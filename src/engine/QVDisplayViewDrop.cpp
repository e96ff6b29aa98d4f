// Dropping a photo file on the view opens it through the controller's open step.
#include "appkit/Pasteboard.h"
#include "engine/QVDisplayView.h"
#include "foundation/Assert.h"

using qv::ui::DraggingInfo;
using qv::ui::DragOperation;

namespace {

// Stands in for the file name in the open-error alert when a drop carries no file names.
constexpr const char* kNoFileName = "Alert!";

}  // namespace

DragOperation QVDisplayView::dragOperationFor(const DraggingInfo& info, DragOperation answer) const {
    if (!mAllowsDragAndDrop) return qv::ui::kDragOperationNone;
    if (info.source == this) return qv::ui::kDragOperationEvery;
    if (info.sourceOperationMask & qv::ui::kDragOperationGeneric) return answer;
    return qv::ui::kDragOperationNone;
}

DragOperation QVDisplayView::draggingEntered(const DraggingInfo& info) {
    return dragOperationFor(info, qv::ui::kDragOperationGeneric);
}

DragOperation QVDisplayView::draggingUpdated(const DraggingInfo& info) {
    return dragOperationFor(info, qv::ui::kDragOperationCopy);
}

void QVDisplayView::draggingEnded(const DraggingInfo&) {}

bool QVDisplayView::prepareForDragOperation(const DraggingInfo&) {
    return true;
}

bool QVDisplayView::performDragOperation(const DraggingInfo& info) {
    if (!mAllowsDragAndDrop || isBatchProcessInProgress()) return false;
    if (!m_pDisplayController || !m_pDisplayController->canDragImage()) return false;
    const std::shared_ptr<qv::ui::Pasteboard>& pasteboard = info.pasteboard;
    // The view registers for file names alone, so that is the only type a drop can bring; any
    // other type reaching here is a fault, reported and refused in every build.
    const std::optional<std::string> type =
        pasteboard ? pasteboard->availableTypeFromArray(registeredDraggedTypes()) : std::nullopt;
    if (type && *type != qv::ui::kFilenamesPboardType) {
        QVAssert(false, "This can't happen");
        return false;
    }
    // No entry, an entry that is not a list of paths, or an empty list: nothing to open.
    const std::optional<std::vector<std::string>> names = type ? pasteboard->filenames() : std::nullopt;
    if (!names || names->empty()) {
        m_pDisplayController->showErrorDialog(kNoFileName);
        return false;
    }
    // Only the first file of a drop is opened.
    m_pDisplayController->openImage(names->front());
    return true;
}

void QVDisplayView::concludeDragOperation(const DraggingInfo&) {
    setNeedsDisplay();
}
