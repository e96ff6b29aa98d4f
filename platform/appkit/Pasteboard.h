#pragma once
// A pasteboard: typed entries of data or property lists, declared before they are set. The drag
// pasteboard carries what a drag offers; the general pasteboard is the clipboard.
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "foundation/Value.h"

namespace qv::ui {

// The file-names type: a property list, an array of path strings.
inline constexpr const char* kFilenamesPboardType = "NSFilenamesPboardType";
inline constexpr const char* kStringPboardType = "NSStringPboardType";
inline constexpr const char* kGeneralPboard = "general";
inline constexpr const char* kDragPboard = "drag";

class Pasteboard {
public:
    Pasteboard() = default;
    explicit Pasteboard(std::string name) : m_name(std::move(name)) {}

    // The process-wide pasteboard of a name, made on first use.
    static std::shared_ptr<Pasteboard> withName(const std::string& name);

    const std::string& name() const { return m_name; }

    // Drops every entry, declares the types and names their owner; answers the new change count.
    int declareTypes(const std::vector<std::string>& types, const void* owner);
    int addTypes(const std::vector<std::string>& types, const void* owner);  // keeps existing entries
    void clearContents();
    std::vector<std::string> types() const;  // in declaration order
    // The first of the given types that the pasteboard has been declared with.
    std::optional<std::string> availableTypeFromArray(const std::vector<std::string>& types) const;
    const void* owner() const;
    int changeCount() const;

    // Setting a type that was not declared answers false and stores nothing.
    bool setData(const Data& data, const std::string& type);
    bool setPropertyList(const Value& plist, const std::string& type);
    bool setString(const std::string& text, const std::string& type);

    std::optional<Data> dataForType(const std::string& type) const;  // only entries set as data
    Value propertyListForType(const std::string& type) const;       // null when nothing was set
    std::optional<std::string> stringForType(const std::string& type) const;

    // The file-names entry: declares kFilenamesPboardType and sets the paths as an array.
    void setFilenames(const std::vector<std::string>& paths, const void* owner = nullptr);
    // The paths of the file-names entry; nothing when it is missing or not an array of strings.
    std::optional<std::vector<std::string>> filenames() const;

private:
    bool store(const std::string& type, Value v);

    std::string m_name;
    mutable std::mutex m_mutex;
    std::vector<std::string> m_types;
    std::map<std::string, Value> m_entries;
    const void* m_owner = nullptr;
    int m_changeCount = 0;
};

}  // namespace qv::ui
