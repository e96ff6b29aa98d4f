#include "foundation/UserDefaults.h"

#include <cstdlib>
#include <map>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"

namespace qv {

namespace {

// The user's defaults live in the preferences file, so that the values the program keeps there
// itself (the folders the panels start in) and the user defaults are one and the same.
std::string standardStorePath() { return PreferencesFile::path(); }

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
    m_changed.clear();
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
        m_changed.insert(key);
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
    // The store is shared (the preferences file is read and written whole by others too): only
    // the keys changed here go into what it holds now, and what others wrote there shows here.
    // The file is written without this object's lock held, as others write it holding theirs.
    std::string path;
    std::map<std::string, Value> changes;  // a null value: the key was removed
    {
        std::lock_guard<std::mutex> lock(m_mutex);
        loadCurrentUserLocked();
        if (m_changed.empty()) return true;
        path = m_loadedPath;
        for (const std::string& key : m_changed) {
            auto own = m_values.find(key);
            changes[key] = own == m_values.end() ? Value() : own->second;
        }
    }
    Dictionary written;
    auto merge = [&](Value& root) {
        if (!root.isDictionary()) root = Value(Dictionary());
        for (const auto& [key, value] : changes) {
            if (value.isNull())
                root.dictionary()->erase(key);
            else
                (*root.dictionary())[key] = value;
        }
        written = *root.dictionary();
    };
    bool stored = false;
    if (path == PreferencesFile::path() && PreferencesFile::exists()) {
        stored = PreferencesFile::update(merge);
    } else {
        // The store's folder is made when missing, but never a home folder that is gone (a test's
        // home folder after the test, when the process exits).
        std::string folder = paths::deletingLastPathComponent(path);
        if (!files::isFolder(folder) && files::isFolder(paths::homeFolder())) files::createFolder(folder, true);
        Value root = readPropertyList(path);
        merge(root);
        stored = writePropertyList(root, path);
    }
    if (!stored) return false;
    std::lock_guard<std::mutex> lock(m_mutex);
    if (m_loadedPath != path) return true;  // another user since; the old store holds the values
    // Keys set again meanwhile keep their newer value and stay to be written.
    for (const auto& [key, value] : changes) {
        auto own = m_values.find(key);
        const Value now = own == m_values.end() ? Value() : own->second;
        if (now == value) m_changed.erase(key);
    }
    for (const std::string& key : m_changed) {
        auto own = m_values.find(key);
        if (own == m_values.end())
            written.erase(key);
        else
            written[key] = own->second;
    }
    m_values = std::move(written);
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
