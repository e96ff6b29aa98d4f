// Script lines for presets: "load-preset FILE" and "save-preset FILE", through the Presets menu's
// panels as a person would; "quorvelci correct" takes them as --preset and --save-preset.
#include "FrontEnd.h"
#include "ScriptCommands.h"
#include "foundation/Paths.h"
#include "shell/files/PresetFormat.h"

namespace frontend {

namespace {

std::optional<std::string> checkPresetName(const ScriptCommand::Words& words) {
    if (qv::paths::pathExtension(words[0]) != shell::preset::kExtension)
        return "a preset file's name ends in ." + std::string(shell::preset::kExtension) + ": \"" + words[0] + "\"";
    return std::nullopt;
}

std::optional<std::string> throughPanel(FrontEnd& frontEnd, const std::string& path,
                                        void (QVController::*command)(qv::ui::Control*)) {
    if (auto failed = frontEnd.askThroughPanel("preset panel", {true, {FrontEnd::absolutePath(path)}},
                                               [&] { (frontEnd.controller().*command)(nullptr); }))
        return failed;
    frontEnd.settle();
    if (frontEnd.wasCancelled()) return "the preset panel was cancelled";
    return std::nullopt;
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
