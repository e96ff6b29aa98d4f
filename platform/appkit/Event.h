#pragma once
// Input events with the platform's type numbers and masks, so that a mask such as
// left-mouse-up | left-mouse-dragged (0x44) means what it means there.
#include <cstdint>
#include <string>

#include "foundation/Geometry.h"

namespace qv::ui {

class Window;

enum class EventType : int {
    LeftMouseDown = 1,
    LeftMouseUp = 2,
    RightMouseDown = 3,
    RightMouseUp = 4,
    MouseMoved = 5,
    LeftMouseDragged = 6,
    RightMouseDragged = 7,
    KeyDown = 10,
    KeyUp = 11,
    ApplicationDefined = 15,
};

using EventMask = std::uint32_t;
constexpr EventMask eventMask(EventType t) { return EventMask(1) << int(t); }
inline constexpr EventMask kLeftMouseDownMask = eventMask(EventType::LeftMouseDown);
inline constexpr EventMask kLeftMouseUpMask = eventMask(EventType::LeftMouseUp);
inline constexpr EventMask kLeftMouseDraggedMask = eventMask(EventType::LeftMouseDragged);
inline constexpr EventMask kAnyEventMask = 0xffffffffu;

struct Event {
    EventType type = EventType::ApplicationDefined;
    Point locationInWindow;  // window base coordinates: the content's bottom-left is the origin
    Window* window = nullptr;
    unsigned modifierFlags = 0;
    int clickCount = 1;
    std::string characters;  // key events

    bool matches(EventMask mask) const { return (mask & eventMask(type)) != 0; }

    static Event mouse(EventType type, Point location, Window* window = nullptr) {
        Event e;
        e.type = type;
        e.locationInWindow = location;
        e.window = window;
        return e;
    }
};

}  // namespace qv::ui
