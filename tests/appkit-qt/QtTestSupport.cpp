#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "appkit/Application.h"
#include "foundation/Bundle.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "shell/controller/QVApplicationMain.h"

namespace qttest {

namespace {

std::unique_ptr<qv::qt::QtBackend>& instance() {
    static std::unique_ptr<qv::qt::QtBackend> backend;
    return backend;
}

// Qt is shut down after the last test, while the statics it made on the way still exist.
class ShutQtDown : public testing::Environment {
public:
    void TearDown() override { instance().reset(); }
};

[[maybe_unused]] testing::Environment* const kShutQtDown = testing::AddGlobalTestEnvironment(new ShutQtDown);

}  // namespace

qv::qt::QtBackend& backend() {
    static int argc = 1;
    static char name[] = "test_appkit_qt";
    static char* argv[] = {name, nullptr};
    if (!instance()) {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        instance() = std::make_unique<qv::qt::QtBackend>(argc, argv);
    }
    return *instance();
}

void drainLoop() {
    while (qv::RunLoop::main().runOnce(0)) {
    }
}

QVMainNib launchApplication() {
    using qv::ui::Application;
    backend();
    Application::shared().reset();
    backend().attachToApplication();
    // The start-up's questions never wait for a person: the layer's own policies answer them.
    qv::ui::Responder& responder = Application::shared().responder();
    responder.reset();
    responder.queueAlert({1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
    QVMainNib nib = QVLaunchApplication();
    responder.reset();
    backend().attachToApplication();
    responder.setAlertPolicy([](const qv::ui::AlertRequest&) { return qv::ui::AlertAnswer{}; });
    drainLoop();
    return nib;
}

void closeApplication() {
    drainLoop();
    qv::waitForDetachedThreads(60);
    qv::ui::Application::shared().reset();
}

}  // namespace qttest
