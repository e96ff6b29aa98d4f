#include "WindowApplication.h"

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "appkit-qt/QtBackend.h"
#include "appkit/Application.h"
#include "foundation/RunLoop.h"
#include "shell/controller/QVApplicationMain.h"

namespace {

std::vector<std::string> absolutePaths(int argc, char** argv) {
    std::vector<std::string> paths;
    for (int i = 1; i < argc; ++i) {
        std::error_code error;
        const std::filesystem::path path = std::filesystem::absolute(argv[i], error);
        paths.push_back(error ? std::string(argv[i]) : path.lexically_normal().string());
    }
    return paths;
}

}  // namespace

int runApplicationWindow(int argc, char** argv, const char* headlessHelp) {
    if (!qv::qt::QtBackend::displayAvailable()) {
        std::fprintf(stderr, "quorvelci: no display to open the window on (DISPLAY and WAYLAND_DISPLAY are unset)\n%s",
                     headlessHelp);
        return 2;
    }
    int qtArgc = argc;
    qv::qt::QtBackend backend(qtArgc, argv);  // takes Qt's own options out of the arguments
    QVMainNib nib = QVLaunchApplication();
    qv::ui::Application& application = qv::ui::Application::shared();
    application.openFiles(absolutePaths(qtArgc, argv));

    QVRunApplication();  // the controller terminates when the last window closes
    // Workers that still wait on the main thread are released; nothing is left queued.
    qv::RunLoop::main().shutDown();
    return 0;
}
