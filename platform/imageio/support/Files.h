#pragma once
// The image layer's file access on top of the foundation's: reads refuse what cannot be a photo
// (folders, devices, pipes, files beyond any photo's size) with a message, and writes replace a file
// whole through the foundation's temporary-file-and-rename, so a failure leaves it as it was.
#include <cstdint>
#include <string>

#include "foundation/Value.h"

namespace qv::io::support {

// Reads a regular file whole. Directories, special files and files above maxBytes fail.
bool readWholeFile(const std::string& path, Data& out, std::string& error,
                   std::size_t maxBytes = std::size_t(4) << 30);

// Replaces (or creates) the file at path with bytes (permissions and links kept).
bool writeFileAtomically(const std::string& path, const Data& bytes, std::string& error);

// Reads or writes `size` bytes of the open file `fd` at `offset`, until all are done or the file
// ends or fails; the bytes done.
std::size_t readAllAt(int fd, void* buffer, std::size_t size, std::uint64_t offset);
std::size_t writeAllAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset);

// Writes all of `bytes` into the open file `fd` at `offset`.
bool writeAt(int fd, const Data& bytes, std::uint64_t offset, std::string& error);
// Reads `size` bytes of the open file `fd` at `offset` into `out` (appended); false when the
// file ends before.
bool readAt(int fd, std::uint64_t offset, std::size_t size, Data& out, std::string& error);

}  // namespace qv::io::support
