// quorvelci: the application, and its headless front end for scripts and tests.
//   quorvelci [PHOTO...]                  the application in its window, opening the photos
//   quorvelci --help                      the usage
//   quorvelci correct PHOTO -o OUT [...]  opens the photo, lets the controller choose the camera and
//                                         lens, sets the controls given (with --correction fisheye,
//                                         presses Apply) and saves the corrected photo
//   quorvelci unwrap PHOTO -o OUT [...]   opens the fisheye photo, unwraps it with the fisheye
//                                         controls and saves the unwrapped photo
//   quorvelci script FILE|-               runs the actions of a script, one a line
//   quorvelci batch SOURCE... ...         corrects many photos through the batch sheet
// Usage errors exit 2 before anything is done; an action that fails (an error alert, a refused
// panel answer, a control that cannot be set) stops the run and exits 1.
#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <string>
#include <vector>

#include "Actions.h"
#include "BatchCommand.h"
#include "FrontEnd.h"
#include "ScriptCommands.h"
#include "UnwrapCommands.h"
#include "WindowApplication.h"
#include "coreimage/ParallelWorkers.h"

namespace {

constexpr int kUsageError = 2;
constexpr int kActionFailed = 1;

// What the subcommands that need no display are; printed too when the window cannot open.
constexpr const char* kHeadlessHelp =
    "without a display, use a subcommand: correct, unwrap, batch, script (quorvelci --help lists them)\n";

void printUsage(std::FILE* to) {
    std::fprintf(to,
                 "usage: quorvelci [PHOTO...]   (the application in its window)\n"
                 "       quorvelci correct PHOTO -o OUTPUT [--type jpeg|tiff|psd|exr] [--quality 0..1]\n"
                 "                 [--compression none|lzw|packbits] [--lens NAME] [--CONTROL VALUE ...]\n"
                 "                 [--preset FILE.dtl2] [--save-preset FILE.dtl2]\n"
                 "       quorvelci unwrap PHOTO -o OUTPUT --in-fov DEG --out-fov DEG [--width W --height H]\n"
                 "                 [--sampler NAME] [--type T] [--quality Q] [--compression C] [--depth 8|16]\n"
                 "       quorvelci script FILE|-\n"
                 "       quorvelci batch SOURCE... (--dest DIR | --replace-sources) [--subfolders]\n"
                 "                 [--mode auto|current|preset] [--preset FILE.dtl2] [--type jpeg|tiff|psd|exr]\n"
                 "                 [--name PARTS] [--correction lens|fisheye] [--fe-width W] [--fe-height H]\n"
                 "                 [--fe-input-fov DEG] [--fe-output-fov DEG]   (%s)\n"
                 "                 batch --type is the type of a source not in one of the four (a raw file):\n"
                 "                 a JPEG, TIFF, PSD or OpenEXR source keeps its type and its extension\n"
                 "controls:\n%s"
                 "script lines (# comments and blank lines are skipped):\n"
                 "  open PATH | lens NAME | set CONTROL VALUE | save | print [camera|lens|coefficients|all]\n"
                 "  save-as PATH [--type T] [--quality Q] [--compression C] [--depth D]\n"
                 "  answer alert BUTTON | answer panel PATH|cancel   (answers the next alert or panel)\n"
                 "  expect-alert TEXT   (the next action shows an alert with TEXT; an error alert is then no failure)\n"
                 "%s",
                 frontend::batchHelp().c_str(), frontend::FrontEnd::controlHelp().c_str(),
                 frontend::scriptCommandHelp().c_str());
}

int usage(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "quorvelci: %s\n", why.c_str());
    printUsage(stderr);
    return kUsageError;
}

std::string where(const std::string& source, const frontend::Action& action) {
    return action.line > 0 ? source + ":" + std::to_string(action.line) + ": " : std::string();
}

// Checks every action before the first runs, then runs them in order up to the first failure.
int runActions(const std::vector<frontend::Action>& actions, const std::string& source) {
    frontend::FrontEnd frontEnd;
    for (const frontend::Action& action : actions) {
        const qv::Outcome checked = frontEnd.check(action);
        if (checked) continue;
        if (action.line == 0) return usage(checked.reason());
        std::fprintf(stderr, "quorvelci: %s%s\n", where(source, action).c_str(), checked.reason().c_str());
        return kUsageError;
    }
    for (const frontend::Action& action : actions) {
        if (const qv::Outcome done = frontEnd.run(action); !done) {
            std::fprintf(stderr, "quorvelci: %s%s\n", where(source, action).c_str(), done.reason().c_str());
            return kActionFailed;
        }
    }
    if (const qv::Outcome finished = frontEnd.finish(); !finished) {
        std::fprintf(stderr, "quorvelci: %s\n", finished.reason().c_str());
        return kActionFailed;
    }
    return 0;
}

int unwrapCommand(int argc, char** argv) {
    std::vector<frontend::Action> actions;
    std::string error;
    if (!frontend::parseUnwrap(std::vector<std::string>(argv + 2, argv + argc), actions, &error)) return usage(error);
    return runActions(actions, "unwrap");
}

int correct(int argc, char** argv) {
    std::vector<frontend::Action> actions;
    std::string error;
    if (!frontend::parseCorrect(std::vector<std::string>(argv + 2, argv + argc), frontend::FrontEnd::controlNames(),
                                actions, &error) ||
        !frontend::pressApplyForFisheye(actions, &error))
        return usage(error);
    return runActions(actions, "correct");
}

int runBatchCommand(int argc, char** argv) {
    std::string error;
    const auto request = frontend::parseBatch(std::vector<std::string>(argv + 2, argv + argc), &error);
    if (!request) return usage(error);
    return frontend::runBatch(*request);
}

int script(const std::string& file) {
    std::ifstream opened;
    if (file != "-") {
        opened.open(file);
        if (!opened) {
            std::fprintf(stderr, "quorvelci: cannot read %s\n", file.c_str());
            return kUsageError;
        }
    }
    std::istream& in = file == "-" ? std::cin : opened;
    const std::string source = file == "-" ? "stdin" : file;
    std::vector<frontend::Action> actions;
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::string error;
        auto action = frontend::parseLine(line, number, &error);
        if (action) actions.push_back(*action);
        else if (!error.empty()) {
            std::fprintf(stderr, "quorvelci: %s:%d: %s\n", source.c_str(), number, error.c_str());
            return kUsageError;
        }
    }
    return runActions(actions, source);
}

int run(int argc, char** argv) {
    if (argc >= 2 && std::strcmp(argv[1], "correct") == 0) return correct(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "unwrap") == 0) return unwrapCommand(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "batch") == 0) return runBatchCommand(argc, argv);
    if (argc >= 2 && std::strcmp(argv[1], "script") == 0) {
        if (argc != 3) return usage("script takes one file, or - for the standard input");
        return script(argv[2]);
    }
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) {
        printUsage(stdout);
        return 0;
    }
    if (argc >= 2 && argv[1][0] == '-') return usage(std::string("unknown option ") + argv[1]);
    return runApplicationWindow(argc, argv, kHeadlessHelp);
}

}  // namespace

int main(int argc, char** argv) {
    const int status = run(argc, argv);
    qv::ci::endParallelWorkers();  // none is still leaving the process as it exits
    return status;
}
