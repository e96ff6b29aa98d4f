#include "foundation/Notifications.h"

namespace qv {

NotificationCenter& NotificationCenter::defaultCenter() {
    static NotificationCenter* center = new NotificationCenter;  // observers may go away after exit began
    return *center;
}

NotificationCenter::NotificationCenter() : m_observers(std::make_shared<ObserverRegistry<Notification>>()) {}

Subscription NotificationCenter::addObserver(const std::string& name, const void* sender,
                                             std::function<void(const Notification&)> callback) {
    return m_observers->add(name, sender, std::move(callback));
}

void NotificationCenter::post(const std::string& name, const void* sender, Value userInfo) {
    Notification notification{name, sender, std::move(userInfo)};
    m_observers->notify(name, sender, notification);
}

}  // namespace qv
