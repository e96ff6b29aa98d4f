#pragma once
// The application: its delegate, the windows, the main menu, modal runs and sheets, the event
// queue, termination, and the Responder that answers alerts and panels. One per process
// (Application::shared()); it belongs to the main thread except where said.
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Event.h"
#include "appkit/Menu.h"
#include "appkit/Responder.h"

namespace qv::ui {

class Application;
class Window;

enum class TerminateReply { Cancel = 0, Now = 1, Later = 2 };

// Return codes of modal runs and sheets, as the platform numbers them.
inline constexpr int kModalResponseStop = -1000;
inline constexpr int kModalResponseAbort = -1001;
inline constexpr int kOKButton = 1;
inline constexpr int kCancelButton = 0;

class ApplicationDelegate {
public:
    virtual ~ApplicationDelegate() = default;
    virtual void applicationDidFinishLaunching(Application&) {}
    virtual void applicationOpenFiles(Application&, const std::vector<std::string>&) {}
    virtual TerminateReply applicationShouldTerminate(Application&) { return TerminateReply::Now; }
    virtual bool applicationShouldTerminateAfterLastWindowClosed(Application&) { return false; }
    virtual void applicationWillTerminate(Application&) {}
};

class Application {
public:
    using SheetHandler = std::function<void(Window& sheet, int returnCode)>;

    static Application& shared();
    // Back to the state of a new process: no delegate, menu, sheets, modal runs, queued events
    // or tasks, and a fresh Responder. Windows stay registered while they exist.
    void reset();

    ApplicationDelegate* delegate() const { return m_delegate; }
    void setDelegate(ApplicationDelegate* delegate) { m_delegate = delegate; }
    Responder& responder() { return m_responder; }

    const std::shared_ptr<Menu>& mainMenu() const { return m_mainMenu; }
    void setMainMenu(std::shared_ptr<Menu> menu) { m_mainMenu = std::move(menu); }

    // Windows in the order they were made; the key window is the last one made key and still visible.
    std::vector<Window*> windows() const;
    Window* keyWindow() const;

    // Launching and files handed over: tell the delegate.
    void finishLaunching();
    bool isLaunched() const { return m_launched; }
    void openFiles(const std::vector<std::string>& paths);

    // Termination asks the delegate; Now (or a later reply of yes) tells it applicationWillTerminate
    // and marks the application terminated. The front end ends the process when it sees the mark.
    void terminate();
    void replyToApplicationShouldTerminate(bool shouldTerminate);
    bool isTerminated() const { return m_terminated; }

    // Modal runs: shows the window, lets the Responder act in it as the user, then runs the main
    // run loop and the queued events until stopModal, stopModalWithCode or abortModal ends the run.
    // With scripted input a run that nothing more can end (no task, no due timer, no event) returns
    // kModalResponseAbort instead of waiting for ever; with live input it waits.
    int runModalForWindow(Window& window);
    void stopModal() { stopModalWithCode(kModalResponseStop); }
    void stopModalWithCode(int code);
    void abortModal() { stopModalWithCode(kModalResponseAbort); }
    Window* modalWindow() const;

    // Sheets: begin attaches the sheet to the window and shows it; end detaches it and calls the
    // handler with the code. Work that answers a sheet later goes through the main run loop. The sheet stays visible until it is ordered out. A window that already
    // has a sheet takes no second one (answers false).
    bool beginSheet(Window& sheet, Window& window, SheetHandler didEnd = {});
    void endSheet(Window& sheet, int returnCode = kModalResponseStop);

    // Events. postEvent may be called from any thread.
    void postEvent(const Event& event, bool atStart = false);
    // The first queued event that matches the mask. Without a timeout it waits for one while live
    // input is on; with scripted input (the default) everything has been posted beforehand, so an
    // unmatched wait answers nothing at once.
    std::optional<Event> nextEventMatchingMask(EventMask mask, std::optional<double> timeoutSeconds = std::nullopt,
                                               bool dequeue = true);
    void setLiveInput(bool live);
    bool liveInput() const;
    void sendEvent(const Event& event);  // to the event's window
    std::size_t dispatchQueuedEvents();   // sends every queued event in order

    // Menu commands: validates the item with the given action in the main menu and runs it.
    bool performMenuAction(const std::string& action);

private:
    friend class Window;
    Application() = default;
    void addWindow(Window* window);
    void removeWindow(Window* window);
    void windowDidClose(Window& window);
    void windowBecameKey(Window* window);
    void finishTermination();

    struct ModalSession {
        Window* window;
        std::optional<int> result;
    };
    struct Sheet {
        Window* parent;
        SheetHandler handler;
    };

    ApplicationDelegate* m_delegate = nullptr;
    Responder m_responder;
    std::shared_ptr<Menu> m_mainMenu;
    std::vector<Window*> m_windows;
    Window* m_keyWindow = nullptr;
    bool m_launched = false;
    bool m_terminated = false;
    bool m_terminationPending = false;
    std::vector<ModalSession> m_modalSessions;
    std::map<Window*, Sheet> m_sheets;

    mutable std::mutex m_queueMutex;
    std::condition_variable m_queueChanged;
    std::deque<Event> m_events;
    bool m_liveInput = false;
};

}  // namespace qv::ui
