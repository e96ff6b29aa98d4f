#pragma once
// A window: a frame on the screen (points, origin bottom-left), a content view that fills it, the
// edited mark, and the close question put to its delegate. Panels are windows that float, as the
// sheets, alerts and the preferences window are. Windows belong to the main thread.
#include <atomic>
#include <memory>
#include <optional>
#include <string>

#include "appkit/Canvas.h"
#include "appkit/Event.h"
#include "appkit/NibObject.h"
#include "appkit/View.h"

namespace qv::ui {

class Window;

class WindowDelegate {
public:
    virtual ~WindowDelegate() = default;
    virtual bool windowShouldClose(Window&) { return true; }
    virtual void windowWillClose(Window&) {}
    virtual void windowDidResize(Window&) {}
    virtual void windowDidBecomeKey(Window&) {}
};

class Window : public NibObject {
public:
    explicit Window(const Rect& frame, std::string title = "");
    ~Window() override;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;

    virtual bool isPanel() const { return false; }

    Rect frame() const { return m_frame; }
    // Moves and resizes the window; the content view follows, and a change of size tells the
    // delegate windowDidResize. With display the window redraws at once.
    void setFrame(const Rect& frame, bool display = false);
    Rect contentRect() const { return Rect(Point(), m_frame.size); }
    // The smallest size the person can make the window; a window without one keeps the size the
    // program gives it.
    Size minSize() const { return m_minSize; }
    void setMinSize(const Size& size) { m_minSize = size; }
    bool isResizable() const { return m_minSize.width > 0 && m_minSize.height > 0; }

    const std::string& title() const { return m_title; }
    void setTitle(const std::string& title) { m_title = title; }

    const std::shared_ptr<View>& contentView() const { return m_contentView; }
    void setContentView(std::shared_ptr<View> view);

    WindowDelegate* delegate() const { return m_delegate; }
    void setDelegate(WindowDelegate* delegate) { m_delegate = delegate; }

    bool isDocumentEdited() const { return m_edited.load(); }
    void setDocumentEdited(bool edited) { m_edited.store(edited); }

    bool isVisible() const { return m_visible; }
    bool isKeyWindow() const;
    void orderFront();
    void makeKeyAndOrderFront();
    void makeKeyWindow();
    void resignKeyWindow();
    void orderOut();  // hides the window without closing it

    // The close button: asks the delegate's windowShouldClose and closes on yes. Answers whether
    // the window closed.
    bool performClose();
    // Closes without asking: windowWillClose, hidden, and the application hears of it (it may
    // terminate after its last window closed).
    void close();
    bool isClosed() const { return m_closed; }

    // Sheets: the sheet attached to this window, and the window a sheet is attached to.
    Window* attachedSheet() const { return m_attachedSheet; }
    Window* sheetParent() const { return m_sheetParent; }
    bool isSheet() const { return m_sheetParent != nullptr; }

    // Drawing: the content view's hierarchy drawn onto the window's own canvas.
    void display();
    void displayIfNeeded();  // display() when any view is marked
    bool viewsNeedDisplay() const;
    const Canvas& canvas() const { return m_canvas; }
    // Device pixels per point of the screen the window is on (1 unless a real window says more):
    // the canvas has that many pixels per point, so the drawing is as sharp as the screen. A
    // change redraws the whole window at the next display.
    double backingScaleFactor() const { return m_backingScale; }
    void setBackingScaleFactor(double scale);
    // Counts the redraws, so whatever shows the canvas knows when it changed.
    unsigned long displayCount() const { return m_displays; }

    // Events: mouse-down goes to the view under the mouse, dragged and up events to that view.
    void sendEvent(const Event& event);
    // The next queued event of the application that matches the mask (see Application).
    std::optional<Event> nextEventMatchingMask(EventMask mask);

private:
    friend class Application;

    Rect m_frame;
    Size m_minSize;
    std::string m_title;
    std::shared_ptr<View> m_contentView;
    WindowDelegate* m_delegate = nullptr;
    std::atomic<bool> m_edited{false};
    bool m_visible = false;
    bool m_closed = false;
    Window* m_attachedSheet = nullptr;
    Window* m_sheetParent = nullptr;
    std::weak_ptr<View> m_trackingView;
    Canvas m_canvas{0, 0};
    double m_backingScale = 1;
    unsigned long m_displays = 0;
};

class Panel : public Window {
public:
    using Window::Window;
    bool isPanel() const override { return true; }
    bool isFloatingPanel() const { return m_floating; }
    void setFloatingPanel(bool floating) { m_floating = floating; }

private:
    bool m_floating = false;
};

}  // namespace qv::ui
