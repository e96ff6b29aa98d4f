#include "FrontEnd.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "appkit/Application.h"
#include "appkit/Matrix.h"
#include "appkit/RangeControls.h"
#include "appkit/SavePanel.h"
#include "appkit/TextField.h"
#include "foundation/Bundle.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "imageio/ImageProperties.h"
#include "lens/LensKeys.h"
#include "output/QVOutputType.h"
#include "shell/QVApplicationMain.h"
#include "shell/QVController.h"
#include "shell/SupportFolder.h"
#include "unwrap/Sampler.h"
#include "ScriptCommands.h"

namespace frontend {

namespace {

using qv::ui::Control;

// The controls of the main window that the front end sets, in the order "correct" sets them:
// the lens's focal length before the geometry, the rotation before the crop that it limits.
// A Field takes any number as typed: what it means is the controller's to judge when it is used.
struct ControlSpec {
    enum class Kind { Slider, Choice, Typed, Field, Depth };
    const char* name;
    Kind kind;
    const char* help;
    Control* (*control)(QVController&);
    // A choice's words and the tags of their cells (of a radio matrix) or their items (of a pop-up).
    std::vector<std::pair<std::string, int>> choices;
    const char* unavailable = "";                      // why a choice may be refused
};

std::vector<std::pair<std::string, int>> samplerChoices() {
    std::vector<std::pair<std::string, int>> choices;
    for (const unwrap::SamplerInfo& info : unwrap::kSamplers) choices.emplace_back(info.name, unwrap::samplerCode(info.sampler));
    return choices;
}

const std::vector<ControlSpec>& controlTable() {
    using K = ControlSpec::Kind;
    static const std::vector<ControlSpec> table = {
        {"distortion",
         K::Choice,
         "on|off: correct the lens's distortion or leave it",
         [](QVController& c) -> Control* { return c.fisheye().mFECorrectionTypeMatrix; },
         {{"on", 0}, {"off", 2}}},
        {"focal-length",
         K::Typed,
         "MM: the focal length the lens's coefficients are taken at",
         [](QVController& c) -> Control* { return c.mainWindow().mFocalLengthField; },
         {}},
        {"scale",
         K::Slider,
         "PERCENT: scale of the result (100 unscaled)",
         [](QVController& c) -> Control* { return c.mainWindow().m_pScaleSlider; },
         {}},
        {"aspect",
         K::Slider,
         "RATIO: aspect correction (1 none)",
         [](QVController& c) -> Control* { return c.mainWindow().mAspectSlider; },
         {}},
        {"yaw",
         K::Slider,
         "DEGREES: perspective, left-right",
         [](QVController& c) -> Control* { return c.mainWindow().m_pHorizontalSlider; },
         {}},
        {"pitch",
         K::Slider,
         "DEGREES: perspective, up-down",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVerticalSlider; },
         {}},
        {"rotation",
         K::Slider,
         "DEGREES: rotation",
         [](QVController& c) -> Control* { return c.mainWindow().m_pRotationSlider; },
         {}},
        {"crop",
         K::Choice,
         "none|inside|outside: what of the corrected picture is kept",
         [](QVController& c) -> Control* { return c.mainWindow().m_pCropRadioButtons; },
         {{"none", 0}, {"inside", 1}, {"outside", 2}},
         " (a rotated photo cannot be cropped inside)"},
        {"red",
         K::Slider,
         "VALUE: red fringe; the red channel is scaled by 1 + VALUE",
         [](QVController& c) -> Control* { return c.mainWindow().m_pFixRedSlider; },
         {}},
        {"blue",
         K::Slider,
         "VALUE: blue fringe; the blue channel is scaled by 1 + VALUE",
         [](QVController& c) -> Control* { return c.mainWindow().m_pFixBlueSlider; },
         {}},
        {"vignetting-amount",
         K::Slider,
         "PERCENT: how much the corners are brightened (below 0: darkened)",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVigAmountSlider; },
         {}},
        {"vignetting-midpoint",
         K::Slider,
         "VALUE: where the brightening starts, -50 (the centre) to 50 (near the corners)",
         [](QVController& c) -> Control* { return c.mainWindow().m_pVigMidpointSlider; },
         {}},
        {"depth", K::Depth, "8|16: bits per sample of what is saved", nullptr, {}},
        {"correction", K::Choice, "lens|fisheye|none: what Apply does (fisheye: unwrap the photo)",
         [](QVController& c) -> Control* { return c.fisheye().mFECorrectionTypeMatrix; },
         {{"lens", 0}, {"fisheye", 1}, {"none", 2}}},
        {"width", K::Field, "PIXELS: width of the unwrapped photo (0: the photo's own size)",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputWidth; }, {}},
        {"height", K::Field, "PIXELS: height of the unwrapped photo (0: the photo's own size)",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputHeight; }, {}},
        {"in-fov", K::Field, "DEGREES: horizontal field of view of the fisheye photo",
         [](QVController& c) -> Control* { return c.fisheye().mFEInputFOV; }, {}},
        {"out-fov", K::Field, "DEGREES: horizontal field of view of the unwrapped photo, 1 to 179",
         [](QVController& c) -> Control* { return c.fisheye().mFEOutputFOV; }, {}},
        {"sampler", K::Choice, "bilinear|gaussian|mitchell|lanczos2|lanczos3|bspline: the unwrap's filter",
         [](QVController& c) -> Control* { return c.fisheye().mFESamplertypePopUp; }, samplerChoices()},
    };
    return table;
}

const ControlSpec* specNamed(const std::string& name) {
    for (const ControlSpec& spec : controlTable())
        if (name == spec.name) return &spec;
    return nullptr;
}

// Whether a typed number lies in a slider's closed range. The ends may be single-precision numbers
// (the fringe sliders' range is kept as floats, 0.02 being 0.0199999995...), so a number that is an
// end once narrowed to single precision counts as that end; the slider then clamps it exactly.
bool withinRange(double value, double minValue, double maxValue) {
    const float narrowed = float(value);
    return (value >= minValue || narrowed >= float(minValue)) && (value <= maxValue || narrowed <= float(maxValue));
}

std::string formatted(double value) {
    char buffer[32];
    std::snprintf(buffer, sizeof buffer, "%g", value);
    return buffer;
}

std::string absolute(const std::string& path) {
    std::error_code failed;
    const auto absolute = std::filesystem::absolute(path, failed);
    return failed ? path : absolute.lexically_normal().string();
}

qv::ui::Responder& responder() { return qv::ui::Application::shared().responder(); }

bool isErrorAlert(const qv::ui::AlertRequest& request) {
    for (const char* key : {"OpenErrorMessage", "SaveErrorMessage", "PresetOpenErrorMessage", "PresetSaveErrorMessage",
                            "DatabaseOpenErrorMessage", "Could not write database to file", shell::kSupportFolderRefusedKey,
                            "LensValuesUnusableMessage", "LensValueOutOfRangeMessage"})
        if (request.message == qv::localizedString(key)) return true;
    return request.title.rfind("Unwrap:", 0) == 0;  // a refused unwrap request
}

bool matchesExpected(const qv::ui::AlertRequest& request, const std::string& expected) {
    const std::string localized = qv::localizedString(expected);
    for (const std::string& text : {request.title, request.message})
        if (text == localized || text.find(expected) != std::string::npos) return true;
    return false;
}

}  // namespace

FrontEnd::FrontEnd() {
    responder().queueAlert({1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
    m_nib = QVLaunchApplication();
    // When the question was not asked (the user declined it for good), its queued answer would
    // stand before every answer queued later; start with an empty queue and no records.
    responder().reset();
}

FrontEnd::~FrontEnd() {
    // The profile extraction of an open may still run; it must not outlive what it writes for.
    qv::waitForDetachedThreads(60);
    // Every headless run ends as the window's close does: the support folder keeps its databases
    // only, not the profile extracted from a photo nor an unwrap's files. After the wait above, so
    // that no extraction still running writes its profile after the sweep.
    shell::sweepSupportFolder();
    qv::ui::Application::shared().setDelegate(nullptr);
}

std::string FrontEnd::absolutePath(const std::string& path) { return absolute(path); }

std::vector<std::string> FrontEnd::controlNames() {
    std::vector<std::string> names;
    for (const ControlSpec& spec : controlTable()) names.push_back(spec.name);
    return names;
}

std::string FrontEnd::controlHelp() {
    std::string help;
    for (const ControlSpec& spec : controlTable())
        help += std::string("  ") + spec.name + std::string(22 - std::string(spec.name).size(), ' ') + spec.help + "\n";
    return help;
}

std::optional<std::string> FrontEnd::check(const Action& action) const {
    using Verb = Action::Verb;
    switch (action.verb) {
    case Verb::Set: {
        const ControlSpec* spec = specNamed(action.subject);
        if (!spec) return "unknown control \"" + action.subject + "\"";
        const std::string& value = action.value;
        const std::string prefix = std::string(spec->name) + " ";
        switch (spec->kind) {
        case ControlSpec::Kind::Slider: {
            const auto number = numberOf(value);
            auto* slider = dynamic_cast<qv::ui::Slider*>(spec->control(*m_nib.controller));
            if (!number || !slider) return prefix + "takes a number, not \"" + value + "\"";
            if (!withinRange(*number, slider->minValue(), slider->maxValue()))
                return prefix + "takes " + formatted(slider->minValue()) + " to " + formatted(slider->maxValue()) +
                       ", not " + value;
            return std::nullopt;
        }
        case ControlSpec::Kind::Typed: {
            const auto number = numberOf(value);
            if (!number || *number <= 0) return prefix + "takes a focal length in mm above 0, not \"" + value + "\"";
            return std::nullopt;
        }
        case ControlSpec::Kind::Field:
            if (!numberOf(value)) return prefix + "takes a number, not \"" + value + "\"";
            return std::nullopt;
        case ControlSpec::Kind::Choice: {
            std::string words;
            for (const auto& [word, tag] : spec->choices) {
                if (word == value) return std::nullopt;
                words += (words.empty() ? "" : "|") + word;
            }
            return prefix + "takes " + words + ", not \"" + value + "\"";
        }
        case ControlSpec::Kind::Depth:
            if (value == "8" || value == "16") return std::nullopt;
            return prefix + "takes 8 or 16, not \"" + value + "\"";
        }
        return std::nullopt;
    }
    case Verb::SaveAs: {
        const SaveChoices& save = action.save;
        const std::string extension = qv::paths::pathExtension(action.subject);
        // The extensions the save panel takes, capitals included ("JPG", "TIFF").
        const auto byExtension = QVOutputType::typeOfExtension(extension);
        if (!byExtension) return "cannot write \"" + extension + "\" files: name the output .jpg, .tif, .psd or .exr";
        const auto format = save.type ? QVOutputType::typeNamed(*save.type) : byExtension;
        if (save.type) {
            if (!format) return "type takes jpeg, tiff, psd or exr, not \"" + *save.type + "\"";
            // The name says what the file holds: the type may only confirm it.
            if (format != byExtension) return "the type " + *save.type + " does not match the name " + action.subject;
        }
        if (save.quality) {
            const auto quality = numberOf(*save.quality);
            if (!quality || *quality < 0 || *quality > 1) return "quality takes 0 to 1, not \"" + *save.quality + "\"";
            if (*format != QVOutputType::Type::JPEG) return "quality is for JPEG output only";
        }
        if (save.compression) {
            if (!QVOutputType::compressionNamed(*save.compression))
                return "compression takes none, lzw or packbits, not \"" + *save.compression + "\"";
            if (*format != QVOutputType::Type::TIFF) return "compression is for TIFF output only";
        }
        if (save.depth) {
            Action depth;
            depth.verb = Verb::Set;
            depth.subject = "depth";
            depth.value = *save.depth;
            return check(depth);
        }
        return std::nullopt;
    }
    case Verb::AnswerAlert: {
        const auto button = numberOf(action.subject);
        if (!button || *button < 0 || *button != std::floor(*button))
            return "answer alert takes a button number (0 the default), not \"" + action.subject + "\"";
        return std::nullopt;
    }
    case Verb::Command: {
        const ScriptCommand* command = scriptCommandNamed(action.subject);
        if (!command) return "unknown action \"" + action.subject + "\"";
        if (action.words.size() < command->minWords || action.words.size() > command->maxWords)
            return "usage: " + command->usage;
        return command->check ? command->check(action.words) : std::nullopt;
    }
    case Verb::Print:
        for (const char* what : {"camera", "lens", "coefficients", "all"})
            if (action.subject == what) return std::nullopt;
        return "print takes camera, lens, coefficients or all, not \"" + action.subject + "\"";
    case Verb::Open:
    case Verb::Lens:
    case Verb::Save:
    case Verb::AnswerPanel:
    case Verb::ExpectAlert:
        return std::nullopt;
    }
    return std::nullopt;
}

std::optional<std::string> FrontEnd::run(const Action& action) {
    if (auto wrong = check(action)) return wrong;
    using Verb = Action::Verb;
    std::optional<std::string> failure;
    switch (action.verb) {
    case Verb::ExpectAlert:
        m_expectedAlerts.push_back(action.subject);
        return std::nullopt;
    case Verb::AnswerAlert:
        responder().queueAlert({std::atoi(action.subject.c_str())});
        return std::nullopt;
    case Verb::AnswerPanel:
        if (action.subject == "cancel") responder().queuePanel({false, {}});
        else responder().queuePanel({true, {absolute(action.subject)}});
        return std::nullopt;
    case Verb::Open: failure = open(action.subject); break;
    case Verb::Lens: failure = chooseLens(action.subject); break;
    case Verb::Set: failure = set(action.subject, action.value); break;
    case Verb::SaveAs: failure = saveAs(action.subject, action.save); break;
    case Verb::Save: failure = save(); break;
    case Verb::Print: failure = print(action.subject); break;
    case Verb::Command: failure = scriptCommandNamed(action.subject)->run(*this, action.words); break;
    }
    settle();
    // A save whose error alert was expected goes on, but wrote nothing.
    const auto alerts = responder().alerts();
    const bool errorShown = std::any_of(alerts.begin() + std::ptrdiff_t(std::min(m_alertsSeen, alerts.size())),
                                        alerts.end(), [](const auto& record) { return isErrorAlert(record.request); });
    if (auto reported = newFailures()) return reported;
    if (failure) return failure;
    if ((action.verb == Verb::SaveAs || action.verb == Verb::Save) && !errorShown)
        std::printf("written: %s\n", m_nib.controller->state().m_pFileToWrite.c_str());
    std::fflush(stdout);
    return std::nullopt;
}

std::optional<std::string> FrontEnd::finish() {
    settle();
    return newFailures();
}

std::optional<std::string> FrontEnd::open(const std::string& path) {
    QVController& c = *m_nib.controller;
    if (auto failed = askThroughPanel("open panel", {true, {absolute(path)}}, [&] { c.onLoadImage(nullptr); }))
        return failed;
    qv::RunLoop::main().runUntil([&] { return responder().panels().size() > m_panelsSeen; }, 60);
    // A photo that cannot be opened shows the open-error alert, which is the report (and may be
    // expected); without one, the open did not happen at all.
    if (wasCancelled()) return "the open panel was cancelled";
    if (!c.state().m_bImageLoaded && responder().alerts().size() == m_alertsSeen) return "cannot open " + path;
    return std::nullopt;
}

std::optional<std::string> FrontEnd::chooseLens(const std::string& name) {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return "no photo is open";
    // As a person would: the parameters sheet, the lens's row, Load.
    c.onParameters(nullptr);
    int row = -1;
    std::string names;
    if (c.state().m_pLensArray)
        for (std::size_t i = 0; i < c.state().m_pLensArray->size(); ++i) {
            const std::string lens = (*c.state().m_pLensArray)[i].get(lens::keys::kLensName).stringOr("");
            if (lens == name && row < 0) row = int(i);
            names += (names.empty() ? "" : "; ") + lens;
        }
    if (row < 0 || !c.parametersSheet().m_pParametersTable ||
        !c.parametersSheet().m_pParametersTable->userClickRow(row) || !c.parametersSheet().m_pLoadParametersButton ||
        !c.parametersSheet().m_pLoadParametersButton->performClick()) {
        c.onCloseParameters(nullptr);
        return "no lens named \"" + name + "\" for this camera" + (names.empty() ? "" : " (its lenses: " + names + ")");
    }
    return std::nullopt;
}

std::optional<std::string> FrontEnd::set(const std::string& name, const std::string& value) {
    QVController& c = *m_nib.controller;
    const ControlSpec& spec = *specNamed(name);
    if (!c.state().m_bImageLoaded) return "no photo is open";
    switch (spec.kind) {
    case ControlSpec::Kind::Slider: {
        auto* slider = dynamic_cast<qv::ui::Slider*>(spec.control(c));
        if (!slider->userMoveTo(*numberOf(value))) return name + " cannot be moved now";
        return std::nullopt;
    }
    case ControlSpec::Kind::Choice: {
        int tag = 0;
        for (const auto& [word, cellTag] : spec.choices)
            if (word == value) tag = cellTag;
        if (auto* popUp = dynamic_cast<qv::ui::PopUpButton*>(spec.control(c))) {
            if (popUp->userChooseItem(tag)) return std::nullopt;
            return name + " " + value + " cannot be chosen now";
        }
        auto* matrix = dynamic_cast<qv::ui::Matrix*>(spec.control(c));
        for (int row = 0; matrix && row < matrix->numberOfRows(); ++row) {
            auto cell = matrix->cellAtRow(row);
            if (!cell || cell->tag() != tag) continue;
            if (matrix->userClickCell(row)) return std::nullopt;
            break;
        }
        return name + " " + value + " cannot be chosen now" + spec.unavailable;
    }
    case ControlSpec::Kind::Typed: {
        const double focal = *numberOf(value);
        if (c.state().mMinFocalLength == 0 && c.state().mMaxFocalLength == 0)
            return "no lens with a focal range is in use";
        if (focal < c.state().mMinFocalLength || focal > c.state().mMaxFocalLength)
            return "focal length " + value + " mm is outside the lens's range " + formatted(c.state().mMinFocalLength) +
                   "-" + formatted(c.state().mMaxFocalLength) + " mm";
        auto* field = dynamic_cast<qv::ui::TextField*>(spec.control(c));
        if (!field || !field->userType(value)) return "the focal length cannot be typed now";
        return std::nullopt;
    }
    case ControlSpec::Kind::Field: {
        auto* field = dynamic_cast<qv::ui::TextField*>(spec.control(c));
        if (!field || !field->userType(value)) return name + " cannot be typed now";
        return std::nullopt;
    }
    case ControlSpec::Kind::Depth: {
        if (!c.mainWindow().m_pDisplayView) return "no photo is open";
        // The depth of what is saved follows the photo's metadata.
        qv::Value metadata = c.mainWindow().m_pDisplayView->imageMetadata();
        if (!metadata.isDictionary()) return "the photo has no metadata to save with";
        metadata[qv::io::kCGImagePropertyDepth] = std::atoi(value.c_str());
        c.mainWindow().m_pDisplayView->setImageMetadata(metadata);
        return std::nullopt;
    }
    }
    return std::nullopt;
}

std::optional<std::string> FrontEnd::saveAs(const std::string& path, const SaveChoices& save) {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return "no photo is open";
    if (save.depth)
        if (auto failed = set("depth", *save.depth)) return failed;
    const std::string output = absolute(path);
    const std::string extension = qv::paths::pathExtension(output);
    if (auto failed = askThroughPanel("save panel", {true, {output}}, [&] { c.onSaveAs(nullptr); })) return failed;
    // What a person does in the panel before answering it: the format, its options, the name.
    c.saveAccessory().m_pFileFormatPopup->selectItemAtIndex(
        int(*(save.type ? QVOutputType::typeNamed(*save.type) : QVOutputType::typeOfExtension(extension))));
    c.onChangeFileType(c.saveAccessory().m_pSavePanel.get());
    c.saveAccessory().m_pSavePanel->setRequiredFileType(extension);
    if (save.compression && c.saveAccessory().mCompressionType)
        c.saveAccessory().mCompressionType->selectItemAtIndex(int(*QVOutputType::compressionNamed(*save.compression)));
    if (save.quality && !(c.saveAccessory().mQualityAmountSlider &&
                          c.saveAccessory().mQualityAmountSlider->userMoveTo(*numberOf(*save.quality))))
        return "the quality cannot be set now";
    settle();
    if (wasCancelled()) return "the save panel was cancelled";
    return std::nullopt;
}

std::optional<std::string> FrontEnd::askThroughPanel(const std::string& panel, const qv::ui::PanelAnswer& answer,
                                                     const std::function<void()>& command) {
    const std::size_t queued = responder().pendingAnswers();
    const std::size_t asked = responder().panels().size();
    responder().queuePanel(answer);
    command();
    // A panel run modally has been answered by now; one shown as a sheet is on the main window,
    // to be answered at the run loop's next pass.
    qv::ui::Window* window = m_nib.controller->mainWindow().m_pWindow;
    qv::ui::Window* sheet = window ? window->attachedSheet() : nullptr;
    if (responder().panels().size() > asked || dynamic_cast<qv::ui::SavePanel*>(sheet)) return std::nullopt;
    responder().withdrawAnswersAfter(queued);
    std::string why = "the " + panel + " did not open";
    if (sheet)
        why += sheet->title().empty() ? std::string(": a sheet is still on the main window")
                                      : ": the sheet \"" + sheet->title() + "\" is still on the main window";
    return why;
}

bool FrontEnd::wasCancelled() const {
    const auto panels = responder().panels();
    for (std::size_t i = m_panelsSeen; i < panels.size(); ++i)
        if (!panels[i].answer.ok && panels[i].refusal.empty()) return true;
    return false;
}

std::optional<std::string> FrontEnd::save() {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return "no photo is open";
    if (!c.mainWindow().m_pWindow || !c.mainWindow().m_pWindow->isDocumentEdited())
        return "nothing to save: nothing changed since the last save";
    c.onSave(nullptr);
    return std::nullopt;
}

std::optional<std::string> FrontEnd::print(const std::string& what) {
    QVController& c = *m_nib.controller;
    auto text = [](const qv::ui::TextField* field) { return field ? field->stringValue() : std::string(); };
    const bool all = what == "all";
    if (all || what == "camera")
        std::printf("camera: %s %s\n", text(c.mainWindow().m_pManufacturerText).c_str(),
                    text(c.mainWindow().m_pCameraModelText).c_str());
    if (all || what == "lens") std::printf("lens: %s\n", text(c.mainWindow().m_pLensText).c_str());
    if (all || what == "coefficients") {
        const auto values = c.correctionValues();
        std::printf("coefficients:");
        for (double value : values) std::printf(" %.6g", value);
        std::printf("\n");
    }
    return std::nullopt;
}

void FrontEnd::settle() {
    QVController& c = *m_nib.controller;
    qv::RunLoop& loop = qv::RunLoop::main();
    loop.runUntil([&] { return !c.saveAccessory().m_pSavePanel; }, 60);
    loop.runUntil([&] { return !c.isSaveInProgress(); }, 600);
    loop.runUntil([&] { return !c.isUnwrapInProgress(); }, 600);
    while (loop.runOnce(0)) {
    }
}

std::size_t FrontEnd::alertCount() { return responder().alerts().size(); }

std::string FrontEnd::alertText(const qv::ui::AlertRequest& request) {
    if (request.title.empty()) return request.message;
    if (request.message.empty()) return request.title;
    return request.title + ": " + request.message;
}

std::optional<std::string> FrontEnd::newFailures() {
    std::optional<std::string> failure;
    auto add = [&](const std::string& why) { failure = failure ? *failure + "; " + why : why; };
    const auto alerts = responder().alerts();
    for (std::size_t i = m_alertsSeen; i < alerts.size(); ++i) {
        const qv::ui::AlertRequest& request = alerts[i].request;
        auto expected = std::find_if(m_expectedAlerts.begin(), m_expectedAlerts.end(),
                                     [&](const std::string& text) { return matchesExpected(request, text); });
        if (expected != m_expectedAlerts.end()) {
            std::printf("alert: %s\n", alertText(request).c_str());
            m_expectedAlerts.erase(expected);
        } else if (isErrorAlert(request)) {
            add(alertText(request));
        }
    }
    m_alertsSeen = alerts.size();
    const auto panels = responder().panels();
    for (std::size_t i = m_panelsSeen; i < panels.size(); ++i)
        if (!panels[i].refusal.empty()) add("the panel refused the answer: " + panels[i].refusal);
    m_panelsSeen = panels.size();
    for (const std::string& expected : m_expectedAlerts) add("no alert \"" + expected + "\" was shown");
    m_expectedAlerts.clear();
    return failure;
}

}  // namespace frontend
