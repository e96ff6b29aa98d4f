#include "appkit/Pasteboard.h"

#include <algorithm>

namespace qv::ui {

std::shared_ptr<Pasteboard> Pasteboard::withName(const std::string& name) {
    static std::mutex registryMutex;
    static std::map<std::string, std::shared_ptr<Pasteboard>> registry;
    std::lock_guard<std::mutex> lock(registryMutex);
    auto& board = registry[name];
    if (!board) board = std::make_shared<Pasteboard>(name);
    return board;
}

int Pasteboard::declareTypes(const std::vector<std::string>& types, const void* owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    m_types.clear();
    m_entries.clear();
    for (const std::string& t : types)
        if (std::find(m_types.begin(), m_types.end(), t) == m_types.end()) m_types.push_back(t);
    m_owner = owner;
    return ++m_changeCount;
}

int Pasteboard::addTypes(const std::vector<std::string>& types, const void* owner) {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::string& t : types)
        if (std::find(m_types.begin(), m_types.end(), t) == m_types.end()) m_types.push_back(t);
    m_owner = owner;
    return m_changeCount;
}

void Pasteboard::clearContents() { declareTypes({}, nullptr); }

std::vector<std::string> Pasteboard::types() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_types;
}

std::optional<std::string> Pasteboard::availableTypeFromArray(const std::vector<std::string>& types) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    for (const std::string& t : types)
        if (std::find(m_types.begin(), m_types.end(), t) != m_types.end()) return t;
    return std::nullopt;
}

const void* Pasteboard::owner() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_owner;
}

int Pasteboard::changeCount() const {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_changeCount;
}

bool Pasteboard::store(const std::string& type, Value v) {
    std::lock_guard<std::mutex> lock(m_mutex);
    if (std::find(m_types.begin(), m_types.end(), type) == m_types.end()) return false;
    m_entries[type] = std::move(v);
    return true;
}

bool Pasteboard::setData(const Data& data, const std::string& type) { return store(type, Value(data)); }
bool Pasteboard::setPropertyList(const Value& plist, const std::string& type) { return store(type, plist); }
bool Pasteboard::setString(const std::string& text, const std::string& type) { return store(type, Value(text)); }

std::optional<Data> Pasteboard::dataForType(const std::string& type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(type);
    if (it == m_entries.end() || !it->second.data()) return std::nullopt;
    return *it->second.data();
}

Value Pasteboard::propertyListForType(const std::string& type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(type);
    return it == m_entries.end() ? Value() : it->second;
}

std::optional<std::string> Pasteboard::stringForType(const std::string& type) const {
    std::lock_guard<std::mutex> lock(m_mutex);
    auto it = m_entries.find(type);
    if (it == m_entries.end() || !it->second.string()) return std::nullopt;
    return *it->second.string();
}

void Pasteboard::setFilenames(const std::vector<std::string>& paths, const void* owner) {
    declareTypes({kFilenamesPboardType}, owner);
    Array list;
    for (const std::string& p : paths) list.emplace_back(p);
    setPropertyList(Value(list), kFilenamesPboardType);
}

std::optional<std::vector<std::string>> Pasteboard::filenames() const {
    Value plist = propertyListForType(kFilenamesPboardType);
    const Array* list = plist.array();
    if (!list) return std::nullopt;
    std::vector<std::string> paths;
    for (const Value& v : *list) {
        if (!v.string()) return std::nullopt;
        paths.push_back(*v.string());
    }
    return paths;
}

}  // namespace qv::ui
