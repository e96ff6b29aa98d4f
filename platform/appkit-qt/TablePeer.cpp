#include "appkit-qt/TablePeer.h"

#include <QApplication>
#include <QHeaderView>
#include <QTableWidget>

#include "appkit/CheckBoxCell.h"
#include "appkit/NumberText.h"

namespace qv::qt {

namespace {

bool isCheckBoxColumn(const ui::TableColumn& column) {
    return column.dataCell && std::dynamic_pointer_cast<ui::CheckBoxCell>(column.dataCell());
}

class TablePeer : public ViewPeer {
public:
    TablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent) : ViewPeer(table, new QTableWidget(parent)) {
        auto* widget = this->table();
        widget->setSelectionBehavior(QAbstractItemView::SelectRows);
        widget->verticalHeader()->setVisible(false);
        widget->horizontalHeader()->setStretchLastSection(true);
        QObject::connect(widget, &QTableWidget::cellPressed, [this](int row, int) {
            const bool extend = QApplication::keyboardModifiers() & (Qt::ControlModifier | Qt::ShiftModifier);
            userChange<ui::TableView>([row, extend](ui::TableView& t) { t.userClickRow(row, extend); });
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
        const int rows = model.numberOfRows();
        widget->setRowCount(rows);
        for (int row = 0; row < rows; ++row)
            for (std::size_t c = 0; c < columns.size(); ++c) {
                const ui::CellValue cell = model.objectValueAt(&columns[c], row);
                Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
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
            }
        }
        const std::string name = model.tableColumns().empty() ? "table" : model.tableColumns().front().title;
        if (widget->accessibleName() != toQt(name)) widget->setAccessibleName(toQt(name));
    }

    bool m_filled = false;
    bool m_filling = false;
    unsigned long m_reloads = 0;
    int m_rows = 0;
    std::size_t m_columns = 0;
};

}  // namespace

std::unique_ptr<ViewPeer> makeTablePeer(const std::shared_ptr<ui::TableView>& table, QWidget* parent) {
    return std::make_unique<TablePeer>(table, parent);
}

}  // namespace qv::qt
