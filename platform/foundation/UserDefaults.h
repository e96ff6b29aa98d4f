#pragma once
// User defaults: typed settings by key, with registered fallbacks, observers per key (the controls'
// bindings) and a store, an XML property list that others may write too (the standard defaults
// live in the preferences file). Any thread may read and set them; observers are always called on the main
// thread: at once when the value was set there, else through the main run loop.
//
// Changes reach the store on synchronize() and when the process exits normally.
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "foundation/Observers.h"
#include "foundation/Value.h"

namespace qv {

class UserDefaults {
public:
    using Observer = std::function<void(const std::string& key, const Value& value)>;

    // The user's defaults, stored in the preferences file (PreferencesFile), beside the keys the
    // program writes there itself.
    // When the home folder changes (each test case has its own) it is another user: the values are
    // read from the new store and the registered defaults are dropped.
    static UserDefaults& standard();
    explicit UserDefaults(std::string storePath);
    UserDefaults(const UserDefaults&) = delete;
    UserDefaults& operator=(const UserDefaults&) = delete;

    std::string storePath() const;

    // The value set for `key`, else its registered default, else null.
    Value object(const std::string& key) const;
    bool boolForKey(const std::string& key) const;          // numbers: non-zero; strings "YES", "true", "1"...
    std::int64_t integerForKey(const std::string& key) const;  // 0 when absent; numeric strings count
    double doubleForKey(const std::string& key) const;
    float floatForKey(const std::string& key) const;
    std::string stringForKey(const std::string& key) const;  // "" when absent or not a string

    // Sets `key` (a null value removes it, uncovering its registered default) and tells its observers.
    void set(const std::string& key, Value value);
    void remove(const std::string& key) { set(key, Value()); }
    // Fallbacks for keys that have no value of their own; never stored.
    void registerDefaults(const Dictionary& defaults);

    // Writes the values to the store when they changed. True when the store holds them.
    bool synchronize();

    // Calls `observer` with the key and its new value (after registered defaults) on every set() of
    // `key`; an empty key observes every key.
    Subscription observe(const std::string& key, Observer observer);

private:
    struct Change {
        std::string key;
        Value value;
    };
    using PathSource = std::function<std::string()>;

    explicit UserDefaults(PathSource pathSource);
    void loadCurrentUserLocked() const;
    Value effectiveLocked(const std::string& key) const;
    void deliver(Change change);

    const PathSource m_pathSource;
    mutable std::mutex m_mutex;
    mutable std::string m_loadedPath;
    mutable bool m_loaded = false;
    mutable Dictionary m_values;
    mutable Dictionary m_registered;
    mutable std::set<std::string> m_changed;  // keys set or removed since the store was written
    std::shared_ptr<ObserverRegistry<Change>> m_observers;
};

}  // namespace qv
