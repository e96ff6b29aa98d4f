#pragma once
// Observer lists for notifications and user defaults.
//
// Observing answers a Subscription; the observer stays registered as long as the Subscription lives
// (or until cancel()). Once cancel() has returned, the callback is not running on another thread and
// will not be called again, so an object may own a Subscription that calls into itself.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace qv {

class Subscription {
public:
    Subscription() = default;
    explicit Subscription(std::function<void()> cancel) : m_cancel(std::move(cancel)) {}
    Subscription(Subscription&& other) noexcept : m_cancel(std::move(other.m_cancel)) { other.m_cancel = nullptr; }
    Subscription& operator=(Subscription&& other) noexcept {
        if (this != &other) {
            cancel();
            m_cancel = std::move(other.m_cancel);
            other.m_cancel = nullptr;
        }
        return *this;
    }
    Subscription(const Subscription&) = delete;
    Subscription& operator=(const Subscription&) = delete;
    ~Subscription() { cancel(); }

    void cancel() {
        auto cancel = std::move(m_cancel);
        m_cancel = nullptr;
        if (cancel) cancel();
    }
    bool active() const { return static_cast<bool>(m_cancel); }

private:
    std::function<void()> m_cancel;
};

// Observers of events, each with a key ("" observes every key) and a sender (null: any sender).
// Callbacks run on the thread that calls notify(); one observer's callback never runs on two threads
// at once.
template <typename Event>
class ObserverRegistry : public std::enable_shared_from_this<ObserverRegistry<Event>> {
public:
    using Callback = std::function<void(const Event&)>;

    Subscription add(std::string key, const void* sender, Callback callback) {
        auto entry = std::make_shared<Entry>(std::move(key), sender, std::move(callback));
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_entries.push_back(entry);
        }
        std::weak_ptr<ObserverRegistry> weakSelf = this->shared_from_this();
        return Subscription([weakSelf, entry] {
            entry->active = false;
            // Wait for a call in progress on another thread (the mutex is recursive, so cancelling
            // from inside the callback itself goes through).
            { std::lock_guard<std::recursive_mutex> calling(entry->calling); }
            if (auto self = weakSelf.lock()) self->remove(entry);
        });
    }

    void notify(const std::string& key, const void* sender, const Event& event) {
        std::vector<std::shared_ptr<Entry>> matching;
        {
            std::lock_guard<std::mutex> lock(m_mutex);
            for (const auto& entry : m_entries) {
                if ((entry->key.empty() || entry->key == key) && (!entry->sender || entry->sender == sender))
                    matching.push_back(entry);
            }
        }
        for (const auto& entry : matching) {
            std::lock_guard<std::recursive_mutex> calling(entry->calling);
            if (entry->active) entry->callback(event);
        }
    }

private:
    struct Entry {
        Entry(std::string k, const void* s, Callback c) : key(std::move(k)), sender(s), callback(std::move(c)) {}
        const std::string key;
        const void* const sender;
        const Callback callback;
        std::atomic<bool> active{true};
        std::recursive_mutex calling;
    };

    void remove(const std::shared_ptr<Entry>& entry) {
        std::lock_guard<std::mutex> lock(m_mutex);
        for (auto it = m_entries.begin(); it != m_entries.end(); ++it) {
            if (*it == entry) {
                m_entries.erase(it);
                return;
            }
        }
    }

    std::mutex m_mutex;
    std::vector<std::shared_ptr<Entry>> m_entries;
};

}  // namespace qv
