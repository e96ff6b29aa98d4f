#pragma once
// A control: a view with a value, an enabled state, a tag, and an action sent to its target with
// the control as sender. The value and the enabled state may be read from any thread; they are
// changed on the main thread. What the user does (moving a slider, typing, clicking) is modelled
// by the "user" methods of each control, which act only on an enabled, visible control and then
// send the action.
//
// Controls bind their value and their enabled state to user-defaults keys: setting the key moves
// the control (on the main thread, where the defaults deliver), and the user moving the control
// sets the key. The program setting a bound control does not touch the key, as on the platform.
#include <atomic>
#include <functional>
#include <mutex>
#include <string>
#include <type_traits>
#include <vector>

#include "appkit/View.h"
#include "foundation/Observers.h"
#include "foundation/UserDefaults.h"
#include "foundation/Value.h"

namespace qv::ui {

class Control : public View {
public:
    using Action = std::function<void(Control& sender)>;
    using Observer = std::function<void(Control& control)>;

    explicit Control(const Rect& frame = Rect());

    bool isEnabled() const { return m_enabled.load(); }
    void setEnabled(bool enabled);
    int tag() const { return m_tag.load(); }
    void setTag(int tag) { m_tag.store(tag); }

    void setAction(Action action) { m_action = std::move(action); }
    // A member of a target object as the action, taking the sender as a pointer to any control
    // type the sender is (a sender of another type arrives as null).
    template <class Target, class Sender>
    void setTarget(Target* target, void (Target::*action)(Sender*)) {
        static_assert(std::is_base_of_v<Control, Sender>, "the sender must be a control");
        m_action = [target, action](Control& sender) { (target->*action)(dynamic_cast<Sender*>(&sender)); };
    }
    bool hasAction() const { return bool(m_action); }
    // Runs the action with this control as sender, whatever its state; false without an action.
    bool sendAction();

    // The value in every form; setters store what the control can hold (a slider clamps, a text
    // field keeps text) and tell the observers when it changed.
    Value objectValue() const;
    void setObjectValue(const Value& value);
    double doubleValue() const;
    float floatValue() const { return float(doubleValue()); }
    int intValue() const;
    long integerValue() const { return intValue(); }
    std::string stringValue() const;
    void setDoubleValue(double v) { setObjectValue(Value(v)); }
    void setFloatValue(float v) { setObjectValue(Value(v)); }
    void setIntValue(int v) { setObjectValue(Value(v)); }
    void setIntegerValue(long v) { setObjectValue(Value(v)); }
    void setStringValue(const std::string& v) { setObjectValue(Value(v)); }

    // Bindings. Binding takes the key's value at once when the key has one; binding again
    // replaces the earlier binding of the same kind.
    void bindValue(UserDefaults& defaults, const std::string& key);
    void bindEnabled(UserDefaults& defaults, const std::string& key);
    void unbind();
    // The user-defaults key the value is bound to; empty when unbound.
    const std::string& valueBindingKey() const { return m_valueKey; }

    // Observers of the value and of the enabled state; called on the thread that made the
    // change, after it was stored.
    void addValueObserver(Observer observer) { m_valueObservers.push_back(std::move(observer)); }
    void addEnabledObserver(Observer observer) { m_enabledObservers.push_back(std::move(observer)); }

protected:
    // What the control stores for a value it is given, knowing what it holds now (called under the
    // value lock); the default stores it unchanged.
    virtual Value normalize(const Value& value, const Value& current) const {
        (void)current;
        return value;
    }
    bool acceptsUserInput() const { return isEnabled() && !isHiddenOrHasHiddenAncestor(); }
    // The user changed the value: a value binding passes it on to its key. The user methods call
    // this after storing the value and before sending the action.
    void userDidChangeValue();
    // For subclasses that keep more than the value: runs `change` under the value lock and
    // notifies when the value differs afterwards.
    void changeValue(const std::function<void(Value& value)>& change);
    mutable std::mutex m_valueMutex;
    const Value& storedValue() const { return m_value; }  // m_valueMutex held

private:
    void notify(std::vector<Observer>& observers);

    Value m_value;
    std::atomic<bool> m_enabled{true};
    std::atomic<int> m_tag{0};
    Action m_action;
    std::vector<Observer> m_valueObservers;
    std::vector<Observer> m_enabledObservers;
    UserDefaults* m_valueDefaults = nullptr;
    std::string m_valueKey;
    Subscription m_valueBinding;  // declared last: cancelled before what the callbacks use goes away
    Subscription m_enabledBinding;
};

}  // namespace qv::ui
