#include "appkit/Window.h"

#include <cmath>

#include "appkit/Application.h"

namespace qv::ui {
namespace {
const Color kWindowBackground = Color::white(0.93);

bool anyNeedsDisplay(const View& view) {
    if (view.needsDisplay()) return true;
    for (const auto& child : view.subviews())
        if (anyNeedsDisplay(*child)) return true;
    return false;
}
}  // namespace

Window::Window(const Rect& frame, std::string title) : m_frame(frame.standardized()), m_title(std::move(title)) {
    setContentView(std::make_shared<View>());
    Application::shared().addWindow(this);
}

Window::~Window() {
    if (m_contentView) m_contentView->setWindow(nullptr);
    Application::shared().removeWindow(this);
}

void Window::setFrame(const Rect& frame, bool display) {
    Rect next = frame.standardized();
    bool resized = next.size != m_frame.size;
    m_frame = next;
    if (m_contentView) m_contentView->setFrame(contentRect());
    if (resized && m_delegate) m_delegate->windowDidResize(*this);
    if (display) this->display();
}

void Window::setContentView(std::shared_ptr<View> view) {
    if (m_contentView) m_contentView->setWindow(nullptr);
    m_contentView = std::move(view);
    if (!m_contentView) return;
    m_contentView->removeFromSuperview();
    m_contentView->setFrame(contentRect());
    m_contentView->setWindow(this);
}

bool Window::isKeyWindow() const { return Application::shared().keyWindow() == this; }

void Window::orderFront() {
    m_visible = true;
    m_closed = false;
}

void Window::makeKeyAndOrderFront() {
    orderFront();
    makeKeyWindow();
}

void Window::makeKeyWindow() {
    if (!m_visible) return;
    bool wasKey = isKeyWindow();
    Application::shared().windowBecameKey(this);
    if (!wasKey && m_delegate) m_delegate->windowDidBecomeKey(*this);
}

void Window::resignKeyWindow() {
    if (isKeyWindow()) Application::shared().windowBecameKey(nullptr);
}

void Window::orderOut() {
    m_visible = false;
    resignKeyWindow();
}

bool Window::performClose() {
    if (m_delegate && !m_delegate->windowShouldClose(*this)) return false;
    close();
    return true;
}

void Window::close() {
    if (m_closed) return;
    if (m_delegate) m_delegate->windowWillClose(*this);
    m_closed = true;
    m_visible = false;
    Application::shared().windowDidClose(*this);
}

void Window::setBackingScaleFactor(double scale) {
    if (!(scale > 0) || scale == m_backingScale) return;
    m_backingScale = scale;
    if (m_contentView) m_contentView->setNeedsDisplay();
}

void Window::display() {
    const int width = int(std::lround(m_frame.size.width)), height = int(std::lround(m_frame.size.height));
    if (m_canvas.width() != int(std::lround(width * m_backingScale)) ||
        m_canvas.height() != int(std::lround(height * m_backingScale)) || m_canvas.backingScale() != m_backingScale)
        m_canvas = Canvas(width, height, m_backingScale);
    m_canvas.clear(kWindowBackground);
    if (m_contentView) m_contentView->drawHierarchy(m_canvas);
    ++m_displays;
}

bool Window::viewsNeedDisplay() const { return m_contentView && anyNeedsDisplay(*m_contentView); }

void Window::displayIfNeeded() {
    if (viewsNeedDisplay()) display();
}

void Window::sendEvent(const Event& event) {
    if (!m_contentView) return;
    switch (event.type) {
    case EventType::LeftMouseDown:
        if (View* hit = m_contentView->hitTest(event.locationInWindow)) {
            auto view = hit->shared_from_this();
            m_trackingView = view;
            view->mouseDown(event);
        }
        break;
    case EventType::LeftMouseDragged:
        if (auto view = m_trackingView.lock()) view->mouseDragged(event);
        break;
    case EventType::LeftMouseUp:
        if (auto view = m_trackingView.lock()) view->mouseUp(event);
        m_trackingView.reset();
        break;
    default:
        break;
    }
}

std::optional<Event> Window::nextEventMatchingMask(EventMask mask) {
    return Application::shared().nextEventMatchingMask(mask);
}

}  // namespace qv::ui
