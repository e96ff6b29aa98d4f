#pragma once
// The preferences file (paths::preferencesFile()): one property-list dictionary that every user
// reads whole, changes and writes back whole. Several threads and both deliverables write it, so
// every read-modify-write holds one process-wide lock, and writes replace the file in one step
// (Files.h), so a reader never sees half a file.
#include <functional>
#include <string>

#include "foundation/Value.h"

namespace qv {

class PreferencesFile {
public:
    static std::string path();
    static bool exists();

    // The whole dictionary; null when the file is missing, unreadable or not a dictionary.
    static Value read();

    // Reads the dictionary, lets `change` change it and writes it back, all under the lock. When the
    // file cannot be read as a dictionary nothing is changed or written and the answer is false;
    // otherwise the answer is whether the write succeeded.
    static bool update(const std::function<void(Value& root)>& change);

    // Writes `defaults` as the file when there is none. True only when it wrote the file now.
    static bool createIfMissing(const Value& defaults);

    // Replaces the whole file with `root` (a dictionary).
    static bool write(const Value& root);
};

}  // namespace qv
