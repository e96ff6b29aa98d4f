#pragma once
// Alerts. An alert has a message, an informative text, buttons, and a window whose content view
// may take extra controls (a "don't ask again" check box). Running it asks the Responder, sets
// the check boxes as answered and returns the code of the pressed button. Every alert is recorded
// by the Responder.
#include <memory>
#include <string>
#include <vector>

#include "appkit/Button.h"
#include "appkit/Image.h"
#include "appkit/Window.h"

namespace qv::ui {

// Codes of alerts with added buttons (first, second, third button).
inline constexpr int kAlertFirstButtonReturn = 1000;
inline constexpr int kAlertSecondButtonReturn = 1001;
inline constexpr int kAlertThirdButtonReturn = 1002;
// Codes of alert panels and of alerts made with default, alternate and other buttons.
inline constexpr int kAlertDefaultReturn = 1;
inline constexpr int kAlertAlternateReturn = 0;
inline constexpr int kAlertOtherReturn = -1;

// The window an alert runs in: a panel that a window system shows as its own message box.
class AlertPanel : public Panel {
public:
    using Panel::Panel;
};

class Alert {
public:
    Alert();

    // The alert panel's form: the default button (or "OK" when empty), an optional alternate and
    // other button, answered with kAlertDefaultReturn, kAlertAlternateReturn or kAlertOtherReturn.
    static std::unique_ptr<Alert> withButtons(const std::string& messageText, const std::string& defaultButton,
                                              const std::string& alternateButton, const std::string& otherButton,
                                              const std::string& informativeText);

    const std::string& messageText() const { return m_messageText; }
    void setMessageText(const std::string& text) { m_messageText = text; }
    const std::string& informativeText() const { return m_informativeText; }
    void setInformativeText(const std::string& text) { m_informativeText = text; }

    // The icon shown beside the message in place of the window system's warning icon; an invalid
    // image (the default) shows the warning icon.
    const Image& icon() const { return m_icon; }
    void setIcon(const Image& icon) { m_icon = icon; }

    // An informational alert (the About box) tells; a warning (the default) asks or reports a
    // problem. Without an icon of its own each shows the window system's icon of its kind.
    bool isInformational() const { return m_informational; }
    void setInformational(bool informational) { m_informational = informational; }

    std::shared_ptr<Button> addButtonWithTitle(const std::string& title);
    const std::vector<std::shared_ptr<Button>>& buttons() const { return m_buttons; }
    Panel& window() { return *m_window; }

    int runModal();

private:
    std::string m_messageText;
    std::string m_informativeText;
    Image m_icon;
    bool m_informational = false;
    std::vector<std::shared_ptr<Button>> m_buttons;
    std::vector<int> m_codes;  // the code each button answers
    std::unique_ptr<AlertPanel> m_window;
};

// The alert panel: a title, a message and up to three buttons (the default one "OK" when empty).
int runAlertPanel(const std::string& title, const std::string& message, const std::string& defaultButton = "OK",
                  const std::string& alternateButton = "", const std::string& otherButton = "");

}  // namespace qv::ui
