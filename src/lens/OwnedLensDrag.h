#pragma once
// Row reordering by drag in the owned-lens tables (the preferences window's and the lens-selection
// window's). Both tables follow the same rules, so they live here once: the dragged rows travel as
// an archived index set under a private pasteboard type, only a drag that started in the same table
// may drop there, and a drop moves the first dragged entry above the target row.
#include <cstddef>
#include <optional>
#include <vector>

#include "appkit/Dragging.h"
#include "appkit/IndexSet.h"
#include "appkit/Pasteboard.h"
#include "appkit/TableView.h"

namespace ownedlens {

inline constexpr const char* kTableViewDataType = "QVTableViewDataType";

// Declares the private type on the pasteboard with `owner` and stores the archived rows.
bool writeRows(const qv::ui::IndexSet& rows, qv::ui::Pasteboard& pasteboard, const void* owner);

// A drag from this same table is retargeted to a drop above the proposed row and answered as a
// move. Anything else (another table, another program, data that is not ours) is refused: its row
// numbers mean nothing in this table.
qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row);

// The entry a drop moves: the first dragged row, when the drag is one of ours from this table and
// that row exists in a list of `count` entries.
std::optional<std::size_t> draggedRow(const qv::ui::TableView& table, const qv::ui::DraggingInfo& info,
                                      std::size_t count);

// Where the entry at `from` lands when dropped above row `to` (rows counted before the move).
std::size_t moveDestination(std::size_t from, std::size_t to);

// Moves the entry at `from` to its drop place above `to`; answers the row it now has, or nothing
// when `from` is not a row of the list. A target past the end means the end.
template <class T>
std::optional<std::size_t> moveEntry(std::vector<T>& list, std::size_t from, std::size_t to) {
    if (from >= list.size()) return std::nullopt;
    if (to > list.size()) to = list.size();
    const std::size_t destination = moveDestination(from, to);
    T entry = std::move(list[from]);
    list.erase(list.begin() + std::ptrdiff_t(from));
    list.insert(list.begin() + std::ptrdiff_t(destination), std::move(entry));
    return destination;
}

}  // namespace ownedlens
