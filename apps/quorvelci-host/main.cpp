// quorvelci-host LIBRARY_FOLDER [--select NAME...] [--done|--cancel] [--plugin PATH] [--CONTROL VALUE...]
// A photo-library host over a folder of photos: it loads the plug-in library, opens an edit session
// on the selected photos (the first photo of the library when none is named), sets the controls as
// a person at the plug-in's window would, clicks Done (the default) or Cancel, and prints the calls
// the plug-in made, one a line. Exit status: 0 when the session ended as asked, 1 when it did not
// (the plug-in could not be loaded, a control could not be set, Done could not write the photo),
// 2 for a usage error.
#include <dlfcn.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "host/FileHost.h"

namespace {

constexpr int kFailed = 1;
constexpr int kUsageError = 2;

struct Options {
    std::string library;
    std::vector<std::string> select;
    bool done = true;
    std::string plugIn;
    std::vector<std::pair<std::string, std::string>> controls;
};

int usage(const std::string& why) {
    if (!why.empty()) std::fprintf(stderr, "quorvelci-host: %s\n", why.c_str());
    std::fprintf(stderr,
                 "usage: quorvelci-host LIBRARY_FOLDER [--select NAME...] [--done|--cancel] [--plugin PATH]\n"
                 "                      [--CONTROL VALUE ...]   (the controls of the plug-in's window)\n");
    return kUsageError;
}

// The plug-in beside the program as built (build/bin -> build/plugins) and as installed
// (bin -> lib/quorvelci).
std::string defaultPlugIn(const char* argv0) {
    std::error_code failed;
    const auto program = std::filesystem::canonical("/proc/self/exe", failed);
    const auto folder = failed ? std::filesystem::path(argv0).parent_path() : program.parent_path();
    for (const char* relative : {"../plugins/QuorvelCI_Plugin/QuorvelCI_Plugin.so",
                                 "../lib/quorvelci/QuorvelCI_Plugin/QuorvelCI_Plugin.so"}) {
        const auto candidate = folder / relative;
        if (std::filesystem::exists(candidate, failed)) return candidate.lexically_normal().string();
    }
    return (folder / "../plugins/QuorvelCI_Plugin/QuorvelCI_Plugin.so").lexically_normal().string();
}

bool parse(int argc, char** argv, Options& options, std::string& error) {
    bool selecting = false;
    for (int i = 1; i < argc; ++i) {
        const std::string word = argv[i];
        if (word == "--done" || word == "--cancel") {
            options.done = word == "--done";
            selecting = false;
        } else if (word == "--select") {
            selecting = true;
        } else if (word == "--plugin" || (word.rfind("--", 0) == 0 && word.size() > 2)) {
            if (i + 1 >= argc) return error = word + " takes a value", false;
            if (word == "--plugin") options.plugIn = argv[++i];
            else options.controls.emplace_back(word.substr(2), argv[++i]);
            selecting = false;
        } else if (selecting) {
            options.select.push_back(word);
        } else if (options.library.empty()) {
            options.library = word;
        } else {
            return error = "unexpected argument " + word, false;
        }
    }
    if (options.library.empty()) return error = "no library folder", false;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit fails like a full disk (and is cleaned up as one) instead of
    // killing the program halfway through a file.
    std::signal(SIGXFSZ, SIG_IGN);
    Options options;
    std::string error;
    if (argc >= 2 && (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0)) return usage(""), 0;
    if (!parse(argc, argv, options, error)) return usage(error);
    std::error_code failed;
    if (!std::filesystem::is_directory(options.library, failed)) return usage("no folder " + options.library);

    qv::host::FileHost host(options.library);
    if (options.select.empty() && !host.versions().empty()) options.select = {host.versions().front()};
    const std::vector<std::string> unknown = host.select(options.select);
    for (const std::string& name : unknown) std::fprintf(stderr, "quorvelci-host: no photo %s in the library\n", name.c_str());
    if (!unknown.empty()) return kUsageError;

    const std::string plugInPath = options.plugIn.empty() ? defaultPlugIn(argv[0]) : options.plugIn;
    void* library = dlopen(plugInPath.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (!library) {
        std::fprintf(stderr, "quorvelci-host: cannot load the plug-in: %s\n", dlerror());
        return kFailed;
    }
    auto create = reinterpret_cast<qv::host::CreateEditPlugInFunction>(dlsym(library, qv::host::kCreateEditPlugInSymbol));
    if (!create) {
        std::fprintf(stderr, "quorvelci-host: %s has no entry point %s\n", plugInPath.c_str(),
                     qv::host::kCreateEditPlugInSymbol);
        return kFailed;
    }

    int status = 0;
    {
        std::unique_ptr<qv::host::ApertureEditPlugIn> plugIn(create(&host));
        qv::host::EditWindow* window = plugIn ? plugIn->editWindow() : nullptr;
        if (!window) {
            std::fprintf(stderr, "quorvelci-host: the plug-in made no window\n");
            return kFailed;
        }
        plugIn->beginEditSession();
        for (const auto& [name, value] : options.controls) {
            if (std::string reason; !window->setControl(name, value, reason)) {
                std::fprintf(stderr, "quorvelci-host: %s\n", reason.c_str());
                status = kFailed;
                break;
            }
        }
        if (status == 0) options.done ? window->clickDone() : window->clickCancel();
        if (host.sessionState() != (options.done ? "ended" : "cancelled")) status = kFailed;
        // A Done that could not write keeps the session open, as the window would stay up: the
        // person then cancels, so the session still ends and the plug-in clears up after itself.
        if (host.sessionState() == "open") window->clickCancel();
        for (const std::string& message : window->alertMessages())
            std::fprintf(stderr, "quorvelci-host: the plug-in showed: %s\n", message.c_str());
    }
    for (const std::string& call : host.log().calls()) std::printf("%s\n", call.c_str());
    // The library stays loaded to the end: threads and static objects of the plug-in may still refer to it.
    return status;
}
