#include "plugin/PlugInEditWindow.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <utility>

#include "appkit/Application.h"
#include "appkit/Button.h"
#include "appkit/Matrix.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "plugin/QVEditPlugIn.h"
#include "unwrap/Sampler.h"

namespace {

using qv::ui::Control;

// The controls the host sets by name: a slider takes a number, a choice one of its words (the
// tags of a radio matrix's cells or the positions of a pop-up's items).
struct WindowControl {
    const char* name;
    const char* help;
    Control* (*control)(QVController&);
    std::vector<std::pair<std::string, int>> choices;  // empty for a slider
};

std::vector<std::pair<std::string, int>> samplerChoices() {
    std::vector<std::pair<std::string, int>> choices;
    for (const unwrap::SamplerInfo& info : unwrap::kSamplers) choices.emplace_back(info.name, unwrap::samplerCode(info.sampler));
    return choices;
}

const std::vector<WindowControl>& windowControls() {
    static const std::vector<WindowControl> table = {
        {"distortion", "on|off: correct the lens's distortion or leave it",
         [](QVController& c) -> Control* { return c.fisheye().mFECorrectionTypeMatrix; }, {{"on", 0}, {"off", 2}}},
        {"scale", "PERCENT: scale of the result (100 unscaled)",
         [](QVController& c) -> Control* { return c.mainWindow().m_pScaleSlider; }, {}},
        {"aspect", "RATIO: aspect correction (1 none)",
         [](QVController& c) -> Control* { return c.mainWindow().mAspectSlider; }, {}},
        {"yaw", "DEGREES: perspective, left-right",
         [](QVController& c) -> Control* { return c.mainWindow().m_pHorizontalSlider; }, {}},
        {"pitch", "DEGREES: perspective, up-down",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVerticalSlider; }, {}},
        {"rotation", "DEGREES: rotation",
         [](QVController& c) -> Control* { return c.mainWindow().m_pRotationSlider; }, {}},
        {"crop", "none|inside|outside: what of the corrected picture is kept",
         [](QVController& c) -> Control* { return c.mainWindow().m_pCropRadioButtons; },
         {{"none", 0}, {"inside", 1}, {"outside", 2}}},
        {"red", "VALUE: red fringe, -0.02 to 0.02",
         [](QVController& c) -> Control* { return c.mainWindow().m_pFixRedSlider; }, {}},
        {"blue", "VALUE: blue fringe, -0.02 to 0.02",
         [](QVController& c) -> Control* { return c.mainWindow().m_pFixBlueSlider; }, {}},
        {"vignetting-amount", "PERCENT: how much the corners are brightened",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVigAmountSlider; }, {}},
        {"vignetting-midpoint", "VALUE: where the brightening starts, -50 to 50",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVigMidpointSlider; }, {}},
        {"sampler", "bilinear|gaussian|mitchell|lanczos2|lanczos3|bspline: the unwrap's filter",
         [](QVController& c) -> Control* { return c.fisheye().mFESamplertypePopUp; }, samplerChoices()},
    };
    return table;
}

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

bool choose(Control* control, const WindowControl& spec, const std::string& value, std::string& reason) {
    const auto chosen = std::find_if(spec.choices.begin(), spec.choices.end(),
                                     [&](const auto& choice) { return choice.first == value; });
    if (chosen == spec.choices.end()) return refuse(reason, std::string(spec.name) + " takes " + spec.help);
    if (auto* popUp = dynamic_cast<qv::ui::PopUpButton*>(control)) {
        if (popUp->userChooseItem(popUp->indexOfItemWithTag(chosen->second))) return true;
    } else if (auto* matrix = dynamic_cast<qv::ui::Matrix*>(control)) {
        for (int row = 0; row < matrix->numberOfRows(); ++row)
            if (auto cell = matrix->cellAtRow(row); cell && cell->tag() == chosen->second && matrix->userClickCell(row))
                return true;
    }
    return refuse(reason, std::string(spec.name) + " " + value + " cannot be chosen now");
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
    for (const WindowControl& spec : windowControls()) controls.emplace_back(spec.name, spec.help);
    return controls;
}

bool PlugInEditWindow::setControl(const std::string& name, const std::string& value, std::string& reason) {
    const auto& table = windowControls();
    const auto spec = std::find_if(table.begin(), table.end(), [&](const WindowControl& s) { return name == s.name; });
    if (spec == table.end()) return refuse(reason, "no control named " + name);
    QVController* controller = m_plugIn.controller();
    if (!controller || !controller->state().m_bImageLoaded) return refuse(reason, "no photo is open");
    Control* control = spec->control(*controller);
    if (!control) return refuse(reason, name + " is not in the window");
    if (!spec->choices.empty()) return choose(control, *spec, value, reason);
    const auto number = numberOf(value);
    auto* slider = dynamic_cast<qv::ui::Slider*>(control);
    if (!number || !slider) return refuse(reason, name + " takes " + spec->help);
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
