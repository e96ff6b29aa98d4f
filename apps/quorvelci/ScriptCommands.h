#pragma once
// Script lines (and options of "quorvelci correct") that the front end's own actions do not
// cover: each is a named command with its words, kept in a file of its own beside FrontEnd.cpp
// and registered with one line in scriptCommands().
#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace frontend {

class FrontEnd;

struct ScriptCommand {
    using Words = std::vector<std::string>;
    std::string name;
    std::string usage;  // the line as the usage text shows it
    std::size_t minWords = 0, maxWords = 0;
    // Checks the words before any action runs; the reason when they are wrong.
    std::function<std::optional<std::string>(const Words& words)> check;
    // Carries the command out as a person would; the reason when it failed.
    std::function<std::optional<std::string>(FrontEnd& frontEnd, const Words& words)> run;
};

const std::vector<ScriptCommand>& scriptCommands();
const ScriptCommand* scriptCommandNamed(const std::string& name);
// One usage line per command.
std::string scriptCommandHelp();

// The commands of each file.
std::vector<ScriptCommand> presetCommands();          // PresetCommands.cpp
std::vector<ScriptCommand> databaseEditorCommands();  // DatabaseEditorCommands.cpp
std::vector<ScriptCommand> unwrapCommands();          // UnwrapCommands.cpp

}  // namespace frontend
