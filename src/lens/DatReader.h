#pragma once
// Reading a resource lens database file into its decoded records.
//
// The file is not trusted. Its structure (header, every table's place and size, the pool) is checked
// against the file's real size before anything is read, and a structural fault fails the read. A
// record that points outside its table or the pool gets a safe stand-in instead (an empty name, no
// group, no calibration), so that one bad record does not cost the user the whole database.
#include <string>

#include "lens/DatFormat.h"

namespace lensdb {

enum class ReadStatus {
    Ok,
    CannotOpen,  // the path cannot be opened for reading
    ReadFailed,  // the header, a table or the pool could not be read whole
    BadMagic,
    BadVersion,
    BadLayout,   // a count or an offset that no file of this format can hold
};

struct ReadResult {
    ReadStatus status = ReadStatus::ReadFailed;
    std::string message;   // what went wrong, for people; empty on success
    DATDatabase database;  // the whole database; empty unless status is Ok

    bool ok() const { return status == ReadStatus::Ok; }
};

// Reads the whole file at path. Names are kept as the bytes the pool holds.
ReadResult readDatabaseFile(const std::string& path);

}  // namespace lensdb
