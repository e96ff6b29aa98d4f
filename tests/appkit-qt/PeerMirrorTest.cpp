// Each kind of control's peer mirrors its model both ways.
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <QTableWidget>
#include <QTest>
#include <gtest/gtest.h>

#include "QtTestSupport.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Application.h"
#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/Matrix.h"
#include "foundation/Notifications.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"

using namespace qv;
using namespace qv::ui;
using qttest::backend;
using qttest::drainLoop;
using qttest::widgetOf;

namespace {

class PeerMirror : public testing::Test {
protected:
    void SetUp() override {
        backend();
        drainLoop();
        auto& content = *window.contentView();
        slider = std::make_shared<Slider>(Rect(20, 250, 200, 22), 0, 100, 25);
        slider->setAction([this](Control&) { ++sliderActions; });
        field = std::make_shared<TextField>(Rect(20, 220, 200, 22), "hello");
        box = Button::checkBox(Rect(20, 190, 200, 22), "Grid");
        popUp = std::make_shared<PopUpButton>(Rect(20, 160, 200, 22));
        popUp->addItemsWithTitles({"Bilinear", "Gaussian", "Lanczos"});
        popUp->selectItemAtIndex(1);
        radios = Matrix::radioColumn(Rect(240, 160, 140, 90), {"None", "Inside", "Outside"}, {0, 1, 2});
        progress = std::make_shared<ProgressIndicator>(Rect(20, 130, 200, 20));
        for (std::shared_ptr<View> view : std::vector<std::shared_ptr<View>>{slider, field, box, popUp, radios, progress})
            content.addSubview(view);
        window.makeKeyAndOrderFront();
    }
    void TearDown() override { drainLoop(); }

    Window window{Rect(100, 100, 400, 300), "Mirror"};
    std::shared_ptr<Slider> slider;
    std::shared_ptr<TextField> field;
    std::shared_ptr<Button> box;
    std::shared_ptr<PopUpButton> popUp;
    std::shared_ptr<Matrix> radios;
    std::shared_ptr<ProgressIndicator> progress;
    int sliderActions = 0;
};

std::vector<QRadioButton*> radioButtons(QWidget& matrix) {
    std::vector<QRadioButton*> found;
    for (QRadioButton* radio : matrix.findChildren<QRadioButton*>()) found.push_back(radio);
    return found;
}

}  // namespace

TEST_F(PeerMirror, TheWindowShowsAtItsFrameWithItsTitleAndEveryControl) {
    backend().sync();
    qv::qt::WindowPeer* peer = backend().peerOf(window);
    ASSERT_NE(peer, nullptr);
    EXPECT_TRUE(peer->widget()->isVisible());
    EXPECT_EQ(peer->widget()->windowTitle(), "Mirror");
    EXPECT_EQ(peer->widget()->centralWidget()->size(), QSize(400, 300));
    auto* qslider = widgetOf<QSlider>(*slider);
    ASSERT_NE(qslider, nullptr);
    // The model counts y upwards from the bottom: a slider at y 250, 22 high, sits 28 from the top.
    EXPECT_EQ(qslider->geometry(), QRect(20, 28, 200, 22));
    EXPECT_NE(widgetOf<QLineEdit>(*field), nullptr);
    EXPECT_NE(widgetOf<QCheckBox>(*box), nullptr);
    EXPECT_NE(widgetOf<QComboBox>(*popUp), nullptr);
    EXPECT_NE(widgetOf<QProgressBar>(*progress), nullptr);
    EXPECT_FALSE(widgetOf<QCheckBox>(*box)->accessibleName().isEmpty());
    EXPECT_FALSE(qslider->accessibleName().isEmpty());

    window.orderOut();
    backend().sync();
    EXPECT_FALSE(peer->widget()->isVisible());
}

TEST_F(PeerMirror, ValuesTheProgramSetsShowInTheWidgets) {
    auto* qslider = widgetOf<QSlider>(*slider);
    auto* edit = widgetOf<QLineEdit>(*field);
    auto* check = widgetOf<QCheckBox>(*box);
    auto* combo = widgetOf<QComboBox>(*popUp);
    ASSERT_TRUE(qslider && edit && check && combo);
    EXPECT_EQ(qslider->value(), 2500);
    EXPECT_EQ(edit->text(), "hello");
    EXPECT_FALSE(check->isChecked());
    EXPECT_EQ(combo->count(), 3);
    EXPECT_EQ(combo->currentIndex(), 1);

    slider->setDoubleValue(75);
    field->setStringValue("world");
    box->setState(kOnState);
    box->setTitle("Show grid");
    popUp->addItemWithTitle("B-spline");
    popUp->selectItemAtIndex(3);
    radios->selectCellAtRow(2);
    progress->setDoubleValue(40);
    slider->setHidden(true);
    field->setFrame(Rect(30, 200, 150, 22));
    backend().sync();
    EXPECT_EQ(qslider->value(), 7500);
    EXPECT_TRUE(qslider->isHidden());
    EXPECT_EQ(edit->text(), "world");
    EXPECT_EQ(edit->geometry(), QRect(30, 78, 150, 22));
    EXPECT_TRUE(check->isChecked());
    EXPECT_EQ(check->text(), "Show grid");
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->currentText(), "B-spline");
    auto cells = radioButtons(*widgetOf<QWidget>(*radios));
    ASSERT_EQ(cells.size(), 3u);
    EXPECT_TRUE(cells[2]->isChecked());
    EXPECT_FALSE(cells[0]->isChecked());
    EXPECT_EQ(widgetOf<QProgressBar>(*progress)->value(), 400);
}

TEST_F(PeerMirror, WhatThePersonDoesReachesTheModelAsTheUsersAction) {
    auto* qslider = widgetOf<QSlider>(*slider);
    auto* edit = widgetOf<QLineEdit>(*field);
    auto* check = widgetOf<QCheckBox>(*box);
    auto* combo = widgetOf<QComboBox>(*popUp);
    ASSERT_TRUE(qslider && edit && check && combo);

    // A drag sends many positions; the model takes the last one, and the action runs once.
    qslider->setValue(4000);
    qslider->setValue(5000);
    drainLoop();
    EXPECT_DOUBLE_EQ(slider->doubleValue(), 50);
    EXPECT_EQ(sliderActions, 1);

    edit->selectAll();
    QTest::keyClicks(edit, "typed");
    drainLoop();
    EXPECT_EQ(field->stringValue(), "typed");

    check->click();  // as a click on its box or title
    drainLoop();
    EXPECT_EQ(box->state(), kOnState);

    emit combo->activated(2);
    drainLoop();
    EXPECT_EQ(popUp->indexOfSelectedItem(), 2);

    auto cells = radioButtons(*widgetOf<QWidget>(*radios));
    ASSERT_EQ(cells.size(), 3u);
    cells[1]->click();
    drainLoop();
    EXPECT_EQ(radios->selectedRow(), 1);
}

TEST_F(PeerMirror, ADisabledControlTakesNoClickAndTheWidgetShowsTheModelAgain) {
    auto* check = widgetOf<QCheckBox>(*box);
    ASSERT_NE(check, nullptr);
    // The widget still looked enabled when the click came; the model refuses it.
    box->setEnabled(false);
    emit check->clicked(true);
    check->setChecked(true);
    drainLoop();
    EXPECT_EQ(box->state(), kOffState);
    backend().sync();
    EXPECT_FALSE(check->isChecked());
    EXPECT_FALSE(check->isEnabled());
}

TEST_F(PeerMirror, ADisabledBindingGreysTheWidgetAsTheKeyChanges) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.set("qtMirrorEnabled", Value(true));
    slider->bindEnabled(defaults, "qtMirrorEnabled");
    auto* qslider = widgetOf<QSlider>(*slider);
    ASSERT_NE(qslider, nullptr);
    EXPECT_TRUE(qslider->isEnabled());
    defaults.set("qtMirrorEnabled", Value(false));
    drainLoop();
    backend().sync();
    EXPECT_FALSE(qslider->isEnabled());
    defaults.set("qtMirrorEnabled", Value(true));
    drainLoop();
    backend().sync();
    EXPECT_TRUE(qslider->isEnabled());
}

TEST_F(PeerMirror, APopUpPostsItsNotificationBeforeItsMenuOpensAndShowsWhatObserversAdded) {
    auto subscription = NotificationCenter::defaultCenter().addObserver(
        kPopUpButtonWillPopUpNotification, popUp.get(), [this](const Notification&) { popUp->addItemWithTitle("Added"); });
    auto* combo = widgetOf<QComboBox>(*popUp);
    ASSERT_NE(combo, nullptr);
    combo->showPopup();
    EXPECT_EQ(combo->count(), 4);
    EXPECT_EQ(combo->itemText(3), "Added");
    combo->hidePopup();
}

TEST_F(PeerMirror, AWindowAddedLaterGetsItsPeerWithoutBeingAnnounced) {
    backend().sync();
    Panel later(Rect(50, 50, 200, 100), "Later sheet");
    auto button = std::make_shared<Button>(Rect(10, 10, 80, 24), "Done");
    later.contentView()->addSubview(button);
    EXPECT_EQ(backend().peerOf(later), nullptr);  // not shown yet
    ASSERT_TRUE(Application::shared().beginSheet(later, window));
    auto* push = widgetOf<QPushButton>(*button);
    ASSERT_NE(push, nullptr);
    EXPECT_EQ(push->text(), "Done");
    EXPECT_TRUE(backend().peerOf(later)->widget()->isVisible());
    // A sheet is modal to its window.
    EXPECT_EQ(backend().peerOf(later)->widget()->windowModality(), Qt::WindowModal);
    Application::shared().endSheet(later);
    later.orderOut();
    backend().sync();
}

TEST_F(PeerMirror, ReturnAndEscapeOnASheetPressItsDefaultAndItsCancelButton) {
    Panel sheet(Rect(0, 0, 300, 120), "Sheet");
    std::vector<std::string> pressed;
    for (const char* title : {"Cancel", "Load"}) {
        auto button = std::make_shared<Button>(Rect(title[0] == 'C' ? 10 : 150, 10, 120, 24), title);
        button->setAction([&pressed, title](Control&) { pressed.push_back(title); });
        sheet.contentView()->addSubview(button);
    }
    ASSERT_TRUE(Application::shared().beginSheet(sheet, window));
    backend().sync();
    QWidget* widget = backend().peerOf(sheet)->widget();
    for (int key : {Qt::Key_Return, Qt::Key_Escape}) {
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier);
        QApplication::sendEvent(widget, &press);
    }
    drainLoop();
    EXPECT_EQ(pressed, (std::vector<std::string>{"Load", "Cancel"}));
    Application::shared().endSheet(sheet);
    sheet.orderOut();
    backend().sync();
}

TEST(TablePeer, RowsSelectionAndEditsGoBothWays) {
    backend();
    struct Source : TableDataSource {
        std::vector<std::string> names{"EF 50", "EF-S 18-55", "Sigma 10-20"};
        int numberOfRowsInTableView(TableView&) override { return int(names.size()); }
        CellValue objectValueForTableColumn(TableView&, const TableColumn*, int row) override {
            return CellValue(Value(names[std::size_t(row)]));
        }
        void setObjectValue(TableView&, const Value& v, const TableColumn*, int row) override {
            names[std::size_t(row)] = v.stringOr("");
        }
    } source;
    Window window(Rect(0, 0, 300, 200), "Table");
    auto table = std::make_shared<TableView>(Rect(10, 10, 280, 180));
    table->addTableColumn({"lens", "Lens", true});
    table->setDataSource(&source);
    table->reloadData();
    window.contentView()->addSubview(table);
    window.orderFront();
    auto* widget = widgetOf<QTableWidget>(*table);
    ASSERT_NE(widget, nullptr);
    ASSERT_EQ(widget->rowCount(), 3);
    EXPECT_EQ(widget->item(1, 0)->text(), "EF-S 18-55");

    table->selectRow(2);
    backend().sync();
    EXPECT_TRUE(widget->item(2, 0)->isSelected());
    EXPECT_FALSE(widget->item(0, 0)->isSelected());

    emit widget->cellPressed(0, 0);
    drainLoop();
    EXPECT_EQ(table->selectedRow(), 0);

    widget->item(1, 0)->setText("EF-S 18-55 IS");
    drainLoop();
    EXPECT_EQ(source.names[1], "EF-S 18-55 IS");

    // Moving with the keyboard selects the row reached, as a click does.
    widget->setFocus();
    backend().sync();
    QTest::keyClick(widget, Qt::Key_Down);
    drainLoop();
    EXPECT_EQ(table->selectedRow(), 1);

    // New rows show after the table reloads.
    source.names.push_back("AF-S 18-70");
    table->reloadData();
    backend().sync();
    EXPECT_EQ(widget->rowCount(), 4);
    EXPECT_EQ(widget->item(3, 0)->text(), "AF-S 18-70");

    // A row the program selects far down the list is scrolled into view.
    for (int i = 0; i < 60; ++i) source.names.push_back("Lens " + std::to_string(i));
    table->reloadData();
    table->selectRow(60);
    backend().sync();
    ASSERT_TRUE(widget->item(60, 0)->isSelected());
    EXPECT_TRUE(widget->viewport()->rect().intersects(widget->visualItemRect(widget->item(60, 0))));
    window.orderOut();
    backend().sync();
}

TEST(ColorWellPeer, TheColourDialogIsNotPaintedInTheWellsColour) {
    backend();
    Window window(Rect(0, 0, 200, 100), "Grid");
    auto well = std::make_shared<ColorWell>(Rect(10, 10, 80, 22), Color::yellowColor());
    window.contentView()->addSubview(well);
    window.orderFront();
    auto* swatch = widgetOf<QPushButton>(*well);
    ASSERT_NE(swatch, nullptr);
    double yellowShare = 1;
    auto look = qttest::whenShown<QColorDialog>([&](QColorDialog& dialog) {
        const QImage image = dialog.grab().toImage();
        int yellow = 0;
        for (int y = 0; y < image.height(); y += 4)
            for (int x = 0; x < image.width(); x += 4) yellow += image.pixelColor(x, y) == QColor(Qt::yellow);
        yellowShare = double(yellow) / ((image.height() / 4 + 1) * (image.width() / 4 + 1));
        dialog.reject();
    });
    swatch->click();
    ASSERT_TRUE(RunLoop::main().runUntil([&] { return yellowShare < 1; }, 10));
    EXPECT_LT(yellowShare, 0.2) << "only the dialog's own swatches show the colour";
    window.orderOut();
    backend().sync();
}

TEST(MenuBarPeer, TheMainMenuIsTheDocumentWindowsMenuBarWithTheUsualShortcuts) {
    backend();
    int opened = 0;
    auto main = std::make_shared<Menu>("Main");
    auto file = std::make_shared<Menu>("File");
    file->addItem("Open…", "onLoadImage:", [&](MenuItem&) { ++opened; });
    file->addItem("Save", "onSave:", [](MenuItem&) {});
    main->addItem("File", "", {})->setSubmenu(file);
    Application::shared().setMainMenu(main);
    Window window(Rect(0, 0, 300, 200), "Document");
    window.makeKeyAndOrderFront();
    backend().sync();
    QMainWindow* widget = backend().peerOf(window)->widget();
    const auto menus = widget->menuBar()->actions();
    ASSERT_EQ(menus.size(), 1);
    EXPECT_EQ(menus[0]->text(), "File");
    const auto items = menus[0]->menu()->actions();
    ASSERT_EQ(items.size(), 2);
    EXPECT_EQ(items[0]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_O));
    EXPECT_EQ(items[1]->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_S));
    items[0]->trigger();
    drainLoop();
    EXPECT_EQ(opened, 1);
    Application::shared().setMainMenu(nullptr);
    window.orderOut();
    backend().sync();
}
