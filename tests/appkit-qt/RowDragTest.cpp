// A person drags a row of the owned-lens list to a new place with the mouse: the drag starts in
// the table's widget, the data source writes the rows, the drop reaches it and the list reorders.
#include <QDrag>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QTableWidget>
#include <gtest/gtest.h>

#include "QtTestSupport.h"
#include "appkit-qt/TablePeer.h"
#include "appkit/Application.h"
#include "foundation/PreferencesFile.h"
#include "lens/QVPreferences.h"

using namespace qv;
using qttest::backend;
using qttest::drainLoop;
using qttest::widgetOf;

namespace {

Value owned(const std::string& name) {
    Value entry{Dictionary()};
    entry["3.Lens Name"] = name;
    entry["menuMake"] = "Canon";
    entry["menuModel"] = "EOS 5D";
    return entry;
}

std::vector<std::string> rowsShown(QTableWidget& table) {
    std::vector<std::string> rows;
    for (int row = 0; row < table.rowCount(); ++row)
        rows.push_back(table.item(row, 0) ? table.item(row, 0)->text().toStdString() : "");
    return rows;
}

void sendMouse(QWidget* to, QEvent::Type type, QPoint at, Qt::MouseButton button, Qt::MouseButtons held) {
    QMouseEvent event(type, QPointF(at), QPointF(to->mapToGlobal(at)), button, held, Qt::NoModifier);
    QApplication::sendEvent(to, &event);
}

class RowDrag : public testing::Test {
protected:
    void SetUp() override {
        nib = qttest::launchApplication();
        ASSERT_TRUE(PreferencesFile::update(
            [](Value& root) { root["recentLenses"] = Array{owned("A"), owned("B"), owned("C")}; }));
        ASSERT_TRUE(ui::Application::shared().performMenuAction("onPreferences:"));
        table = widgetOf<QTableWidget>(*nib.preferences->mLensTable);
        ASSERT_NE(table, nullptr);
        ASSERT_EQ(rowsShown(*table), (std::vector<std::string>{"A", "B", "C"}));
    }
    void TearDown() override {
        qv::qt::setRowDragLoop({});
        qttest::closeApplication();
    }

    // Presses on a row, moves past the drag distance and lets go; `loop` plays the window
    // system's part while the drag is under way.
    void dragRow(int row, const qv::qt::RowDragLoop& loop) {
        int drags = 0;
        qv::qt::setRowDragLoop([&](QDrag& drag) {
            ++drags;
            loop(drag);
        });
        QWidget* viewport = table->viewport();
        const QPoint from = table->visualItemRect(table->item(row, 0)).center();
        sendMouse(viewport, QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        for (int step = 1; step <= 4; ++step)
            sendMouse(viewport, QEvent::MouseMove, from + QPoint(0, 6 * step), Qt::NoButton, Qt::LeftButton);
        sendMouse(viewport, QEvent::MouseButtonRelease, from + QPoint(0, 24), Qt::LeftButton, Qt::NoButton);
        EXPECT_EQ(drags, 1) << "the drag did not start";
        drainLoop();
        backend().sync();
    }

    // The window system's part: the drag enters the viewport, moves to the point and is dropped.
    // Answers whether the table took the drop.
    bool dropAt(QDrag& drag, QPoint at) {
        QWidget* viewport = table->viewport();
        const Qt::DropActions offered = Qt::CopyAction | Qt::MoveAction;
        QDragEnterEvent enter(at, offered, drag.mimeData(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &enter);
        if (!enter.isAccepted()) return false;
        QDragMoveEvent move(at, offered, drag.mimeData(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &move);
        QDropEvent dropped(QPointF(at), offered, drag.mimeData(), Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(viewport, &dropped);
        return dropped.isAccepted();
    }

    QVMainNib nib;
    QTableWidget* table = nullptr;
};

}  // namespace

TEST_F(RowDrag, TheFirstRowDroppedBelowTheLastMovesThereInTheListAndOnScreen) {
    bool taken = false;
    dragRow(0, [&](QDrag& drag) {
        // The lower edge of the last row: between it and the end of the list.
        const QRect last = table->visualItemRect(table->item(2, 0));
        taken = dropAt(drag, QPoint(last.center().x(), last.bottom() - 1));
    });
    EXPECT_TRUE(taken);
    EXPECT_EQ(nib.preferences->lensNames(), (std::vector<std::string>{"B", "C", "A"})) << "the data source was told";
    EXPECT_EQ(rowsShown(*table), (std::vector<std::string>{"B", "C", "A"}));
}

TEST_F(RowDrag, ARowDroppedOnTheUpperHalfOfAnotherGoesAboveIt) {
    bool taken = false;
    dragRow(2, [&](QDrag& drag) {
        const QRect first = table->visualItemRect(table->item(0, 0));
        taken = dropAt(drag, QPoint(first.center().x(), first.top() + 1));
    });
    EXPECT_TRUE(taken);
    EXPECT_EQ(nib.preferences->lensNames(), (std::vector<std::string>{"C", "A", "B"}));
    EXPECT_EQ(rowsShown(*table), (std::vector<std::string>{"C", "A", "B"}));
}

TEST_F(RowDrag, ADropFromAnotherProgramIsNotTaken) {
    // Data that names files, as the desktop offers, not rows of this table.
    QMimeData foreign;
    foreign.setUrls({QUrl::fromLocalFile("/tmp/photo.jpg")});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction | Qt::MoveAction, &foreign, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(table->viewport(), &enter);
    EXPECT_FALSE(enter.isAccepted());
    drainLoop();
    EXPECT_EQ(nib.preferences->lensNames(), (std::vector<std::string>{"A", "B", "C"}));
}
