#include "shell/controller/CorrectionControls.h"

#include "appkit/Matrix.h"
#include "appkit/PopUpButton.h"
#include "shell/controller/QVController.h"
#include "unwrap/Sampler.h"

namespace shell {

namespace {

using qv::ui::Control;
using preset::PresetSettings;
using P = CorrectionParameters;
using K = ControlKind;

std::vector<ControlChoice> samplerChoices() {
    std::vector<ControlChoice> choices;
    for (const unwrap::SamplerInfo& info : unwrap::kSamplers)
        choices.push_back({info.name, unwrap::samplerCode(info.sampler)});
    return choices;
}

constexpr int tagOf(CorrectionType type) { return int(type); }

// A slider of the main window that the plug-in's host may also set.
CorrectionControl slider(const char* name, const char* help, Control* (*outlet)(QVController&),
                         const char* defaultsKey, SliderRange range, float PresetSettings::*presetSetting,
                         double P::*parameter, ParameterMapping mapping = ParameterMapping::Same) {
    return {name, K::Slider, help, outlet, {}, "", true, defaultsKey, range, presetSetting, parameter, mapping};
}

// The main window's sliders that no script or host sets by name.
const WindowSlider kWindowOnlySliders[] = {
    {"greenValue", kFringeRange},
};

}  // namespace

const std::vector<CorrectionControl>& correctionControls() {
    static const std::vector<CorrectionControl> table = {
        {"distortion", K::Choice, "on|off: correct the lens's distortion or leave it",
         [](QVController& c) -> Control* { return c.fisheye().mFECorrectionTypeMatrix; },
         {{"on", tagOf(CorrectionType::Lens)}, {"off", tagOf(CorrectionType::None)}}, "", true},
        {"focal-length", K::Typed, "MM: the focal length the lens's coefficients are taken at",
         [](QVController& c) -> Control* { return c.mainWindow().mFocalLengthField; }, {}},
        slider("scale", "PERCENT: scale of the result (100 unscaled)",
               [](QVController& c) -> Control* { return c.mainWindow().m_pScaleSlider; }, "scaleValue",
               {50, 150, 100, 0}, &PresetSettings::scale, &P::scale),
        slider("aspect", "RATIO: aspect correction (1 none)",
               [](QVController& c) -> Control* { return c.mainWindow().mAspectSlider; }, "aspect",
               {0.5, 2, 1, 2}, &PresetSettings::aspect, &P::aspect),
        slider("yaw", "DEGREES: perspective, left-right",
               [](QVController& c) -> Control* { return c.mainWindow().m_pHorizontalSlider; }, "yaw",
               {-45, 45, 0, 1}, &PresetSettings::yaw, &P::yaw),
        slider("pitch", "DEGREES: perspective, up-down",
               [](QVController& c) -> Control* { return c.mainWindow().m_pVerticalSlider; }, "pitch",
               {-45, 45, 0, 1}, &PresetSettings::pitch, &P::pitch),
        slider("rotation", "DEGREES: rotation",
               [](QVController& c) -> Control* { return c.mainWindow().m_pRotationSlider; }, "rotationAngle",
               {-180, 180, 0, 1}, &PresetSettings::roll, &P::rotation, ParameterMapping::Negated),
        {"crop", K::Choice, "none|inside|outside: what of the corrected picture is kept",
         [](QVController& c) -> Control* { return c.mainWindow().m_pCropRadioButtons; },
         {{"none", int(CropChoice::None)}, {"inside", int(CropChoice::Inside)}, {"outside", int(CropChoice::Outside)}},
         " (a rotated photo cannot be cropped inside)", true},
        slider("red", "VALUE: red fringe; the red channel is scaled by 1 + VALUE",
               [](QVController& c) -> Control* { return c.mainWindow().m_pFixRedSlider; }, "redValue",
               kFringeRange, &PresetSettings::red, &P::red, ParameterMapping::OnePlus),
        slider("blue", "VALUE: blue fringe; the blue channel is scaled by 1 + VALUE",
               [](QVController& c) -> Control* { return c.mainWindow().m_pFixBlueSlider; }, "blueValue",
               kFringeRange, &PresetSettings::blue, &P::blue, ParameterMapping::OnePlus),
        // The vignetting filter takes the amount in hundredths and the midpoint as (value + 50) / 100:
        // these ranges span its whole effect, from darkening to doubling the corners and from a rise
        // that starts at the centre to one that starts near the corners.
        slider("vignetting-amount", "PERCENT: how much the corners are brightened (below 0: darkened)",
               [](QVController& c) -> Control* { return c.mainWindow().m_pVigAmountSlider; }, "vigAmount",
               {-100, 100, 0, 0}, &PresetSettings::vigAmount, &P::vignetBrightness),
        slider("vignetting-midpoint", "VALUE: where the brightening starts, -50 (the centre) to 50 (near the corners)",
               [](QVController& c) -> Control* { return c.mainWindow().m_pVigMidpointSlider; }, "vigMidpoint",
               {-50, 50, 0, 0}, &PresetSettings::vigMidpoint, &P::vignetMidpoint),
        {"depth", K::Depth, "8|16: bits per sample of what is saved", nullptr, {}},
        {"correction", K::Choice, "lens|fisheye|none: what Apply does (fisheye: unwrap the photo)",
         [](QVController& c) -> Control* { return c.fisheye().mFECorrectionTypeMatrix; },
         {{"lens", tagOf(CorrectionType::Lens)},
          {"fisheye", tagOf(CorrectionType::Fisheye)},
          {"none", tagOf(CorrectionType::None)}}},
        {"width", K::Field, "PIXELS: width of the unwrapped photo (0: the photo's own size)",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputWidth; }, {}},
        {"height", K::Field, "PIXELS: height of the unwrapped photo (0: the photo's own size)",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputHeight; }, {}},
        {"in-fov", K::Field, "DEGREES: horizontal field of view of the fisheye photo",
         [](QVController& c) -> Control* { return c.fisheye().mFEInputFOV; }, {}},
        {"out-fov", K::Field, "DEGREES: horizontal field of view of the unwrapped photo, 1 to 179",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputFOV; }, {}},
        {"sampler", K::Choice, "bilinear|gaussian|mitchell|lanczos2|lanczos3|bspline: the unwrap's filter",
         [](QVController& c) -> Control* { return c.fisheye().mFESamplertypePopUp; }, samplerChoices(), "", true},
    };
    return table;
}

const CorrectionControl* correctionControlNamed(const std::string& name) {
    for (const CorrectionControl& control : correctionControls())
        if (name == control.name) return &control;
    return nullptr;
}

const std::vector<WindowSlider>& windowSliders() {
    static const std::vector<WindowSlider> sliders = [] {
        std::vector<WindowSlider> made;
        for (const CorrectionControl& control : correctionControls())
            if (control.kind == K::Slider) made.push_back({control.defaultsKey, control.range});
        for (const WindowSlider& own : kWindowOnlySliders) made.push_back(own);
        return made;
    }();
    return sliders;
}

const WindowSlider* windowSliderBoundTo(const std::string& defaultsKey) {
    for (const WindowSlider& slider : windowSliders())
        if (defaultsKey == slider.defaultsKey) return &slider;
    return nullptr;
}

double parameterOf(const CorrectionControl& control, double sliderValue) {
    switch (control.mapping) {
    case ParameterMapping::Same: return sliderValue;
    case ParameterMapping::OnePlus: return 1.0 + sliderValue;
    case ParameterMapping::Negated: return -sliderValue;
    }
    return sliderValue;
}

std::optional<int> choiceTag(const CorrectionControl& control, const std::string& word) {
    for (const ControlChoice& choice : control.choices)
        if (word == choice.word) return choice.tag;
    return std::nullopt;
}

std::string choiceWords(const CorrectionControl& control) {
    std::string words;
    for (const ControlChoice& choice : control.choices) words += (words.empty() ? "" : "|") + std::string(choice.word);
    return words;
}

bool chooseTagged(qv::ui::Control* control, int tag) {
    if (auto* popUp = dynamic_cast<qv::ui::PopUpButton*>(control)) {
        const int index = popUp->indexOfItemWithTag(tag);
        return index >= 0 && popUp->userChooseItem(index);
    }
    if (auto* matrix = dynamic_cast<qv::ui::Matrix*>(control))
        for (int row = 0; row < matrix->numberOfRows(); ++row)
            if (auto cell = matrix->cellAtRow(row); cell && cell->tag() == tag) return matrix->userClickCell(row);
    return false;
}

}  // namespace shell
