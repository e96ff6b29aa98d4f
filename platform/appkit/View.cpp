#include "appkit/View.h"

#include <algorithm>

#include "appkit/Window.h"

namespace qv::ui {

View::View(const Rect& frame) : m_frame(frame), m_dirtyRect(bounds()) {}

View::~View() {
    for (auto& child : m_subviews) child->m_superview = nullptr;
}

void View::setFrame(const Rect& frame) {
    if (frame == m_frame) return;
    const Size oldSize = m_frame.size;
    m_frame = frame;
    if (oldSize != frame.size)
        for (auto& child : m_subviews) child->resizeWithOldSuperviewSize(oldSize);
    setNeedsDisplay(true);
}

namespace {

// Shares a change of the superview's length among the flexible parts of one axis: the margin
// before, the length, the margin after.
void shareChange(double change, bool before, bool length, bool after, double& origin, double& size) {
    const int parts = int(before) + int(length) + int(after);
    if (parts == 0 || change == 0) return;
    const double share = change / parts;
    if (before) origin += share;
    if (length) size = std::max(0.0, size + share);
}

}  // namespace

void View::resizeWithOldSuperviewSize(const Size& oldSize) {
    if (!m_superview || m_autoresizingMask == kViewNotSizable) return;
    const Size newSize = m_superview->m_frame.size;
    const unsigned m = m_autoresizingMask;
    double x = m_frame.minX(), y = m_frame.minY(), width = m_frame.width(), height = m_frame.height();
    shareChange(newSize.width - oldSize.width, m & kViewMinXMargin, m & kViewWidthSizable, m & kViewMaxXMargin, x,
                width);
    shareChange(newSize.height - oldSize.height, m & kViewMinYMargin, m & kViewHeightSizable, m & kViewMaxYMargin, y,
                height);
    setFrame(Rect(x, y, width, height));
}

void View::addSubview(std::shared_ptr<View> view) {
    if (!view || view.get() == this) return;
    auto keep = view;  // removal from the former superview may drop its last reference
    view->removeFromSuperview();
    view->m_superview = this;
    m_subviews.push_back(view);
    view->setWindow(m_window);
    setNeedsDisplay(true);
}

void View::removeFromSuperview() {
    View* parent = m_superview;
    if (!parent) return;
    auto keep = shared_from_this();
    auto& siblings = parent->m_subviews;
    siblings.erase(std::remove_if(siblings.begin(), siblings.end(), [&](const auto& v) { return v.get() == this; }),
                   siblings.end());
    m_superview = nullptr;
    setWindow(nullptr);
    parent->setNeedsDisplay(true);
}

void View::setWindow(Window* window) {
    if (m_window != window) {
        m_window = window;
        viewDidMoveToWindow();
    }
    for (auto& child : m_subviews) child->setWindow(window);
}

void View::setHidden(bool hidden) {
    if (m_hidden.exchange(hidden) != hidden && m_superview) m_superview->setNeedsDisplay(true);
}

bool View::isHiddenOrHasHiddenAncestor() const {
    for (const View* v = this; v; v = v->m_superview)
        if (v->isHidden()) return true;
    return false;
}

void View::setNeedsDisplay(bool flag) {
    m_needsDisplay = flag;
    m_dirtyRect = flag ? bounds() : Rect::null();
}

void View::setNeedsDisplayInRect(const Rect& rect) {
    m_needsDisplay = true;
    m_dirtyRect = m_dirtyRect.unionWith(rect.intersection(bounds()));
}

void View::drawRect(const Rect&) {}

void View::drawHierarchy(Canvas& canvas) {
    if (isHidden()) return;
    canvas.saveState();
    canvas.translate(m_frame.origin.x, m_frame.origin.y);
    canvas.clipToRect(bounds());
    {
        Canvas::CurrentScope scope(canvas);
        drawRect(m_dirtyRect.isNull() ? bounds() : m_dirtyRect);
    }
    m_needsDisplay = false;
    m_dirtyRect = Rect::null();
    for (auto& child : m_subviews) {
        auto keep = child;
        keep->drawHierarchy(canvas);
    }
    canvas.restoreState();
}

Canvas View::renderToCanvas() {
    Canvas canvas(int(std::lround(m_frame.size.width)), int(std::lround(m_frame.size.height)));
    canvas.translate(-m_frame.origin.x, -m_frame.origin.y);
    drawHierarchy(canvas);
    return canvas;
}

Point View::convertPointToWindow(const Point& p) const {
    Point result = p;
    for (const View* v = this; v; v = v->m_superview) result.x += v->m_frame.origin.x, result.y += v->m_frame.origin.y;
    return result;
}

Point View::convertPointFromWindow(const Point& p) const {
    Point origin = convertPointToWindow(Point());
    return {p.x - origin.x, p.y - origin.y};
}

Rect View::convertRectToWindow(const Rect& r) const { return Rect(convertPointToWindow(r.origin), r.size); }

View* View::hitTest(const Point& pointInSuperview) {
    if (isHidden() || !m_frame.contains(pointInSuperview)) return nullptr;
    Point local{pointInSuperview.x - m_frame.origin.x, pointInSuperview.y - m_frame.origin.y};
    // Later subviews lie on top.
    for (auto it = m_subviews.rbegin(); it != m_subviews.rend(); ++it)
        if (View* hit = (*it)->hitTest(local)) return hit;
    return this;
}

void View::mouseDown(const Event&) {}
void View::mouseDragged(const Event&) {}
void View::mouseUp(const Event&) {}

void View::registerForDraggedTypes(const std::vector<std::string>& types) {
    for (const std::string& t : types)
        if (std::find(m_draggedTypes.begin(), m_draggedTypes.end(), t) == m_draggedTypes.end()) m_draggedTypes.push_back(t);
}

void View::unregisterDraggedTypes() { m_draggedTypes.clear(); }

DragOperation View::draggingEntered(const DraggingInfo&) { return kDragOperationNone; }
DragOperation View::draggingUpdated(const DraggingInfo& info) { return draggingEntered(info); }
void View::draggingExited(const DraggingInfo&) {}
void View::draggingEnded(const DraggingInfo&) {}
bool View::prepareForDragOperation(const DraggingInfo&) { return true; }
bool View::performDragOperation(const DraggingInfo&) { return false; }
void View::concludeDragOperation(const DraggingInfo&) {}

}  // namespace qv::ui
