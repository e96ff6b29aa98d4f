#include "lens/OwnedLensDrag.h"

namespace ownedlens {

using namespace qv::ui;

bool writeRows(const IndexSet& rows, Pasteboard& pasteboard, const void* owner) {
    if (rows.empty()) return false;
    pasteboard.declareTypes({kTableViewDataType}, owner);
    return pasteboard.setData(rows.archived(), kTableViewDataType);
}

namespace {

std::optional<IndexSet> ourRows(const TableView& table, const DraggingInfo& info) {
    if (info.source != &table || !info.pasteboard) return std::nullopt;
    auto data = info.pasteboard->dataForType(kTableViewDataType);
    if (!data) return std::nullopt;
    return IndexSet::unarchive(*data);
}

}  // namespace

DragOperation validateDrop(TableView& table, const DraggingInfo& info, int row) {
    auto rows = ourRows(table, info);
    if (!rows || rows->empty()) return kDragOperationNone;
    const int count = table.numberOfRows();
    table.setDropRow(row < 0 ? 0 : row > count ? count : row, DropPosition::Above);
    return kDragOperationMove;
}

std::optional<std::size_t> draggedRow(const TableView& table, const DraggingInfo& info, std::size_t count) {
    auto rows = ourRows(table, info);
    if (!rows) return std::nullopt;
    auto first = rows->first();
    if (!first || *first >= count) return std::nullopt;
    return first;
}

std::size_t moveDestination(std::size_t from, std::size_t to) { return from < to ? to - 1 : to; }

}  // namespace ownedlens
