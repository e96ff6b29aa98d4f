#pragma once
// A table: rows from a data source, columns by identifier, a selection the delegate hears about
// (whether the user or the program changed it, as on the platform), row drags out and drops in.
// The selection and the row count may be read from any thread.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Color.h"
#include "appkit/Control.h"
#include "appkit/IndexSet.h"
#include "appkit/Matrix.h"

namespace qv::ui {

class TableView;

struct TableColumn {
    std::string identifier;
    std::string title;
    bool editable = false;
    double width = 100;
    // Makes the cell each row is shown with (a check box, an image-and-text cell); a plain text
    // cell when not set.
    std::function<std::shared_ptr<Cell>()> dataCell{};
};

// A cell's content: a value, and a text colour when the row is styled (a blue title, say).
struct CellValue {
    Value value;
    std::optional<Color> textColor;
    CellValue() = default;
    CellValue(Value v, std::optional<Color> color = std::nullopt) : value(std::move(v)), textColor(color) {}
};

enum class DropPosition { On = 0, Above = 1 };

class TableDataSource {
public:
    virtual ~TableDataSource() = default;
    virtual int numberOfRowsInTableView(TableView& table) = 0;
    virtual CellValue objectValueForTableColumn(TableView& table, const TableColumn* column, int row) = 0;
    virtual void setObjectValue(TableView&, const Value&, const TableColumn*, int) {}
    // Row drags: write the rows onto the pasteboard (answer whether they were written); validate
    // a drop (answer the operation, possibly retargeting with setDropRow); accept it.
    virtual bool writeRowsWithIndexes(TableView&, const IndexSet&, Pasteboard&) { return false; }
    virtual DragOperation validateDrop(TableView&, const DraggingInfo&, int, DropPosition) { return kDragOperationNone; }
    virtual bool acceptDrop(TableView&, const DraggingInfo&, int, DropPosition) { return false; }
};

class TableDelegate {
public:
    virtual ~TableDelegate() = default;
    virtual void tableViewSelectionDidChange(TableView&) {}
    virtual void willDisplayCell(TableView&, Cell&, const TableColumn*, int) {}
};

class TableView : public Control {
public:
    explicit TableView(const Rect& frame = Rect());

    TableDataSource* dataSource() const { return m_dataSource; }
    void setDataSource(TableDataSource* source) { m_dataSource = source; }
    TableDelegate* delegate() const { return m_delegate; }
    void setDelegate(TableDelegate* delegate) { m_delegate = delegate; }

    void addTableColumn(TableColumn column);
    const std::vector<TableColumn>& tableColumns() const { return m_columns; }
    const TableColumn* tableColumnWithIdentifier(const std::string& identifier) const;
    double rowHeight() const { return m_rowHeight; }
    void setRowHeight(double height) { m_rowHeight = height > 0 ? height : m_rowHeight; }

    // Asks the data source for the row count again; selected rows past the end are dropped (and
    // the delegate hears of it).
    void reloadData();
    int numberOfRows() const;
    // Counts the reloads, so a view of the table knows when to ask for the cells again.
    unsigned long reloadCount() const { return m_reloads.load(); }
    void tile() { setNeedsDisplay(true); }
    void scrollRowToVisible(int) {}

    // Cell content as the table shows it: the data source's value; and the prepared cell after the
    // delegate's willDisplayCell.
    CellValue objectValueAt(const TableColumn* column, int row);
    std::shared_ptr<Cell> preparedCell(const TableColumn* column, int row);

    // Selection. Selecting tells the delegate when the selection changed; rows outside the table
    // are ignored; extending adds to the selection (a single-selection table keeps the last row).
    int selectedRow() const;  // the last selected row, -1 when none
    IndexSet selectedRowIndexes() const;
    int numberOfSelectedRows() const;
    bool isRowSelected(int row) const;
    void selectRowIndexes(const IndexSet& rows, bool extend);
    void selectRow(int row, bool extend = false);
    void deselectRow(int row);
    void deselectAll();
    bool allowsMultipleSelection() const { return m_multiple; }
    void setAllowsMultipleSelection(bool on) { m_multiple = on; }

    // What the user does: click a row (with the extend key or not), edit a cell, drag rows away.
    bool userClickRow(int row, bool extend = false);
    bool userEditCell(const TableColumn* column, int row, const Value& value);
    // A click on a check-box cell: the row's cell, as the delegate prepared it, must take clicks;
    // its state flips and the data source is given the new state (0 or 1).
    bool userClickCheckBox(const TableColumn* column, int row);
    // Asks the data source to write the rows onto the drag pasteboard; answers the pasteboard, or
    // null when the data source refuses the drag.
    std::shared_ptr<Pasteboard> userDragRows(const IndexSet& rows);

    // Drops: the window point over the given drop target, for dropOnWindow; and the target a
    // drop is aimed at (set from the drag's location, changed by setDropRow while validating).
    Point locationForDrop(int row, DropPosition position) const;
    void setDropRow(int row, DropPosition position);
    int dropRow() const { return m_dropRow; }
    DropPosition dropPosition() const { return m_dropPosition; }

    DragOperation draggingEntered(const DraggingInfo& info) override;
    DragOperation draggingUpdated(const DraggingInfo& info) override;
    bool performDragOperation(const DraggingInfo& info) override;

private:
    void changeSelection(const IndexSet& rows);
    void aimDrop(const DraggingInfo& info);

    TableDataSource* m_dataSource = nullptr;
    TableDelegate* m_delegate = nullptr;
    std::vector<TableColumn> m_columns;
    double m_rowHeight = 17;
    bool m_multiple = false;
    mutable std::mutex m_mutex;
    int m_rowCount = 0;    // m_mutex
    IndexSet m_selection;  // m_mutex
    int m_lastSelected = -1;
    int m_dropRow = -1;
    DropPosition m_dropPosition = DropPosition::Above;
    std::atomic<unsigned long> m_reloads{0};
};

}  // namespace qv::ui
