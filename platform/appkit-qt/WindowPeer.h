#pragma once
// A window's native peer: a top-level Qt window at the model's frame and title, shown while the
// model is visible, a sheet over its parent's peer while it is attached to one, application-modal
// while it runs modally. Its content view's peers fill it; the main menu becomes its menu bar
// when it is a document window. Closing it asks the model (which may refuse).
#include <QMainWindow>
#include <QPointer>
#include <memory>
#include <vector>

#include "appkit-qt/ViewPeer.h"
#include "appkit/Window.h"

namespace qv::qt {

class MenuBarPeer;

class WindowPeer {
public:
    explicit WindowPeer(ui::Window& window);
    ~WindowPeer();
    WindowPeer(const WindowPeer&) = delete;
    WindowPeer& operator=(const WindowPeer&) = delete;

    ui::Window& window() const { return m_window; }
    QMainWindow* widget() const { return m_widget; }
    // Brings the native window up to the model. `parentPeer` is the peer of the window the model's
    // sheet is attached to, when it is one.
    void sync(WindowPeer* parentPeer);
    ViewPeer* peerOf(const ui::View& view) { return m_content ? m_content->peerOf(view) : nullptr; }

private:
    void show(WindowPeer* parentPeer);
    // Tab follows the controls in reading order of their frames; set again when that changes.
    void orderTabs();
    // A shown resizable window's content may be made as small as the model's minimum and no
    // smaller, and as large as the person likes; set again on a content put in since.
    void keepMinimumSize(QWidget& content) const;

    ui::Window& m_window;
    QPointer<QMainWindow> m_widget;
    std::unique_ptr<ViewPeer> m_content;
    std::unique_ptr<MenuBarPeer> m_menuBar;
    ui::View* m_contentModel = nullptr;
    std::vector<QPointer<QWidget>> m_tabOrder;
    bool m_shown = false;
    unsigned long m_displays = ~0ul;
    Rect m_frame;
    Size m_modelSize;  // the model's size at the last sync
};

}  // namespace qv::qt
