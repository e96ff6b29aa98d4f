#pragma once
// libtiff over bytes in memory, or writing into a file, with the handle's errors and warnings
// caught: libtiff never prints or exits on our behalf, and its first error is kept for the
// caller's message.
#include <cstdint>
#include <memory>
#include <string>

#include "foundation/Value.h"

typedef struct tiff TIFF;

namespace qv::io::support {

class MemoryTiff {
public:
    // A TIFF read from bytes that must outlive the handle. Null when libtiff refuses the header.
    static std::unique_ptr<MemoryTiff> openForReading(const std::uint8_t* data, std::size_t size, std::string& error);
    // An empty TIFF to write, with room for about expectedSize bytes; close() then gives its bytes
    // through takeBytes(). The TIFF follows `leading` in those bytes: its offsets count from its
    // own first byte, as if it stood alone, so that another file's header can go first.
    static std::unique_ptr<MemoryTiff> openForWriting(std::size_t expectedSize, std::string& error, Data leading = {});
    // An empty TIFF to write into the open file `fd` from byte `start` on (its offsets counted from
    // there, as for `leading` above), each write going to the file as libtiff makes it; the
    // caller keeps the descriptor. The file's pages are handed to the disk as they fill, so that
    // flushing it at the end has little left to do.
    static std::unique_ptr<MemoryTiff> openForWritingFile(int fd, std::uint64_t start, std::string& error);
    ~MemoryTiff();

    TIFF* handle() const { return m_tiff; }
    // Closes the handle (writing flushes the last directory); false when libtiff reported an error.
    bool close();
    Data takeBytes() { return std::move(m_bytes); }
    // libtiff's first error message, "" when none.
    const std::string& error() const { return m_error; }
    bool failed() const { return !m_error.empty(); }

    // Callbacks for libtiff; public so the C callbacks can reach them.
    std::uint64_t read(void* buffer, std::uint64_t size);
    std::uint64_t write(const void* buffer, std::uint64_t size);
    std::uint64_t seek(std::uint64_t offset, int whence);
    std::uint64_t size() const {
        if (m_fd >= 0) return m_fileSize;
        return m_readData ? m_readSize : m_bytes.size() - m_leading;
    }
    void recordError(const std::string& message);
    const std::uint8_t* mappedData() const { return m_readData; }

private:
    MemoryTiff() = default;
    void handFilledPagesToDisk();
    static std::unique_ptr<MemoryTiff> open(std::unique_ptr<MemoryTiff> file, const char* mode, std::string& error);
    TIFF* m_tiff = nullptr;
    const std::uint8_t* m_readData = nullptr;
    std::size_t m_readSize = 0;
    Data m_bytes;                // the file being written, after the leading bytes
    std::size_t m_leading = 0;   // how many bytes come before the TIFF's own
    std::uint64_t m_position = 0;
    int m_fd = -1;                  // the file written, when not memory
    std::uint64_t m_fileStart = 0;  // where the TIFF begins in it
    std::uint64_t m_fileSize = 0;   // the TIFF's bytes written so far
    std::uint64_t m_handedToDisk = 0;
    std::string m_error;
};

}  // namespace qv::io::support
