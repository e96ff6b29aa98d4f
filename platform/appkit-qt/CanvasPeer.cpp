#include "appkit-qt/CanvasPeer.h"

#include <QDragEnterEvent>
#include <QDropEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPainter>
#include <QUrl>
#include <algorithm>

#include "appkit/Application.h"
#include "appkit/Pasteboard.h"
#include "appkit/Window.h"
#include "foundation/RunLoop.h"

namespace qv::qt {

namespace {


// The deepest view under the window point that is registered for a type on the pasteboard.
ui::View* dropTarget(ui::Window& window, const Point& p, const ui::Pasteboard& pasteboard) {
    ui::View* view = window.contentView() ? window.contentView()->hitTest(p) : nullptr;
    for (; view; view = view->superview())
        if (pasteboard.availableTypeFromArray(view->registeredDraggedTypes())) return view;
    return nullptr;
}

class CanvasWidget : public QWidget {
public:
    CanvasWidget(QWidget* parent, CanvasPeer& peer) : QWidget(parent), m_peer(peer) {
        setAcceptDrops(true);
        setAttribute(Qt::WA_OpaquePaintEvent);
    }

protected:
    void paintEvent(QPaintEvent*) override {
        QPainter painter(this);
        auto view = m_peer.view();
        ui::Window* window = view ? view->window() : nullptr;
        if (!window || window->canvas().width() == 0) {
            painter.fillRect(rect(), palette().window());
            return;
        }
        // The canvas has the screen's pixels per point: its pixels go to the screen one for one.
        const Bitmap& bitmap = window->canvas().bitmap();
        const double scale = window->canvas().backingScale();
        QImage canvas(bitmap.pixels.data(), bitmap.width, bitmap.height, qsizetype(bitmap.bytesPerRow),
                      QImage::Format_RGBA8888_Premultiplied);
        canvas.setDevicePixelRatio(scale);
        const Rect r = view->convertRectToWindow(view->bounds());
        const QRectF from(r.minX() * scale, bitmap.height - r.maxY() * scale, r.width() * scale, r.height() * scale);
        painter.drawImage(QRectF(0, 0, width(), height()), canvas, from);
    }

    void mousePressEvent(QMouseEvent* e) override { post(e, ui::EventType::LeftMouseDown, 1); }
    void mouseDoubleClickEvent(QMouseEvent* e) override { post(e, ui::EventType::LeftMouseDown, 2); }
    void mouseMoveEvent(QMouseEvent* e) override {
        if (e->buttons() & Qt::LeftButton) post(e, ui::EventType::LeftMouseDragged, 1);
    }
    void mouseReleaseEvent(QMouseEvent* e) override { post(e, ui::EventType::LeftMouseUp, 1); }

    void dragEnterEvent(QDragEnterEvent* e) override { answer(e, true); }
    void dragMoveEvent(QDragMoveEvent* e) override { answer(e, false); }
    void dropEvent(QDropEvent* e) override {
        auto info = CanvasPeer::draggingInfo(*e->mimeData());
        auto view = m_peer.view();
        ui::Window* window = view ? view->window() : nullptr;
        if (!info || !window) return e->ignore();
        const Point p = m_peer.windowPoint(e->position());
        e->acceptProposedAction();
        // The drop runs at the loop's next pass, out of the window system's drop handling, since
        // opening the photo may put up an alert.
        RunLoop::main().perform([window, p, info = *info] {
            if (isLiveWindow(window)) ui::dropOnWindow(*window, p, info);
        });
    }

private:
    void post(QMouseEvent* e, ui::EventType type, int clicks) {
        if (e->button() != Qt::LeftButton && type != ui::EventType::LeftMouseDragged) return;
        auto view = m_peer.view();
        if (!view || !view->window()) return;
        ui::Event event = ui::Event::mouse(type, m_peer.windowPoint(e->position()), view->window());
        event.clickCount = clicks;
        ui::Application::shared().postEvent(event);
    }

    // Entered and updated ask the destination at once, so the pointer shows whether it would take
    // the drop.
    template <class DragEvent>
    void answer(DragEvent* e, bool entered) {
        auto info = CanvasPeer::draggingInfo(*e->mimeData());
        auto view = m_peer.view();
        ui::Window* window = view ? view->window() : nullptr;
        if (!info || !window) return e->ignore();
        const Point p = m_peer.windowPoint(e->position());
        ui::View* target = dropTarget(*window, p, *info->pasteboard);
        if (!target) return e->ignore();
        info->locationInWindow = p;
        info->destinationWindow = window;
        const ui::DragOperation op = entered ? target->draggingEntered(*info) : target->draggingUpdated(*info);
        if (op == ui::kDragOperationNone) return e->ignore();
        e->acceptProposedAction();
    }

    CanvasPeer& m_peer;
};

}  // namespace

CanvasPeer::CanvasPeer(const std::shared_ptr<ui::View>& view, QWidget* parent)
    : ViewPeer(view, new CanvasWidget(parent, *this)) {}

void CanvasPeer::canvasChanged() {
    widget()->update();
    ViewPeer::canvasChanged();
}

Point CanvasPeer::windowPoint(const QPointF& local) const {
    auto view = this->view();
    if (!view) return Point();
    return view->convertPointToWindow(Point{local.x(), view->bounds().height() - local.y()});
}

std::optional<ui::DraggingInfo> CanvasPeer::draggingInfo(const QMimeData& data) {
    std::vector<std::string> paths;
    for (const QUrl& url : data.urls())
        if (url.isLocalFile()) paths.push_back(fromQt(url.toLocalFile()));
    if (paths.empty()) return std::nullopt;
    ui::DraggingInfo info;
    info.pasteboard = std::make_shared<ui::Pasteboard>(ui::kDragPboard);
    info.pasteboard->setFilenames(paths);
    // A drag from another program offers what the desktop offers; the layer's default is every operation.
    return info;
}

}  // namespace qv::qt
