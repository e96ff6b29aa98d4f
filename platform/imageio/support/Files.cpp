#include "imageio/support/Files.h"

#include <sys/stat.h>
#include <unistd.h>

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

namespace {

// Runs `transfer(done)` (a pread or pwrite of the rest from `done` on) until all of `size` bytes
// are done or the file ends or fails; the bytes done.
template <class Transfer>
std::size_t transferAll(std::size_t size, Transfer transfer) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = transfer(done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += std::size_t(n);
    }
    return done;
}

std::string failure(const char* what, const char* early) {
    return std::string(what) + (errno ? std::strerror(errno) : early);
}

}  // namespace

std::size_t readAllAt(int fd, void* buffer, std::size_t size, std::uint64_t offset) {
    return transferAll(size, [&](std::size_t done) {
        return ::pread(fd, static_cast<std::uint8_t*>(buffer) + done, size - done, off_t(offset + done));
    });
}

std::size_t writeAllAt(int fd, const void* buffer, std::size_t size, std::uint64_t offset) {
    return transferAll(size, [&](std::size_t done) {
        return ::pwrite(fd, static_cast<const std::uint8_t*>(buffer) + done, size - done, off_t(offset + done));
    });
}

bool writeAt(int fd, const Data& bytes, std::uint64_t offset, std::string& error) {
    errno = 0;
    if (writeAllAt(fd, bytes.data(), bytes.size(), offset) == bytes.size()) return true;
    error = failure("cannot write the file: ", "no room");
    return false;
}

bool readAt(int fd, std::uint64_t offset, std::size_t size, Data& out, std::string& error) {
    const std::size_t start = out.size();
    out.resize(start + size);
    errno = 0;
    const std::size_t done = readAllAt(fd, out.data() + start, size, offset);
    if (done == size) return true;
    out.resize(start + done);
    error = failure("cannot read the file back: ", "it ends early");
    return false;
}

}  // namespace qv::io::support
