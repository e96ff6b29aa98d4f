#include "QtTestSupport.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <memory>

#include "foundation/RunLoop.h"

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

}  // namespace qttest
