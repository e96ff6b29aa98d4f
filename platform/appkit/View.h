#pragma once
// A view: a rectangle of a window that draws itself onto the canvas and receives mouse events and
// drops. Frames are in the superview's coordinates (origin bottom-left, y up); bounds start at the
// origin with the frame's size. Views belong to the main thread; only hidden is safe to read from
// other threads.
#include <atomic>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "appkit/Canvas.h"
#include "appkit/Dragging.h"
#include "appkit/Event.h"
#include "appkit/NibObject.h"
#include "foundation/Geometry.h"

namespace qv::ui {

class Window;

// How a view follows a change of its superview's size: each flexible part (a margin or the size)
// takes an equal share of the change along its axis; with none flexible the view keeps its frame.
// Coordinates count y upwards, so a view that keeps its distance to the top has a flexible
// bottom margin (MinYMargin).
enum Autoresizing : unsigned {
    kViewNotSizable = 0,
    kViewMinXMargin = 1,
    kViewWidthSizable = 2,
    kViewMaxXMargin = 4,
    kViewMinYMargin = 8,
    kViewHeightSizable = 16,
    kViewMaxYMargin = 32,
};

class View : public NibObject, public std::enable_shared_from_this<View> {
public:
    explicit View(const Rect& frame = Rect());
    ~View() override;
    View(const View&) = delete;
    View& operator=(const View&) = delete;

    Rect frame() const { return m_frame; }
    void setFrame(const Rect& frame);
    void setFrameOrigin(const Point& origin) { setFrame(Rect(origin, m_frame.size)); }
    void setFrameSize(const Size& size) { setFrame(Rect(m_frame.origin, size)); }
    Rect bounds() const { return Rect(Point(), m_frame.size); }
    // How the frame follows the superview's size (Autoresizing flags); none by default.
    unsigned autoresizingMask() const { return m_autoresizingMask; }
    void setAutoresizingMask(unsigned mask) { m_autoresizingMask = mask; }

    Window* window() const { return m_window; }
    View* superview() const { return m_superview; }
    const std::vector<std::shared_ptr<View>>& subviews() const { return m_subviews; }
    void addSubview(std::shared_ptr<View> view);  // moves it from any former superview
    void removeFromSuperview();

    bool isHidden() const { return m_hidden.load(); }
    void setHidden(bool hidden);
    bool isHiddenOrHasHiddenAncestor() const;

    // Display: marks collect until the window draws.
    bool needsDisplay() const { return m_needsDisplay; }
    void setNeedsDisplay(bool flag = true);
    void setNeedsDisplayInRect(const Rect& rect);
    Rect dirtyRect() const { return m_dirtyRect; }  // the union of the marked rectangles
    // Draws the view's content in its own coordinates onto Canvas::current(); the default draws nothing.
    virtual void drawRect(const Rect& dirtyRect);
    // Draws the view and its visible subviews onto a canvas whose transform maps this view's
    // superview coordinates, clears the display marks.
    void drawHierarchy(Canvas& canvas);
    // The view alone, drawn onto a new canvas of its bounds' size.
    Canvas renderToCanvas();

    // Coordinates between the view and its window's base coordinates.
    Point convertPointFromWindow(const Point& p) const;
    Point convertPointToWindow(const Point& p) const;
    Rect convertRectToWindow(const Rect& r) const;

    // The deepest visible view that contains the point (in the superview's coordinates).
    View* hitTest(const Point& pointInSuperview);

    // Mouse events; the defaults do nothing.
    virtual void mouseDown(const Event& event);
    virtual void mouseDragged(const Event& event);
    virtual void mouseUp(const Event& event);

    // Drag destination.
    void registerForDraggedTypes(const std::vector<std::string>& types);
    void unregisterDraggedTypes();
    const std::vector<std::string>& registeredDraggedTypes() const { return m_draggedTypes; }
    virtual DragOperation draggingEntered(const DraggingInfo& info);  // default: none
    virtual DragOperation draggingUpdated(const DraggingInfo& info);  // default: as entered
    virtual void draggingExited(const DraggingInfo& info);
    virtual void draggingEnded(const DraggingInfo& info);
    virtual bool prepareForDragOperation(const DraggingInfo& info);  // default: yes
    virtual bool performDragOperation(const DraggingInfo& info);     // default: no
    virtual void concludeDragOperation(const DraggingInfo& info);

    // What assistive technology calls the view when it shows no title of its own (a slider, a
    // field): set by the nib; empty when none was given.
    const std::string& accessibilityLabel() const { return m_accessibilityLabel; }
    void setAccessibilityLabel(std::string label) { m_accessibilityLabel = std::move(label); }

    // Called after the view joined or left a window.
    virtual void viewDidMoveToWindow() {}

private:
    friend class Window;
    void setWindow(Window* window);
    void resizeWithOldSuperviewSize(const Size& oldSize);

    Rect m_frame;
    unsigned m_autoresizingMask = kViewNotSizable;
    Window* m_window = nullptr;
    View* m_superview = nullptr;
    std::vector<std::shared_ptr<View>> m_subviews;
    std::atomic<bool> m_hidden{false};
    bool m_needsDisplay = true;
    Rect m_dirtyRect;
    std::vector<std::string> m_draggedTypes;
    std::string m_accessibilityLabel;
};

}  // namespace qv::ui
