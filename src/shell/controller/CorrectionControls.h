#pragma once
// The correction controls a script or the photo-library host sets by name, each described once:
// its name and help, the outlet it is, the words of a choice, a slider's user default, range,
// starting value and shown decimals, the preset setting it is saved as and the parameter of the
// correction chain it gives. The headless front end, the plug-in's window, the parameter snapshot
// and the preset all read this table; the main window builds its sliders from it and Reset puts
// them back to it. The one correction slider of the main window that nothing sets by name, the
// green fringe slider, is described beside the table in the same terms.
#include <optional>
#include <string>
#include <vector>

#include "engine/CorrectionParameters.h"
#include "shell/files/PresetFormat.h"

class QVController;
namespace qv::ui {
class Control;
}

namespace shell {

enum class ControlKind {
    Slider,  // a number within the slider's range
    Choice,  // one of its words
    Typed,   // the focal length, typed into its field
    Field,   // any number, typed; what it means is the controller's to judge when it is used
    Depth,   // 8 or 16 bits per sample of what is saved (no outlet: it is the photo's metadata)
};

// A word of a choice and the tag of the matrix cell or pop-up item it stands for.
struct ControlChoice {
    const char* word;
    int tag;
};

// A slider's closed range, the value it starts at and Reset puts it back to, and the decimals its
// value field shows.
struct SliderRange {
    double minimum = 0, maximum = 0, initial = 0;
    int decimals = 0;
};

// The fringe sliders' range: a channel is scaled by 0.98 to 1.02. While the window is open the
// range follows the user defaults keys::kFringeMinimum and keys::kFringeMaximum, which Reset puts
// back to these ends.
inline constexpr SliderRange kFringeRange{-0.02, 0.02, 0, 4};

// The crop matrix's cells by their tags: what of the corrected picture is kept.
enum class CropChoice : int { None = 0, Inside = 1, Outside = 2 };

// How a slider's value becomes its parameter of the chain.
enum class ParameterMapping {
    Same,     // the value itself
    OnePlus,  // 1 + the value (a fringe slider gives a channel's scale factor)
    Negated,  // the value negated (the rotation slider turns the other way)
};

struct CorrectionControl {
    const char* name;
    ControlKind kind;
    const char* help;
    qv::ui::Control* (*outlet)(QVController&);  // null for Depth
    std::vector<ControlChoice> choices;         // a Choice's words
    const char* unavailable = "";               // why a choice may be refused
    bool inPlugInWindow = false;                // whether the plug-in's host may set it
    const char* defaultsKey = nullptr;          // the user default a slider is bound to
    SliderRange range{};                        // a slider's range, start and shown decimals
    float shell::preset::PresetSettings::*presetSetting = nullptr;
    double CorrectionParameters::*parameter = nullptr;
    ParameterMapping mapping = ParameterMapping::Same;
};

// In the order the front end's "correct" sets them: the lens's focal length before the geometry,
// the rotation before the crop that it limits.
const std::vector<CorrectionControl>& correctionControls();
const CorrectionControl* correctionControlNamed(const std::string& name);

// A slider of the main window: the user default it is bound to and its range.
struct WindowSlider {
    const char* defaultsKey;
    SliderRange range;
};

// Every slider of the main window that is bound to a user default: the table's sliders in its
// order, then the green fringe slider (green is never scaled, so no script or host sets it).
const std::vector<WindowSlider>& windowSliders();
// The one bound to that user default; null when the window has none.
const WindowSlider* windowSliderBoundTo(const std::string& defaultsKey);

// The parameter a slider's value gives.
double parameterOf(const CorrectionControl& control, double sliderValue);

// The choice of that word; nothing when the control has no such word.
std::optional<int> choiceTag(const CorrectionControl& control, const std::string& word);
// The words of a choice joined by "|".
std::string choiceWords(const CorrectionControl& control);

// Chooses, as a user would, the matrix cell or the pop-up item with that tag (a pop-up chooses by
// position, so the item's position is looked up). False when there is none or it is refused.
bool chooseTagged(qv::ui::Control* control, int tag);

}  // namespace shell
