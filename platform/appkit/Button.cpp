#include "appkit/Button.h"

#include "appkit/NumberText.h"

namespace qv::ui {

Button::Button(const Rect& frame, std::string title, ButtonType type)
    : Control(frame), m_type(type), m_title(std::move(title)) {
    setState(kOffState);
}

std::shared_ptr<Button> Button::checkBox(const Rect& frame, const std::string& title) {
    return std::make_shared<Button>(frame, title, ButtonType::Switch);
}

std::string Button::title() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return m_title;
}

void Button::setTitle(const std::string& title) {
    {
        std::lock_guard<std::mutex> lock(m_valueMutex);
        m_title = title;
    }
    setNeedsDisplay(true);
}

Value Button::normalize(const Value& value, const Value&) const {
    const int state = intFromValue(value);
    return Value(state == kMixedState ? kMixedState : state != 0 ? kOnState : kOffState);
}

bool Button::performClick() {
    if (!acceptsUserInput()) return false;
    switch (m_type) {
    case ButtonType::Switch:
    case ButtonType::Toggle: setState(state() == kOnState ? kOffState : kOnState); break;
    case ButtonType::Radio: setState(kOnState); break;
    case ButtonType::MomentaryPush: break;
    }
    if (m_type != ButtonType::MomentaryPush) userDidChangeValue();
    sendAction();
    return true;
}

}  // namespace qv::ui
