#include "appkit/Control.h"

#include "appkit/NumberText.h"

namespace qv::ui {

Control::Control(const Rect& frame) : View(frame) {}

void Control::setEnabled(bool enabled) {
    if (m_enabled.exchange(enabled) == enabled) return;
    setNeedsDisplay(true);
    notify(m_enabledObservers);
}

bool Control::sendAction() {
    if (!m_action) return false;
    Action action = m_action;  // the action may replace itself
    action(*this);
    return true;
}

Value Control::objectValue() const {
    std::lock_guard<std::mutex> lock(m_valueMutex);
    return m_value;
}

void Control::setObjectValue(const Value& value) {
    changeValue([&](Value& stored) { stored = normalize(value, stored); });
}

void Control::changeValue(const std::function<void(Value&)>& change) {
    bool changed;
    {
        std::lock_guard<std::mutex> lock(m_valueMutex);
        Value before = m_value;
        change(m_value);
        changed = before != m_value;
    }
    if (!changed) return;
    setNeedsDisplay(true);
    notify(m_valueObservers);
}

void Control::notify(std::vector<Observer>& observers) {
    for (std::size_t i = 0; i < observers.size(); ++i) {
        Observer observer = observers[i];  // an observer may add observers
        observer(*this);
    }
}

void Control::bindValue(UserDefaults& defaults, const std::string& key) {
    m_valueBinding = defaults.observe(key, [this](const std::string&, const Value& value) { setObjectValue(value); });
    m_valueDefaults = &defaults;
    m_valueKey = key;
    if (Value current = defaults.object(key); !current.isNull()) setObjectValue(current);
}

void Control::bindEnabled(UserDefaults& defaults, const std::string& key) {
    m_enabledBinding =
        defaults.observe(key, [this](const std::string&, const Value& value) { setEnabled(value.boolOr(false)); });
    if (Value current = defaults.object(key); !current.isNull()) setEnabled(current.boolOr(false));
}

void Control::unbind() {
    m_valueBinding.cancel();
    m_enabledBinding.cancel();
    m_valueDefaults = nullptr;
    m_valueKey.clear();
}

void Control::userDidChangeValue() {
    if (m_valueDefaults) m_valueDefaults->set(m_valueKey, objectValue());
}

double Control::doubleValue() const { return numberFromValue(objectValue()); }
int Control::intValue() const { return intFromValue(objectValue()); }
std::string Control::stringValue() const { return stringFromValue(objectValue()); }

}  // namespace qv::ui
