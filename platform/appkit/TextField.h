#pragma once
// A text field (editable, or a label). Its value is its text; numbers given to it are shown in
// their shortest form, and its numeric values read the text's leading number (else 0).
#include <string>

#include "appkit/Control.h"

namespace qv::ui {

class TextField;

class TextFieldDelegate {
public:
    virtual ~TextFieldDelegate() = default;
    // The text changed by typing (not by the program).
    virtual void controlTextDidChange(TextField& field) = 0;
};

class TextField : public Control {
public:
    explicit TextField(const Rect& frame = Rect(), const std::string& text = "");
    static std::shared_ptr<TextField> label(const Rect& frame, const std::string& text);
    // A label that names a control beside it: the window shows it as that control's visible name
    // (the control's title element for assistive technology), hidden while the control is.
    static std::shared_ptr<TextField> labelFor(const Rect& frame, const std::string& text, View& control);
    std::shared_ptr<View> labelledView() const { return m_labelled.lock(); }

    bool isEditable() const { return m_editable.load(); }
    // A bezeled field shows a box around its text; a label shows its text on the window.
    bool isBezeled() const { return m_bezeled.load(); }
    void setBezeled(bool bezeled) { m_bezeled.store(bezeled); }
    // Shown in the bold system font, as the title of a group of controls is.
    bool isEmphasized() const { return m_emphasized.load(); }
    void setEmphasized(bool emphasized) { m_emphasized.store(emphasized); }
    void setEditable(bool editable) { m_editable.store(editable); }
    // Numbers given to the field are shown with at most this many decimals (trailing zeros
    // dropped); -1, the default, shows them in their shortest form. Typed text stays as typed.
    int fractionDigits() const { return m_fractionDigits.load(); }
    void setFractionDigits(int digits) { m_fractionDigits.store(digits); }
    TextFieldDelegate* delegate() const { return m_delegate; }
    void setDelegate(TextFieldDelegate* delegate) { m_delegate = delegate; }

    // The user replaces the text by typing: the delegate hears controlTextDidChange. Answers false
    // for a field that takes no typing.
    virtual bool userType(const std::string& text);
    // The user ends editing with the return key: the action is sent.
    bool userCommit();

protected:
    Value normalize(const Value& value, const Value& current) const override;

private:
    std::atomic<bool> m_editable{true};
    std::atomic<bool> m_bezeled{true};
    std::atomic<bool> m_emphasized{false};
    std::atomic<int> m_fractionDigits{-1};
    std::weak_ptr<View> m_labelled;
    TextFieldDelegate* m_delegate = nullptr;
};

}  // namespace qv::ui
