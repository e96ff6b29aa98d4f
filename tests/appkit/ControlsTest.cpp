#include <gtest/gtest.h>

#include <atomic>
#include <cfloat>
#include <climits>
#include <cmath>
#include <thread>

#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/ComboBox.h"
#include "appkit/Matrix.h"
#include "appkit/NumberText.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/TextField.h"
#include "foundation/Notifications.h"

using namespace qv;
using namespace qv::ui;

TEST(NumberText, ReadsTheLeadingNumberElseZero) {
    EXPECT_DOUBLE_EQ(readDouble("3.5abc"), 3.5);
    EXPECT_DOUBLE_EQ(readDouble("  -2.5e2 mm"), -250);
    EXPECT_DOUBLE_EQ(readDouble("+.5"), 0.5);
    EXPECT_DOUBLE_EQ(readDouble("7."), 7);
    EXPECT_DOUBLE_EQ(readDouble("2e"), 2);     // an exponent without digits is not part of the number
    EXPECT_DOUBLE_EQ(readDouble("1e+x"), 1);
    EXPECT_DOUBLE_EQ(readDouble("abc"), 0);
    EXPECT_DOUBLE_EQ(readDouble(""), 0);
    EXPECT_DOUBLE_EQ(readDouble("-"), 0);
    EXPECT_DOUBLE_EQ(readDouble("."), 0);
    EXPECT_DOUBLE_EQ(readDouble("inf"), 0);    // no spelled-out infinities or NaNs
    EXPECT_DOUBLE_EQ(readDouble("nan"), 0);
    EXPECT_DOUBLE_EQ(readDouble("0x10"), 0);   // no hexadecimal either
    EXPECT_DOUBLE_EQ(readDouble("1e999"), DBL_MAX);
    EXPECT_DOUBLE_EQ(readDouble("-1e999"), -DBL_MAX);

    EXPECT_EQ(readInt("12.7"), 12);
    EXPECT_EQ(readInt(" -42px"), -42);
    EXPECT_EQ(readInt("1e3"), 1);
    EXPECT_EQ(readInt("x1"), 0);
    EXPECT_EQ(readInt("99999999999"), INT_MAX);
    EXPECT_EQ(readInt("-99999999999"), INT_MIN);
}

TEST(NumberText, ShowsNumbersInTheirShortestForm) {
    EXPECT_EQ(formatDouble(100), "100");
    EXPECT_EQ(formatDouble(0.1), "0.1");
    EXPECT_EQ(formatFloat(0.7f), "0.7");
    EXPECT_EQ(formatDouble(-0.02), "-0.02");
}

TEST(TextField, NumericValuesReadTheTextAndNumbersAreShownAsText) {
    TextField field;
    field.setStringValue("35 mm");
    EXPECT_FLOAT_EQ(field.floatValue(), 35.0f);
    EXPECT_EQ(field.intValue(), 35);
    field.setStringValue("wide");
    EXPECT_DOUBLE_EQ(field.doubleValue(), 0.0);
    field.setFloatValue(0.7f);
    EXPECT_EQ(field.stringValue(), "0.7");
    EXPECT_FLOAT_EQ(field.floatValue(), 0.7f);
    field.setIntValue(100);
    EXPECT_EQ(field.stringValue(), "100");
}

TEST(TextField, TypingTellsTheDelegateButProgramChangesDoNot) {
    struct Listener : TextFieldDelegate {
        std::vector<std::string> seen;
        void controlTextDidChange(TextField& f) override { seen.push_back(f.stringValue()); }
    } listener;
    TextField field;
    field.setDelegate(&listener);
    field.setStringValue("1");
    EXPECT_TRUE(field.userType("17"));
    EXPECT_EQ(listener.seen, std::vector<std::string>{"17"});
    field.setEnabled(false);
    EXPECT_FALSE(field.userType("99"));
    EXPECT_EQ(field.stringValue(), "17");
    auto label = TextField::label(Rect(), "Lens");
    EXPECT_FALSE(label->userType("x"));
}

TEST(Slider, ClampsToItsRangeAsThePlatformDoes) {
    Slider slider(Rect(), -180, 180, 0);
    slider.setDoubleValue(250);
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 180);
    slider.setStringValue("-400 degrees");
    EXPECT_DOUBLE_EQ(slider.doubleValue(), -180);
    slider.setDoubleValue(NAN);
    EXPECT_DOUBLE_EQ(slider.doubleValue(), -180);
    slider.setFloatValue(12.3f);
    EXPECT_EQ(slider.floatValue(), 12.3f);  // a float in range reads back exactly
    slider.setMaxValue(10);                 // narrowing the range moves the knob in
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 10);
    slider.setMinValue(20);                 // a range upside down pins at the minimum
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 20);
}

TEST(Slider, UserMovesSendTheActionWithTheSliderAsSender) {
    struct Target {
        double seen = -1;
        void onSlider(Slider* sender) { seen = sender ? sender->doubleValue() : -2; }
    } target;
    Slider slider(Rect(), 0, 100, 50);
    slider.setTarget(&target, &Target::onSlider);
    EXPECT_TRUE(slider.userMoveTo(140));
    EXPECT_DOUBLE_EQ(target.seen, 100);
    slider.setHidden(true);
    EXPECT_FALSE(slider.userMoveTo(3));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 100);
}

TEST(Stepper, StepsWrapOrStopAtTheEnds) {
    Stepper stepper;
    stepper.setMinValue(-5);
    stepper.setMaxValue(5);
    stepper.setIncrement(5);
    int actions = 0;
    stepper.setAction([&](Control&) { ++actions; });
    stepper.setDoubleValue(0);
    stepper.userClickUp();
    EXPECT_DOUBLE_EQ(stepper.doubleValue(), 5);
    stepper.userClickUp();  // wraps by default
    EXPECT_DOUBLE_EQ(stepper.doubleValue(), -5);
    stepper.setValueWraps(false);
    stepper.userClickDown();
    EXPECT_DOUBLE_EQ(stepper.doubleValue(), -5);
    EXPECT_EQ(actions, 3);
}

TEST(PopUpButton, AddingATitleThatExistsReplacesThatItem) {
    PopUpButton popUp;
    popUp.addItemsWithTitles({"D70", "D200", "Show All"});
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);  // a filled pop-up shows its first item
    popUp.addSeparator();
    popUp.addItemWithTitle("Show All");
    EXPECT_EQ(popUp.itemTitles(), (std::vector<std::string>{"D70", "D200", "", "Show All"}));
    popUp.addItemWithTitle("Show All");
    EXPECT_EQ(popUp.numberOfItems(), 4);

    // The selection stays on its item when items move around it.
    popUp.selectItemWithTitle("D200");
    popUp.insertItemWithTitle("D70", 3);
    EXPECT_EQ(popUp.itemTitles(), (std::vector<std::string>{"D200", "", "Show All", "D70"}));
    EXPECT_EQ(popUp.titleOfSelectedItem(), "D200");
    popUp.selectItemWithTitle("D70");
    popUp.addItemWithTitle("D70");  // the selected item itself is replaced: the new one is selected
    EXPECT_EQ(popUp.titleOfSelectedItem(), "D70");
    EXPECT_EQ(popUp.indexOfSelectedItem(), 3);
}

TEST(PopUpButton, SelectionRefusesSeparatorsAndFollowsRemovals) {
    PopUpButton popUp;
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
    EXPECT_FALSE(popUp.titleOfSelectedItem().has_value());
    popUp.addItemsWithTitles({"a", "b"});
    popUp.addSeparator();
    popUp.addItemWithTitle("c");
    EXPECT_FALSE(popUp.selectItemAtIndex(2));
    EXPECT_FALSE(popUp.selectItemAtIndex(9));
    EXPECT_EQ(popUp.indexOfSelectedItem(), 0);
    popUp.selectItemAtIndex(3);
    popUp.removeItemAtIndex(0);
    EXPECT_EQ(popUp.titleOfSelectedItem(), "c");
    popUp.removeItemWithTitle("c");
    EXPECT_EQ(popUp.titleOfSelectedItem(), "b");
    popUp.removeAllItems();
    EXPECT_EQ(popUp.indexOfSelectedItem(), -1);
}

TEST(PopUpButton, OpeningTellsObserversBeforeTheChoice) {
    PopUpButton popUp;
    popUp.addItemWithTitle("Canon");
    std::vector<std::string> log;
    Subscription observing = NotificationCenter::defaultCenter().addObserver(
        kPopUpButtonWillPopUpNotification, nullptr, [&](const Notification& n) {
            log.push_back("will pop");
            if (n.sender == &popUp) popUp.addItemWithTitle("Show All");
        });
    popUp.setAction([&](Control& c) { log.push_back(*static_cast<PopUpButton&>(c).titleOfSelectedItem()); });
    EXPECT_TRUE(popUp.userChooseItem(1));
    EXPECT_EQ(log, (std::vector<std::string>{"will pop", "Show All"}));
}

TEST(Button, CheckBoxesToggleAndPushButtonsOnlySendTheirAction) {
    auto box = Button::checkBox(Rect(20, 20, 135, 20), "Don't ask again");
    int clicks = 0;
    box->setAction([&](Control&) { ++clicks; });
    box->performClick();
    EXPECT_EQ(box->state(), kOnState);
    box->performClick();
    EXPECT_EQ(box->state(), kOffState);
    box->setState(7);
    EXPECT_EQ(box->state(), kOnState);
    Button push(Rect(), "OK");
    push.setAction([&](Control&) { ++clicks; });
    push.performClick();
    EXPECT_EQ(push.state(), kOffState);
    EXPECT_EQ(clicks, 3);
}

TEST(Matrix, RadioCellsSelectOneAndDisabledCellsRefuseClicks) {
    auto crop = Matrix::radioColumn(Rect(), {"Inside", "Outside", "None"}, {1, 2, 0});
    EXPECT_EQ(crop->selectedCell()->tag(), 1);
    EXPECT_TRUE(crop->selectCellWithTag(0));
    EXPECT_EQ(crop->selectedRow(), 2);
    EXPECT_EQ(crop->cellWithTag(0)->state(), 1);
    EXPECT_EQ(crop->cellWithTag(1)->state(), 0);
    crop->cellWithTag(1)->setEnabled(false);
    EXPECT_FALSE(crop->userClickCell(0));
    EXPECT_EQ(crop->selectedCell()->tag(), 0);
    EXPECT_TRUE(crop->userClickCell(1));
    EXPECT_EQ(crop->selectedCell()->tag(), 2);
    crop->setIntValue(7);  // no such cell: unchanged
    EXPECT_EQ(crop->selectedRow(), 1);

    Matrix coefficients(Rect(), MatrixMode::List, 4, 1);
    coefficients.cellAtRow(3)->setFloatValue(1.005f);
    EXPECT_FLOAT_EQ(coefficients.cellAtRow(3)->floatValue(), 1.005f);
    coefficients.cellAtRow(0)->setStringValue("0.01x");
    EXPECT_DOUBLE_EQ(coefficients.cellAtRow(0)->doubleValue(), 0.01);
    EXPECT_EQ(coefficients.cellAtRow(4), nullptr);
}

TEST(ComboBox, ChoosingAnItemSelectsItAndTypingLeavesTypedText) {
    struct Listener : ComboBoxDelegate {
        int changes = 0;
        void comboBoxSelectionDidChange(ComboBox&) override { ++changes; }
    } listener;
    ComboBox combo;
    combo.setComboDelegate(&listener);
    combo.addItemsWithObjectValues({"Name", "Extension", "00"});
    combo.selectItemAtIndex(2);
    EXPECT_EQ(combo.indexOfSelectedItem(), 2);
    EXPECT_EQ(combo.stringValue(), "00");
    EXPECT_TRUE(combo.userType("_final"));
    EXPECT_EQ(combo.indexOfSelectedItem(), -1);
    EXPECT_EQ(combo.stringValue(), "_final");
    EXPECT_TRUE(combo.userChooseItem(0));
    EXPECT_EQ(listener.changes, 2);
    EXPECT_FALSE(combo.userChooseItem(5));
}

TEST(ProgressAndColour, ValuesStayInRange) {
    ProgressIndicator bar;
    bar.incrementBy(60);
    bar.incrementBy(60);
    EXPECT_DOUBLE_EQ(bar.doubleValue(), 100);
    ColorWell well(Rect(), Color::yellowColor());
    EXPECT_EQ(well.color(), Color::yellowColor());
    well.setObjectValue(Value(Array{2.0, -1.0, 0.5}));
    EXPECT_EQ(well.color(), Color::rgb(1, 0, 0.5, 1));
    well.setObjectValue(Value("blue"));  // not a colour: kept
    EXPECT_EQ(well.color(), Color::rgb(1, 0, 0.5, 1));
}

TEST(Control, ValuesCanBeReadFromAnotherThreadWhileTheMainThreadSetsThem) {
    Slider slider(Rect(), 0, 1000, 0);
    PopUpButton popUp;
    std::atomic<bool> done{false};
    std::atomic<int> outOfRange{0};
    std::thread reader([&] {
        while (!done) {
            double v = slider.doubleValue();
            if (v < 0 || v > 1000) ++outOfRange;
            auto title = popUp.titleOfSelectedItem();
            if (title && title->empty()) ++outOfRange;
        }
    });
    for (int i = 0; i < 20000; ++i) {
        slider.setDoubleValue(i % 2000);
        popUp.addItemWithTitle("item" + std::to_string(i % 7));
        if (i % 100 == 0) popUp.removeAllItems();
    }
    done = true;
    reader.join();
    EXPECT_EQ(outOfRange, 0);
}
