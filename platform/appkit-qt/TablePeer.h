#pragma once
#include <functional>
#include <memory>

#include "appkit-qt/ViewPeer.h"
#include "appkit/TableView.h"

class QDrag;

namespace qv::qt {

// A table's peer: its columns and the data source's rows, asked again when the table reloads;
// the selection both ways; editable columns typed into as the table's user edit.
std::unique_ptr<ViewPeer> makeTablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent);

// How a drag of rows that a table started is carried to its end: by default the window system's
// drag loop, which sends the drag's events to the widgets under the pointer. On a platform without
// one (Qt's offscreen platform) a test plays its part. An empty loop restores the default.
using RowDragLoop = std::function<void(QDrag& drag)>;
void setRowDragLoop(RowDragLoop loop);

}  // namespace qv::qt
