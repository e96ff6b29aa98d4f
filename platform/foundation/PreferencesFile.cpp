#include "foundation/PreferencesFile.h"

#include <mutex>

#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PropertyList.h"

namespace qv {

namespace {

// Recursive, so that a change made inside update() may itself read the file.
std::recursive_mutex& fileLock() {
    static std::recursive_mutex* lock = new std::recursive_mutex;
    return *lock;
}

bool writeLocked(const Value& root) {
    if (!root.isDictionary()) return false;
    // The Preferences folder is always there on the platform we stand in for; a fresh account here
    // may not have it yet. It is made only inside an existing home folder.
    std::string folder = paths::deletingLastPathComponent(PreferencesFile::path());
    if (!files::isFolder(folder) && files::isFolder(paths::homeFolder())) files::createFolder(folder, true);
    return writePropertyList(root, PreferencesFile::path());
}

Value readLocked() {
    Value root = readPropertyList(PreferencesFile::path());
    return root.isDictionary() ? root : Value();
}

}  // namespace

std::string PreferencesFile::path() { return paths::preferencesFile(); }

bool PreferencesFile::exists() { return files::exists(path()); }

Value PreferencesFile::read() {
    std::lock_guard<std::recursive_mutex> lock(fileLock());
    return readLocked();
}

bool PreferencesFile::update(const std::function<void(Value& root)>& change) {
    std::lock_guard<std::recursive_mutex> lock(fileLock());
    Value root = readLocked();
    if (root.isNull()) return false;
    change(root);
    return writeLocked(root);
}

bool PreferencesFile::createIfMissing(const Value& defaults) {
    std::lock_guard<std::recursive_mutex> lock(fileLock());
    if (exists()) return false;
    return writeLocked(defaults);
}

bool PreferencesFile::write(const Value& root) {
    std::lock_guard<std::recursive_mutex> lock(fileLock());
    return writeLocked(root);
}

}  // namespace qv
