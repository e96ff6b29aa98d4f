#pragma once
// Notifications by name with an optional sender, delivered at once on the posting thread to every
// observer of that name (or of every name) and of that sender (or of any sender).
#include <functional>
#include <memory>
#include <string>

#include "foundation/Observers.h"
#include "foundation/Value.h"

namespace qv {

struct Notification {
    std::string name;
    const void* sender = nullptr;
    Value userInfo;
};

class NotificationCenter {
public:
    static NotificationCenter& defaultCenter();
    NotificationCenter();

    // An empty name observes every notification; a null sender observes every sender.
    Subscription addObserver(const std::string& name, const void* sender,
                             std::function<void(const Notification&)> callback);
    void post(const std::string& name, const void* sender = nullptr, Value userInfo = Value());

private:
    std::shared_ptr<ObserverRegistry<Notification>> m_observers;
};

}  // namespace qv
