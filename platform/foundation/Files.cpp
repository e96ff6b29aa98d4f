#include "foundation/Files.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <csignal>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <memory>
#include <system_error>

#include "foundation/Paths.h"

namespace qv::files {

namespace {

constexpr double kUnixSecondsAtReferenceDate = 978307200.0;  // 2001-01-01 00:00:00 UTC

bool statOf(const std::string& path, struct stat& st) { return !path.empty() && ::stat(path.c_str(), &st) == 0; }
bool lstatOf(const std::string& path, struct stat& st) { return !path.empty() && ::lstat(path.c_str(), &st) == 0; }

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : m_fd(fd) {}
    ~FileDescriptor() { reset(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    bool valid() const { return m_fd >= 0; }
    bool close() {  // true when the descriptor closed cleanly (a late write error shows here)
        int fd = m_fd;
        m_fd = -1;
        return fd < 0 || ::close(fd) == 0;
    }
    void reset(int fd = -1) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = fd;
    }
    void release() { m_fd = -1; }  // the caller now owns the descriptor

private:
    int m_fd;
};

bool writeAll(int fd, const void* bytes, std::size_t size) {
    auto p = static_cast<const char*>(bytes);
    while (size > 0) {
        ssize_t n = ::write(fd, p, size);
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        p += n;
        size -= std::size_t(n);
    }
    return true;
}

// The permission bits new files get: the process's umask applied to 0666. Reading the umask with
// umask() would change it for a moment under the feet of other threads, so it is read from /proc.
mode_t newFileMode() {
    mode_t mask = 022;
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            mask = mode_t(std::strtoul(line.c_str() + 6, nullptr, 8));
            break;
        }
    }
    return 0666 & ~mask;
}

std::string folderOf(const std::string& path) {
    std::string folder = paths::deletingLastPathComponent(path);
    return folder.empty() ? "." : folder;
}

// A temporary file beside `target`, hidden, that the caller fills and then publishes.
struct TemporaryFile {
    std::string path;
    FileDescriptor fd;
    int failure = 0;  // errno when no file could be made

    explicit TemporaryFile(const std::string& target) {
        // A name near the length limit still leaves room for the hidden prefix and the suffix.
        std::string name = paths::lastPathComponent(target).substr(0, 200);
        std::string pattern = paths::appendingPathComponent(folderOf(target), "." + name + ".XXXXXX");
        int descriptor = ::mkostemp(pattern.data(), O_CLOEXEC);
        if (descriptor >= 0) {
            path = pattern;
            fd.reset(descriptor);
        } else {
            failure = errno;
        }
    }
    ~TemporaryFile() {
        fd.reset();
        if (!path.empty()) ::unlink(path.c_str());
    }
    bool valid() const { return fd.valid(); }
    void published() { path.clear(); }
};

void syncFolder(const std::string& folder) {
    FileDescriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.valid()) ::fsync(fd.get());
}

// Renames `from` to `to` unless something is at `to`.
bool renameNoReplace(const std::string& from, const std::string& to, bool isFolder) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0) return true;
    if (errno != EINVAL && errno != ENOSYS) return false;
    // File systems without the flag: a hard link refuses an existing target just the same.
    if (!isFolder) return ::link(from.c_str(), to.c_str()) == 0 && ::unlink(from.c_str()) == 0;
    struct stat st;
    return !lstatOf(to, st) && ::rename(from.c_str(), to.c_str()) == 0;
}

bool copyBytes(int in, int out) {
    for (;;) {
        ssize_t n = ::copy_file_range(in, nullptr, out, nullptr, 1 << 30, 0);
        if (n == 0) return true;
        if (n > 0) continue;
        if (errno == EINTR) continue;
        if (errno != EXDEV && errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP) return false;
        break;  // not supported between these files: copy through a buffer
    }
    std::unique_ptr<char[]> buffer(new char[1 << 16]);
    for (;;) {
        ssize_t n = ::read(in, buffer.get(), 1 << 16);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        if (!writeAll(out, buffer.get(), std::size_t(n))) return false;
    }
}

bool copyFile(const std::string& from, const std::string& to, const struct stat& source) {
    FileDescriptor in(::open(from.c_str(), O_RDONLY | O_CLOEXEC));
    if (!in.valid()) return false;
    TemporaryFile temp(to);
    if (!temp.valid() || !copyBytes(in.get(), temp.fd.get())) return false;
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (::fchmod(temp.fd.get(), source.st_mode & 07777) != 0 || ::futimens(temp.fd.get(), times) != 0) return false;
    if (::fsync(temp.fd.get()) != 0 || !temp.fd.close()) return false;
    if (!renameNoReplace(temp.path, to, false)) return false;
    temp.published();
    return true;
}

bool copyLink(const std::string& from, const std::string& to) {
    std::string target(PATH_MAX, '\0');
    ssize_t n = ::readlink(from.c_str(), target.data(), target.size());
    if (n < 0 || std::size_t(n) >= target.size()) return false;
    target.resize(std::size_t(n));
    return ::symlink(target.c_str(), to.c_str()) == 0;
}

bool copyFolder(const std::string& from, const std::string& to, const struct stat& source) {
    if (::mkdir(to.c_str(), 0700) != 0) return false;
    auto names = listFolder(from);
    bool ok = names.has_value();
    for (std::size_t i = 0; ok && i < names->size(); ++i) {
        const std::string& name = (*names)[i];
        ok = copyItem(paths::appendingPathComponent(from, name), paths::appendingPathComponent(to, name));
    }
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    ok = ok && ::chmod(to.c_str(), source.st_mode & 07777) == 0 &&
         ::utimensat(AT_FDCWD, to.c_str(), times, 0) == 0;
    if (!ok) removeItem(to);
    return ok;
}

// The file a path names with its links followed, to a file that need not exist yet (a link may
// name a file still to be made); nothing (errno set) for a loop of links or an unreadable link.
std::optional<std::string> followLinks(std::string path) {
    constexpr int kMostLinks = 40;  // as many as the system follows in one path
    for (int followed = 0; followed < kMostLinks; ++followed) {
        struct stat st;
        if (!lstatOf(path, st) || !S_ISLNK(st.st_mode)) return path;
        std::string target(PATH_MAX, '\0');
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || std::size_t(n) >= target.size()) {
            if (n >= 0) errno = ENAMETOOLONG;
            return std::nullopt;
        }
        target.resize(std::size_t(n));
        path = target.front() == '/' ? target : paths::appendingPathComponent(folderOf(path), target);
    }
    errno = ELOOP;
    return std::nullopt;
}

// Whether this user may write the file: one without any write permission is read-only for
// everyone, the superuser included, and is never replaced.
bool userMayWrite(const std::string& path, const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) != 0 &&
           ::faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

}  // namespace

bool exists(const std::string& path) {
    struct stat st;
    return statOf(path, st);
}

bool isFolder(const std::string& path) {
    struct stat st;
    return statOf(path, st) && S_ISDIR(st.st_mode);
}

bool createFolder(const std::string& path, bool withIntermediates) {
    if (path.empty()) return false;
    if (!withIntermediates) return ::mkdir(path.c_str(), 0777) == 0;
    std::error_code ec;
    std::filesystem::create_directories(path, ec);
    return !ec && isFolder(path);
}

bool copyItem(const std::string& from, const std::string& to) {
    struct stat source, existing;
    if (!lstatOf(from, source) || to.empty() || lstatOf(to, existing)) return false;
    if (S_ISLNK(source.st_mode)) return copyLink(from, to);
    if (S_ISDIR(source.st_mode)) {
        std::string inside = paths::appendingPathComponent(from, "") + "/";
        if (paths::appendingPathComponent(to, "").rfind(inside, 0) == 0) return false;  // a folder into itself
        return copyFolder(from, to, source);
    }
    if (S_ISREG(source.st_mode)) return copyFile(from, to, source);
    return false;  // devices, sockets and pipes are not copied
}

bool moveItem(const std::string& from, const std::string& to) {
    struct stat source, existing;
    if (!lstatOf(from, source) || to.empty() || lstatOf(to, existing)) return false;
    bool folder = S_ISDIR(source.st_mode);
    if (renameNoReplace(from, to, folder)) return true;
    if (errno != EXDEV) return false;
    if (!copyItem(from, to)) return false;
    if (removeItem(from)) return true;
    removeItem(to);  // leave things as they were rather than with two copies
    return false;
}

bool removeItem(const std::string& path) {
    struct stat st;
    if (!lstatOf(path, st)) return false;
    if (!S_ISDIR(st.st_mode)) return ::unlink(path.c_str()) == 0;
    std::error_code ec;
    std::filesystem::remove_all(path, ec);  // does not follow links inside the folder
    return !ec;
}

std::optional<std::vector<std::string>> listFolder(const std::string& path) {
    std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(path.c_str()), ::closedir);
    if (!dir) return std::nullopt;
    std::vector<std::string> names;
    errno = 0;
    while (struct dirent* entry = ::readdir(dir.get())) {
        std::string name = entry->d_name;
        if (name != "." && name != "..") names.push_back(std::move(name));
    }
    if (errno != 0) return std::nullopt;
    std::sort(names.begin(), names.end());
    return names;
}

std::optional<Date> modificationDate(const std::string& path) {
    struct stat st;
    if (!lstatOf(path, st)) return std::nullopt;
    return Date{double(st.st_mtim.tv_sec) - kUnixSecondsAtReferenceDate + st.st_mtim.tv_nsec / 1e9};
}

std::optional<std::uint64_t> fileSize(const std::string& path) {
    struct stat st;
    if (!statOf(path, st)) return std::nullopt;
    return std::uint64_t(st.st_size);
}

int openRegularFile(const std::string& path) {
    if (path.empty()) return -1;
    // Non-blocking, so that a FIFO opens at once and can be seen for what it is.
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode)) return -1;
    const int flags = ::fcntl(fd.get(), F_GETFL);
    if (flags < 0 || ::fcntl(fd.get(), F_SETFL, flags & ~O_NONBLOCK) != 0) return -1;
    const int result = fd.get();
    fd.release();
    return result;
}

std::optional<Data> readWhole(const std::string& path) {
    FileDescriptor fd(openRegularFile(path));
    struct stat st;
    if (!fd.valid() || ::fstat(fd.get(), &st) != 0) return std::nullopt;
    Data data;
    data.reserve(std::size_t(st.st_size));
    char buffer[1 << 16];
    for (;;) {
        ssize_t n = ::read(fd.get(), buffer, sizeof buffer);
        if (n == 0) return data;
        if (n < 0) {
            if (errno == EINTR) continue;
            return std::nullopt;
        }
        data.insert(data.end(), buffer, buffer + n);
    }
}

void ignoreFileSizeLimitSignal() { std::signal(SIGXFSZ, SIG_IGN); }

ReplacingFile::ReplacingFile(const std::string& path) : m_path(path) {
    if (path.empty()) {
        fail(ENOENT);
        return;
    }
    // Writing to a link writes the file it names, and leaves the link in place.
    const std::optional<std::string> target = followLinks(path);
    if (!target) {
        fail(errno);
        return;
    }
    m_target = *target;
    struct stat st;
    m_replacing = statOf(m_target, st);
    if (m_replacing) {
        if (!S_ISREG(st.st_mode)) {
            fail(S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
            return;
        }
        // Renaming over a file needs only the folder's permission; the file's own is checked here,
        // so that a file the user may not write is never replaced.
        if (!userMayWrite(m_target, st)) {
            fail(EACCES);
            return;
        }
        m_ownerID = st.st_uid, m_groupID = st.st_gid, m_mode = st.st_mode & 07777;
    }
    TemporaryFile temp(m_target);
    if (!temp.valid()) {
        fail(temp.failure);
        return;
    }
    m_temporary = temp.path;
    m_fd = temp.fd.get();
    temp.fd.release();
    temp.published();
}

ReplacingFile::~ReplacingFile() {
    if (m_fd >= 0) ::close(m_fd);
    if (!m_temporary.empty()) ::unlink(m_temporary.c_str());
}

bool ReplacingFile::fail(int code) {
    if (m_error.empty()) m_error = "cannot write " + m_path + ": " + std::strerror(code);
    errno = code;
    return false;
}

bool ReplacingFile::commit() {
    if (m_fd < 0) return false;
    FileDescriptor written(m_fd);
    m_fd = -1;
    if (!written.close()) return fail(errno);  // a late write error shows here
    // A writer given the temporary path may have put a new file there: what is at the path now is
    // what replaces the target.
    FileDescriptor fd(::open(m_temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (!fd.valid()) return fail(errno);
    if (m_replacing) {
        if (::fchown(fd.get(), m_ownerID, m_groupID) != 0) {
            // Only the superuser can give a file away; the replacement then belongs to us.
        }
        if (::fchmod(fd.get(), m_mode) != 0) return fail(errno);
    } else if (::fchmod(fd.get(), newFileMode()) != 0) {
        return fail(errno);
    }
    if (::fsync(fd.get()) != 0) return fail(errno);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) return fail(errno);
    m_temporary.clear();
    syncFolder(folderOf(m_target));
    return true;
}

bool writeWhole(const std::string& path, const void* bytes, std::size_t size) {
    ReplacingFile file(path);
    return file.valid() && writeAll(file.fd(), bytes, size) && file.commit();
}

}  // namespace qv::files
