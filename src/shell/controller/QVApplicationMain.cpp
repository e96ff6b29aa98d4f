#include "shell/controller/QVApplicationMain.h"

#include "appkit/Application.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"

QVMainNib QVLaunchApplication(QVDisplayViewLink* view) {
    qv::files::ignoreFileSizeLimitSignal();  // a save past the size limit fails like a full disk
    qv::paths::sweepStaleTemporaryFolders();  // copies of photos left by runs that did not end normally
    QVMainNib nib = loadMainNib(view);
    qv::ui::Application::shared().finishLaunching();
    return nib;
}

void QVRunApplication() {
    qv::ui::Application& application = qv::ui::Application::shared();
    qv::RunLoop& loop = qv::RunLoop::main();
    while (!application.isTerminated()) {
        if (application.dispatchQueuedEvents() > 0) continue;
        loop.runOnce(0.05);
    }
}

int QVApplicationMain(int, char**) {
    QVMainNib nib = QVLaunchApplication();
    QVRunApplication();
    return 0;
}
