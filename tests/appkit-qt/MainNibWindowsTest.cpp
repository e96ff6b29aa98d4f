// The windows and sheets that the main nib makes, as the person meets them: every control has a
// name for assistive technology, and a sensible one (its title, or what the nib calls it), and no
// control covers another.
#include <QAbstractButton>
#include <QAbstractItemView>
#include <QAbstractSlider>
#include <QAbstractSpinBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMainWindow>
#include <QProgressBar>
#include <QRadioButton>
#include <gtest/gtest.h>

#include <map>
#include <set>

#include "QtTestSupport.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Application.h"

using namespace qv;
using qttest::backend;

namespace {

bool isControl(const QWidget* w) {
    return qobject_cast<const QAbstractButton*>(w) || qobject_cast<const QLineEdit*>(w) ||
           qobject_cast<const QComboBox*>(w) || qobject_cast<const QAbstractSlider*>(w) ||
           qobject_cast<const QAbstractSpinBox*>(w) || qobject_cast<const QProgressBar*>(w) ||
           qobject_cast<const QAbstractItemView*>(w);
}

// The controls a person meets in the window: not the parts that a combo box, a spin box or a table
// is made of (its line edit, scroll bars and headers).
std::vector<QWidget*> controlsOf(QWidget& content) {
    std::vector<QWidget*> found;
    for (QWidget* w : content.findChildren<QWidget*>()) {
        bool part = false;
        for (QWidget* up = w->parentWidget(); up && up != &content; up = up->parentWidget())
            part = part || isControl(up);
        if (!part && isControl(w)) found.push_back(w);
    }
    return found;
}

// A name made up by the backend when it knew nothing better, or a defaults key as it is stored.
bool looksMadeUp(const QString& name) {
    static const std::set<QString> kinds{"button", "text field", "label", "combo box", "pop-up button", "slider",
                                         "stepper", "progress", "colour", "matrix", "table", "cell"};
    if (kinds.count(name)) return true;
    // A key such as "rotationAngle": a lower-case start with capitals inside.
    if (name.isEmpty() || !name[0].isLower()) return false;
    for (const QChar c : name)
        if (c.isUpper()) return true;
    return false;
}

class MainNibWindows : public testing::Test {
protected:
    void SetUp() override { nib = qttest::launchApplication(); }
    void TearDown() override { qttest::closeApplication(); }
    QVMainNib nib;
};

}  // namespace

TEST_F(MainNibWindows, EveryControlOfEveryWindowHasASensibleName) {
    const std::vector<ui::Window*> windows = ui::Application::shared().windows();
    ASSERT_GE(windows.size(), 7u) << "the main window, its sheets and windows, and the batch sheets";
    int checked = 0;
    for (ui::Window* window : windows) {
        if (!window->contentView()) continue;
        if (!window->isVisible()) window->orderFront();
        backend().sync();
        qv::qt::WindowPeer* peer = backend().peerOf(*window);
        ASSERT_NE(peer, nullptr) << window->title();
        std::map<QString, int> uses;
        for (QWidget* control : controlsOf(*peer->widget()->centralWidget())) {
            const QString name = control->accessibleName();
            const std::string where = window->title() + ": " + control->metaObject()->className() + " \"" +
                                      name.toStdString() + "\"";
            ++checked;
            EXPECT_FALSE(name.trimmed().isEmpty()) << where;
            EXPECT_FALSE(looksMadeUp(name)) << where;
            // A control that shows a title is called by it, unless the title is a sign ("+").
            if (auto* button = qobject_cast<QAbstractButton*>(control); button && button->text().size() > 1) {
                EXPECT_EQ(name, button->text()) << where;
            }
            // Radio cells are told apart by their group, which has a name of its own.
            if (qobject_cast<QRadioButton*>(control)) {
                ASSERT_NE(control->parentWidget(), nullptr);
                EXPECT_FALSE(looksMadeUp(control->parentWidget()->accessibleName())) << where;
                EXPECT_FALSE(control->parentWidget()->accessibleName().isEmpty()) << where;
            } else {
                ++uses[name];
            }
        }
        for (const auto& [name, count] : uses) EXPECT_EQ(count, 1) << window->title() << ": \"" << name.toStdString() << "\" names several controls";
        window->orderOut();
    }
    EXPECT_GT(checked, 120);
}

TEST_F(MainNibWindows, ControlsWithoutATitleAreCalledWhatTheNibCallsThem) {
    const auto& m = nib.controller->mainWindow();
    backend().sync();
    auto nameOf = [](const ui::View& view) {
        QWidget* widget = qttest::widgetOf<QWidget>(view);
        return widget ? widget->accessibleName().toStdString() : std::string("(no widget)");
    };
    EXPECT_EQ(nameOf(*m.m_pHorizontalSlider), "Yaw");
    EXPECT_EQ(nameOf(*m.m_pYawText), "Yaw value");
    EXPECT_EQ(nameOf(*m.m_pManufacturerText), "Camera make") << "a value shown is not the field's name";
    EXPECT_EQ(nameOf(*m.m_pZoomPlusButton), "Zoom in");
    EXPECT_EQ(nameOf(*m.m_pOpenButton), "Open");
    EXPECT_EQ(nameOf(*m.m_pCropRadioButtons), "Crop");
}

TEST_F(MainNibWindows, NoControlOfAWindowCoversAnother) {
    for (ui::Window* window : ui::Application::shared().windows()) {
        if (!window->contentView()) continue;
        if (!window->isVisible()) window->orderFront();
        backend().sync();
        qv::qt::WindowPeer* peer = backend().peerOf(*window);
        ASSERT_NE(peer, nullptr) << window->title();
        QWidget* content = peer->widget()->centralWidget();
        // The controls placed on the window itself; a matrix's cells are laid out inside it.
        std::vector<QWidget*> placed;
        for (QWidget* w : content->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
            if (isControl(w) || !w->findChildren<QRadioButton*>().empty() || !w->findChildren<QLineEdit*>().empty())
                placed.push_back(w);
        for (std::size_t i = 0; i < placed.size(); ++i)
            for (std::size_t j = i + 1; j < placed.size(); ++j)
                EXPECT_FALSE(placed[i]->geometry().intersects(placed[j]->geometry()))
                    << window->title() << ": \"" << placed[i]->accessibleName().toStdString() << "\" and \""
                    << placed[j]->accessibleName().toStdString() << "\"";
        window->orderOut();
    }
}
