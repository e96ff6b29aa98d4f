#pragma once
// The Responder's policies with a person at the screen: alerts as message boxes, open and save
// panels as file dialogs. Each runs inside the main run loop (tasks and timers go on meanwhile)
// until the person answers. A scripted answer, when one is queued, still comes first: the
// Responder asks a policy only for what its queue does not cover.
#include <functional>

#include "appkit/Responder.h"

namespace qv::qt {

class ViewPeer;

// Sync hooks for the peers a dialog shows (a save panel's accessory) while it is up.
struct DialogPeers {
    std::function<void(ViewPeer*)> add;
    std::function<void(ViewPeer*)> remove;
};

ui::AlertAnswer askWithMessageBox(const ui::AlertRequest& request);
ui::PanelAnswer askWithFileDialog(const ui::PanelRequest& request, const DialogPeers& peers);

}  // namespace qv::qt
