#include "appkit/Application.h"

#include <algorithm>
#include <chrono>

#include "appkit/Window.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"

namespace qv::ui {

Application& Application::shared() {
    static Application* app = new Application();  // lives as long as the process: windows may outlive statics
    return *app;
}

void Application::reset() {
    m_delegate = nullptr;
    m_responder.reset();
    m_mainMenu.reset();
    m_keyWindow = nullptr;
    m_launched = m_terminated = m_terminationPending = false;
    m_modalSessions.clear();
    m_sheets.clear();
    for (Window* w : m_windows) w->m_attachedSheet = w->m_sheetParent = nullptr;
    std::lock_guard<std::mutex> lock(m_queueMutex);
    m_events.clear();
    m_liveInput = false;
}

void Application::addWindow(Window* window) { m_windows.push_back(window); }

void Application::removeWindow(Window* window) {
    m_windows.erase(std::remove(m_windows.begin(), m_windows.end(), window), m_windows.end());
    if (m_keyWindow == window) m_keyWindow = nullptr;
    m_sheets.erase(window);
    for (auto& session : m_modalSessions)
        if (session.window == window && !session.result) session.result = kModalResponseAbort;
}

std::vector<Window*> Application::windows() const { return m_windows; }

Window* Application::keyWindow() const { return m_keyWindow && m_keyWindow->isVisible() ? m_keyWindow : nullptr; }

void Application::windowBecameKey(Window* window) { m_keyWindow = window; }

void Application::finishLaunching() {
    if (m_launched) return;
    m_launched = true;
    if (m_delegate) m_delegate->applicationDidFinishLaunching(*this);
}

void Application::openFiles(const std::vector<std::string>& paths) {
    if (m_delegate && !paths.empty()) m_delegate->applicationOpenFiles(*this, paths);
}

void Application::terminate() {
    if (m_terminated) return;
    TerminateReply reply = m_delegate ? m_delegate->applicationShouldTerminate(*this) : TerminateReply::Now;
    if (reply == TerminateReply::Now) finishTermination();
    m_terminationPending = reply == TerminateReply::Later;
}

void Application::replyToApplicationShouldTerminate(bool shouldTerminate) {
    if (!m_terminationPending) return;
    m_terminationPending = false;
    if (shouldTerminate) finishTermination();
}

void Application::finishTermination() {
    if (m_delegate) m_delegate->applicationWillTerminate(*this);
    m_terminated = true;
    m_queueChanged.notify_all();
    RunLoop::main().wake();
}

void Application::windowDidClose(Window& window) {
    if (m_keyWindow == &window) m_keyWindow = nullptr;
    bool anyVisible = std::any_of(m_windows.begin(), m_windows.end(), [](Window* w) { return w->isVisible(); });
    if (!anyVisible && m_delegate && m_delegate->applicationShouldTerminateAfterLastWindowClosed(*this)) terminate();
}

int Application::runModalForWindow(Window& window) {
    const std::size_t index = m_modalSessions.size();
    m_modalSessions.push_back({&window, std::nullopt});
    window.makeKeyAndOrderFront();
    m_responder.driveModal(window);
    auto ended = [&] { return m_modalSessions[index].result.has_value() || m_terminated; };
    RunLoop& loop = RunLoop::main();
    while (!ended()) {
        if (dispatchQueuedEvents() > 0 || loop.runOnce(0)) continue;
        if (!liveInput()) break;
        loop.runOnce(0.05);  // postEvent wakes the loop
    }
    int result = m_modalSessions[index].result.value_or(kModalResponseAbort);
    m_modalSessions.resize(index);
    return result;
}

void Application::stopModalWithCode(int code) {
    // Ends the innermost run that is still going; with no modal run it does nothing.
    for (auto it = m_modalSessions.rbegin(); it != m_modalSessions.rend(); ++it)
        if (!it->result) {
            it->result = code;
            return;
        }
}

Window* Application::modalWindow() const {
    for (auto it = m_modalSessions.rbegin(); it != m_modalSessions.rend(); ++it)
        if (!it->result) return it->window;
    return nullptr;
}

bool Application::beginSheet(Window& sheet, Window& window, SheetHandler didEnd) {
    if (window.m_attachedSheet || sheet.m_sheetParent || &sheet == &window) return false;
    window.m_attachedSheet = &sheet;
    sheet.m_sheetParent = &window;
    m_sheets[&sheet] = {&window, std::move(didEnd)};
    sheet.orderFront();
    return true;
}

void Application::endSheet(Window& sheet, int returnCode) {
    auto it = m_sheets.find(&sheet);
    if (it == m_sheets.end()) return;
    Sheet ended = std::move(it->second);
    m_sheets.erase(it);
    if (ended.parent->m_attachedSheet == &sheet) ended.parent->m_attachedSheet = nullptr;
    sheet.m_sheetParent = nullptr;
    if (ended.handler) ended.handler(sheet, returnCode);
}

void Application::postEvent(const Event& event, bool atStart) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        if (atStart)
            m_events.push_front(event);
        else
            m_events.push_back(event);
    }
    m_queueChanged.notify_all();
    RunLoop::main().wake();
}

std::optional<Event> Application::nextEventMatchingMask(EventMask mask, std::optional<double> timeoutSeconds,
                                                        bool dequeue) {
    std::unique_lock<std::mutex> lock(m_queueMutex);
    auto find = [&] {
        return std::find_if(m_events.begin(), m_events.end(), [&](const Event& e) { return e.matches(mask); });
    };
    auto found = [&] { return find() != m_events.end() || m_terminated; };
    RunLoop& loop = RunLoop::main();
    if (!found() && loop.waitHook() && isMainThread()) {
        // A window system delivers the input on this thread: wait by serving its events, which
        // post what they bring (postEvent wakes the wait).
        using Clock = std::chrono::steady_clock;
        const auto deadline = timeoutSeconds ? Clock::now() + std::chrono::duration_cast<Clock::duration>(
                                                                  std::chrono::duration<double>(*timeoutSeconds))
                                             : Clock::time_point::max();
        while (!found() && (timeoutSeconds || m_liveInput)) {
            const double left = timeoutSeconds ? std::chrono::duration<double>(deadline - Clock::now()).count() : 3600;
            if (left <= 0) break;
            lock.unlock();
            loop.waitForEvents(left);
            lock.lock();
        }
    } else if (!found()) {
        if (timeoutSeconds)
            m_queueChanged.wait_for(lock, std::chrono::duration<double>(std::max(0.0, *timeoutSeconds)), found);
        else if (m_liveInput)
            m_queueChanged.wait(lock, [&] { return found() || !m_liveInput; });
    }
    auto it = find();
    if (it == m_events.end()) return std::nullopt;
    Event event = *it;
    if (dequeue) m_events.erase(it);
    return event;
}

bool Application::liveInput() const {
    std::lock_guard<std::mutex> lock(m_queueMutex);
    return m_liveInput;
}

void Application::setLiveInput(bool live) {
    {
        std::lock_guard<std::mutex> lock(m_queueMutex);
        m_liveInput = live;
    }
    m_queueChanged.notify_all();
}

void Application::sendEvent(const Event& event) {
    if (event.window && std::find(m_windows.begin(), m_windows.end(), event.window) != m_windows.end())
        event.window->sendEvent(event);
}

std::size_t Application::dispatchQueuedEvents() {
    std::size_t sent = 0;
    while (auto event = nextEventMatchingMask(kAnyEventMask, 0.0)) {
        sendEvent(*event);
        ++sent;
    }
    return sent;
}

bool Application::performMenuAction(const std::string& action) {
    if (!m_mainMenu) return false;
    auto item = m_mainMenu->findItemWithAction(action);
    return item && m_mainMenu->performItem(*item);
}

}  // namespace qv::ui
