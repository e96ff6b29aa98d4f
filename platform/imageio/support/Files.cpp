#include "imageio/support/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace qv::io::support {

namespace {

std::string describeErrno(const std::string& what, const std::string& path) {
    return what + " " + path + ": " + std::strerror(errno);
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : m_fd(fd) {}
    ~FileDescriptor() {
        if (m_fd >= 0) ::close(m_fd);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return m_fd; }
    int release() {
        int fd = m_fd;
        m_fd = -1;
        return fd;
    }

private:
    int m_fd;
};

// The file a path finally names, following symbolic links; the path itself when it names nothing
// yet or cannot be resolved.
std::string resolvedTarget(const std::string& path) {
    struct stat info;
    if (::lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode)) return path;
    char* resolved = ::realpath(path.c_str(), nullptr);
    if (!resolved) return path;
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// The process's file-creation mask, read without changing it (umask() would, racing other threads).
mode_t currentUmask() {
    FILE* status = std::fopen("/proc/self/status", "re");
    mode_t mask = 022;
    if (!status) return mask;
    char line[256];
    while (std::fgets(line, sizeof line, status)) {
        unsigned value = 0;
        if (std::sscanf(line, "Umask: %o", &value) == 1) {
            mask = mode_t(value);
            break;
        }
    }
    std::fclose(status);
    return mask;
}

}  // namespace

bool readWholeFile(const std::string& path, Data& out, std::string& error, std::size_t maxBytes) {
    out.clear();
    FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        error = describeErrno("cannot open", path);
        return false;
    }
    struct stat info;
    if (::fstat(fd.get(), &info) != 0) {
        error = describeErrno("cannot examine", path);
        return false;
    }
    if (!S_ISREG(info.st_mode)) {
        error = "not a regular file: " + path;
        return false;
    }
    if (std::uint64_t(info.st_size) > maxBytes) {
        error = "file too large: " + path;
        return false;
    }
    out.resize(std::size_t(info.st_size));
    std::size_t done = 0;
    while (done < out.size()) {
        ssize_t n = ::read(fd.get(), out.data() + done, out.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = describeErrno("cannot read", path);
            out.clear();
            return false;
        }
        if (n == 0) break;  // the file shrank while we read it
        done += std::size_t(n);
    }
    out.resize(done);
    return true;
}

bool writeFileAtomically(const std::string& path, const Data& bytes, std::string& error) {
    const std::string target = resolvedTarget(path);
    const auto slash = target.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : (slash == 0 ? "/" : target.substr(0, slash));
    std::string leaf = slash == std::string::npos ? target : target.substr(slash + 1);
    if (leaf.empty()) {
        error = "not a file path: " + path;
        return false;
    }
    struct stat existing;
    const bool exists = ::stat(target.c_str(), &existing) == 0;
    if (exists && !S_ISREG(existing.st_mode)) {
        error = "not a regular file: " + path;
        return false;
    }

    std::string pattern = folder + "/." + leaf.substr(0, 100) + ".XXXXXX";
    std::vector<char> name(pattern.begin(), pattern.end());
    name.push_back('\0');
    FileDescriptor fd(::mkostemp(name.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        error = describeErrno("cannot create a temporary file in", folder);
        return false;
    }
    const std::string temporary(name.data());
    auto fail = [&](const std::string& what) {
        error = describeErrno(what, temporary);
        ::unlink(temporary.c_str());
        return false;
    };

    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(fd.get(), bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail("cannot write");
        done += std::size_t(n);
    }
    // A new file gets the permissions a plain create would give it (0666 less the umask); an
    // existing one keeps its own.
    mode_t mode = 0;
    if (exists) {
        mode = existing.st_mode & 07777;
    } else {
        mode = 0666 & ~currentUmask();
    }
    if (::fchmod(fd.get(), mode) != 0) return fail("cannot set the permissions of");
    if (::fsync(fd.get()) != 0) return fail("cannot flush");
    if (::close(fd.release()) != 0) return fail("cannot close");
    if (::rename(temporary.c_str(), target.c_str()) != 0) return fail("cannot rename");
    return true;
}

}  // namespace qv::io::support
