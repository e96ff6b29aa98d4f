#pragma once
// The parts the program's nibs are made of: the main window's correction, lens and fisheye
// controls, the lens and database sheets, the lens-selection and preferences windows and the
// menu, each connected to the controller as an interface file connects it. The application's main
// nib and the plug-in's nib put them together, each with what only it has.
#include <initializer_list>
#include <memory>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/Matrix.h"
#include "appkit/Menu.h"
#include "appkit/NibBuilder.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "engine/QVDisplayView.h"
#include "foundation/Assert.h"
#include "foundation/UserDefaults.h"
#include "lens/QVPreferences.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/nib/QVMainNib.h"

namespace shell::nibparts {

using namespace qv::ui;
using qv::Rect;

// Places controls in rows from the top of a column downwards.
class Column {
public:
    Column(double left, double top, double width) : m_left(left), m_top(top), m_width(width) {}
    Rect next(double height = 22) {
        m_top -= height + 4;
        return Rect(m_left, m_top, m_width, height);
    }
    // A row of cells of the given widths, left to right; a width of 0 takes what the others leave.
    std::vector<Rect> cells(std::initializer_list<double> widths, double height = 22) {
        const Rect row = next(height);
        double fixed = 4 * (double(widths.size()) - 1);
        int rest = 0;
        for (double width : widths) {
            fixed += width;
            rest += width > 0 ? 0 : 1;
        }
        std::vector<Rect> made;
        double x = row.minX();
        for (double width : widths) {
            const double w = width > 0 ? width : (row.width() - fixed) / rest;
            made.emplace_back(x, row.minY(), w, height);
            x += w + 4;
        }
        return made;
    }
    // A row split into `parts` equal cells, side by side.
    std::vector<Rect> split(int parts, double height = 22) {
        const Rect row = next(height);
        std::vector<Rect> cells;
        const double width = (row.width() - 4 * (parts - 1)) / parts;
        for (int i = 0; i < parts; ++i) cells.emplace_back(row.minX() + i * (width + 4), row.minY(), width, height);
        return cells;
    }

private:
    double m_left, m_top, m_width;
};

// Keeps the observers that bind the fringe sliders' range to the user defaults.
class RangeBindings : public qv::ui::NibObject {
public:
    void bindRange(Slider& slider, qv::UserDefaults& defaults, const char* minKey, const char* maxKey) {
        Slider* target = &slider;
        m_subscriptions.push_back(defaults.observe(maxKey, [target](const std::string&, const qv::Value& v) {
            if (auto max = v.asDouble()) target->setMaxValue(*max);
        }));
        m_subscriptions.push_back(defaults.observe(minKey, [target](const std::string&, const qv::Value& v) {
            if (auto min = v.asDouble()) target->setMinValue(*min);
        }));
        if (auto max = defaults.object(maxKey).asDouble()) slider.setMaxValue(*max);
        if (auto min = defaults.object(minKey).asDouble()) slider.setMinValue(*min);
    }

private:
    std::vector<qv::Subscription> m_subscriptions;
};

class Builder {
public:
    Builder(NibBuilder& nib, QVController& controller)
        : b(nib), c(controller), defaults(qv::UserDefaults::standard()) {}

    std::shared_ptr<Window> window(const Rect& frame, const std::string& title, bool panel) {
        if (panel) return b.make<Panel>(frame, title);
        return b.make<Window>(frame, title);
    }

    template <class Sender>
    std::shared_ptr<Button> button(Window& w, const Rect& frame, const std::string& title,
                                   void (QVController::*action)(Sender*), ButtonType type = ButtonType::MomentaryPush) {
        auto made = b.makeIn<Button>(w, frame, title, type);
        if (action) made->setTarget(&c, action);
        return made;
    }

    // A field, named for assistive technology, that the person types into or that shows a value.
    std::shared_ptr<TextField> field(Window& w, const Rect& frame, const std::string& name, bool typed = true) {
        auto made = b.makeIn<TextField>(w, frame);
        made->setAccessibilityLabel(name);
        made->setEditable(typed);
        if (typed) made->setDelegate(&c);
        return made;
    }

    std::shared_ptr<TextField> label(Window& w, const Rect& frame, const std::string& text) {
        auto made = b.makeIn<TextField>(w, frame, text);
        made->setEditable(false);
        return made;
    }

    // The visible name of a control, placed before it.
    void labelFor(Window& w, const Rect& frame, const std::string& text, View& control) {
        w.contentView()->addSubview(b.add(TextField::labelFor(frame, text, control)));
    }

    // The title of a group of controls, on a row of its own.
    void heading(Window& w, Column& column, const std::string& text) {
        auto made = b.add(TextField::label(column.next(), text));
        made->setEmphasized(true);
        w.contentView()->addSubview(made);
    }

    // A field with its label before it, on one row of the column.
    std::shared_ptr<TextField> labelledField(Window& w, Column& column, const std::string& name, bool typed = true,
                                             double labelWidth = 130) {
        auto row = column.cells({labelWidth, 0});
        auto made = field(w, row[1], name, typed);
        labelFor(w, row[0], name, *made);
        return made;
    }

    PopUpButton* labelledPopUp(Window& w, Column& column, const std::string& name, double labelWidth = 130) {
        auto row = column.cells({labelWidth, 0});
        PopUpButton* made = popUp(w, row[1], name);
        labelFor(w, row[0], name, *made);
        return made;
    }

    // A field with its label before it and a pop-up of known values after it, on one row.
    std::pair<TextField*, PopUpButton*> fieldWithChoices(Window& w, Column& column, const std::string& name,
                                                         const std::string& choicesName,
                                                         void (QVController::*action)(PopUpButton*)) {
        auto row = column.cells({130, 0, 90});
        auto made = field(w, row[1], name);
        labelFor(w, row[0], name, *made);
        PopUpButton* choices = popUp(w, row[2], choicesName);
        choices->setTarget(&c, action);
        return {made.get(), choices};
    }

    // A correction slider with its label and its value field, both bound to the key and enabled
    // with the correction controls. Its range and starting value are those described for the
    // slider bound to the key; the field shows the described decimals, the slider's precision.
    std::pair<Slider*, TextField*> slider(Window& w, Column& column, const char* key, const std::string& name,
                                          void (QVController::*action)(Control*)) {
        const shell::WindowSlider* described = shell::windowSliderBoundTo(key);
        QVAssert(described, "every slider of the main window is described with the correction controls");
        const shell::SliderRange range = described ? described->range : shell::SliderRange{};
        auto cells = column.cells({86, 0, 52});
        auto made = b.makeIn<Slider>(w, cells[1], range.minimum, range.maximum, range.initial);
        made->setAccessibilityLabel(name);
        made->setTarget(&c, action);
        made->bindValue(defaults, key);
        made->bindEnabled(defaults, shell::keys::kEnableControl);
        labelFor(w, cells[0], name, *made);
        auto text = field(w, cells[2], name + " value");
        text->setFractionDigits(range.decimals);
        text->bindValue(defaults, key);
        text->bindEnabled(defaults, shell::keys::kEnableControl);
        return {made.get(), text.get()};
    }

    TableView* table(Window& w, const Rect& frame, const std::string& column, const std::string& name,
                     TableDataSource* source, TableDelegate* delegate) {
        auto made = b.makeIn<TableView>(w, frame);
        made->setAccessibilityLabel(name);
        made->addTableColumn({column, column});
        made->setDataSource(source);
        made->setDelegate(delegate);
        return made.get();
    }

    // A column of number cells, each shown with its title before it.
    Matrix* numberColumn(Window& w, const Rect& frame, int rows, const std::string& name,
                         const std::vector<std::string>& titles) {
        auto made = b.makeIn<Matrix>(w, frame, MatrixMode::List, rows, 1);
        made->setAccessibilityLabel(name);
        for (int row = 0; row < rows && row < int(titles.size()); ++row) made->cellAtRow(row)->setTitle(titles[std::size_t(row)]);
        return made.get();
    }

    PopUpButton* popUp(Window& w, const Rect& frame, const std::string& name) {
        auto made = b.makeIn<PopUpButton>(w, frame);
        made->setAccessibilityLabel(name);
        return made.get();
    }

    NibBuilder& b;
    QVController& c;
    qv::UserDefaults& defaults;
};

// What tells one main window from another: its title, the kind of preview view it shows, and
// whether its Open button is hidden because a host chose the photo.
struct MainWindowLayout {
    std::string title = "QuorvelCI";
    QVDisplayView::Deliverable deliverable = QVDisplayView::Deliverable::Application;
    bool hostChoosesPhoto = false;
};

// The main window with every control of the controller's main window and fisheye outlets. `view`,
// when given, stands in for the preview view; otherwise the window gets a real one, kept in result.
Window& buildMainWindow(Builder& k, const MainWindowLayout& layout, QVDisplayViewLink* view, RangeBindings& ranges,
                        QVMainNib& result);
void buildParametersSheet(Builder& k);
void buildDatabaseSheet(Builder& k);
void buildEditDatabaseSheet(Builder& k);
void buildLensSelectionWindow(Builder& k);
// The preferences window; its Cancel and OK are handed back for a nib that ends them differently.
struct PreferencesButtons {
    Window& window;
    Button& cancel;
    Button& ok;
};
PreferencesButtons buildPreferencesWindow(Builder& k, QVPreferences& preferences);
// The menu; `photoCommands` adds the File menu's Open, Save, Save As and Batch.
std::shared_ptr<Menu> buildMainMenu(QVController& c, bool photoCommands);

}  // namespace shell::nibparts
