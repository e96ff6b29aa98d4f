#include "foundation/UserDefaults.h"

#include <cstdlib>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"

namespace qv {

namespace {

std::string standardStorePath() {
    return paths::homeFolder() + "/Library/Preferences/QuorvelCI.userdefaults.plist";
}

std::optional<double> numberFromString(const Value& value) {
    const std::string* text = value.string();
    if (!text) return std::nullopt;
    char* end = nullptr;
    double number = std::strtod(text->c_str(), &end);
    if (end == text->c_str()) return std::nullopt;
    return number;
}

}  // namespace

UserDefaults& UserDefaults::standard() {
    static UserDefaults* defaults = [] {
        auto instance = new UserDefaults(PathSource(standardStorePath));  // lives to the very end
        std::atexit([] { UserDefaults::standard().synchronize(); });
        return instance;
    }();
    return *defaults;
}

UserDefaults::UserDefaults(std::string storePath)
    : UserDefaults(PathSource([path = std::move(storePath)] { return path; })) {}

UserDefaults::UserDefaults(PathSource pathSource)
    : m_pathSource(std::move(pathSource)), m_observers(std::make_shared<ObserverRegistry<Change>>()) {}

void UserDefaults::loadCurrentUserLocked() const {
    std::string path = m_pathSource();
    if (m_loaded && path == m_loadedPath) return;
    if (m_loaded) m_registered.clear();  // another user
    Value stored = readPropertyList(path);
    m_values = stored.dictionary() ? *stored.dictionary() : Dictionary();
    m_loadedPath = path;
    m_loaded = true;
    m_dirty = false;
}

std::string UserDefaults::storePath() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    loadCurrentUserLocked();
    return m_loadedPath;
}

Value UserDefaults::effectiveLocked(const std::string& key) const {
    auto own = m_values.find(key);
    if (own != m_values.end()) return own->second;
    auto registered = m_registered.find(key);
    return registered != m_registered.end() ? registered->second : Value();
}

Value UserDefaults::object(const std::string& key) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    loadCurrentUserLocked();
    return effectiveLocked(key);
}

bool UserDefaults::boolForKey(const std::string& key) const { return object(key).boolOr(false); }

std::int64_t UserDefaults::integerForKey(const std::string& key) const {
    Value value = object(key);
    if (auto n = value.asInteger()) return *n;
    if (auto d = numberFromString(value)) return Value(*d).integerOr(0);
    return 0;
}

double UserDefaults::doubleForKey(const std::string& key) const {
    Value value = object(key);
    if (auto d = value.asDouble()) return *d;
    return numberFromString(value).value_or(0);
}

float UserDefaults::floatForKey(const std::string& key) const {
    Value value = object(key);
    if (auto f = value.asFloat()) return *f;
    return float(numberFromString(value).value_or(0));
}

std::string UserDefaults::stringForKey(const std::string& key) const { return object(key).stringOr(""); }

void UserDefaults::set(const std::string& key, Value value) {
    Value effective;
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        loadCurrentUserLocked();
        if (value.isNull()) {
            m_values.erase(key);
        } else {
            m_values[key] = std::move(value);
        }
        m_dirty = true;
        effective = effectiveLocked(key);
    }
    deliver(Change{key, std::move(effective)});
}

void UserDefaults::registerDefaults(const Dictionary& defaults) {
    std::lock_guard<std::mutex> lock(m_mutex);
    loadCurrentUserLocked();
    for (const auto& [key, value] : defaults) m_registered[key] = value;
}

bool UserDefaults::synchronize() {
    std::lock_guard<std::mutex> lock(m_mutex);
    loadCurrentUserLocked();
    if (!m_dirty) return true;
    // The store's folder is made when missing, but never a home folder that is gone (a test's
    // home folder after the test, when the process exits).
    std::string folder = paths::deletingLastPathComponent(m_loadedPath);
    if (!files::isFolder(folder) && files::isFolder(paths::homeFolder())) files::createFolder(folder, true);
    if (!writePropertyList(Value(m_values), m_loadedPath)) return false;
    m_dirty = false;
    return true;
}

Subscription UserDefaults::observe(const std::string& key, Observer observer) {
    return m_observers->add(key, nullptr, [observer = std::move(observer)](const Change& change) {
        observer(change.key, change.value);
    });
}

void UserDefaults::deliver(Change change) {
    if (isMainThread()) {
        m_observers->notify(change.key, nullptr, change);
        return;
    }
    performOnMainThread([observers = m_observers, change = std::move(change)] {
        observers->notify(change.key, nullptr, change);
    }, false);
}

}  // namespace qv
