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
#include "shell/controller/QVApplicationMain.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/QVController.h"
#include "shell/files/SupportFolder.h"
#include "ScriptCommands.h"

namespace frontend {

using qv::Outcome;

namespace {

using shell::ControlKind;
using shell::CorrectionControl;

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
    for (const CorrectionControl& spec : shell::correctionControls()) names.push_back(spec.name);
    return names;
}

std::string FrontEnd::controlHelp() {
    std::string help;
    for (const CorrectionControl& spec : shell::correctionControls())
        help += std::string("  ") + spec.name + std::string(22 - std::string(spec.name).size(), ' ') + spec.help + "\n";
    return help;
}

Outcome FrontEnd::check(const Action& action) const {
    using Verb = Action::Verb;
    switch (action.verb) {
    case Verb::Set: {
        const CorrectionControl* spec = shell::correctionControlNamed(action.subject);
        if (!spec) return Outcome::failure("unknown control \"" + action.subject + "\"");
        const std::string& value = action.value;
        const std::string prefix = std::string(spec->name) + " ";
        switch (spec->kind) {
        case ControlKind::Slider: {
            const auto number = numberOf(value);
            auto* slider = dynamic_cast<qv::ui::Slider*>(spec->outlet(*m_nib.controller));
            if (!number || !slider) return Outcome::failure(prefix + "takes a number, not \"" + value + "\"");
            if (!withinRange(*number, slider->minValue(), slider->maxValue()))
                return Outcome::failure(prefix + "takes " + formatted(slider->minValue()) + " to " +
                                        formatted(slider->maxValue()) + ", not " + value);
            return Outcome::success();
        }
        case ControlKind::Typed: {
            const auto number = numberOf(value);
            if (!number || *number <= 0)
                return Outcome::failure(prefix + "takes a focal length in mm above 0, not \"" + value + "\"");
            return Outcome::success();
        }
        case ControlKind::Field:
            if (!numberOf(value)) return Outcome::failure(prefix + "takes a number, not \"" + value + "\"");
            return Outcome::success();
        case ControlKind::Choice:
            if (shell::choiceTag(*spec, value)) return Outcome::success();
            return Outcome::failure(prefix + "takes " + shell::choiceWords(*spec) + ", not \"" + value + "\"");
        case ControlKind::Depth:
            if (value == "8" || value == "16") return Outcome::success();
            return Outcome::failure(prefix + "takes 8 or 16, not \"" + value + "\"");
        }
        return Outcome::success();
    }
    case Verb::SaveAs: {
        const SaveChoices& save = action.save;
        const std::string extension = qv::paths::pathExtension(action.subject);
        // The extensions the save panel takes, capitals included ("JPG", "TIFF").
        const auto byExtension = QVOutputType::typeOfExtension(extension);
        if (!byExtension)
            return Outcome::failure("cannot write \"" + extension +
                                    "\" files: name the output .jpg, .tif, .psd or .exr");
        const auto format = save.type ? QVOutputType::typeNamed(*save.type) : byExtension;
        if (save.type) {
            if (!format) return Outcome::failure("type takes jpeg, tiff, psd or exr, not \"" + *save.type + "\"");
            // The name says what the file holds: the type may only confirm it.
            if (format != byExtension)
                return Outcome::failure("the type " + *save.type + " does not match the name " + action.subject);
        }
        if (save.quality) {
            const auto quality = numberOf(*save.quality);
            if (!quality || *quality < 0 || *quality > 1)
                return Outcome::failure("quality takes 0 to 1, not \"" + *save.quality + "\"");
            if (*format != QVOutputType::Type::JPEG) return Outcome::failure("quality is for JPEG output only");
        }
        if (save.compression) {
            if (!QVOutputType::compressionNamed(*save.compression))
                return Outcome::failure("compression takes none, lzw or packbits, not \"" + *save.compression + "\"");
            if (*format != QVOutputType::Type::TIFF) return Outcome::failure("compression is for TIFF output only");
        }
        if (save.depth) {
            Action depth;
            depth.verb = Verb::Set;
            depth.subject = "depth";
            depth.value = *save.depth;
            return check(depth);
        }
        return Outcome::success();
    }
    case Verb::AnswerAlert: {
        const auto button = numberOf(action.subject);
        if (!button || *button < 0 || *button != std::floor(*button))
            return Outcome::failure("answer alert takes a button number (0 the default), not \"" + action.subject +
                                    "\"");
        return Outcome::success();
    }
    case Verb::Command: {
        const ScriptCommand* command = scriptCommandNamed(action.subject);
        if (!command) return Outcome::failure("unknown action \"" + action.subject + "\"");
        if (action.words.size() < command->minWords || action.words.size() > command->maxWords)
            return Outcome::failure("usage: " + command->usage);
        return command->check ? command->check(action.words) : Outcome::success();
    }
    case Verb::Print:
        for (const char* what : {"camera", "lens", "coefficients", "all"})
            if (action.subject == what) return Outcome::success();
        return Outcome::failure("print takes camera, lens, coefficients or all, not \"" + action.subject + "\"");
    case Verb::Open:
    case Verb::Lens:
    case Verb::Save:
    case Verb::AnswerPanel:
    case Verb::ExpectAlert:
        return Outcome::success();
    }
    return Outcome::success();
}

Outcome FrontEnd::run(const Action& action) {
    if (Outcome checked = check(action); !checked) return checked;
    using Verb = Action::Verb;
    Outcome done = Outcome::success();
    switch (action.verb) {
    case Verb::ExpectAlert:
        m_expectedAlerts.push_back(action.subject);
        return Outcome::success();
    case Verb::AnswerAlert:
        responder().queueAlert({std::atoi(action.subject.c_str())});
        return Outcome::success();
    case Verb::AnswerPanel:
        if (action.subject == "cancel") responder().queuePanel({false, {}});
        else responder().queuePanel({true, {absolute(action.subject)}});
        return Outcome::success();
    case Verb::Open: done = open(action.subject); break;
    case Verb::Lens: done = chooseLens(action.subject); break;
    case Verb::Set: done = set(action.subject, action.value); break;
    case Verb::SaveAs: done = saveAs(action.subject, action.save); break;
    case Verb::Save: done = save(); break;
    case Verb::Print: done = print(action.subject); break;
    case Verb::Command: done = scriptCommandNamed(action.subject)->run(*this, action.words); break;
    }
    settle();
    // A save whose error alert was expected goes on, but wrote nothing.
    const auto alerts = responder().alerts();
    const bool errorShown = std::any_of(alerts.begin() + std::ptrdiff_t(std::min(m_alertsSeen, alerts.size())),
                                        alerts.end(), [](const auto& record) { return isErrorAlert(record.request); });
    if (Outcome reported = newFailures(); !reported) return reported;
    if (!done) return done;
    if ((action.verb == Verb::SaveAs || action.verb == Verb::Save) && !errorShown)
        std::printf("written: %s\n", m_nib.controller->state().m_pFileToWrite.c_str());
    std::fflush(stdout);
    return Outcome::success();
}

Outcome FrontEnd::finish() {
    settle();
    return newFailures();
}

Outcome FrontEnd::open(const std::string& path) {
    QVController& c = *m_nib.controller;
    const Outcome asked = askThroughPanel("open panel", {true, {absolute(path)}}, [&] { c.onLoadImage(nullptr); });
    if (!asked) return asked;
    qv::RunLoop::main().runUntil([&] { return responder().panels().size() > m_panelsSeen; }, 60);
    // A photo that cannot be opened shows the open-error alert, which is the report (and may be
    // expected); without one, the open did not happen at all.
    if (wasCancelled()) return Outcome::failure("the open panel was cancelled");
    if (!c.state().m_bImageLoaded && responder().alerts().size() == m_alertsSeen)
        return Outcome::failure("cannot open " + path);
    return Outcome::success();
}

Outcome FrontEnd::chooseLens(const std::string& name) {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return Outcome::failure("no photo is open");
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
        return Outcome::failure("no lens named \"" + name + "\" for this camera" +
                                (names.empty() ? "" : " (its lenses: " + names + ")"));
    }
    return Outcome::success();
}

Outcome FrontEnd::set(const std::string& name, const std::string& value) {
    QVController& c = *m_nib.controller;
    const CorrectionControl& spec = *shell::correctionControlNamed(name);
    if (!c.state().m_bImageLoaded) return Outcome::failure("no photo is open");
    switch (spec.kind) {
    case ControlKind::Slider: {
        auto* slider = dynamic_cast<qv::ui::Slider*>(spec.outlet(c));
        if (!slider->userMoveTo(*numberOf(value))) return Outcome::failure(name + " cannot be moved now");
        return Outcome::success();
    }
    case ControlKind::Choice: {
        if (shell::chooseTagged(spec.outlet(c), shell::choiceTag(spec, value).value_or(0))) return Outcome::success();
        return Outcome::failure(name + " " + value + " cannot be chosen now" + spec.unavailable);
    }
    case ControlKind::Typed: {
        const double focal = *numberOf(value);
        if (c.state().mMinFocalLength == 0 && c.state().mMaxFocalLength == 0)
            return Outcome::failure("no lens with a focal range is in use");
        if (focal < c.state().mMinFocalLength || focal > c.state().mMaxFocalLength)
            return Outcome::failure("focal length " + value + " mm is outside the lens's range " +
                                    formatted(c.state().mMinFocalLength) + "-" + formatted(c.state().mMaxFocalLength) +
                                    " mm");
        auto* field = dynamic_cast<qv::ui::TextField*>(spec.outlet(c));
        if (!field || !field->userType(value)) return Outcome::failure("the focal length cannot be typed now");
        return Outcome::success();
    }
    case ControlKind::Field: {
        auto* field = dynamic_cast<qv::ui::TextField*>(spec.outlet(c));
        if (!field || !field->userType(value)) return Outcome::failure(name + " cannot be typed now");
        return Outcome::success();
    }
    case ControlKind::Depth: {
        if (!c.mainWindow().m_pDisplayView) return Outcome::failure("no photo is open");
        // The depth of what is saved follows the photo's metadata.
        qv::Value metadata = c.mainWindow().m_pDisplayView->imageMetadata();
        if (!metadata.isDictionary()) return Outcome::failure("the photo has no metadata to save with");
        metadata[qv::io::kCGImagePropertyDepth] = std::atoi(value.c_str());
        c.mainWindow().m_pDisplayView->setImageMetadata(metadata);
        return Outcome::success();
    }
    }
    return Outcome::success();
}

Outcome FrontEnd::saveAs(const std::string& path, const SaveChoices& save) {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return Outcome::failure("no photo is open");
    if (save.depth)
        if (Outcome depth = set("depth", *save.depth); !depth) return depth;
    const std::string output = absolute(path);
    const std::string extension = qv::paths::pathExtension(output);
    const Outcome asked = askThroughPanel("save panel", {true, {output}}, [&] { c.onSaveAs(nullptr); });
    if (!asked) return asked;
    // What a person does in the panel before answering it: the format, its options, the name.
    c.saveAccessory().m_pFileFormatPopup->selectItemAtIndex(
        int(*(save.type ? QVOutputType::typeNamed(*save.type) : QVOutputType::typeOfExtension(extension))));
    c.onChangeFileType(c.saveAccessory().m_pSavePanel.get());
    c.saveAccessory().m_pSavePanel->setRequiredFileType(extension);
    if (save.compression && c.saveAccessory().mCompressionType)
        c.saveAccessory().mCompressionType->selectItemAtIndex(int(*QVOutputType::compressionNamed(*save.compression)));
    if (save.quality && !(c.saveAccessory().mQualityAmountSlider &&
                          c.saveAccessory().mQualityAmountSlider->userMoveTo(*numberOf(*save.quality))))
        return Outcome::failure("the quality cannot be set now");
    settle();
    if (wasCancelled()) return Outcome::failure("the save panel was cancelled");
    return Outcome::success();
}

Outcome FrontEnd::askThroughPanel(const std::string& panel, const qv::ui::PanelAnswer& answer,
                                  const std::function<void()>& command) {
    const std::size_t queued = responder().pendingAnswers();
    const std::size_t asked = responder().panels().size();
    responder().queuePanel(answer);
    command();
    // A panel run modally has been answered by now; one shown as a sheet is on the main window,
    // to be answered at the run loop's next pass.
    qv::ui::Window* window = m_nib.controller->mainWindow().m_pWindow;
    qv::ui::Window* sheet = window ? window->attachedSheet() : nullptr;
    if (responder().panels().size() > asked || dynamic_cast<qv::ui::SavePanel*>(sheet)) return Outcome::success();
    responder().withdrawAnswersAfter(queued);
    std::string why = "the " + panel + " did not open";
    if (sheet)
        why += sheet->title().empty() ? std::string(": a sheet is still on the main window")
                                      : ": the sheet \"" + sheet->title() + "\" is still on the main window";
    return Outcome::failure(why);
}

bool FrontEnd::wasCancelled() const {
    const auto panels = responder().panels();
    for (std::size_t i = m_panelsSeen; i < panels.size(); ++i)
        if (!panels[i].answer.ok && panels[i].refusal.empty()) return true;
    return false;
}

Outcome FrontEnd::save() {
    QVController& c = *m_nib.controller;
    if (!c.state().m_bImageLoaded) return Outcome::failure("no photo is open");
    if (!c.mainWindow().m_pWindow || !c.mainWindow().m_pWindow->isDocumentEdited())
        return Outcome::failure("nothing to save: nothing changed since the last save");
    c.onSave(nullptr);
    return Outcome::success();
}

Outcome FrontEnd::print(const std::string& what) {
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
    return Outcome::success();
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

Outcome FrontEnd::newFailures() {
    // Every failure found, one after the other.
    bool failed = false;
    std::string failures;
    auto add = [&](const std::string& why) {
        failures += (failed ? "; " : "") + why;
        failed = true;
    };
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
    return failed ? Outcome::failure(failures) : Outcome::success();
}

}  // namespace frontend
