#include "appkit-qt/TablePeer.h"

#include "appkit-qt/AccessibleName.h"

#include <QApplication>
#include <QHeaderView>
#include <QDrag>
#include <QDropEvent>
#include <QMimeData>
#include <QTableWidget>
#include <algorithm>

#include "appkit/Application.h"
#include "appkit/CheckBoxCell.h"
#include "appkit/Dragging.h"
#include "appkit/Pasteboard.h"
#include "appkit/Window.h"
#include "foundation/RunLoop.h"
#include "appkit/NumberText.h"

namespace qv::qt {

namespace {

// The drag of rows that is under way in this process: the model's drag pasteboard and the table
// it started from. The window system carries only a marker of our own type.
constexpr const char* kRowsMimeType = "application/x-quorvelci-table-rows";
struct RowDrag {
    std::shared_ptr<ui::Pasteboard> pasteboard;
    std::weak_ptr<ui::View> source;
};
RowDrag& currentRowDrag() {
    static RowDrag drag;
    return drag;
}

RowDragLoop& rowDragLoop() {
    static RowDragLoop loop;
    return loop;
}


// A table whose rows the person drags (the data source writes them) and drops rows on.
class RowDragTable : public QTableWidget {
public:
    RowDragTable(QWidget* parent, std::weak_ptr<ui::View> model) : QTableWidget(parent), m_model(std::move(model)) {
        setDragEnabled(true);
        setAcceptDrops(true);
        viewport()->setAcceptDrops(true);  // the window system hands drops to the widget under the pointer
        setDragDropMode(QAbstractItemView::DragDrop);
        setDropIndicatorShown(true);
        setTabKeyNavigation(false);  // Tab goes on to the next control; the arrows move between rows
    }

protected:
    void startDrag(Qt::DropActions) override {
        auto table = std::dynamic_pointer_cast<ui::TableView>(m_model.lock());
        if (!table) return;
        ui::IndexSet rows;
        for (const QModelIndex& index : selectionModel()->selectedRows()) rows.add(std::size_t(index.row()));
        std::shared_ptr<ui::Pasteboard> pasteboard = table->userDragRows(rows);
        if (!pasteboard) return;  // the data source refuses the drag
        currentRowDrag() = {pasteboard, table};
        auto* drag = new QDrag(this);
        auto* data = new QMimeData;
        data->setData(kRowsMimeType, QByteArray());
        drag->setMimeData(data);
        if (rowDragLoop()) {
            rowDragLoop()(*drag);
            drag->deleteLater();  // as the window system's loop lets it go
        } else {
            drag->exec(Qt::CopyAction | Qt::MoveAction, Qt::CopyAction);
        }
        currentRowDrag() = {};
    }
    void dragEnterEvent(QDragEnterEvent* e) override { takes(e) ? e->acceptProposedAction() : e->ignore(); }
    void dragMoveEvent(QDragMoveEvent* e) override { takes(e) ? e->acceptProposedAction() : e->ignore(); }
    void dropEvent(QDropEvent* e) override {
        auto table = std::dynamic_pointer_cast<ui::TableView>(m_model.lock());
        const RowDrag drag = currentRowDrag();
        if (!takes(e) || !table || !table->window()) return e->ignore();
        // The row under the pointer, and whether the drop goes on it or between rows.
        const QPoint at = e->position().toPoint();
        const QModelIndex index = indexAt(at);
        int row = index.isValid() ? index.row() : rowCount();
        ui::DropPosition position = ui::DropPosition::Above;
        if (index.isValid()) {
            const QRect r = visualRect(index);
            const int quarter = r.height() / 4;
            if (at.y() >= r.bottom() - quarter) ++row;
            else if (at.y() > r.top() + quarter) position = ui::DropPosition::On;
        }
        e->acceptProposedAction();
        ui::DraggingInfo info;
        info.pasteboard = drag.pasteboard;
        info.source = drag.source.lock().get();
        ui::Window* window = table->window();
        const Point point = table->locationForDrop(row, position);
        std::weak_ptr<ui::View> keep = table;
        RunLoop::main().perform([window, point, info, keep] {
            if (keep.lock() && isLiveWindow(window)) ui::dropOnWindow(*window, point, info);
        });
    }

private:
    bool takes(QDropEvent* e) const { return e->mimeData()->hasFormat(kRowsMimeType) && currentRowDrag().pasteboard; }
    std::weak_ptr<ui::View> m_model;
};

bool isCheckBoxColumn(const ui::TableColumn& column) {
    return column.dataCell && std::dynamic_pointer_cast<ui::CheckBoxCell>(column.dataCell());
}

class TablePeer : public ViewPeer {
public:
    TablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent)
        : ViewPeer(table, new RowDragTable(parent, table)) {
        auto* widget = this->table();
        widget->setSelectionBehavior(QAbstractItemView::SelectRows);
        widget->verticalHeader()->setVisible(false);
        widget->horizontalHeader()->setStretchLastSection(true);
        QObject::connect(widget, &QTableWidget::cellPressed, [this](int row, int) {
            const bool extend = QApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
            userChange<ui::TableView>([row, extend](ui::TableView& t) { t.userClickRow(row, extend); });
        });
        // Moving through the rows with the keyboard (arrows, typing a name's first letters) selects
        // the row reached, as a click does; a click is taken above.
        QObject::connect(widget, &QTableWidget::currentCellChanged, [this](int row, int, int previous, int) {
            if (m_filling || m_selecting || row < 0 || row == previous || QApplication::mouseButtons() != Qt::NoButton)
                return;
            userChange<ui::TableView>([row](ui::TableView& t) { t.userClickRow(row, false); });
        });
        QObject::connect(widget, &QTableWidget::itemChanged, [this](QTableWidgetItem* item) {
            if (m_filling) return;
            const int row = item->row(), column = item->column();
            const Value value = (item->flags() & Qt::ItemIsUserCheckable) ? Value(item->checkState() == Qt::Checked ? 1 : 0)
                                                                         : Value(fromQt(item->text()));
            userChange<ui::TableView>([row, column, value](ui::TableView& t) {
                if (column < int(t.tableColumns().size()))
                    t.userEditCell(&t.tableColumns()[std::size_t(column)], row, value);
            });
        });
    }

private:
    QTableWidget* table() const { return static_cast<QTableWidget*>(widget()); }

    void fill(ui::TableView& model) {
        QTableWidget* widget = table();
        m_filling = true;
        const auto& columns = model.tableColumns();
        widget->setColumnCount(int(columns.size()));
        QStringList titles;
        for (const auto& column : columns) titles << toQt(column.title);
        widget->setHorizontalHeaderLabels(titles);
        // The first column takes what the others, each at its width, leave.
        for (std::size_t c = 1; c < columns.size(); ++c) widget->setColumnWidth(int(c), int(columns[c].width));
        if (!columns.empty()) widget->horizontalHeader()->setSectionResizeMode(0, QHeaderView::Stretch);
        widget->horizontalHeader()->setStretchLastSection(columns.size() == 1);
        const int rows = model.numberOfRows();
        widget->setRowCount(rows);
        for (int row = 0; row < rows; ++row)
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const ui::CellValue cell = model.objectValueAt(&columns[c], row);
                // Every row may be dragged; the data source decides when a drag starts.
                Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsDragEnabled;
                QTableWidgetItem* item;
                if (isCheckBoxColumn(columns[c])) {
                    // A check box the person clicks, when the row's cell takes clicks.
                    item = new QTableWidgetItem();
                    auto prepared = std::dynamic_pointer_cast<ui::CheckBoxCell>(model.preparedCell(&columns[c], row));
                    if (prepared && prepared->takesClicks() && columns[c].editable) flags |= Qt::ItemIsUserCheckable;
                    if (!prepared || !prepared->isTransparent())
                        item->setCheckState(ui::intFromValue(cell.value) ? Qt::Checked : Qt::Unchecked);
                } else {
                    item = new QTableWidgetItem(toQt(ui::stringFromValue(cell.value)));
                    if (columns[c].editable) flags |= Qt::ItemIsEditable;
                }
                item->setFlags(flags);
                if (cell.textColor)
                    item->setForeground(QColor::fromRgbF(float(cell.textColor->red), float(cell.textColor->green),
                                                         float(cell.textColor->blue), float(cell.textColor->alpha)));
                widget->setItem(row, int(c), item);
            }
        m_filling = false;
        m_reloads = model.reloadCount();
        m_rows = rows;
        m_columns = columns.size();
    }

    void syncState(ui::View& view) override {
        auto& model = static_cast<ui::TableView&>(view);
        QTableWidget* widget = table();
        if (!m_filled || m_reloads != model.reloadCount() || m_rows != model.numberOfRows() ||
            m_columns != model.tableColumns().size()) {
            fill(model);
            m_filled = true;
        }
        const auto mode = model.allowsMultipleSelection() ? QAbstractItemView::ExtendedSelection
                                                          : QAbstractItemView::SingleSelection;
        if (widget->selectionMode() != mode) widget->setSelectionMode(mode);
        if (!userChangePending()) {
            const ui::IndexSet selected = model.selectedRowIndexes();
            bool same = true;
            for (int row = 0; same && row < widget->rowCount(); ++row) {
                auto* item = widget->item(row, 0);
                same = !item || item->isSelected() == selected.contains(std::size_t(row));
            }
            if (!same) {
                QSignalBlocker quiet(widget);
                widget->clearSelection();
                for (std::size_t row : selected)
                    for (int c = 0; c < widget->columnCount(); ++c)
                        if (auto* item = widget->item(int(row), c)) item->setSelected(true);
                // A row the program selects is shown (a database chosen in a panel, far down the list).
                if (!selected.empty())
                    if (auto* item = widget->item(int(*selected.begin()), 0)) {
                        m_selecting = true;
                        widget->setCurrentItem(item, QItemSelectionModel::NoUpdate);
                        m_selecting = false;
                        widget->scrollToItem(item);
                    }
            }
        }
        nameForAccess(*widget, model, model.tableColumns().empty() ? "" : model.tableColumns().front().title, "table");
    }

    bool m_filled = false;
    bool m_filling = false;
    bool m_selecting = false;  // the program moves the current row to its selection
    unsigned long m_reloads = 0;
    int m_rows = 0;
    std::size_t m_columns = 0;
};

}  // namespace

void setRowDragLoop(RowDragLoop loop) { rowDragLoop() = std::move(loop); }

std::unique_ptr<ViewPeer> makeTablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent) {
    return std::make_unique<TablePeer>(table, parent);
}

}  // namespace qv::qt
