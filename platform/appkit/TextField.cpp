#include "appkit/TextField.h"

#include "appkit/NumberText.h"

namespace qv::ui {

TextField::TextField(const Rect& frame, const std::string& text) : Control(frame) { setStringValue(text); }

std::shared_ptr<TextField> TextField::label(const Rect& frame, const std::string& text) {
    auto field = std::make_shared<TextField>(frame, text);
    field->setEditable(false);
    return field;
}

Value TextField::normalize(const Value& value, const Value&) const { return Value(stringFromValue(value)); }

bool TextField::userType(const std::string& text) {
    if (!acceptsUserInput() || !isEditable()) return false;
    setStringValue(text);
    userDidChangeValue();
    if (m_delegate) m_delegate->controlTextDidChange(*this);
    return true;
}

bool TextField::userCommit() {
    if (!acceptsUserInput() || !isEditable()) return false;
    sendAction();
    return true;
}

}  // namespace qv::ui
