#pragma once
// The file system, the way the rest of the system needs it. Every function answers false or
// nothing on failure and never throws.
//
// Whole-file writes never truncate what was there: the bytes go to a temporary file in the target's
// folder, are flushed to the disk and then renamed over the target, so a failed or interrupted write
// leaves the old file intact. A replaced file keeps its permissions; a link is written through.
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
bool writeWhole(const std::string& path, const void* bytes, std::size_t size);
inline bool writeWhole(const std::string& path, std::string_view text) {
    return writeWhole(path, text.data(), text.size());
}
inline bool writeWhole(const std::string& path, const Data& data) {
    return writeWhole(path, data.data(), data.size());
}

// A whole-file write whose bytes are produced a piece at a time (as an encoder writes them): the
// descriptor is a temporary file beside the target, and commit() flushes it to the disk and
// renames it over the target as writeWhole does (permissions kept, a link written through).
// Without a commit the temporary file is removed and the target stays as it was.
class ReplacingFile {
public:
    explicit ReplacingFile(const std::string& path);
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    // False when no temporary file could be made, or what is at the target is not a regular file.
    bool valid() const { return m_fd >= 0; }
    // The temporary file, open for reading and writing.
    int fd() const { return m_fd; }
    // True when the target now holds what was written; once only.
    bool commit();

private:
    std::string m_target;      // the file written through a link
    std::string m_temporary;   // removed unless committed
    int m_fd = -1;
    bool m_replacing = false;  // a file is at the target already
    std::uint32_t m_ownerID = 0, m_groupID = 0, m_mode = 0;
};

}  // namespace qv::files
