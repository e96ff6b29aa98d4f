#pragma once
// The headless front end: it starts the application as the program's main would, with the real
// preview view in the main window, and carries out actions as a person at the window would: it
// sets a control and sends the control's action, answers the open and save panels, picks a lens
// in the parameters sheet. Error alerts that nobody expected fail the action.
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

#include "Actions.h"
#include "appkit/Responder.h"
#include "foundation/Outcome.h"
#include "shell/nib/QVMainNib.h"

namespace frontend {

class FrontEnd {
public:
    // Starts the application: the nib, the end of launching (the owned-lens question is declined).
    FrontEnd();
    ~FrontEnd();
    FrontEnd(const FrontEnd&) = delete;
    FrontEnd& operator=(const FrontEnd&) = delete;

    // The controls that "set" and the options of "correct" know, in the order "correct" sets them.
    static std::vector<std::string> controlNames();
    // One line per control: its name, its values and what it is.
    static std::string controlHelp();

    // Whether an action is well formed: its control is known and its value is one the control
    // takes; a failure, with the reason, when it is not.
    qv::Outcome check(const Action& action) const;
    // Carries an action out; a failure, with the reason, when it did not work.
    qv::Outcome run(const Action& action);
    // Fails when alerts expected earlier were not shown; to call after the last action.
    qv::Outcome finish();

    QVController& controller() { return *m_nib.controller; }
    // Waits until the panel and the save thread are done and their reports have reached the
    // main thread.
    void settle();
    // Whether a panel shown since the last report was cancelled (by an "answer panel cancel").
    bool wasCancelled() const;
    // Queues a panel's answer and runs the command that asks for the panel. When no panel came
    // up (a sheet still on the main window takes no second one, or the command refused), the
    // answer is taken back, so that no later panel gets it, and the reason names the panel.
    qv::Outcome askThroughPanel(const std::string& panel, const qv::ui::PanelAnswer& answer,
                                const std::function<void()>& command);
    // A path as the panels take it: absolute, made from the working folder.
    static std::string absolutePath(const std::string& path);
    // How many alerts have been shown since the application started.
    static std::size_t alertCount();
    // An alert as one line, "title: message", either part left out when it is empty.
    static std::string alertText(const qv::ui::AlertRequest& request);

private:
    qv::Outcome open(const std::string& path);
    qv::Outcome chooseLens(const std::string& name);
    qv::Outcome set(const std::string& control, const std::string& value);
    qv::Outcome saveAs(const std::string& path, const SaveChoices& save);
    qv::Outcome save();
    qv::Outcome print(const std::string& what);
    // The error alerts (open and save errors) and refused panel answers since `alerts` and
    // `panels` were counted, less the alerts expected; the expected alerts not shown.
    qv::Outcome newFailures();

    QVMainNib m_nib;
    std::size_t m_alertsSeen = 0;
    std::size_t m_panelsSeen = 0;
    std::vector<std::string> m_expectedAlerts;
};

}  // namespace frontend
