#pragma once
// The image layer's file access on top of the foundation's: reads refuse what cannot be a photo
// (folders, devices, pipes, files beyond any photo's size) with a message, and writes replace a file
// whole through the foundation's temporary-file-and-rename, so a failure leaves it as it was.
#include <string>

#include "foundation/Value.h"

namespace qv::io::support {

// Reads a regular file whole. Directories, special files and files above maxBytes fail.
bool readWholeFile(const std::string& path, Data& out, std::string& error,
                   std::size_t maxBytes = std::size_t(4) << 30);

// Replaces (or creates) the file at path with bytes (permissions and links kept).
bool writeFileAtomically(const std::string& path, const Data& bytes, std::string& error);

}  // namespace qv::io::support
