#include <gtest/gtest.h>

#include "appkit/TableView.h"
#include "appkit/Window.h"

using namespace qv;
using namespace qv::ui;

namespace {

// A list of names that the user reorders by dragging rows, as an owned-lens list is.
struct NameList : TableDataSource, TableDelegate {
    std::vector<std::string> names;
    std::vector<int> selectionsSeen;
    const char* dragType = "TestRowType";

    int numberOfRowsInTableView(TableView&) override { return int(names.size()); }
    CellValue objectValueForTableColumn(TableView&, const TableColumn*, int row) override {
        CellValue cell(Value(names[std::size_t(row)]));
        if (names[std::size_t(row)].rfind("user", 0) == 0) cell.textColor = Color::blueColor();
        return cell;
    }
    void setObjectValue(TableView&, const Value& v, const TableColumn*, int row) override {
        names[std::size_t(row)] = v.stringOr("");
    }
    void tableViewSelectionDidChange(TableView& table) override { selectionsSeen.push_back(table.selectedRow()); }
    bool writeRowsWithIndexes(TableView&, const IndexSet& rows, Pasteboard& board) override {
        board.declareTypes({dragType}, this);
        return board.setData(rows.archived(), dragType);
    }
    DragOperation validateDrop(TableView& table, const DraggingInfo& info, int row, DropPosition) override {
        if (info.source != &table) return kDragOperationCopy;
        table.setDropRow(row, DropPosition::Above);
        return kDragOperationMove;
    }
    bool acceptDrop(TableView& table, const DraggingInfo& info, int to, DropPosition) override {
        auto data = info.pasteboard->dataForType(dragType);
        auto rows = data ? IndexSet::unarchive(*data) : std::nullopt;
        if (!rows || rows->empty()) return false;
        int from = int(*rows->first());
        int destination = from < to ? to - 1 : to;
        std::string moved = names[std::size_t(from)];
        names.erase(names.begin() + from);
        names.insert(names.begin() + destination, moved);
        table.selectRow(destination);
        table.reloadData();
        return true;
    }
};

}  // namespace

TEST(TableView, SelectionsMadeByTheProgramReachTheDelegate) {
    NameList list;
    list.names = {"a", "b", "c"};
    TableView table(Rect(0, 0, 200, 100));
    table.setDataSource(&list);
    table.setDelegate(&list);
    table.reloadData();
    EXPECT_EQ(table.numberOfRows(), 3);
    table.selectRow(2);
    table.selectRow(2);  // no change, no message
    table.selectRow(7);  // no such row: ignored
    table.deselectAll();
    EXPECT_EQ(list.selectionsSeen, (std::vector<int>{2, -1}));

    table.selectRow(1);
    list.names.pop_back();
    list.names.pop_back();
    table.reloadData();  // the selected row went away: the delegate hears of it
    EXPECT_EQ(table.selectedRow(), -1);
    EXPECT_EQ(list.selectionsSeen.back(), -1);
}

TEST(TableView, SingleAndMultipleSelection) {
    NameList list;
    list.names = {"a", "b", "c", "d"};
    TableView table;
    table.setDataSource(&list);
    table.reloadData();
    table.selectRowIndexes(IndexSet{0, 2}, false);
    EXPECT_EQ(table.selectedRowIndexes(), IndexSet{2});
    table.setAllowsMultipleSelection(true);
    table.selectRowIndexes(IndexSet{0}, true);
    EXPECT_EQ(table.selectedRowIndexes(), (IndexSet{0, 2}));
    EXPECT_EQ(table.selectedRow(), 2);
    EXPECT_TRUE(table.userClickRow(3, true));
    EXPECT_EQ(table.numberOfSelectedRows(), 3);
    table.deselectRow(0);
    EXPECT_FALSE(table.isRowSelected(0));
}

TEST(TableView, CellsComeFromTheDataSourceWithTheirStyleAndEditsGoBack) {
    NameList list;
    list.names = {"PTLens", "user lenses"};
    TableView table;
    table.addTableColumn({"name", "Name", true});
    table.setDataSource(&list);
    table.reloadData();
    const TableColumn* column = table.tableColumnWithIdentifier("name");
    ASSERT_NE(column, nullptr);
    EXPECT_FALSE(table.objectValueAt(column, 0).textColor.has_value());
    EXPECT_EQ(table.objectValueAt(column, 1).textColor, Color::blueColor());
    EXPECT_TRUE(table.objectValueAt(column, 5).value.isNull());
    EXPECT_EQ(table.preparedCell(column, 0)->stringValue(), "PTLens");
    EXPECT_TRUE(table.userEditCell(column, 0, Value("renamed")));
    EXPECT_EQ(list.names[0], "renamed");
}

TEST(TableView, DraggingARowWithinTheTableMovesIt) {
    Window window(Rect(0, 0, 200, 200));
    NameList list;
    list.names = {"a", "b", "c"};
    auto table = std::make_shared<TableView>(Rect(0, 0, 200, 170));
    table->setDataSource(&list);
    table->registerForDraggedTypes({list.dragType});
    window.contentView()->addSubview(table);
    table->reloadData();

    auto drag = [&](int from, int to) {
        auto board = table->userDragRows(IndexSet::single(std::size_t(from)));
        EXPECT_NE(board, nullptr);
        DraggingInfo info{board, kDragOperationEvery, table.get()};
        return dropOnWindow(window, table->locationForDrop(to, DropPosition::Above), info);
    };
    DropOutcome outcome = drag(0, 3);  // below the last row
    EXPECT_EQ(outcome.updated, kDragOperationMove);
    EXPECT_TRUE(outcome.performed);
    EXPECT_EQ(list.names, (std::vector<std::string>{"b", "c", "a"}));
    EXPECT_EQ(table->selectedRow(), 2);
    drag(2, 0);
    EXPECT_EQ(list.names, (std::vector<std::string>{"a", "b", "c"}));
    drag(1, 1);
    drag(1, 2);
    EXPECT_EQ(list.names, (std::vector<std::string>{"a", "b", "c"}));

    // The middle of a row aims "on" it; from another source the drop is a copy.
    auto board = table->userDragRows(IndexSet::single(0));
    DraggingInfo foreign{board, kDragOperationEvery, nullptr};
    outcome = dropOnWindow(window, table->locationForDrop(1, DropPosition::On), foreign);
    EXPECT_EQ(outcome.updated, kDragOperationCopy);
    EXPECT_EQ(table->dropPosition(), DropPosition::On);
    EXPECT_EQ(table->dropRow(), 1);
}

TEST(IndexSet, ArchivesRoundTripAndForeignDataIsRefused) {
    IndexSet rows{3, 1, 40};
    auto back = IndexSet::unarchive(rows.archived());
    ASSERT_TRUE(back.has_value());
    EXPECT_EQ(*back, rows);
    EXPECT_EQ(*back->first(), 1u);
    EXPECT_FALSE(IndexSet::unarchive(Data{1, 2, 3}).has_value());
    Data truncated = rows.archived();
    truncated.pop_back();
    EXPECT_FALSE(IndexSet::unarchive(truncated).has_value());
}
