// Tab takes the person through a window's controls in reading order: column by column, each
// from the top, each row from the left.
#include <QApplication>
#include <QTest>
#include <QWidget>
#include <gtest/gtest.h>

#include "QtTestSupport.h"
#include "appkit-qt/ReadingOrder.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Application.h"
#include "foundation/UserDefaults.h"
#include "shell/controller/PreferenceKeys.h"

using namespace qv;
using qttest::backend;
using qttest::widgetOf;

namespace {

// The widgets that take the focus, one press of Tab at a time from `first`, until the focus comes
// back to it (or stops moving).
std::vector<QWidget*> tabFrom(QWidget* first) {
    std::vector<QWidget*> visited;
    QWidget* window = first->window();
    first->setFocus(Qt::TabFocusReason);
    for (int i = 0; i < 200 && window->focusWidget(); ++i) {
        QWidget* now = window->focusWidget();
        if (!visited.empty() && now == visited.front()) break;
        visited.push_back(now);
        QTest::keyClick(now, Qt::Key_Tab);
        if (window->focusWidget() == now) break;
    }
    return visited;
}

// The views' widgets in the order Tab reached them; views Tab never reached are left out.
std::vector<const ui::View*> reached(const std::vector<QWidget*>& visited, const std::vector<const ui::View*>& views) {
    std::vector<const ui::View*> found;
    for (QWidget* widget : visited)
        for (const ui::View* view : views)
            if (widgetOf<QWidget>(*view) == widget) found.push_back(view);
    return found;
}

}  // namespace

TEST(ReadingOrder, ColumnsThenRowsThenLeftToRight) {
    // Two columns (x 0..100 and 120..220); the left one has a row of two cells, then a wide one.
    const std::vector<Rect> frames{
        Rect(120, 80, 100, 20),  // 0: right column, top
        Rect(55, 80, 45, 20),    // 1: left column, top row, right cell
        Rect(0, 40, 100, 20),    // 2: left column, second row
        Rect(0, 80, 45, 20),     // 3: left column, top row, left cell
        Rect(120, 40, 100, 20),  // 4: right column, below
    };
    EXPECT_EQ(qv::qt::readingOrder(frames), (std::vector<std::size_t>{3, 1, 2, 0, 4}));
}

TEST(ReadingOrder, AWideRowBelowColumnsIsReadAfterThem) {
    // The bottom row's buttons, a few points apart, bridge the gutter between the columns above:
    // the window is read row by row, and the upper row column by column.
    const std::vector<Rect> frames{Rect(0, 0, 105, 20), Rect(110, 0, 110, 20), Rect(120, 40, 100, 100),
                                   Rect(0, 40, 100, 100)};
    EXPECT_EQ(qv::qt::readingOrder(frames), (std::vector<std::size_t>{3, 2, 0, 1}));
}

TEST(ReadingOrder, FramesNothingSeparatesAreOneRowReadFromTheLeft) {
    // Overlapping, and a cell of a row taller than its neighbours.
    const std::vector<Rect> frames{Rect(50, 0, 100, 50), Rect(0, 10, 100, 50), Rect(20, 10, 10, 100)};
    EXPECT_EQ(qv::qt::readingOrder(frames), (std::vector<std::size_t>{1, 2, 0}));
    const std::vector<Rect> row{Rect(104, 0, 100, 30), Rect(0, 0, 100, 22)};
    EXPECT_EQ(qv::qt::readingOrder(row), (std::vector<std::size_t>{1, 0}));
}

class TabOrder : public testing::Test {
protected:
    void SetUp() override {
        nib = qttest::launchApplication();
        // The correction controls as they are with a photo open.
        UserDefaults::standard().set(shell::keys::kEnableControl, Value(true));
        backend().sync();
    }
    void TearDown() override { qttest::closeApplication(); }

    QVMainNib nib;
};

TEST_F(TabOrder, TheMainWindowIsReadColumnByColumn) {
    const auto& m = nib.controller->mainWindow();
    const std::vector<const ui::View*> expected{
        // Above the preview, row by row.
        m.m_pOpenButton, m.m_pDatabaseButton, m.m_pLensButton, m.mFocalLengthField,
        // The middle column: each slider, then its value field.
        m.m_pHorizontalSlider, m.m_pYawText, m.m_pVerticalSlider, m.m_pPitchText, m.mAspectSlider, m.mAspectText,
        m.m_pRotationSlider, m.m_pRotationValueText, m.mRotaionStrpper, m.m_pFOVCheckbox, m.m_pScaleSlider,
        m.m_pScaleValueText, m.mAutoScaleCheckbox,
        // The right column from its top.
        m.m_pFixRedSlider, m.m_pRedValueText, m.m_pFixGreenSlider, m.m_pGreenValueText, m.m_pFixBlueSlider,
        m.m_pBlueValueText, m.m_pVigAmountSlider, m.m_pVignetAmountText, m.m_pVigMidpointSlider,
        m.m_pVignetMidpointText, m.m_pPreviewCheckbox, m.m_pMagnifierButton, m.m_pShowGridCheckbox};
    QWidget* open = widgetOf<QWidget>(*m.m_pOpenButton);
    ASSERT_NE(open, nullptr);
    const std::vector<QWidget*> visited = tabFrom(open);
    EXPECT_EQ(reached(visited, expected), expected);
    // Disabled controls are passed over: the zoom buttons wait for the magnifier.
    EXPECT_EQ(reached(visited, {m.m_pZoomPlusButton, m.m_pZoomMinusButton}).size(), 0u);
}

TEST_F(TabOrder, ASheetIsReadFromItsTableToItsButtonsAndTabComesBackAround) {
    ASSERT_TRUE(ui::Application::shared().performMenuAction("onDatabase:"));
    backend().sync();
    const auto& d = nib.controller->databaseSheet();
    ASSERT_TRUE(d.m_pDatabaseSheet->isVisible());
    QWidget* table = widgetOf<QWidget>(*d.m_pCamNameTable);
    ASSERT_NE(table, nullptr);
    const std::vector<QWidget*> visited = tabFrom(table);
    std::vector<std::string> titles;
    for (QWidget* widget : visited) titles.push_back(widget->accessibleName().toStdString());
    // The table, then the buttons of the bottom row from the left, less those that wait for a
    // choice; then round to the table again.
    std::vector<std::string> expected{"Lens databases", "Browse"};
    if (d.m_pLoadDatabaseButton->isEnabled()) expected.push_back("Load");
    if (d.m_pEditDatabaseButton->isEnabled()) expected.push_back("Edit");
    expected.insert(expected.end(), {"New", "Close"});
    EXPECT_EQ(titles, expected);
    ASSERT_FALSE(visited.empty());
    EXPECT_EQ(visited[0], table);
    EXPECT_EQ(table->window()->focusWidget(), table) << "Tab from the last control comes back to the first";
    ui::Application::shared().endSheet(*d.m_pDatabaseSheet);
}
