#include "appkit/TextField.h"

#include "appkit/NumberText.h"

namespace qv::ui {

TextField::TextField(const Rect& frame, const std::string& text) : Control(frame) { setStringValue(text); }

std::shared_ptr<TextField> TextField::label(const Rect& frame, const std::string& text) {
    auto field = std::make_shared<TextField>(frame, text);
    field->setEditable(false);
    field->setBezeled(false);
    return field;
}

std::shared_ptr<TextField> TextField::labelFor(const Rect& frame, const std::string& text, View& control) {
    auto field = label(frame, text);
    field->m_labelled = control.weak_from_this();
    return field;
}

Value TextField::normalize(const Value& value, const Value&) const {
    const int digits = m_fractionDigits.load();
    if (digits < 0 || value.string() || !value.asDouble()) return Value(stringFromValue(value));
    return Value(formatRounded(*value.asDouble(), digits));
}

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
