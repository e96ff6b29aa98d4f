// Peers of the controls: one native widget per kind of control the window layer has.
#include <QAbstractButton>
#include <QButtonGroup>
#include <QCheckBox>
#include <QColorDialog>
#include <QComboBox>
#include <QDoubleSpinBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSlider>
#include <algorithm>
#include <cmath>

#include "appkit-qt/AccessibleName.h"
#include "appkit-qt/CanvasPeer.h"
#include "appkit-qt/TablePeer.h"
#include "appkit-qt/ViewPeer.h"
#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/ComboBox.h"
#include "appkit/Matrix.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"

namespace qv::qt {

namespace {

QColor toQColor(const ui::Color& c) { return QColor::fromRgbF(float(c.red), float(c.green), float(c.blue), float(c.alpha)); }

// ---- Buttons: push buttons, check boxes, radio buttons and toggles.
class ButtonPeer : public ViewPeer {
public:
    ButtonPeer(const std::shared_ptr<ui::Button>& button, QWidget* parent)
        : ViewPeer(button, makeWidget(button->buttonType(), parent)) {
        auto* widget = static_cast<QAbstractButton*>(this->widget());
        // The model flips the state itself when it takes the click.
        QObject::connect(widget, &QAbstractButton::clicked, [this] {
            userChange<ui::Button>([](ui::Button& b) { b.performClick(); });
        });
    }

private:
    static QAbstractButton* makeWidget(ui::ButtonType type, QWidget* parent) {
        switch (type) {
        case ui::ButtonType::Switch: return new QCheckBox(parent);
        case ui::ButtonType::Radio: return new QRadioButton(parent);
        case ui::ButtonType::Toggle: {
            auto* toggle = new QPushButton(parent);
            toggle->setCheckable(true);
            return toggle;
        }
        case ui::ButtonType::MomentaryPush: break;
        }
        return new QPushButton(parent);
    }

    void syncState(ui::View& view) override {
        auto& button = static_cast<ui::Button&>(view);
        auto* widget = static_cast<QAbstractButton*>(this->widget());
        const std::string title = button.title();
        if (widget->text() != toQt(title)) widget->setText(toQt(title));
        nameForAccess(*widget, button, title, "button");
        if (auto* box = dynamic_cast<QCheckBox*>(widget)) {
            box->setTristate(button.state() == ui::kMixedState);
            const Qt::CheckState state = button.state() == ui::kOnState    ? Qt::Checked
                                         : button.state() == ui::kOffState ? Qt::Unchecked
                                                                           : Qt::PartiallyChecked;
            if (!userChangePending() && box->checkState() != state) {
                QSignalBlocker quiet(box);
                box->setCheckState(state);
            }
        } else if (widget->isCheckable() && !userChangePending() && widget->isChecked() != (button.state() == ui::kOnState)) {
            QSignalBlocker quiet(widget);
            widget->setChecked(button.state() == ui::kOnState);
        }
    }
};

// ---- Text fields: editable fields and labels, one line each.
class TextFieldPeer : public ViewPeer {
public:
    TextFieldPeer(const std::shared_ptr<ui::TextField>& field, QWidget* parent) : ViewPeer(field, new QLineEdit(parent)) {
        auto* edit = static_cast<QLineEdit*>(widget());
        QObject::connect(edit, &QLineEdit::textEdited, [this](const QString& text) {
            userChange<ui::TextField>([text = fromQt(text)](ui::TextField& f) { f.userType(text); });
        });
        QObject::connect(edit, &QLineEdit::returnPressed,
                         [this] { userChange<ui::TextField>([](ui::TextField& f) { f.userCommit(); }); });
    }

private:
    void syncState(ui::View& view) override {
        auto& field = static_cast<ui::TextField&>(view);
        auto* edit = static_cast<QLineEdit*>(widget());
        if (edit->isReadOnly() == field.isEditable()) {
            edit->setReadOnly(!field.isEditable());
            // A label reads as text on the window, not as a box.
            edit->setFrame(field.isEditable());
            edit->setFocusPolicy(field.isEditable() ? Qt::StrongFocus : Qt::NoFocus);
        }
        const QString text = toQt(field.stringValue());
        if (!userChangePending() && edit->text() != text) {
            QSignalBlocker quiet(edit);
            edit->setText(text);
            edit->setCursorPosition(0);
        }
        // Text that a label has no room for (a long lens name) can still be read whole.
        const bool cut = !field.isEditable() && edit->fontMetrics().horizontalAdvance(text) > edit->width() - 4;
        const QString tip = cut ? text : QString();
        if (edit->toolTip() != tip) edit->setToolTip(tip);
        // A label is read as the text it shows.
        nameForAccess(*edit, field, field.isEditable() ? "" : field.stringValue(), field.isEditable() ? "text field" : "label");
    }
};

// ---- Labels: text on the window. A label that names a control has the control's widget as its
// buddy, so that the person and assistive technology read it as the control's name; it shows only
// while its control shows and greys with it.
class LabelPeer : public ViewPeer {
public:
    LabelPeer(const std::shared_ptr<ui::TextField>& field, QWidget* parent) : ViewPeer(field, new QLabel(parent)) {}

private:
    void syncState(ui::View& view) override {
        auto& field = static_cast<ui::TextField&>(view);
        auto* label = static_cast<QLabel*>(widget());
        const QString text = toQt(field.stringValue());
        if (label->text() != text) label->setText(text);
        if (label->font().bold() != field.isEmphasized()) {
            QFont font = label->font();
            font.setBold(field.isEmphasized());
            label->setFont(font);
        }
        nameForAccess(*label, field, field.stringValue(), "label");
        const std::shared_ptr<ui::View> control = field.labelledView();
        if (control && !label->buddy()) label->setBuddy(widgetShowing(*control, *label->window()));
        const bool shown = !field.isHidden() && !(control && control->isHiddenOrHasHiddenAncestor());
        if (label->isHidden() == shown) label->setVisible(shown);
        if (label->buddy() && label->isEnabled() != label->buddy()->isEnabled())
            label->setEnabled(label->buddy()->isEnabled());
    }
};

// Item lists of the two pop-ups, model to widget, when they differ.
void syncItems(QComboBox& box, const std::vector<std::string>& items, const std::vector<bool>& separators) {
    bool same = box.count() == int(items.size());
    for (int i = 0; same && i < box.count(); ++i) same = box.itemText(i) == toQt(items[i]);
    if (same) return;
    QSignalBlocker quiet(&box);
    const QString text = box.isEditable() ? box.currentText() : QString();
    box.clear();
    for (std::size_t i = 0; i < items.size(); ++i) {
        if (i < separators.size() && separators[i])
            box.insertSeparator(int(i));
        else
            box.addItem(toQt(items[i]));
    }
    if (box.isEditable()) box.setEditText(text);
}

// ---- Combo boxes: a text field with a list.
class ComboBoxPeer : public ViewPeer {
public:
    ComboBoxPeer(const std::shared_ptr<ui::ComboBox>& combo, QWidget* parent) : ViewPeer(combo, new QComboBox(parent)) {
        auto* box = static_cast<QComboBox*>(widget());
        box->setEditable(true);
        box->setInsertPolicy(QComboBox::NoInsert);
        QObject::connect(box, QOverload<int>::of(&QComboBox::activated), [this](int index) {
            userChange<ui::ComboBox>([index](ui::ComboBox& c) { c.userChooseItem(index); });
        });
        QObject::connect(box->lineEdit(), &QLineEdit::textEdited, [this](const QString& text) {
            userChange<ui::ComboBox>([text = fromQt(text)](ui::ComboBox& c) { c.userType(text); });
        });
        QObject::connect(box->lineEdit(), &QLineEdit::returnPressed,
                         [this] { userChange<ui::ComboBox>([](ui::ComboBox& c) { c.userCommit(); }); });
    }

private:
    void syncState(ui::View& view) override {
        auto& combo = static_cast<ui::ComboBox&>(view);
        auto* box = static_cast<QComboBox*>(widget());
        std::vector<std::string> items;
        for (int i = 0; i < combo.numberOfItems(); ++i) items.push_back(combo.itemObjectValueAtIndex(i));
        syncItems(*box, items, {});
        const QString text = toQt(combo.stringValue());
        if (!userChangePending() && box->currentText() != text) {
            QSignalBlocker quiet(box);
            box->setEditText(text);
        }
        nameForAccess(*box, combo, "", "combo box");
    }
};

// A pop-up whose menu, before it opens, lets the model post its will-pop-up notification, so the
// items it shows are the ones the observers put there.
class PopUpWidget : public QComboBox {
public:
    PopUpWidget(QWidget* parent, std::function<void()> willPopUp) : QComboBox(parent), m_willPopUp(std::move(willPopUp)) {}
    void showPopup() override {
        m_willPopUp();
        QComboBox::showPopup();
    }

private:
    std::function<void()> m_willPopUp;
};

class PopUpButtonPeer : public ViewPeer {
public:
    PopUpButtonPeer(const std::shared_ptr<ui::PopUpButton>& popUp, QWidget* parent)
        : ViewPeer(popUp, new PopUpWidget(parent, [this] { willPopUp(); })) {
        auto* box = static_cast<QComboBox*>(widget());
        QObject::connect(box, QOverload<int>::of(&QComboBox::activated), [this](int index) {
            userChange<ui::PopUpButton>([index](ui::PopUpButton& p) { p.userChooseItem(index); });
        });
    }

private:
    void willPopUp() {
        // At once, not queued: the menu that opens next must show what the observers did.
        if (auto view = std::dynamic_pointer_cast<ui::PopUpButton>(this->view())) {
            view->userPopUp();
            syncState(*view);
        }
    }

    void syncState(ui::View& view) override {
        auto& popUp = static_cast<ui::PopUpButton&>(view);
        auto* box = static_cast<QComboBox*>(widget());
        std::vector<bool> separators;
        for (int i = 0; i < popUp.numberOfItems(); ++i) separators.push_back(popUp.isSeparatorAtIndex(i));
        syncItems(*box, popUp.itemTitles(), separators);
        if (!userChangePending() && box->currentIndex() != popUp.indexOfSelectedItem()) {
            QSignalBlocker quiet(box);
            box->setCurrentIndex(popUp.indexOfSelectedItem());
        }
        nameForAccess(*box, popUp, "", "pop-up button");
    }
};

// ---- Sliders: the range mapped onto the widget's integer steps.
constexpr int kSliderSteps = 10000;

class SliderPeer : public ViewPeer {
public:
    SliderPeer(const std::shared_ptr<ui::Slider>& slider, QWidget* parent)
        : ViewPeer(slider, new QSlider(Qt::Horizontal, parent)) {
        auto* widget = static_cast<QSlider*>(this->widget());
        widget->setRange(0, kSliderSteps);
        widget->setPageStep(kSliderSteps / 20);
        QObject::connect(widget, &QSlider::valueChanged, [this](int position) {
            // A drag moves the knob many times a frame: the model takes the latest position once.
            *m_latest = position;
            if (m_queued) return;
            m_queued = true;
            std::weak_ptr<bool> alive = m_alive;
            userChange<ui::Slider>([latest = m_latest, alive, this](ui::Slider& s) {
                if (alive.lock()) m_queued = false;
                s.userMoveTo(fromSteps(s, *latest));
            });
        });
    }

private:
    static double fromSteps(const ui::Slider& s, int position) {
        return s.minValue() + (s.maxValue() - s.minValue()) * position / kSliderSteps;
    }
    static int toSteps(const ui::Slider& s) {
        const double span = s.maxValue() - s.minValue();
        if (!(span > 0)) return 0;
        return int(std::lround((s.doubleValue() - s.minValue()) / span * kSliderSteps));
    }
    void syncState(ui::View& view) override {
        auto& slider = static_cast<ui::Slider&>(view);
        auto* widget = static_cast<QSlider*>(this->widget());
        if (!userChangePending() && widget->value() != toSteps(slider)) {
            QSignalBlocker quiet(widget);
            widget->setValue(toSteps(slider));
        }
        nameForAccess(*widget, slider, "", "slider");
    }

    std::shared_ptr<int> m_latest = std::make_shared<int>(0);
    std::shared_ptr<bool> m_alive = std::make_shared<bool>(true);
    bool m_queued = false;
};

// ---- Steppers: the arrows step the model, which wraps or stops at the ends.
class StepperWidget : public QDoubleSpinBox {
public:
    StepperWidget(QWidget* parent, std::function<void(int)> step) : QDoubleSpinBox(parent), m_step(std::move(step)) {
        lineEdit()->setReadOnly(true);
        setButtonSymbols(QAbstractSpinBox::UpDownArrows);
        setRange(-1e9, 1e9);
        setDecimals(2);
    }
    void stepBy(int steps) override { m_step(steps); }

protected:
    StepEnabled stepEnabled() const override { return StepUpEnabled | StepDownEnabled; }

private:
    std::function<void(int)> m_step;
};

class StepperPeer : public ViewPeer {
public:
    StepperPeer(const std::shared_ptr<ui::Stepper>& stepper, QWidget* parent)
        : ViewPeer(stepper, new StepperWidget(parent, [this](int steps) { step(steps); })) {}

private:
    void step(int steps) {
        userChange<ui::Stepper>([steps](ui::Stepper& s) {
            for (int i = 0; i < std::abs(steps); ++i) steps > 0 ? s.userClickUp() : s.userClickDown();
        });
    }
    void syncState(ui::View& view) override {
        auto& stepper = static_cast<ui::Stepper&>(view);
        auto* widget = static_cast<QDoubleSpinBox*>(this->widget());
        if (widget->value() != stepper.doubleValue()) widget->setValue(stepper.doubleValue());
        nameForAccess(*widget, stepper, "", "stepper");
    }
};

// ---- Progress indicators.
constexpr int kProgressSteps = 1000;

class ProgressPeer : public ViewPeer {
public:
    ProgressPeer(const std::shared_ptr<ui::ProgressIndicator>& progress, QWidget* parent)
        : ViewPeer(progress, new QProgressBar(parent)) {
        static_cast<QProgressBar*>(widget())->setTextVisible(false);
    }

private:
    void syncState(ui::View& view) override {
        auto& progress = static_cast<ui::ProgressIndicator&>(view);
        auto* bar = static_cast<QProgressBar*>(widget());
        if (progress.isIndeterminate()) {
            if (bar->maximum() != 0) bar->setRange(0, 0);  // the busy animation
        } else {
            if (bar->maximum() != kProgressSteps) bar->setRange(0, kProgressSteps);
            const double span = progress.maxValue() - progress.minValue();
            const int at = span > 0 ? int(std::lround((progress.doubleValue() - progress.minValue()) / span * kProgressSteps)) : 0;
            if (bar->value() != at) bar->setValue(at);
        }
        nameForAccess(*bar, progress, "", "progress");
    }
};

// ---- Colour wells: a swatch that opens the colour chooser.
class ColorWellPeer : public ViewPeer {
public:
    ColorWellPeer(const std::shared_ptr<ui::ColorWell>& well, QWidget* parent) : ViewPeer(well, new QPushButton(parent)) {
        QObject::connect(static_cast<QPushButton*>(widget()), &QPushButton::clicked, [this] { choose(); });
    }

private:
    void choose() {
        auto well = std::dynamic_pointer_cast<ui::ColorWell>(view());
        if (!well) return;
        // A child of the window, not of the swatch: the swatch's colour style would paint the
        // whole dialog.
        auto* dialog = new QColorDialog(toQColor(well->color()), widget()->window());
        dialog->setAttribute(Qt::WA_DeleteOnClose);
        dialog->setOption(QColorDialog::ShowAlphaChannel);
        QObject::connect(dialog, &QColorDialog::colorSelected, [this](const QColor& c) {
            const ui::Color chosen = ui::Color::rgb(c.redF(), c.greenF(), c.blueF(), c.alphaF());
            userChange<ui::ColorWell>([chosen](ui::ColorWell& w) { w.userChooseColor(chosen); });
        });
        dialog->open();
    }
    void syncState(ui::View& view) override {
        auto& well = static_cast<ui::ColorWell&>(view);
        const QString style =
            QString("QPushButton { background-color: %1 }").arg(toQColor(well.color()).name(QColor::HexArgb));
        if (widget()->styleSheet() != style) widget()->setStyleSheet(style);
        nameForAccess(*widget(), well, "", "colour");
    }
};

// ---- Matrices: radio cells in rows and columns, or a column of number cells to type into.
class MatrixPeer : public ViewPeer {
public:
    MatrixPeer(const std::shared_ptr<ui::Matrix>& matrix, QWidget* parent) : ViewPeer(matrix, new QWidget(parent)) {
        m_rows = matrix->numberOfRows();
        m_columns = matrix->numberOfColumns();
        auto* group = new QButtonGroup(widget());
        for (int row = 0; row < m_rows; ++row)
            for (int column = 0; column < m_columns; ++column) {
                if (matrix->mode() == ui::MatrixMode::Radio) {
                    auto* radio = new QRadioButton(widget());
                    group->addButton(radio);
                    QObject::connect(radio, &QRadioButton::clicked, [this, row, column] {
                        userChange<ui::Matrix>([row, column](ui::Matrix& m) { m.userClickCell(row, column); });
                    });
                    m_cells.push_back(radio);
                    m_titles.push_back(nullptr);
                } else {
                    // A titled number cell shows its title before the field, as a form does.
                    if (auto cell = matrix->cellAtRow(row, column); cell && !cell->title().empty()) {
                        auto* title = new QLabel(toQt(cell->title()), widget());
                        m_titles.push_back(title);
                    } else {
                        m_titles.push_back(nullptr);
                    }
                    auto* edit = new QLineEdit(widget());
                    if (m_titles.back()) m_titles.back()->setBuddy(edit);
                    QObject::connect(edit, &QLineEdit::editingFinished, [this, edit, row, column] {
                        userChange<ui::Matrix>([text = fromQt(edit->text()), row, column](ui::Matrix& m) {
                            if (auto cell = m.cellAtRow(row, column)) cell->setStringValue(text);
                        });
                    });
                    m_cells.push_back(edit);
                }
            }
    }

private:
    void syncState(ui::View& view) override {
        auto& matrix = static_cast<ui::Matrix&>(view);
        const QSize size = widget()->size();
        for (int row = 0; row < m_rows; ++row)
            for (int column = 0; column < m_columns; ++column) {
                QWidget* cellWidget = m_cells[std::size_t(row * m_columns + column)];
                auto cell = matrix.cellAtRow(row, column);
                if (!cell) continue;
                QRect place(size.width() * column / m_columns, size.height() * row / m_rows,
                            size.width() / m_columns, size.height() / m_rows);
                if (QLabel* title = m_titles[std::size_t(row * m_columns + column)]) {
                    const int width = titleWidth();
                    const QRect titlePlace(place.x(), place.y(), width, place.height());
                    if (title->geometry() != titlePlace) title->setGeometry(titlePlace);
                    place.adjust(width, 0, 0, 0);
                }
                if (cellWidget->geometry() != place) cellWidget->setGeometry(place);
                cellWidget->setEnabled(cell->isEnabled());
                cellWidget->setVisible(!cell->isTransparent());
                const QString title = toQt(cell->title());
                if (auto* radio = dynamic_cast<QRadioButton*>(cellWidget)) {
                    if (radio->text() != title) radio->setText(title);
                    if (radio->accessibleName() != title) radio->setAccessibleName(title);
                    if (!userChangePending() && radio->isChecked() != (cell->state() == ui::kOnState)) {
                        QSignalBlocker quiet(radio);
                        radio->setChecked(cell->state() == ui::kOnState);
                    }
                } else if (auto* edit = dynamic_cast<QLineEdit*>(cellWidget)) {
                    // A coefficient reads to six significant digits, not to the last bit of a float.
                    const Value value = cell->objectValue();
                    const QString text = value.string() || !value.asDouble() ? toQt(cell->stringValue())
                                                                             : QString::number(*value.asDouble(), 'g', 6);
                    if (!userChangePending() && !edit->hasFocus() && edit->text() != text) edit->setText(text);
                    const QString name =
                        cell->title().empty()
                            ? QString("%1 %2").arg(accessibleName(matrix, "", "cell")).arg(row * m_columns + column + 1)
                            : QString("%1 %2").arg(accessibleName(matrix, "", "cell"), toQt(cell->title()));
                    if (edit->accessibleName() != name) edit->setAccessibleName(name);
                }
            }
        nameForAccess(*widget(), matrix, "", "matrix");
    }

    // The width of the widest cell title and a gap, so that every field of the column starts
    // at the same place.
    int titleWidth() const {
        int widest = 0;
        for (QLabel* title : m_titles)
            if (title) widest = std::max(widest, title->fontMetrics().horizontalAdvance(title->text()));
        return widest > 0 ? widest + 8 : 0;
    }

    int m_rows = 0, m_columns = 0;
    std::vector<QWidget*> m_cells;    // owned by the widget, row by row
    std::vector<QLabel*> m_titles;    // a number cell's title, or null; row by row
};

}  // namespace

std::unique_ptr<ViewPeer> makePeer(const std::shared_ptr<ui::View>& view, QWidget* parent) {
    // Most derived kinds first: a combo box is a text field.
    if (auto combo = std::dynamic_pointer_cast<ui::ComboBox>(view)) return std::make_unique<ComboBoxPeer>(combo, parent);
    if (auto field = std::dynamic_pointer_cast<ui::TextField>(view)) {
        if (!field->isEditable() && !field->isBezeled()) return std::make_unique<LabelPeer>(field, parent);
        return std::make_unique<TextFieldPeer>(field, parent);
    }
    if (auto popUp = std::dynamic_pointer_cast<ui::PopUpButton>(view)) return std::make_unique<PopUpButtonPeer>(popUp, parent);
    if (auto button = std::dynamic_pointer_cast<ui::Button>(view)) return std::make_unique<ButtonPeer>(button, parent);
    if (auto matrix = std::dynamic_pointer_cast<ui::Matrix>(view)) return std::make_unique<MatrixPeer>(matrix, parent);
    if (auto slider = std::dynamic_pointer_cast<ui::Slider>(view)) return std::make_unique<SliderPeer>(slider, parent);
    if (auto stepper = std::dynamic_pointer_cast<ui::Stepper>(view)) return std::make_unique<StepperPeer>(stepper, parent);
    if (auto progress = std::dynamic_pointer_cast<ui::ProgressIndicator>(view))
        return std::make_unique<ProgressPeer>(progress, parent);
    if (auto well = std::dynamic_pointer_cast<ui::ColorWell>(view)) return std::make_unique<ColorWellPeer>(well, parent);
    if (auto table = std::dynamic_pointer_cast<ui::TableView>(view)) return makeTablePeer(table, parent);
    // Any other view shows what it draws on the window.
    return std::make_unique<CanvasPeer>(view, parent);
}

}  // namespace qv::qt
