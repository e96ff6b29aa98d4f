#include "appkit/Alert.h"

#include "appkit/Application.h"

namespace qv::ui {
namespace {

void collectCheckBoxes(View& view, std::vector<std::shared_ptr<Button>>& out) {
    for (const auto& child : view.subviews()) {
        if (auto button = std::dynamic_pointer_cast<Button>(child); button && button->buttonType() == ButtonType::Switch)
            out.push_back(button);
        collectCheckBoxes(*child, out);
    }
}

}  // namespace

Alert::Alert() : m_window(std::make_unique<AlertPanel>(Rect(0, 0, 420, 150))) {}

std::unique_ptr<Alert> Alert::withButtons(const std::string& messageText, const std::string& defaultButton,
                                          const std::string& alternateButton, const std::string& otherButton,
                                          const std::string& informativeText) {
    auto alert = std::make_unique<Alert>();
    alert->setMessageText(messageText);
    alert->setInformativeText(informativeText);
    alert->addButtonWithTitle(defaultButton.empty() ? "OK" : defaultButton);
    alert->m_codes.back() = kAlertDefaultReturn;
    if (!alternateButton.empty()) {
        alert->addButtonWithTitle(alternateButton);
        alert->m_codes.back() = kAlertAlternateReturn;
    }
    if (!otherButton.empty()) {
        alert->addButtonWithTitle(otherButton);
        alert->m_codes.back() = kAlertOtherReturn;
    }
    return alert;
}

std::shared_ptr<Button> Alert::addButtonWithTitle(const std::string& title) {
    auto button = std::make_shared<Button>(Rect(), title);
    m_buttons.push_back(button);
    m_codes.push_back(kAlertFirstButtonReturn + int(m_codes.size()));
    return button;
}

int Alert::runModal() {
    if (m_buttons.empty()) addButtonWithTitle("OK");  // an alert always has a way out
    AlertRequest request;
    request.title = m_messageText;
    request.message = m_informativeText;
    for (const auto& b : m_buttons) request.buttons.push_back(b->title());
    if (m_icon.isValid()) request.icon = std::make_shared<const Image>(m_icon);
    request.informational = m_informational;
    std::vector<std::shared_ptr<Button>> checkBoxes;
    collectCheckBoxes(*m_window->contentView(), checkBoxes);
    for (const auto& box : checkBoxes) request.checkBoxes.emplace_back(box->title(), box->state() == kOnState);

    m_window->orderFront();
    AlertRecord record = Application::shared().responder().answerAlert(request);
    for (const auto& box : checkBoxes) box->setState(record.checkBoxes[box->title()] ? kOnState : kOffState);
    m_window->orderOut();
    return m_codes[std::size_t(record.button)];
}

int runAlertPanel(const std::string& title, const std::string& message, const std::string& defaultButton,
                  const std::string& alternateButton, const std::string& otherButton) {
    return Alert::withButtons(title, defaultButton, alternateButton, otherButton, message)->runModal();
}

}  // namespace qv::ui
