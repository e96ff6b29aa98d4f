#pragma once
// Writing a resource lens database file: the counterpart of DatReader, used by the qv-lensdb tool
// and by the tests that need databases of their own.
#include <cstdint>
#include <string>
#include <vector>

#include "lens/DatFormat.h"

namespace lensdb {

// The file's bytes for a database. Fails, with a message in `error`, when the reader would refuse the
// result or turn part of it into stand-ins: a table without records, a name holding a NUL byte, an
// index outside its table, or a file beyond what 32-bit offsets reach.
bool encodeDatabase(const DATDatabase& db, std::vector<std::uint8_t>& bytes, std::string& error);

// Encodes and writes the file whole: a failed write leaves what was at `path` as it was.
bool writeDatabaseFile(const DATDatabase& db, const std::string& path, std::string& error);

}  // namespace lensdb
