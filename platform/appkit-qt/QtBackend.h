#pragma once
// The real window under the window layer. While a QtBackend exists, every visible window of the
// application has a native peer (made at the first sync after it appears, whichever nib built it),
// Qt's events are served inside the main run loop's waits, input is live (modal runs and mouse
// tracking wait for the person), and alerts and panels that no scripted answer covers are put to
// the person as message boxes and file dialogs. One per process, on the main thread.
#include <map>
#include <memory>
#include <vector>

#include "foundation/RunLoop.h"

class QApplication;
class QTimer;
class QAbstractEventDispatcher;

namespace qv::ui {
class View;
class Window;
}

namespace qv::qt {

class ViewPeer;
class WindowPeer;

class QtBackend : public RunLoopWaitHook {
public:
    // Starts Qt (unless a QApplication runs already) with the program's arguments.
    QtBackend(int& argc, char** argv);
    ~QtBackend() override;
    QtBackend(const QtBackend&) = delete;
    QtBackend& operator=(const QtBackend&) = delete;

    // Whether Qt can reach a window system: a platform is named, or an X or Wayland display is.
    static bool displayAvailable();

    // Live input, and message boxes and file dialogs as the Responder's policies (the constructor
    // does this; again after the application was reset).
    void attachToApplication();

    // Brings every peer up to its model: peers for windows made or shown since, none for windows
    // gone. Runs at every wait of the loop; tests call it to look at once.
    void sync();
    WindowPeer* peerOf(const ui::Window& window) const;
    ViewPeer* peerOf(const ui::View& view) const;

    void poll() override;
    void wait(double seconds) override;
    void wake() override;

private:
    std::unique_ptr<QApplication> m_application;  // when this backend started Qt
    QAbstractEventDispatcher* m_dispatcher = nullptr;
    std::unique_ptr<QTimer> m_timeout;  // ends a wait; made once Qt runs
    std::map<const ui::Window*, std::unique_ptr<WindowPeer>> m_windows;
    std::vector<ViewPeer*> m_dialogPeers;  // accessories of the file dialog that is up
    bool m_syncing = false;
    double m_lastSync = -1;
};

}  // namespace qv::qt
