#pragma once
// The Responder answers, in place of a person, every alert, open and save panel and modal window
// of the window layer. The front end or a test queues scripted answers in the order the program
// will ask; what the queue does not cover goes to a default policy. Every alert and panel is
// recorded with what was asked and what was answered. A scripted answer of the wrong kind, or
// one that names another alert, is not used: it stays queued, the policy answers, and the
// mismatch is listed among the script errors.
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <variant>
#include <vector>

namespace qv::ui {

class Image;
class View;
class Window;

struct AlertRequest {
    std::string title;    // the panel's title or the alert's message text
    std::string message;  // the panel's message or the alert's informative text
    std::vector<std::string> buttons;     // left to right as the program added them, default first
    std::vector<std::pair<std::string, bool>> checkBoxes;  // the alert's check boxes: title, state
    std::shared_ptr<const Image> icon{};  // the alert's own icon; null for the window system's icon
    bool informational = false;           // it tells (the About box) rather than warns
};

struct AlertAnswer {
    int button = 0;                          // index into the request's buttons
    std::map<std::string, bool> checkBoxes{};  // states to set, by title; others stay as they are
    std::optional<std::string> expectTitle{};  // when set, only an alert with this title takes it
};

struct AlertRecord {
    AlertRequest request;
    int button = 0;
    std::map<std::string, bool> checkBoxes;  // the states after the answer
    bool scripted = false;
};

enum class PanelKind { Open, Save };

struct PanelRequest {
    PanelKind kind = PanelKind::Open;
    std::string directory;
    std::string suggestedName;
    std::vector<std::string> allowedTypes;
    std::string requiredType;
    bool canChooseFiles = true;
    bool canChooseDirectories = false;
    bool allowsMultipleSelection = false;
    bool asSheet = false;
    std::shared_ptr<View> accessory{};  // the panel's extra controls (a save panel's format), or null
    // The required extension as the program changes it while the panel is up (the accessory's
    // format pop-up does); null when it cannot change.
    std::function<std::string()> currentRequiredType{};
};

struct PanelAnswer {
    bool ok = false;
    std::vector<std::string> paths{};  // a save panel takes one; a bare name goes into the start folder
};

struct PanelRecord {
    PanelRequest request;
    PanelAnswer answer;     // as the program received it (a refused answer reads as cancel)
    bool scripted = false;
    std::string refusal;    // why the panel refused a scripted answer; empty when it did not
};

using WindowScript = std::function<void(Window& window)>;

class Responder {
public:
    Responder();

    void queueAlert(AlertAnswer answer);
    void queuePanel(PanelAnswer answer);
    // A modal window runs the next queued script: it acts as the user would, clicking controls
    // whose actions end the modal run.
    void queueModal(WindowScript script);

    // Default policies; the initial ones press an alert's first button, cancel panels and leave
    // modal windows alone (the modal run then ends as aborted).
    void setAlertPolicy(std::function<AlertAnswer(const AlertRequest&)> policy);
    void setPanelPolicy(std::function<PanelAnswer(const PanelRequest&)> policy);
    void setModalPolicy(WindowScript policy);

    // Used by the window layer. answerPanel hands the answer to `check`, which answers why the
    // panel refuses it (empty when it takes it); a refused answer is recorded and reads as cancel.
    AlertRecord answerAlert(const AlertRequest& request);
    PanelAnswer answerPanel(const PanelRequest& request, const std::function<std::string(PanelAnswer&)>& check);
    void driveModal(Window& window);

    std::vector<AlertRecord> alerts() const;
    std::vector<PanelRecord> panels() const;
    std::vector<std::string> scriptErrors() const;
    std::size_t pendingAnswers() const;
    // Takes back the answers queued after the first `count`: for a caller whose panel never came,
    // so that its answer is not given to the next one asked.
    void withdrawAnswersAfter(std::size_t count);
    void reset();  // empties the queue and the records and restores the initial policies

private:
    using Answer = std::variant<AlertAnswer, PanelAnswer, WindowScript>;
    // The queue's front when it is a T that `mismatch` does not object to (it answers why not).
    template <class T>
    std::optional<T> take(const char* kind, const std::function<std::string(const T&)>& mismatch = {});

    template <class Reply, class Request>
    Reply ask(const std::function<Reply(const Request&)>& policy, const Request& request);

    mutable std::mutex m_mutex;
    std::deque<Answer> m_queue;
    std::function<AlertAnswer(const AlertRequest&)> m_alertPolicy;
    std::function<PanelAnswer(const PanelRequest&)> m_panelPolicy;
    WindowScript m_modalPolicy;
    std::vector<AlertRecord> m_alerts;
    std::vector<PanelRecord> m_panels;
    std::vector<std::string> m_errors;
};

}  // namespace qv::ui
