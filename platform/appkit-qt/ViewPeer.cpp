#include "appkit-qt/ViewPeer.h"

#include <algorithm>
#include <cmath>

#include "appkit/Application.h"

#include "appkit/Control.h"
#include "foundation/RunLoop.h"

namespace qv::qt {

QString toQt(const std::string& text) { return QString::fromUtf8(text.data(), qsizetype(text.size())); }

std::string fromQt(const QString& text) { return text.toUtf8().toStdString(); }

bool isLiveWindow(const ui::Window* window) {
    if (!window) return false;
    const auto windows = ui::Application::shared().windows();
    return std::find(windows.begin(), windows.end(), window) != windows.end();
}

namespace {
const char* const kMirroredView = "qvMirroredView";  // the widget's property naming its view
}  // namespace

ViewPeer::ViewPeer(const std::shared_ptr<ui::View>& view, QWidget* widget) : m_view(view), m_widget(widget) {
    if (widget) widget->setProperty(kMirroredView, QVariant::fromValue(quintptr(view.get())));
}

QWidget* widgetShowing(const ui::View& view, QWidget& root) {
    const QVariant wanted = QVariant::fromValue(quintptr(&view));
    for (QWidget* widget : root.findChildren<QWidget*>())
        if (widget->property(kMirroredView) == wanted) return widget;
    return nullptr;
}

ViewPeer::~ViewPeer() {
    m_children.clear();
    delete m_widget.data();
}

void ViewPeer::queue(std::function<void()> task) { RunLoop::main().perform(std::move(task)); }

void ViewPeer::sync(double superviewHeight) {
    std::shared_ptr<ui::View> view = m_view.lock();
    if (!view || !m_widget) return;
    const Rect frame = view->frame();
    if (!m_synced || frame != m_frame) {
        m_frame = frame;
        const int x = int(std::lround(frame.minX()));
        const int top = int(std::lround(superviewHeight - frame.maxY()));
        m_widget->setGeometry(x, top, int(std::lround(frame.width())), int(std::lround(frame.height())));
    }
    if (!m_synced || view->isHidden() != m_hidden) {
        m_hidden = view->isHidden();
        m_widget->setVisible(!m_hidden);
    }
    if (auto* control = dynamic_cast<ui::Control*>(view.get())) {
        // A disabled binding greys the widget as soon as the key changes.
        if (!m_synced || control->isEnabled() != m_enabled) {
            m_enabled = control->isEnabled();
            m_widget->setEnabled(m_enabled);
        }
    }
    m_synced = true;
    syncState(*view);

    // Children: keep the peers of subviews still there, in the model's order; make the new ones.
    std::vector<std::unique_ptr<ViewPeer>> children;
    for (const std::shared_ptr<ui::View>& subview : view->subviews()) {
        std::unique_ptr<ViewPeer> peer;
        for (auto& old : m_children)
            if (old && old->mirrors(*subview)) {
                peer = std::move(old);
                break;
            }
        if (!peer) peer = makePeer(subview, m_widget);
        peer->sync(frame.height());
        children.push_back(std::move(peer));
    }
    m_children = std::move(children);  // peers of removed subviews go with their widgets
}

ViewPeer* ViewPeer::peerOf(const ui::View& view) {
    if (mirrors(view)) return this;
    for (auto& child : m_children)
        if (ViewPeer* found = child->peerOf(view)) return found;
    return nullptr;
}

void ViewPeer::collect(std::vector<ViewPeer*>& peers) {
    peers.push_back(this);
    for (auto& child : m_children) child->collect(peers);
}

std::vector<QWidget*> ViewPeer::focusWidgets() const {
    if (!m_widget) return {};
    if (m_widget->focusPolicy() & Qt::TabFocus) return {m_widget.data()};
    // The widgets of the subviews' peers are theirs.
    if (!m_children.empty()) return {};
    std::vector<QWidget*> parts;
    for (QWidget* part : m_widget->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (part->focusPolicy() & Qt::TabFocus) parts.push_back(part);
    return parts;
}

void ViewPeer::canvasChanged() {
    for (auto& child : m_children) child->canvasChanged();
}

}  // namespace qv::qt
