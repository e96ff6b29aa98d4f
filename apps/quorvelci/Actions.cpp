#include "Actions.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <map>

#include "ScriptCommands.h"

namespace frontend {

namespace {

std::string trimmed(const std::string& text) {
    const auto first = text.find_first_not_of(" \t\r");
    if (first == std::string::npos) return {};
    const auto last = text.find_last_not_of(" \t\r");
    return text.substr(first, last - first + 1);
}

// The rest of a line as one argument: a quoted word loses its quotes, anything else is taken as
// it stands, blanks inside included (lens names and paths have them).
bool restArgument(const std::string& rest, std::string& argument) {
    std::vector<std::string> words;
    if (!rest.empty() && rest.front() == '"') {
        if (!splitWords(rest, words) || words.size() != 1) return false;
        argument = words.front();
    } else {
        argument = rest;
    }
    return !argument.empty();
}

// One option of the save panel ("--type" and its value); false when `option` is none of them.
bool takeSaveChoice(const std::string& option, const std::string& value, SaveChoices& save) {
    if (option == "--type") save.type = value;
    else if (option == "--quality") save.quality = value;
    else if (option == "--compression") save.compression = value;
    else if (option == "--depth") save.depth = value;
    else return false;
    return true;
}

const std::map<std::string, Action::Verb> kVerbs = {
    {"open", Action::Verb::Open},          {"lens", Action::Verb::Lens},
    {"set", Action::Verb::Set},            {"save-as", Action::Verb::SaveAs},
    {"save", Action::Verb::Save},          {"answer", Action::Verb::AnswerAlert},
    {"expect-alert", Action::Verb::ExpectAlert}, {"print", Action::Verb::Print}};

}  // namespace

std::optional<double> numberOf(const std::string& text) {
    if (text.empty()) return std::nullopt;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (end != text.c_str() + text.size() || !std::isfinite(value)) return std::nullopt;
    return value;
}

bool splitWords(const std::string& text, std::vector<std::string>& words) {
    words.clear();
    std::string word;
    bool inWord = false, quoted = false;
    for (char ch : text) {
        if (ch == '"') {
            quoted = !quoted;
            inWord = true;
        } else if (!quoted && (ch == ' ' || ch == '\t' || ch == '\r')) {
            if (inWord) words.push_back(word);
            word.clear();
            inWord = false;
        } else {
            word += ch;
            inWord = true;
        }
    }
    if (inWord) words.push_back(word);
    return !quoted;
}

std::optional<Action> parseLine(const std::string& rawLine, int number, std::string* error) {
    const std::string line = trimmed(rawLine);
    if (line.empty() || line.front() == '#') return std::nullopt;
    const auto blank = line.find_first_of(" \t");
    const std::string verb = line.substr(0, blank);
    const std::string rest = blank == std::string::npos ? std::string() : trimmed(line.substr(blank));
    auto fail = [&](const std::string& why) -> std::optional<Action> {
        if (error) *error = why;
        return std::nullopt;
    };
    std::vector<std::string> words;
    if (!splitWords(rest, words)) return fail("a quote is not closed");
    Action action;
    action.line = number;
    const auto found = kVerbs.find(verb);
    if (found == kVerbs.end()) {
        const ScriptCommand* command = scriptCommandNamed(verb);
        if (!command) return fail("unknown action \"" + verb + "\"");
        if (words.size() < command->minWords || words.size() > command->maxWords) return fail("usage: " + command->usage);
        action.verb = Action::Verb::Command;
        action.subject = verb;
        action.words = words;
        return action;
    }
    action.verb = found->second;
    switch (action.verb) {
    case Action::Verb::Open:
    case Action::Verb::Lens:
    case Action::Verb::ExpectAlert:
        if (!restArgument(rest, action.subject)) return fail(verb + " needs one argument");
        break;
    case Action::Verb::Set:
        if (words.size() != 2) return fail("usage: set CONTROL VALUE");
        action.subject = words[0];
        action.value = words[1];
        break;
    case Action::Verb::SaveAs:
        if (words.empty()) return fail("usage: save-as PATH [--type T] [--quality Q] [--compression C] [--depth D]");
        action.subject = words[0];
        for (std::size_t i = 1; i < words.size(); i += 2) {
            if (i + 1 >= words.size() || !takeSaveChoice(words[i], words[i + 1], action.save))
                return fail("save-as does not take \"" + words[i] + "\" here");
        }
        break;
    case Action::Verb::Save:
        if (!words.empty()) return fail("save takes no argument (save-as names a file)");
        break;
    case Action::Verb::AnswerAlert:
        // "answer alert BUTTON" or "answer panel PATH|cancel".
        if (words.size() < 2 || (words[0] != "alert" && words[0] != "panel"))
            return fail("usage: answer alert BUTTON | answer panel PATH|cancel");
        if (words[0] == "panel") action.verb = Action::Verb::AnswerPanel;
        if (!restArgument(trimmed(rest.substr(rest.find(words[0]) + words[0].size())), action.subject))
            return fail("answer needs a button or a path");
        break;
    case Action::Verb::Print:
        if (words.size() > 1) return fail("usage: print [camera|lens|coefficients|all]");
        action.subject = words.empty() ? "all" : words[0];
        break;
    case Action::Verb::AnswerPanel:
    case Action::Verb::Command:
        break;
    }
    return action;
}

bool readPhotoAndOptions(const std::vector<std::string>& arguments, std::string& photo,
                         const std::function<bool(const std::string& option)>& known,
                         const std::function<std::string(const std::string& option, const std::string& value)>& take,
                         std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    bool optionsEnded = false;  // after "--" every argument is a photo, "-x.jpg" included
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (optionsEnded || argument.empty() || argument[0] != '-') {
            if (!photo.empty()) return fail("one photo at a time: \"" + argument + "\" is one too many");
            photo = argument;
            continue;
        }
        if (!known(argument)) return fail("unknown option " + argument);
        if (i + 1 >= arguments.size()) return fail(argument + " needs a value");
        if (const std::string why = take(argument, arguments[++i]); !why.empty()) return fail(why);
    }
    return true;
}

bool parseCorrect(const std::vector<std::string>& arguments, const std::vector<std::string>& controlOrder,
                  std::vector<Action>& actions, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string photo, output, lens, preset, savePreset;
    SaveChoices save;
    std::map<std::string, std::string> controls;
    auto take = [&](const std::string& argument, const std::string& value) -> std::string {
        if (argument == "-o") output = value;
        else if (argument == "--lens") lens = value;
        else if (argument == "--preset") preset = value;
        else if (argument == "--save-preset") savePreset = value;
        else if (argument.rfind("--", 0) == 0 &&
                 std::find(controlOrder.begin(), controlOrder.end(), argument.substr(2)) != controlOrder.end()) {
            if (!controls.emplace(argument.substr(2), value).second) return argument + " is given twice";
        } else if (!takeSaveChoice(argument, value, save)) {
            return "unknown option " + argument;
        }
        return "";
    };
    if (!readPhotoAndOptions(arguments, photo, [](const std::string&) { return true; }, take, error)) return false;
    if (photo.empty()) return fail("no photo given");
    if (output.empty()) return fail("no output given (-o OUTPUT)");

    actions.clear();
    Action open;
    open.verb = Action::Verb::Open;
    open.subject = photo;
    actions.push_back(open);
    if (!lens.empty()) {
        Action choose;
        choose.verb = Action::Verb::Lens;
        choose.subject = lens;
        actions.push_back(choose);
    }
    auto command = [&](const char* name, const std::string& file) {
        if (file.empty()) return;
        Action run;
        run.verb = Action::Verb::Command;
        run.subject = name;
        run.words = {file};
        actions.push_back(run);
    };
    command("load-preset", preset);
    for (const std::string& control : controlOrder) {
        const auto given = controls.find(control);
        if (given == controls.end()) continue;
        Action set;
        set.verb = Action::Verb::Set;
        set.subject = control;
        set.value = given->second;
        actions.push_back(set);
    }
    command("save-preset", savePreset);
    for (const Action::Verb verb : {Action::Verb::Print, Action::Verb::SaveAs}) {
        Action last;
        last.verb = verb;
        last.subject = verb == Action::Verb::Print ? "all" : output;
        if (verb == Action::Verb::SaveAs) last.save = save;
        actions.push_back(last);
    }
    return true;
}

}  // namespace frontend
