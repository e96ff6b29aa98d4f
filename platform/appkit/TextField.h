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

    bool isEditable() const { return m_editable.load(); }
    void setEditable(bool editable) { m_editable.store(editable); }
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
    TextFieldDelegate* m_delegate = nullptr;
};

}  // namespace qv::ui
