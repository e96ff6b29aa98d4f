#include "appkit-qt/QtBackend.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QScreen>
#include <QThread>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>

#include "appkit-qt/Dialogs.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Alert.h"
#include "appkit/Application.h"
#include "appkit/SavePanel.h"
#include "appkit/Screen.h"

namespace qv::qt {

namespace {

// A busy loop serves Qt's waiting events at every pass, but brings the peers up to the model at
// most this often; a wait always does first.
constexpr double kPollSyncInterval = 0.008;

double steadyNow() {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

bool hasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// Alerts and panels have their own native dialogs; their model windows get no peer.
bool drawnAsDialog(const ui::Window& window) {
    return dynamic_cast<const ui::AlertPanel*>(&window) || dynamic_cast<const ui::SavePanel*>(&window);
}

}  // namespace

bool QtBackend::displayAvailable() {
    return hasEnv("QT_QPA_PLATFORM") || hasEnv("DISPLAY") || hasEnv("WAYLAND_DISPLAY");
}

QtBackend::QtBackend(int& argc, char** argv) {
    if (!QApplication::instance()) m_application = std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationDisplayName("QuorvelCI");
    // The desktop entry that carries the program's name and icon, at whatever size the screen needs.
    QGuiApplication::setDesktopFileName("quorvelci");
    m_dispatcher = QAbstractEventDispatcher::instance(QApplication::instance()->thread());
    m_timeout = std::make_unique<QTimer>();
    m_timeout->setSingleShot(true);
    m_timeout->setTimerType(Qt::PreciseTimer);

    attachToApplication();
    RunLoop::main().setWaitHook(this);
}

void QtBackend::attachToApplication() {
    ui::Application::shared().setLiveInput(true);
    // Qt's screens, top-left origin and y down, in the model's bottom-left coordinates.
    ui::setScreenFramesSource([] {
        std::vector<Rect> frames;
        const QScreen* primary = QGuiApplication::primaryScreen();
        const double top = primary ? primary->geometry().height() : 0;
        for (const QScreen* screen : QGuiApplication::screens()) {
            const QRect g = screen->availableGeometry();
            frames.emplace_back(g.x(), top - g.y() - g.height(), g.width(), g.height());
        }
        return frames;
    });
    ui::Responder& responder = ui::Application::shared().responder();
    responder.setAlertPolicy([](const ui::AlertRequest& request) { return askWithMessageBox(request); });
    responder.setPanelPolicy([this](const ui::PanelRequest& request) {
        DialogPeers peers{[this](ViewPeer* peer) { m_dialogPeers.push_back(peer); },
                          [this](ViewPeer* peer) {
                              m_dialogPeers.erase(std::remove(m_dialogPeers.begin(), m_dialogPeers.end(), peer),
                                                  m_dialogPeers.end());
                          }};
        return askWithFileDialog(request, peers);
    });
}

QtBackend::~QtBackend() {
    RunLoop::main().setWaitHook(nullptr);
    ui::Application& application = ui::Application::shared();
    application.setLiveInput(false);
    ui::setScreenFramesSource({});
    application.responder().setAlertPolicy({});
    application.responder().setPanelPolicy({});
    m_windows.clear();
    m_timeout.reset();
}

void QtBackend::sync() {
    if (m_syncing) return;
    m_syncing = true;
    m_lastSync = steadyNow();
    const std::vector<ui::Window*> windows = ui::Application::shared().windows();
    // Peers of windows that are gone go first, so a new window at a freed address gets a new peer.
    for (auto it = m_windows.begin(); it != m_windows.end();) {
        if (std::find(windows.begin(), windows.end(), it->first) == windows.end())
            it = m_windows.erase(it);
        else
            ++it;
    }
    // Parents before their sheets: a sheet's peer is placed over its parent's.
    std::vector<ui::Window*> ordered;
    for (ui::Window* window : windows)
        if (!window->isSheet()) ordered.push_back(window);
    for (ui::Window* window : windows)
        if (window->isSheet()) ordered.push_back(window);
    for (ui::Window* window : ordered) {
        if (drawnAsDialog(*window)) continue;
        auto it = m_windows.find(window);
        if (it != m_windows.end() && !it->second->widget()) {  // its widget went with a parent's
            m_windows.erase(it);
            it = m_windows.end();
        }
        if (it == m_windows.end()) {
            if (!window->isVisible()) continue;  // made when it first shows
            it = m_windows.emplace(window, std::make_unique<WindowPeer>(*window)).first;
        }
        WindowPeer* parent = window->sheetParent() ? peerOf(*window->sheetParent()) : nullptr;
        it->second->sync(parent);
    }
    for (ViewPeer* peer : m_dialogPeers)
        if (auto view = peer->view()) peer->sync(view->superview() ? view->superview()->frame().height() : view->frame().height());
    m_syncing = false;
}

WindowPeer* QtBackend::peerOf(const ui::Window& window) const {
    auto it = m_windows.find(&window);
    return it == m_windows.end() ? nullptr : it->second.get();
}

ViewPeer* QtBackend::peerOf(const ui::View& view) const {
    if (view.window())
        if (WindowPeer* window = peerOf(*view.window())) return window->peerOf(view);
    for (ViewPeer* peer : m_dialogPeers)
        if (ViewPeer* found = peer->peerOf(view)) return found;
    return nullptr;
}

void QtBackend::poll() {
    if (steadyNow() - m_lastSync >= kPollSyncInterval) sync();
    QCoreApplication::sendPostedEvents();
    m_dispatcher->processEvents(QEventLoop::AllEvents);
}

void QtBackend::wait(double seconds) {
    sync();
    // Waits for the first native event, the time-out or a wake, whichever comes first, and serves
    // what came; a wake from a worker (a task queued) ends the wait as an event does.
    if (std::isfinite(seconds) && seconds < 24 * 3600)
        m_timeout->start(std::max(0, int(std::ceil(seconds * 1000))));
    m_dispatcher->processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    m_timeout->stop();
}

void QtBackend::wake() { m_dispatcher->wakeUp(); }

}  // namespace qv::qt
