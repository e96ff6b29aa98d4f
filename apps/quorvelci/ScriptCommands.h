#pragma once
// Script lines (and options of "quorvelci correct") that the front end's own actions do not
// cover: each is a named command with its words, kept in a file of its own beside FrontEnd.cpp
// and registered with one line in scriptCommands().
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "foundation/Outcome.h"

namespace frontend {

class FrontEnd;

struct ScriptCommand {
    using Words = std::vector<std::string>;
    std::string name;
    std::string usage;  // the line as the usage text shows it
    std::size_t minWords = 0, maxWords = 0;
    // Checks the words before any action runs; a failure, with the reason, when they are wrong.
    std::function<qv::Outcome(const Words& words)> check;
    // Carries the command out as a person would; a failure, with the reason, when it did not work.
    std::function<qv::Outcome(FrontEnd& frontEnd, const Words& words)> run;
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
