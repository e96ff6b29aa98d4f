#include "appkit/TableView.h"

#include "appkit/CheckBoxCell.h"

#include <algorithm>
#include <cmath>

namespace qv::ui {

TableView::TableView(const Rect& frame) : Control(frame) {}

void TableView::addTableColumn(TableColumn column) { m_columns.push_back(std::move(column)); }

const TableColumn* TableView::tableColumnWithIdentifier(const std::string& identifier) const {
    for (const TableColumn& c : m_columns)
        if (c.identifier == identifier) return &c;
    return nullptr;
}

void TableView::reloadData() {
    ++m_reloads;
    const int rows = m_dataSource ? std::max(0, m_dataSource->numberOfRowsInTableView(*this)) : 0;
    IndexSet kept;
    bool changed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_rowCount = rows;
        for (std::size_t r : m_selection)
            if (int(r) < rows) kept.add(r);
        changed = !(kept == m_selection);
        m_selection = kept;
        if (m_lastSelected >= rows) m_lastSelected = kept.last() ? int(*kept.last()) : -1;
    }
    setNeedsDisplay(true);
    if (changed && m_delegate) m_delegate->tableViewSelectionDidChange(*this);
}

int TableView::numberOfRows() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_rowCount;
}

CellValue TableView::objectValueAt(const TableColumn* column, int row) {
    if (!m_dataSource || row < 0 || row >= numberOfRows()) return {};
    return m_dataSource->objectValueForTableColumn(*this, column, row);
}

std::shared_ptr<Cell> TableView::preparedCell(const TableColumn* column, int row) {
    std::shared_ptr<Cell> cell = column && column->dataCell ? column->dataCell() : nullptr;
    if (!cell) cell = std::make_shared<Cell>();
    cell->setObjectValue(objectValueAt(column, row).value);
    if (m_delegate && row >= 0 && row < numberOfRows()) m_delegate->willDisplayCell(*this, *cell, column, row);
    return cell;
}

int TableView::selectedRow() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lastSelected;
}

IndexSet TableView::selectedRowIndexes() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_selection;
}

int TableView::numberOfSelectedRows() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return int(m_selection.count());
}

bool TableView::isRowSelected(int row) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return row >= 0 && m_selection.contains(std::size_t(row));
}

void TableView::changeSelection(const IndexSet& rows) {
    bool changed;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        IndexSet next;
        for (std::size_t r : rows)
            if (int(r) < m_rowCount) next.add(r);
        if (!m_multiple && next.count() > 1) next = IndexSet::single(*next.last());
        changed = !(next == m_selection);
        m_selection = next;
        m_lastSelected = next.last() ? int(*next.last()) : -1;
    }
    if (!changed) return;
    setNeedsDisplay(true);
    if (m_delegate) m_delegate->tableViewSelectionDidChange(*this);
}

void TableView::selectRowIndexes(const IndexSet& rows, bool extend) {
    IndexSet next = extend ? selectedRowIndexes() : IndexSet();
    for (std::size_t r : rows) next.add(r);
    if (extend && !m_multiple && rows.last()) next = IndexSet::single(*rows.last());
    changeSelection(next);
}

void TableView::selectRow(int row, bool extend) {
    if (row < 0 || row >= numberOfRows()) return;
    selectRowIndexes(IndexSet::single(std::size_t(row)), extend);
}

void TableView::deselectRow(int row) {
    if (row < 0) return;
    IndexSet next = selectedRowIndexes();
    next.remove(std::size_t(row));
    changeSelection(next);
}

void TableView::deselectAll() { changeSelection(IndexSet()); }

bool TableView::userClickRow(int row, bool extend) {
    if (!acceptsUserInput() || row < 0 || row >= numberOfRows()) return false;
    selectRow(row, extend && m_multiple);
    sendAction();
    return true;
}

bool TableView::userEditCell(const TableColumn* column, int row, const Value& value) {
    if (!acceptsUserInput() || !m_dataSource || !column || !column->editable || row < 0 || row >= numberOfRows())
        return false;
    m_dataSource->setObjectValue(*this, value, column, row);
    setNeedsDisplay(true);
    return true;
}

bool TableView::userClickCheckBox(const TableColumn* column, int row) {
    if (!acceptsUserInput() || !m_dataSource || !column || !column->editable || row < 0 || row >= numberOfRows())
        return false;
    const auto checkBox = std::dynamic_pointer_cast<CheckBoxCell>(preparedCell(column, row));
    if (!checkBox || !checkBox->takesClicks()) return false;
    m_dataSource->setObjectValue(*this, Value(checkBox->intValue() ? 0 : 1), column, row);
    setNeedsDisplay(true);
    return true;
}

std::shared_ptr<Pasteboard> TableView::userDragRows(const IndexSet& rows) {
    if (!acceptsUserInput() || !m_dataSource || rows.empty()) return nullptr;
    auto pasteboard = Pasteboard::withName(kDragPboard);
    pasteboard->clearContents();
    if (!m_dataSource->writeRowsWithIndexes(*this, rows, *pasteboard)) return nullptr;
    return pasteboard;
}

Point TableView::locationForDrop(int row, DropPosition position) const {
    // Rows run down from the top; "above r" is aimed at just under the boundary over row r (which
    // stays inside the table for row 0), "on r" at the row's middle.
    const double fromTop = (row + (position == DropPosition::Above ? 0.1 : 0.5)) * m_rowHeight;
    return convertPointToWindow({bounds().width() / 2, bounds().height() - fromTop});
}

void TableView::setDropRow(int row, DropPosition position) {
    m_dropRow = row;
    m_dropPosition = position;
}

void TableView::aimDrop(const DraggingInfo& info) {
    const Point local = convertPointFromWindow(info.locationInWindow);
    const double rows = (bounds().height() - local.y) / m_rowHeight;
    const int count = numberOfRows();
    int row = int(std::floor(rows));
    const double within = rows - row;
    if (row >= count || row < 0) {
        setDropRow(row < 0 ? 0 : count, DropPosition::Above);
    } else if (within < 0.25) {
        setDropRow(row, DropPosition::Above);
    } else if (within > 0.75) {
        setDropRow(row + 1, DropPosition::Above);
    } else {
        setDropRow(row, DropPosition::On);
    }
}

DragOperation TableView::draggingEntered(const DraggingInfo& info) { return draggingUpdated(info); }

DragOperation TableView::draggingUpdated(const DraggingInfo& info) {
    if (!m_dataSource) return kDragOperationNone;
    aimDrop(info);
    return m_dataSource->validateDrop(*this, info, m_dropRow, m_dropPosition);
}

bool TableView::performDragOperation(const DraggingInfo& info) {
    return m_dataSource && m_dataSource->acceptDrop(*this, info, m_dropRow, m_dropPosition);
}

}  // namespace qv::ui
