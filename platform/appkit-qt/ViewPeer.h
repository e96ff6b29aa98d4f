#pragma once
// A view's native peer: a Qt widget that mirrors the view both ways. From the model it takes the
// frame, hidden and enabled states and its kind's own state (value, title, items, selection) at
// every sync, applying only what changed in the model since the last one, so what the person is
// doing in the widget is not undone by a stale model value. What the person does in the widget goes
// back to the model as the control's "user" methods would, queued on the main run loop.
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "appkit/View.h"
#include "appkit/Window.h"

namespace qv::qt {

class ViewPeer {
public:
    ViewPeer(const std::shared_ptr<ui::View>& view, QWidget* widget);
    virtual ~ViewPeer();
    ViewPeer(const ViewPeer&) = delete;
    ViewPeer& operator=(const ViewPeer&) = delete;

    QWidget* widget() const { return m_widget; }
    std::shared_ptr<ui::View> view() const { return m_view.lock(); }
    bool mirrors(const ui::View& view) const { return m_view.lock().get() == &view; }

    // Brings the widget and its children's peers up to the model; `superviewHeight` places the
    // widget in its parent (the model counts y upwards, Qt downwards).
    void sync(double superviewHeight);
    // The peer of a view in this peer's subtree, or null.
    ViewPeer* peerOf(const ui::View& view);
    // This peer and every peer below it, parents first.
    void collect(std::vector<ViewPeer*>& peers);
    // The widgets that take the keyboard focus for this view, in their own order: the widget
    // itself, or the parts of a control made of several (a matrix's cells).
    std::vector<QWidget*> focusWidgets() const;
    // Repaints the widgets that show the window's drawing.
    virtual void canvasChanged();

protected:
    // The kind's own state, model to widget; runs at every sync.
    virtual void syncState(ui::View& view) { (void)view; }
    // Runs `change` on the view at the main run loop's next pass, when the view still exists then.
    // Until it has run the widget shows what the person did, not the model's older state.
    template <class V>
    void userChange(std::function<void(V&)> change) {
        std::weak_ptr<ui::View> weak = m_view;
        auto pending = m_pending;
        ++*pending;
        queue([weak, change, pending] {
            --*pending;
            if (auto view = weak.lock())
                if (auto typed = std::dynamic_pointer_cast<V>(view)) change(*typed);
        });
    }
    bool userChangePending() const { return *m_pending > 0; }
    static void queue(std::function<void()> task);

private:
    std::weak_ptr<ui::View> m_view;
    QPointer<QWidget> m_widget;
    std::vector<std::unique_ptr<ViewPeer>> m_children;
    std::shared_ptr<int> m_pending = std::make_shared<int>(0);  // main thread only
    bool m_synced = false;
    Rect m_frame;
    bool m_hidden = false;
    bool m_enabled = true;
};

// The peer for a view of any kind the window layer has, its widget a child of `parent`.
std::unique_ptr<ViewPeer> makePeer(const std::shared_ptr<ui::View>& view, QWidget* parent);

// The widget of the peer that mirrors `view`, among the widgets under `root`; null until that peer
// is made.
QWidget* widgetShowing(const ui::View& view, QWidget& root);

// Whether the window still exists: work queued by a native event names its window, which the
// program may have closed and destroyed by the time the work runs.
bool isLiveWindow(const ui::Window* window);

// Qt text from the model's UTF-8 and back.
QString toQt(const std::string& text);
std::string fromQt(const QString& text);

}  // namespace qv::qt
