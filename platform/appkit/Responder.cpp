#include "appkit/Responder.h"

#include "appkit/Window.h"

namespace qv::ui {
namespace {
const char* kindName(std::size_t index) {
    static const char* names[] = {"an alert answer", "a panel answer", "a modal-window script"};
    return names[index];
}
}  // namespace

Responder::Responder() { reset(); }

void Responder::queueAlert(AlertAnswer answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.emplace_back(std::move(answer));
}

void Responder::queuePanel(PanelAnswer answer) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.emplace_back(std::move(answer));
}

void Responder::queueModal(WindowScript script) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.emplace_back(std::move(script));
}

void Responder::setAlertPolicy(std::function<AlertAnswer(const AlertRequest&)> policy) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_alertPolicy = std::move(policy);
}

void Responder::setPanelPolicy(std::function<PanelAnswer(const PanelRequest&)> policy) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_panelPolicy = std::move(policy);
}

void Responder::setModalPolicy(WindowScript policy) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_modalPolicy = std::move(policy);
}

template <class T>
std::optional<T> Responder::take(const char* kind, const std::function<std::string(const T&)>& mismatch) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.empty()) return std::nullopt;
    const T* front = std::get_if<T>(&m_queue.front());
    if (!front) {
        m_errors.push_back(std::string("the program asked for ") + kind + " but the script has " +
                           kindName(m_queue.front().index()) + " next");
        return std::nullopt;
    }
    if (mismatch) {
        std::string why = mismatch(*front);
        if (!why.empty()) {
            m_errors.push_back(why);
            return std::nullopt;
        }
    }
    T answer = *front;
    m_queue.pop_front();
    return answer;
}

template <class Reply, class Request>
Reply Responder::ask(const std::function<Reply(const Request&)>& policy, const Request& request) {
    std::function<Reply(const Request&)> copy;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        copy = policy;  // called unlocked: a policy may queue answers
    }
    return copy ? copy(request) : Reply{};
}

AlertRecord Responder::answerAlert(const AlertRequest& request) {
    AlertRecord record;
    record.request = request;
    std::optional<AlertAnswer> answer = take<AlertAnswer>("an alert answer", [&](const AlertAnswer& a) {
        if (a.expectTitle && *a.expectTitle != request.title)
            return "the script expected the alert \"" + *a.expectTitle + "\" but the program showed \"" +
                   request.title + "\"";
        if (a.button < 0 || std::size_t(a.button) >= request.buttons.size())
            return "the script pressed button " + std::to_string(a.button) + " of the alert \"" + request.title +
                   "\", which has " + std::to_string(request.buttons.size());
        return std::string();
    });
    record.scripted = answer.has_value();
    if (!answer) {
        answer = ask(m_alertPolicy, request);
        if (answer->button < 0 || std::size_t(answer->button) >= request.buttons.size()) answer->button = 0;
    }
    record.button = answer->button;
    for (const auto& [title, state] : request.checkBoxes) {
        auto it = answer->checkBoxes.find(title);
        record.checkBoxes[title] = it != answer->checkBoxes.end() ? it->second : state;
    }
    std::lock_guard<std::mutex> lock(m_mutex);
    m_alerts.push_back(record);
    return record;
}

PanelAnswer Responder::answerPanel(const PanelRequest& request, const std::function<std::string(PanelAnswer&)>& check) {
    PanelRecord record;
    record.request = request;
    std::optional<PanelAnswer> answer = take<PanelAnswer>("a panel answer");
    record.scripted = answer.has_value();
    if (!answer) answer = ask(m_panelPolicy, request);
    if (answer->ok && check) record.refusal = check(*answer);
    if (!record.refusal.empty()) answer = PanelAnswer{};
    record.answer = *answer;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (!record.refusal.empty()) m_errors.push_back("the panel refused the answer: " + record.refusal);
    m_panels.push_back(record);
    return record.answer;
}

void Responder::driveModal(Window& window) {
    std::optional<WindowScript> script = take<WindowScript>("a modal-window script");
    if (!script) {
        std::lock_guard<std::mutex> lock(m_mutex);
        script = m_modalPolicy;
    }
    if (script && *script) (*script)(window);
}

std::vector<AlertRecord> Responder::alerts() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_alerts;
}

std::vector<PanelRecord> Responder::panels() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_panels;
}

std::vector<std::string> Responder::scriptErrors() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_errors;
}

std::size_t Responder::pendingAnswers() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_queue.size();
}

void Responder::withdrawAnswersAfter(std::size_t count) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_queue.size() > count) m_queue.erase(m_queue.begin() + std::ptrdiff_t(count), m_queue.end());
}

void Responder::reset() {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_queue.clear();
    m_alerts.clear();
    m_panels.clear();
    m_errors.clear();
    m_alertPolicy = [](const AlertRequest&) { return AlertAnswer{}; };
    m_panelPolicy = [](const PanelRequest&) { return PanelAnswer{}; };
    m_modalPolicy = nullptr;
}

}  // namespace qv::ui
