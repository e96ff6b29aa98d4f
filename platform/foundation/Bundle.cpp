#include "foundation/Bundle.h"

#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <map>
#include <memory>
#include <mutex>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"

namespace qv {

namespace {

std::string executableFolder() {
    static const std::string folder = [] {
        std::string path(PATH_MAX, '\0');
        ssize_t n = ::readlink("/proc/self/exe", path.data(), path.size());
        if (n <= 0 || std::size_t(n) >= path.size()) return std::string(".");
        path.resize(std::size_t(n));
        return paths::deletingLastPathComponent(path);
    }();
    return folder;
}

// String tables by path, read again when the file changes.
struct StringTable {
    std::optional<Date> modified;
    std::shared_ptr<const Value> table;
};

std::shared_ptr<const Value> stringTable(const std::string& path) {
    static std::mutex mutex;
    static std::map<std::string, StringTable> tables;
    std::optional<Date> modified = files::modificationDate(path);
    std::lock_guard<std::mutex> lock(mutex);
    auto it = tables.find(path);
    if (it == tables.end() || !(it->second.modified == modified)) {
        it = tables.insert_or_assign(path, StringTable{modified, std::make_shared<const Value>(readPropertyList(path))}).first;
    }
    return it->second.table;
}

}  // namespace

namespace {

std::mutex gCodeBundleMutex;
std::string gCodeBundle;  // set by a library that brings its own bundle

}  // namespace

void Bundle::setMainResourcePath(std::string resourcePath) {
    std::lock_guard<std::mutex> lock(gCodeBundleMutex);
    gCodeBundle = std::move(resourcePath);
}

Bundle Bundle::main() {
    const char* configured = std::getenv("QV_RESOURCE_DIR");
    if (configured && *configured) return Bundle(configured);
    {
        std::lock_guard<std::mutex> lock(gCodeBundleMutex);
        if (!gCodeBundle.empty()) return Bundle(gCodeBundle);
    }
    const std::string above = paths::deletingLastPathComponent(executableFolder());
    const std::string built = paths::appendingPathComponent(above, "Resources");
    const std::string installed = paths::appendingPathComponent(above, "share/quorvelci");
    return Bundle(!files::isFolder(built) && files::isFolder(installed) ? installed : built);
}

Bundle::Bundle(std::string resourcePath) : m_resourcePath(paths::appendingPathComponent(resourcePath, "")) {}

std::optional<std::string> Bundle::pathForResource(const std::string& name, const std::string& type) const {
    if (name.empty()) return std::nullopt;
    std::string path = paths::appendingPathComponent(m_resourcePath, type.empty() ? name : name + "." + type);
    if (!files::exists(path)) return std::nullopt;
    return path;
}

std::string Bundle::builtInPlugInsPath() const { return paths::appendingPathComponent(m_resourcePath, "PlugIns"); }

std::string Bundle::localizedString(const std::string& key) const {
    auto table = stringTable(paths::appendingPathComponent(m_resourcePath, "Localizable.strings"));
    return table->get(key).stringOr(key);
}

std::string localizedString(const std::string& key) { return Bundle::main().localizedString(key); }

}  // namespace qv
