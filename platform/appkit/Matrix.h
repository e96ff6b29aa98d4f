#pragma once
// A matrix of cells: radio buttons that select one cell, or a column of number cells such as a
// coefficient table. Its value is the selected cell's index in row order (-1 when none). Each
// cell keeps its own title, tag, enabled state and value.
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "appkit/Control.h"

namespace qv::ui {

class Cell {
public:
    explicit Cell(std::string title = "", int tag = 0) : m_title(std::move(title)), m_tag(tag) {}
    virtual ~Cell() = default;  // tables show cells of kinds of their own

    std::string title() const;
    void setTitle(const std::string& title);
    int tag() const;
    void setTag(int tag);
    bool isEnabled() const;
    void setEnabled(bool enabled);
    bool isTransparent() const;
    void setTransparent(bool transparent);

    Value objectValue() const;
    void setObjectValue(const Value& value);
    int state() const { return intValue(); }
    void setState(int state) { setObjectValue(Value(state)); }
    double doubleValue() const;
    float floatValue() const { return float(doubleValue()); }
    int intValue() const;
    std::string stringValue() const;
    void setDoubleValue(double v) { setObjectValue(Value(v)); }
    void setFloatValue(float v) { setObjectValue(Value(v)); }
    void setIntValue(int v) { setObjectValue(Value(v)); }
    void setStringValue(const std::string& v) { setObjectValue(Value(v)); }

private:
    mutable std::mutex m_mutex;
    std::string m_title;
    int m_tag;
    bool m_enabled = true;
    bool m_transparent = false;
    Value m_value = Value(0);
};

enum class MatrixMode { Radio, List };

class Matrix : public Control {
public:
    Matrix(const Rect& frame, MatrixMode mode, int rows, int columns);
    // One column of radio cells with the given titles and tags; the first is selected.
    static std::shared_ptr<Matrix> radioColumn(const Rect& frame, const std::vector<std::string>& titles,
                                               const std::vector<int>& tags);

    MatrixMode mode() const { return m_mode; }
    int numberOfRows() const { return m_rows; }
    int numberOfColumns() const { return m_columns; }
    std::shared_ptr<Cell> cellAtRow(int row, int column = 0) const;  // null out of range
    std::shared_ptr<Cell> cellWithTag(int tag) const;
    const std::vector<std::shared_ptr<Cell>>& cells() const { return m_cells; }

    std::shared_ptr<Cell> selectedCell() const;
    int selectedRow() const;     // -1 when none
    int selectedColumn() const;  // -1 when none
    // Selecting a cell (disabled ones too, as the program may) turns it on and, in radio mode,
    // every other cell off. Answers false for a cell that is not there.
    bool selectCellAtRow(int row, int column = 0);
    bool selectCellWithTag(int tag);
    void deselectAllCells();

    // The user clicks a cell: only an enabled cell of an enabled matrix takes it; the action is sent.
    bool userClickCell(int row, int column = 0);

protected:
    Value normalize(const Value& value, const Value& current) const override;

private:
    void applyStates();

    MatrixMode m_mode;
    int m_rows, m_columns;
    std::vector<std::shared_ptr<Cell>> m_cells;  // fixed at creation, row by row
};

}  // namespace qv::ui
