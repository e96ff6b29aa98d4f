#include <gtest/gtest.h>

#include "appkit/Canvas.h"
#include "appkit/CheckBoxCell.h"
#include "appkit/Image.h"
#include "appkit/TableView.h"
#include "appkit/Workspace.h"
#include "common/TempDir.h"
#include "foundation/Files.h"

using namespace qv;
using namespace qv::ui;

namespace {

// Rows with a flag each; the check box is hidden for rows whose flag may not change.
struct Flags : TableDataSource, TableDelegate {
    std::vector<int> states;
    std::vector<bool> changeable;
    int numberOfRowsInTableView(TableView&) override { return int(states.size()); }
    CellValue objectValueForTableColumn(TableView&, const TableColumn*, int row) override {
        return CellValue(Value(states[std::size_t(row)]));
    }
    void setObjectValue(TableView&, const Value& v, const TableColumn*, int row) override {
        states[std::size_t(row)] = v.integerOr(-1);
    }
    void willDisplayCell(TableView&, Cell& cell, const TableColumn*, int row) override {
        cell.setTransparent(!changeable[std::size_t(row)]);
    }
};

TableColumn checkBoxColumn() {
    TableColumn column{"flag", "Flag", true, 40, [] { return std::make_shared<CheckBoxCell>(); }};
    return column;
}

}  // namespace

TEST(CheckBoxColumn, AClickFlipsTheRowsStateUnlessItsCellIsTransparent) {
    Flags flags;
    flags.states = {0, 1, 0};
    flags.changeable = {true, true, false};
    TableView table;
    table.addTableColumn(checkBoxColumn());
    table.setDataSource(&flags);
    table.setDelegate(&flags);
    table.reloadData();
    const TableColumn* column = table.tableColumnWithIdentifier("flag");
    ASSERT_NE(column, nullptr);
    EXPECT_NE(std::dynamic_pointer_cast<CheckBoxCell>(table.preparedCell(column, 0)), nullptr);
    EXPECT_TRUE(table.userClickCheckBox(column, 0));
    EXPECT_TRUE(table.userClickCheckBox(column, 1));
    EXPECT_FALSE(table.userClickCheckBox(column, 2));
    EXPECT_FALSE(table.userClickCheckBox(column, 3));
    EXPECT_EQ(flags.states, (std::vector<int>{1, 0, 0}));
    table.setEnabled(false);
    EXPECT_FALSE(table.userClickCheckBox(column, 0));
    EXPECT_EQ(flags.states[0], 1);
}

TEST(CheckBoxColumn, AColumnWithoutDataCellTakesNoCheckBoxClicks) {
    Flags flags;
    flags.states = {0};
    flags.changeable = {true};
    TableView table;
    table.addTableColumn(TableColumn{"text", "Text", true});
    table.setDataSource(&flags);
    table.reloadData();
    EXPECT_FALSE(table.userClickCheckBox(table.tableColumnWithIdentifier("text"), 0));
    EXPECT_EQ(flags.states[0], 0);
}

TEST(WorkspaceIcon, KindsFollowTheFileAndEachCallerOwnsItsSize) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("photo.jpg"), std::string_view("x")));
    EXPECT_EQ(workspace::iconKindForFile(dir.path()), workspace::IconKind::Folder);
    EXPECT_EQ(workspace::iconKindForFile(dir.file("photo.jpg")), workspace::IconKind::Document);
    EXPECT_EQ(workspace::iconKindForFile(dir.file("gone.jpg")), workspace::IconKind::Missing);
    auto folder = workspace::iconForFile(dir.path());
    auto document = workspace::iconForFile(dir.file("photo.jpg"));
    ASSERT_TRUE(folder->isValid());
    EXPECT_EQ(folder->size(), (Size{32, 32}));
    folder->setSize({16, 16});
    EXPECT_EQ(workspace::iconForFile(dir.path())->size(), (Size{32, 32}));
    EXPECT_NE(folder->bitmap().pixels, document->bitmap().pixels);
}

TEST(WorkspaceIcon, DrawsAtItsPointSizeWhereItIsPut) {
    auto icon = workspace::iconForFile("/");
    icon->setSize({16, 16});
    Canvas canvas(40, 40);
    ASSERT_TRUE(icon->compositeToPoint(canvas, {3, 5}));
    // The folder fills its lower part: a pixel inside the drawn square is painted, one beside it
    // is not (rows count from the top: y = 5..21 from the bottom are rows 19..35).
    EXPECT_GT(canvas.pixel(10, 30)[3], 0);
    EXPECT_EQ(canvas.pixel(25, 30)[3], 0);
    EXPECT_EQ(canvas.pixel(10, 10)[3], 0);
    EXPECT_FALSE(Image().compositeToPoint(canvas, {0, 0}));
}
