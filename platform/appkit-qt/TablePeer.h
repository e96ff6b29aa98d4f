#pragma once
#include <memory>

#include "appkit-qt/ViewPeer.h"
#include "appkit/TableView.h"

namespace qv::qt {

// A table's peer: its columns and the data source's rows, asked again when the table reloads;
// the selection both ways; editable columns typed into as the table's user edit.
std::unique_ptr<ViewPeer> makeTablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent);

}  // namespace qv::qt
