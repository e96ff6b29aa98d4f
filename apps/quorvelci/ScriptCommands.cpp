#include "ScriptCommands.h"

namespace frontend {

const std::vector<ScriptCommand>& scriptCommands() {
    static const std::vector<ScriptCommand> table = [] {
        std::vector<ScriptCommand> all;
        for (auto&& group : {presetCommands(), databaseEditorCommands(), unwrapCommands()}) all.insert(all.end(), group.begin(), group.end());
        return all;
    }();
    return table;
}

const ScriptCommand* scriptCommandNamed(const std::string& name) {
    for (const ScriptCommand& command : scriptCommands())
        if (command.name == name) return &command;
    return nullptr;
}

std::string scriptCommandHelp() {
    std::string help;
    for (const ScriptCommand& command : scriptCommands()) help += "  " + command.usage + "\n";
    return help;
}

}  // namespace frontend
