#include "imageio/support/Files.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "foundation/Files.h"

namespace qv::io::support {

bool readWholeFile(const std::string& path, Data& out, std::string& error, std::size_t maxBytes) {
    out.clear();
    struct stat info;
    if (::stat(path.c_str(), &info) != 0) {
        error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    // Only regular files: a pipe or a device would block or never end.
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file: " + path;
        return false;
    }
    if (std::uint64_t(info.st_size) > maxBytes) {
        error = "file too large: " + path;
        return false;
    }
    auto bytes = files::readWhole(path);
    if (!bytes) {
        error = "cannot read " + path;
        return false;
    }
    out = std::move(*bytes);
    return true;
}

bool writeFileAtomically(const std::string& path, const Data& bytes, std::string& error) {
    errno = 0;
    if (files::writeWhole(path, bytes)) return true;
    error = "cannot write " + path + (errno ? std::string(": ") + std::strerror(errno) : std::string());
    return false;
}

}  // namespace qv::io::support
