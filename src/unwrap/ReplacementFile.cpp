#include "unwrap/ReplacementFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <ios>
#include <random>

namespace unwrap {

namespace {

std::string folderOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    if (slash == 0) return "/";
    return path.substr(0, slash);
}

std::string leafOf(const std::string& path) {
    const std::string::size_type slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::ios_base::failure systemFailure(const std::string& what, const std::string& path, int error) {
    return std::ios_base::failure(what + " " + path + ": " + std::strerror(error));
}

}  // namespace

ReplacementFile::ReplacementFile(const std::string& target) : m_target(target) {
    static std::atomic<unsigned> counter{0};
    std::random_device entropy;
    const std::string stem = folderOf(target) + "/." + leafOf(target) + ".";
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, "%d-%u-%08x.part", int(getpid()), counter++, unsigned(entropy()));
        const std::string candidate = stem + suffix;
        const int fd = ::open(candidate.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0) {
            m_temporary = candidate;
            m_descriptor = fd;
            return;
        }
        if (errno != EEXIST) throw systemFailure("cannot create a file beside", target, errno);
    }
    throw systemFailure("cannot create a file beside", target, EEXIST);
}

ReplacementFile::~ReplacementFile() {
    if (m_descriptor >= 0) ::close(m_descriptor);
    if (!m_committed) ::unlink(m_temporary.c_str());
}

int ReplacementFile::takeDescriptor() {
    const int fd = m_descriptor;
    m_descriptor = -1;
    return fd;
}

void ReplacementFile::commit() {
    struct stat existing;
    if (::stat(m_target.c_str(), &existing) == 0 && S_ISREG(existing.st_mode))
        ::chmod(m_temporary.c_str(), existing.st_mode & 07777);
    if (::rename(m_temporary.c_str(), m_target.c_str()) != 0) throw systemFailure("cannot write", m_target, errno);
    m_committed = true;
}

}  // namespace unwrap
