#pragma once
// Whole-file reads and writes for the image layer. A write goes to a temporary file in the target's
// folder that is renamed over the target only once it is complete, so a failure leaves the target
// as it was.
#include <string>

#include "foundation/Value.h"

namespace qv::io::support {

// Reads a regular file whole. Directories, special files and files above maxBytes fail.
bool readWholeFile(const std::string& path, Data& out, std::string& error,
                   std::size_t maxBytes = std::size_t(4) << 30);

// Replaces (or creates) the file at path with bytes. An existing file keeps its permission bits,
// and a symbolic link keeps pointing where it did: the file it names is the one replaced.
bool writeFileAtomically(const std::string& path, const Data& bytes, std::string& error);

}  // namespace qv::io::support
