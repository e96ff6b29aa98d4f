#include <gtest/gtest.h>

#include <thread>

#include "appkit/Button.h"
#include "appkit/Matrix.h"
#include "appkit/RangeControls.h"
#include "appkit/TextField.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"

using namespace qv;
using namespace qv::ui;

TEST(Binding, BoundSliderFollowsItsKeyAndTheUserMovesTheKey) {
    UserDefaults& defaults = UserDefaults::standard();
    defaults.set("rotationAngle", Value(12.0f));
    Slider slider(Rect(), -180, 180, 0);
    slider.bindValue(defaults, "rotationAngle");
    EXPECT_FLOAT_EQ(slider.floatValue(), 12.0f);  // takes the key's value when bound

    defaults.set("rotationAngle", Value(-45.5f));
    EXPECT_FLOAT_EQ(slider.floatValue(), -45.5f);
    defaults.set("rotationAngle", Value(250.0));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 180);                // clamped on the control...
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("rotationAngle"), 250);  // ...the key keeps what was set

    int actions = 0;
    slider.setAction([&](Control&) {
        ++actions;
        EXPECT_DOUBLE_EQ(defaults.doubleForKey("rotationAngle"), 30);  // the key is set before the action
    });
    slider.userMoveTo(30);
    EXPECT_EQ(actions, 1);
    slider.setDoubleValue(-10);  // the program moving the control leaves the key alone
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("rotationAngle"), 30);
    defaults.remove("rotationAngle");  // nothing set: the control reads zero
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 0);
}

TEST(Binding, KeysSetOnAWorkerReachTheControlThroughTheMainLoop) {
    UserDefaults& defaults = UserDefaults::standard();
    Slider scale(Rect(), 50, 200, 100);
    scale.bindValue(defaults, "scaleValue");
    std::thread worker([&] { defaults.set("scaleValue", Value(150.0f)); });
    worker.join();
    EXPECT_TRUE(RunLoop::main().runUntil([&] { return scale.doubleValue() == 150; }, 5.0));
}

TEST(Binding, EnabledStateFollowsABooleanKey) {
    UserDefaults& defaults = UserDefaults::standard();
    Slider yaw(Rect(), -45, 45, 0);
    Button open(Rect(), "Open");
    yaw.bindEnabled(defaults, "enableControl");
    open.bindEnabled(defaults, "openButton");
    EXPECT_TRUE(yaw.isEnabled());  // no key yet: as built
    defaults.set("enableControl", Value(false));
    defaults.set("openButton", Value(true));
    EXPECT_FALSE(yaw.isEnabled());
    EXPECT_TRUE(open.isEnabled());
    EXPECT_FALSE(yaw.userMoveTo(10));
    defaults.set("enableControl", Value(true));
    EXPECT_TRUE(yaw.userMoveTo(10));
}

TEST(Binding, OtherControlsBindTheirValuesToo) {
    UserDefaults& defaults = UserDefaults::standard();
    TextField width;
    width.bindValue(defaults, "feOutputWidth");
    EXPECT_TRUE(width.userType("1024"));
    EXPECT_EQ(defaults.stringForKey("feOutputWidth"), "1024");
    defaults.set("feOutputWidth", Value(800.0f));
    EXPECT_EQ(width.stringValue(), "800");

    auto box = Button::checkBox(Rect(), "Grid");
    box->bindValue(defaults, "showGrid");
    box->performClick();
    EXPECT_TRUE(defaults.boolForKey("showGrid"));

    auto matrix = Matrix::radioColumn(Rect(), {"Inside", "Outside", "None"}, {1, 2, 0});
    matrix->bindValue(defaults, "cropChoice");
    defaults.set("cropChoice", Value(2));
    EXPECT_EQ(matrix->selectedCell()->tag(), 0);
    EXPECT_EQ(matrix->cellAtRow(2)->state(), kOnState);
    EXPECT_EQ(matrix->cellAtRow(0)->state(), kOffState);
}

TEST(Binding, AControlThatIsGoneOrUnboundNoLongerHearsItsKey) {
    UserDefaults& defaults = UserDefaults::standard();
    {
        Slider temporary(Rect(), 0, 1, 0);
        temporary.bindValue(defaults, "vigAmount");
    }
    defaults.set("vigAmount", Value(0.5));  // must not reach the destroyed slider

    Slider slider(Rect(), 0, 1, 0);
    slider.bindValue(defaults, "vigAmount");
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 0.5);
    slider.unbind();
    defaults.set("vigAmount", Value(0.25));
    EXPECT_DOUBLE_EQ(slider.doubleValue(), 0.5);
    slider.userMoveTo(0.75);
    EXPECT_DOUBLE_EQ(defaults.doubleForKey("vigAmount"), 0.25);
}
