// The fisheye command's ways in: "quorvelci unwrap" and the script lines "apply" and "revert"
// (the correction type and the fisheye fields are controls that "set" knows).
#include "UnwrapCommands.h"

#include <algorithm>
#include <map>

#include "FrontEnd.h"
#include "ScriptCommands.h"
#include "foundation/Threads.h"
#include "shell/controller/QVController.h"
#include "shell/unwrap/UnwrapRequest.h"
#include "unwrap/Sampler.h"

namespace frontend {

namespace {

// Presses one of the window's buttons and waits for what it started.
qv::Outcome press(FrontEnd& frontEnd, void (QVController::*button)(qv::ui::Control*)) {
    QVController& c = frontEnd.controller();
    if (!c.state().m_bImageLoaded) return qv::Outcome::failure("no photo is open");
    // The colour profile that the open extracts goes onto an unwrap's result: let it arrive first.
    qv::waitForDetachedThreads(60);
    (c.*button)(nullptr);
    frontEnd.settle();
    return qv::Outcome::success();
}

Action setAction(const std::string& control, const std::string& value) {
    Action set;
    set.verb = Action::Verb::Set;
    set.subject = control;
    set.value = value;
    return set;
}

// The refusal of one option's value, the others being ones that run.
std::string refusalOf(const std::string& option, float value) {
    shell::UnwrapSettings settings{0, 0, 180, 90, 0};
    if (option == "--width") settings.width = value;
    else if (option == "--height") settings.height = value;
    else if (option == "--in-fov") settings.inputFOV = value;
    else settings.outputFOV = value;
    return shell::unwrapRefusal(settings);
}

// The fisheye fields and pop-up as the control table names them.
const char* const kFisheyeControls[] = {"width", "height", "in-fov", "out-fov", "sampler"};

Action applyAction() {
    Action apply;
    apply.verb = Action::Verb::Command;
    apply.subject = "apply";
    return apply;
}

// Why the fisheye values given (by option, "--width" and its value) cannot run, or "" when they
// can: a value that is no number or that the unwrap refuses, or a width without its height.
std::string fisheyeValuesRefusal(const std::map<std::string, std::string>& options) {
    if (options.count("--width") != options.count("--height")) return "--width and --height go together";
    for (const char* option : {"--in-fov", "--out-fov", "--width", "--height"}) {
        const auto given = options.find(option);
        if (given == options.end()) continue;
        const auto number = numberOf(given->second);
        if (!number) return std::string(option) + " takes a number, not \"" + given->second + "\"";
        if (const std::string why = refusalOf(option, float(*number)); !why.empty())
            return std::string(option) + " " + given->second + ": " + why;
    }
    return "";
}

}  // namespace

bool pressApplyForFisheye(std::vector<Action>& actions, std::string* error) {
    std::map<std::string, std::string> fisheye;
    bool unwraps = false;
    auto lastSet = actions.end();
    for (auto action = actions.begin(); action != actions.end(); ++action) {
        if (action->verb != Action::Verb::Set) continue;
        lastSet = action;
        if (action->subject == "correction") unwraps = action->value == "fisheye";
        for (const char* control : kFisheyeControls)
            if (action->subject == control) fisheye["--" + action->subject] = action->value;
    }
    std::string why;
    if (!unwraps && !fisheye.empty())
        why = fisheye.begin()->first + " is a fisheye control: it takes effect with --correction fisheye";
    else if (unwraps)
        why = fisheyeValuesRefusal(fisheye);
    if (!why.empty()) {
        if (error) *error = why;
        return false;
    }
    if (unwraps) actions.insert(std::next(lastSet), applyAction());
    return true;
}

std::vector<ScriptCommand> unwrapCommands() {
    return {
        {"apply", "apply   (the Apply button; with correction fisheye it unwraps the photo and waits for it)", 0, 0,
         nullptr, [](FrontEnd& frontEnd, const ScriptCommand::Words&) { return press(frontEnd, &QVController::onApply); }},
        {"revert", "revert   (the Revert button: the photo as it was before an unwrap, the controls reset)", 0, 0,
         nullptr,
         [](FrontEnd& frontEnd, const ScriptCommand::Words&) { return press(frontEnd, &QVController::onRevert); }},
    };
}

bool parseUnwrap(const std::vector<std::string>& arguments, std::vector<Action>& actions, std::string* error) {
    auto fail = [&](const std::string& why) {
        if (error) *error = why;
        return false;
    };
    std::string photo, output;
    std::map<std::string, std::string> options;
    static const char* const kOptions[] = {"-o",        "--in-fov", "--out-fov", "--width",      "--height",
                                           "--sampler", "--type",   "--quality", "--compression", "--depth"};
    auto known = [](const std::string& option) {
        return std::find(std::begin(kOptions), std::end(kOptions), option) != std::end(kOptions);
    };
    auto take = [&](const std::string& option, const std::string& value) -> std::string {
        return options.emplace(option, value).second ? "" : option + " is given twice";
    };
    if (!readPhotoAndOptions(arguments, photo, known, take, error)) return false;
    if (photo.empty()) return fail("no photo given");
    for (const char* required : {"-o", "--in-fov", "--out-fov"})
        if (!options.count(required)) return fail(std::string("no ") + required + " given");
    if (const std::string why = fisheyeValuesRefusal(options); !why.empty()) return fail(why);
    if (const auto sampler = options.find("--sampler"); sampler != options.end() && !unwrap::samplerNamed(sampler->second))
        return fail("--sampler takes bilinear, gaussian, mitchell, lanczos2, lanczos3 or bspline, not \"" +
                    sampler->second + "\"");

    actions.clear();
    Action open;
    open.verb = Action::Verb::Open;
    open.subject = photo;
    actions.push_back(open);
    actions.push_back(setAction("correction", "fisheye"));
    const auto value = [&](const char* option, const char* otherwise) {
        const auto given = options.find(option);
        return given == options.end() ? std::string(otherwise) : given->second;
    };
    actions.push_back(setAction("width", value("--width", "0")));
    actions.push_back(setAction("height", value("--height", "0")));
    actions.push_back(setAction("in-fov", value("--in-fov", "")));
    actions.push_back(setAction("out-fov", value("--out-fov", "")));
    if (options.count("--sampler")) actions.push_back(setAction("sampler", options["--sampler"]));
    actions.push_back(applyAction());
    Action save;
    save.verb = Action::Verb::SaveAs;
    save.subject = options["-o"];
    if (options.count("--type")) save.save.type = options["--type"];
    if (options.count("--quality")) save.save.quality = options["--quality"];
    if (options.count("--compression")) save.save.compression = options["--compression"];
    if (options.count("--depth")) save.save.depth = options["--depth"];
    actions.push_back(save);
    return true;
}

}  // namespace frontend
