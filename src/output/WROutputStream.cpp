#include "output/WROutputStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <cstdlib>
#include <filesystem>
#include <memory>

namespace {

constexpr std::size_t kBufferSize = std::size_t(1) << 20;

std::string systemError(const std::string& what, const std::string& path) {
    return what + " \"" + path + "\": " + std::strerror(errno);
}

// The file a write to `path` replaces: the path itself, or the file a link there points to.
std::string targetOf(const std::string& path) {
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::unique_ptr<char, void (*)(void*)> resolved(::realpath(path.c_str(), nullptr), std::free);
    return resolved ? std::string(resolved.get()) : path;
}

// A name beside the destination that no other writer in this or another process uses: the
// destination's folder keeps the rename on one file system, and O_EXCL guards against clashes.
int createTemporaryBeside(const std::string& destination, std::string& temporary) {
    static std::atomic<unsigned> counter{0};
    const std::filesystem::path target(destination);
    std::filesystem::path folder = target.parent_path();
    if (folder.empty()) folder = ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        const std::string name = "." + target.filename().string() + "." + std::to_string(::getpid()) + "." +
                                 std::to_string(counter.fetch_add(1)) + ".tmp";
        temporary = (folder / name).string();
        // 0666 lets the umask decide the mode, as for any file the user's programs create.
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST) return fd;
    }
    errno = EEXIST;
    return -1;
}

}  // namespace

WROutputStream::WROutputStream(std::string destination) : m_destination(std::move(destination)) {
    if (m_destination.empty() || std::filesystem::path(m_destination).filename().empty()) {
        m_error = "No output file name was given.";
        return;
    }
    m_target = targetOf(m_destination);
    m_fd = createTemporaryBeside(m_target, m_temporary);
    if (m_fd < 0) {
        fail(systemError("Cannot create a file beside", m_destination));
        m_temporary.clear();
        return;
    }
    m_buffer.reserve(kBufferSize);
}

WROutputStream::~WROutputStream() {
    if (!m_committed) discard();
}

void WROutputStream::fail(const std::string& what) {
    if (m_error.empty()) m_error = what;
}

void WROutputStream::writeOut(const std::uint8_t* bytes, std::size_t count) {
    std::size_t done = 0;
    while (ok() && done < count) {
        const ssize_t n = ::write(m_fd, bytes + done, count - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            fail(systemError("Cannot write", m_destination));
            break;
        }
        done += std::size_t(n);
    }
    m_written += done;
}

void WROutputStream::flush() {
    writeOut(m_buffer.data(), m_buffer.size());
    m_buffer.clear();
}

void WROutputStream::writeBytes(const void* bytes, std::size_t count) {
    if (!ok() || count == 0) return;
    const auto* p = static_cast<const std::uint8_t*>(bytes);
    if (m_buffer.size() + count > kBufferSize) flush();
    if (count >= kBufferSize) {
        writeOut(p, count);  // large runs go straight out instead of through the buffer
        return;
    }
    m_buffer.insert(m_buffer.end(), p, p + count);
}

void WROutputStream::writeZeros(std::size_t count) {
    static const std::uint8_t zeros[4096] = {};
    while (count > 0) {
        const std::size_t n = std::min(count, sizeof zeros);
        writeBytes(zeros, n);
        count -= n;
    }
}

void WROutputStream::writeU16(std::uint16_t v) {
    const std::uint8_t b[2] = {std::uint8_t(v >> 8), std::uint8_t(v)};
    writeBytes(b, 2);
}

void WROutputStream::writeU32(std::uint32_t v) {
    const std::uint8_t b[4] = {std::uint8_t(v >> 24), std::uint8_t(v >> 16), std::uint8_t(v >> 8), std::uint8_t(v)};
    writeBytes(b, 4);
}

bool WROutputStream::commit() {
    if (m_fd < 0) {
        fail("The output file is not open.");
        return false;
    }
    flush();
    struct stat replaced;
    if (ok() && ::stat(m_target.c_str(), &replaced) == 0) {
        if (!S_ISREG(replaced.st_mode))
            fail("\"" + m_destination + "\" is not a file.");
        else if (::fchmod(m_fd, replaced.st_mode & 07777) != 0)
            fail(systemError("Cannot write", m_destination));
    }
    if (ok() && ::fsync(m_fd) != 0) fail(systemError("Cannot write", m_destination));
    if (::close(m_fd) != 0) fail(systemError("Cannot write", m_destination));
    m_fd = -1;
    if (ok() && std::rename(m_temporary.c_str(), m_target.c_str()) != 0)
        fail(systemError("Cannot replace", m_destination));
    if (!ok()) {
        discard();
        return false;
    }
    m_committed = true;
    // The rename itself reaches the disk with the folder.
    const std::string folder = std::filesystem::path(m_target).parent_path().string();
    const int folderFd = ::open(folder.empty() ? "." : folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folderFd >= 0) {
        ::fsync(folderFd);
        ::close(folderFd);
    }
    return true;
}

void WROutputStream::discard() {
    if (m_fd >= 0) ::close(m_fd);
    m_fd = -1;
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
    m_temporary.clear();
}
