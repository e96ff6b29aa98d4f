// The private temporary folders: "QuorvelCI-<uid>-XXXXXX" under $TMPDIR (else /tmp).
//
// Each folder holds a lock file that its process keeps locked (flock) for as long as it runs; the
// kernel lets go of the lock when the process ends, however it ends. A folder whose lock can be
// taken belongs to nobody any more and may be removed. Folders from before the lock file, or from a
// process killed between making the folder and locking it, have no lock file: they are taken once
// they have been left alone for a while.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <map>
#include <mutex>
#include <string>

#include "foundation/Assert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace qv::paths {

namespace {

constexpr const char* kLockName = ".lock";
constexpr std::time_t kUnlockedFolderAge = 10 * 60;  // seconds a folder without a lock file is left alone

std::string temporaryBase() {
    const char* base = std::getenv("TMPDIR");
    std::string path = base && *base ? base : "/tmp";
    while (path.size() > 1 && path.back() == '/') path.pop_back();
    return path;
}

std::string folderPrefix() { return "QuorvelCI-" + std::to_string(::geteuid()) + "-"; }

bool isPrivateFolder(const std::string& path, struct stat* out = nullptr) {
    struct stat st;
    const bool ok = ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::geteuid() &&
                    (st.st_mode & 0777) == 0700;
    if (ok && out) *out = st;
    return ok;
}

void removeFolder(const std::string& path) {
    std::error_code ignored;
    std::filesystem::remove_all(path, ignored);  // does not follow links inside
}

struct Folder {
    std::string path;
    int lock = -1;  // held for the life of the process
};

// The folders this process made, one per home folder. Never destroyed: the exit handler reads it
// after static objects may already be gone.
struct Folders {
    std::mutex mutex;
    std::map<std::string, Folder> byHome;
    pid_t owner = ::getpid();
};

Folders& folders() {
    static Folders* made = new Folders;
    return *made;
}

void removeOwnFolders() {
    Folders& all = folders();
    std::lock_guard<std::mutex> lock(all.mutex);
    if (::getpid() != all.owner) return;  // a forked child leaving: the folders are its parent's
    for (auto& [home, folder] : all.byHome) {
        removeFolder(folder.path);
        if (folder.lock >= 0) ::close(folder.lock);
        folder.lock = -1;
    }
    all.byHome.clear();
}

int lockedFile(const std::string& folder) {
    const std::string path = folder + "/" + kLockName;
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) return -1;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

}  // namespace

std::string temporaryFolder() {
    Folders& all = folders();
    std::lock_guard<std::mutex> guard(all.mutex);
    const std::string home = homeFolder();
    auto known = all.byHome.find(home);
    if (known != all.byHome.end() && isPrivateFolder(known->second.path)) return known->second.path + "/";
    if (known != all.byHome.end() && known->second.lock >= 0) ::close(known->second.lock);

    // mkdtemp makes the folder with mode 0700 under a name nobody can guess, so another user of a
    // shared /tmp can neither read the working copies nor plant a link where we will write.
    std::string pattern = temporaryBase() + "/" + folderPrefix() + "XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        QVAssert(false, "cannot create the temporary folder");
        return temporaryBase() + "/";
    }
    static const bool registered = std::atexit(removeOwnFolders) == 0;
    (void)registered;
    all.byHome[home] = Folder{pattern, lockedFile(pattern)};
    return pattern + "/";
}

void sweepStaleTemporaryFolders() {
    const std::string base = temporaryBase();
    const auto names = files::listFolder(base);
    if (!names) return;
    const std::string prefix = folderPrefix();
    const std::time_t now = std::time(nullptr);
    for (const std::string& name : *names) {
        if (name.compare(0, prefix.size(), prefix) != 0 || name.size() != prefix.size() + 6) continue;
        const std::string path = base + "/" + name;
        struct stat folder;
        if (!isPrivateFolder(path, &folder)) continue;
        {
            Folders& all = folders();
            std::lock_guard<std::mutex> guard(all.mutex);
            bool own = false;
            for (const auto& entry : all.byHome) own = own || entry.second.path == path;
            if (own) continue;
        }
        const std::string lockPath = path + "/" + kLockName;
        struct stat lockStat;
        if (::lstat(lockPath.c_str(), &lockStat) != 0) {
            if (now - folder.st_mtime >= kUnlockedFolderAge) removeFolder(path);
            continue;
        }
        // Taken, the lock is held while the folder goes, so nobody can pick the folder up meanwhile.
        const int lock = lockedFile(path);
        if (lock < 0) continue;  // a running process holds it
        removeFolder(path);
        ::close(lock);
    }
}

}  // namespace qv::paths
