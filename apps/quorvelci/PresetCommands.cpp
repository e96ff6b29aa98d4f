// Script lines for presets: "load-preset FILE" and "save-preset FILE", through the Presets menu's
// panels as a person would; "quorvelci correct" takes them as --preset and --save-preset.
#include "FrontEnd.h"
#include "ScriptCommands.h"
#include "foundation/Paths.h"
#include "shell/files/PresetFormat.h"

namespace frontend {

namespace {

qv::Outcome checkPresetName(const ScriptCommand::Words& words) {
    if (qv::paths::pathExtension(words[0]) != shell::preset::kExtension)
        return qv::Outcome::failure("a preset file's name ends in ." + std::string(shell::preset::kExtension) + ": \"" +
                                    words[0] + "\"");
    return qv::Outcome::success();
}

qv::Outcome throughPanel(FrontEnd& frontEnd, const std::string& path, void (QVController::*command)(qv::ui::Control*)) {
    const qv::Outcome asked = frontEnd.askThroughPanel("preset panel", {true, {FrontEnd::absolutePath(path)}},
                                                       [&] { (frontEnd.controller().*command)(nullptr); });
    if (!asked) return asked;
    frontEnd.settle();
    if (frontEnd.wasCancelled()) return qv::Outcome::failure("the preset panel was cancelled");
    return qv::Outcome::success();
}

}  // namespace

std::vector<ScriptCommand> presetCommands() {
    return {
        {"load-preset", "load-preset FILE.dtl2   (the preset's coefficients and controls)", 1, 1, checkPresetName,
         [](FrontEnd& frontEnd, const ScriptCommand::Words& words) {
             return throughPanel(frontEnd, words[0], &QVController::onLoadPreset);
         }},
        {"save-preset", "save-preset FILE.dtl2   (the current coefficients and controls)", 1, 1, checkPresetName,
         [](FrontEnd& frontEnd, const ScriptCommand::Words& words) {
             return throughPanel(frontEnd, words[0], &QVController::onSavePreset);
         }},
    };
}

}  // namespace frontend
