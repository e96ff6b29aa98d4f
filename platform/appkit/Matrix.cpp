#include "appkit/Matrix.h"

#include <algorithm>

#include "appkit/NumberText.h"

namespace qv::ui {

std::string Cell::title() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_title;
}
void Cell::setTitle(const std::string& title) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_title = title;
}
int Cell::tag() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_tag;
}
void Cell::setTag(int tag) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_tag = tag;
}
bool Cell::isEnabled() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_enabled;
}
void Cell::setEnabled(bool enabled) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_enabled = enabled;
}
bool Cell::isTransparent() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_transparent;
}
void Cell::setTransparent(bool transparent) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_transparent = transparent;
}
Value Cell::objectValue() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_value;
}
void Cell::setObjectValue(const Value& value) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_value = value;
}
double Cell::doubleValue() const { return numberFromValue(objectValue()); }
int Cell::intValue() const { return intFromValue(objectValue()); }
std::string Cell::stringValue() const { return stringFromValue(objectValue()); }

Matrix::Matrix(const Rect& frame, MatrixMode mode, int rows, int columns)
    : Control(frame), m_mode(mode), m_rows(std::max(rows, 0)), m_columns(std::max(columns, 0)) {
    for (int i = 0; i < m_rows * m_columns; ++i) m_cells.push_back(std::make_shared<Cell>());
    setIntValue(-1);
    // However the selection changes (a binding included), radio cells show it.
    addValueObserver([this](Control&) { applyStates(); });
}

std::shared_ptr<Matrix> Matrix::radioColumn(const Rect& frame, const std::vector<std::string>& titles,
                                            const std::vector<int>& tags) {
    auto matrix = std::make_shared<Matrix>(frame, MatrixMode::Radio, int(titles.size()), 1);
    for (std::size_t i = 0; i < titles.size(); ++i) {
        matrix->m_cells[i]->setTitle(titles[i]);
        matrix->m_cells[i]->setTag(i < tags.size() ? tags[i] : 0);
    }
    matrix->selectCellAtRow(0);
    return matrix;
}

std::shared_ptr<Cell> Matrix::cellAtRow(int row, int column) const {
    if (row < 0 || row >= m_rows || column < 0 || column >= m_columns) return nullptr;
    return m_cells[std::size_t(row * m_columns + column)];
}

std::shared_ptr<Cell> Matrix::cellWithTag(int tag) const {
    for (const auto& cell : m_cells)
        if (cell->tag() == tag) return cell;
    return nullptr;
}

Value Matrix::normalize(const Value& value, const Value& current) const {
    const int index = intFromValue(value);
    if (index == -1 || (index >= 0 && index < int(m_cells.size()))) return Value(index);
    return current;
}

std::shared_ptr<Cell> Matrix::selectedCell() const {
    const int index = intValue();
    return index >= 0 ? m_cells[std::size_t(index)] : nullptr;
}

int Matrix::selectedRow() const {
    const int index = intValue();
    return index >= 0 && m_columns > 0 ? index / m_columns : -1;
}

int Matrix::selectedColumn() const {
    const int index = intValue();
    return index >= 0 && m_columns > 0 ? index % m_columns : -1;
}

void Matrix::applyStates() {
    if (m_mode != MatrixMode::Radio) return;
    const int selected = intValue();
    for (std::size_t i = 0; i < m_cells.size(); ++i) m_cells[i]->setState(int(i) == selected ? 1 : 0);
}

bool Matrix::selectCellAtRow(int row, int column) {
    if (!cellAtRow(row, column)) return false;
    setIntValue(row * m_columns + column);
    return true;
}

bool Matrix::selectCellWithTag(int tag) {
    for (std::size_t i = 0; i < m_cells.size(); ++i)
        if (m_cells[i]->tag() == tag) return selectCellAtRow(int(i) / m_columns, int(i) % m_columns);
    return false;
}

void Matrix::deselectAllCells() {
    setIntValue(-1);
}

bool Matrix::userClickCell(int row, int column) {
    auto cell = cellAtRow(row, column);
    if (!cell || !acceptsUserInput() || !cell->isEnabled()) return false;
    selectCellAtRow(row, column);
    userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
