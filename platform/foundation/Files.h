#pragma once
// The file system, the way the rest of the system needs it. Every function answers false or
// nothing on failure and never throws.
//
// Whole-file writes go through ReplacingFile (below): they never truncate what was there, never
// replace a file the user may not write, keep a replaced file's permissions and write through a link.
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "foundation/Value.h"

namespace qv::files {

bool exists(const std::string& path);    // something is there (links followed; a dangling link is nothing)
bool isFolder(const std::string& path);  // a folder is there (links followed)

// Creates a folder. Without intermediates the parent must exist and the folder must not; with them,
// missing parents are created and an existing folder counts as success.
bool createFolder(const std::string& path, bool withIntermediates = false);

// Copies a file, a link (as a link) or a folder with everything in it. Fails when something is at
// `to` already. Files keep their permissions and modification dates.
bool copyItem(const std::string& from, const std::string& to);
// Moves or renames. Fails when something is at `to` already; crosses file systems by copying.
bool moveItem(const std::string& from, const std::string& to);
// Removes a file, a link (never its target) or a folder with everything in it. False when nothing
// was there or something could not be removed.
bool removeItem(const std::string& path);

// The names in a folder (not recursive, no "." or ".."), sorted; nothing when it cannot be listed.
std::optional<std::vector<std::string>> listFolder(const std::string& path);

// The modification date of the item itself (a link's own date, not its target's).
std::optional<Date> modificationDate(const std::string& path);
std::optional<std::uint64_t> fileSize(const std::string& path);

// A read-only descriptor (closed on exec) of the regular file at `path`, links followed; -1 for
// anything else. A FIFO or a device is refused without blocking: opening a FIFO for reading waits
// for a writer, and a device may never end.
int openRegularFile(const std::string& path);

// The bytes of a regular file (see openRegularFile); nothing for anything else.
std::optional<Data> readWhole(const std::string& path);

// Makes a write past the process's file-size limit (RLIMIT_FSIZE) fail with EFBIG, like a full
// disk, instead of killing the process with SIGXFSZ: the failure is then reported and the
// temporary file removed, and the old file stays. Programs call it once at their start.
void ignoreFileSizeLimitSignal();

// Writes a whole file through ReplacingFile; false (errno set) when refused or not written.
bool writeWhole(const std::string& path, const void* bytes, std::size_t size);
inline bool writeWhole(const std::string& path, std::string_view text) {
    return writeWhole(path, text.data(), text.size());
}
inline bool writeWhole(const std::string& path, const Data& data) {
    return writeWhole(path, data.data(), data.size());
}

// Writing a user's file, whole or a piece at a time (as an encoder writes it). The bytes go to a
// temporary file beside the target, and commit() flushes it to the disk and renames it over the
// target, so a failed or interrupted write leaves the old file as it was. Before anything is made:
// - a link at the target is followed to the file it names (made when it does not exist yet), and
//   the link stays;
// - an existing file is replaced only when this user may write it: a file nobody may write (no
//   write permission at all) is refused whoever runs us, and so is anything but a regular file;
// - the temporary name stays within the file system's name limit whatever the target's name.
// A replaced file keeps its permissions (and its owner and group where we may give them).
// Without a commit the temporary file is removed and the target stays as it was.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when the target is refused or no temporary file could be made (error() says why).
    bool valid() const { return m_fd >= 0; }
    // The temporary file, open for reading and writing.
    int fd() const { return m_fd; }
    // The temporary file's path, for writers that take a path (an encoder, the image tool): what
    // is at this path when commit() runs is what replaces the target.
    const std::string& temporaryPath() const { return m_temporary; }
    // True when the target now holds what was written; once only.
    bool commit();
    // Why the target was refused or could not be written ("cannot write PATH: reason"); empty while
    // all went well. errno holds the same failure after a failed constructor or commit.
    const std::string& error() const { return m_error; }

private:
    bool fail(int code);

    std::string m_path;        // as the caller named it
    std::string m_target;      // the file written: the path with its links followed
    std::string m_temporary;   // removed unless committed
    std::string m_error;
    int m_fd = -1;
    bool m_replacing = false;  // a file is at the target already
    std::uint32_t m_ownerID = 0, m_groupID = 0, m_mode = 0;
};

}  // namespace qv::files
