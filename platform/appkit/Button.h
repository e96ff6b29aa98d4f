#pragma once
// Buttons: push buttons, check boxes (switches), radio buttons and toggles. The value is the
// state: 0 off, 1 on, -1 mixed.
#include <string>

#include "appkit/Control.h"

namespace qv::ui {

enum class ButtonType { MomentaryPush, Switch, Radio, Toggle };

inline constexpr int kOffState = 0;
inline constexpr int kOnState = 1;
inline constexpr int kMixedState = -1;

class Button : public Control {
public:
    explicit Button(const Rect& frame = Rect(), std::string title = "", ButtonType type = ButtonType::MomentaryPush);
    static std::shared_ptr<Button> checkBox(const Rect& frame, const std::string& title);

    std::string title() const;
    void setTitle(const std::string& title);
    ButtonType buttonType() const { return m_type; }
    void setButtonType(ButtonType type) { m_type = type; }

    int state() const { return intValue(); }
    void setState(int state) { setIntValue(state); }

    // The user clicks: a check box or toggle flips its state (a radio button turns on), then the
    // action is sent. Answers false when the button takes no clicks.
    bool performClick();

protected:
    Value normalize(const Value& value, const Value& current) const override;

private:
    ButtonType m_type;
    std::string m_title;
};

}  // namespace qv::ui
