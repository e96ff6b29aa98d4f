#include "plugin/PlugInEditWindow.h"

#include <cmath>
#include <cstdlib>
#include <utility>

#include "appkit/Application.h"
#include "appkit/Button.h"
#include "appkit/RangeControls.h"
#include "plugin/QVEditPlugIn.h"
#include "shell/controller/CorrectionControls.h"

namespace {

using shell::CorrectionControl;

std::optional<double> numberOf(const std::string& text) {
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool refuse(std::string& reason, std::string text) {
    reason = std::move(text);
    return false;
}

std::string takes(const CorrectionControl& spec) { return std::string(spec.name) + " takes " + spec.help; }

// The controls the host sets by name: the main window's correction controls it is offered.
const CorrectionControl* windowControlNamed(const std::string& name) {
    const CorrectionControl* spec = shell::correctionControlNamed(name);
    return spec && spec->inPlugInWindow ? spec : nullptr;
}

}  // namespace

PlugInEditWindow::PlugInEditWindow(QVEditPlugIn& plugIn, qv::ui::Window& window, qv::ui::Button& done,
                                   qv::ui::Button& cancel)
    : m_plugIn(plugIn), m_window(window), m_done(done), m_cancel(cancel) {}

qv::host::Frame PlugInEditWindow::frame() const {
    const qv::Rect frame = m_window.frame();
    return {frame.minX(), frame.minY(), frame.width(), frame.height()};
}

std::vector<std::pair<std::string, std::string>> PlugInEditWindow::controls() const {
    std::vector<std::pair<std::string, std::string>> controls;
    for (const CorrectionControl& spec : shell::correctionControls())
        if (spec.inPlugInWindow) controls.emplace_back(spec.name, spec.help);
    return controls;
}

bool PlugInEditWindow::setControl(const std::string& name, const std::string& value, std::string& reason) {
    const CorrectionControl* spec = windowControlNamed(name);
    if (!spec) return refuse(reason, "no control named " + name);
    QVController* controller = m_plugIn.controller();
    if (!controller || !controller->state().m_bImageLoaded) return refuse(reason, "no photo is open");
    qv::ui::Control* control = spec->outlet(*controller);
    if (!control) return refuse(reason, name + " is not in the window");
    if (spec->kind == shell::ControlKind::Choice) {
        const auto tag = shell::choiceTag(*spec, value);
        if (!tag) return refuse(reason, takes(*spec));
        if (shell::chooseTagged(control, *tag)) return true;
        return refuse(reason, name + " " + value + " cannot be chosen now");
    }
    const auto number = numberOf(value);
    auto* slider = dynamic_cast<qv::ui::Slider*>(control);
    if (!number || !slider) return refuse(reason, takes(*spec));
    // The ends may be single-precision numbers (0.02 is kept as 0.0199999995...): a number that is
    // an end once narrowed counts as that end.
    const float narrowed = float(*number);
    if ((*number < slider->minValue() && narrowed < float(slider->minValue())) ||
        (*number > slider->maxValue() && narrowed > float(slider->maxValue())))
        return refuse(reason, name + " " + value + " is outside its range");
    if (!slider->userMoveTo(*number)) return refuse(reason, name + " cannot be moved now");
    return true;
}

void PlugInEditWindow::clickDone() { m_done.performClick(); }
void PlugInEditWindow::clickCancel() { m_cancel.performClick(); }

std::vector<std::string> PlugInEditWindow::alertMessages() const {
    std::vector<std::string> messages;
    for (const qv::ui::AlertRecord& record : qv::ui::Application::shared().responder().alerts())
        messages.push_back(record.request.message.empty() ? record.request.title : record.request.message);
    return messages;
}
