#include "imageio/support/MemoryTiff.h"

#include <fcntl.h>
#include <tiffio.h>

#include <algorithm>
#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "imageio/support/Files.h"

namespace qv::io::support {

namespace {

// No single libtiff allocation may exceed this: a header that claims a gigantic strip or tile
// fails instead of taking the machine's memory.
constexpr tmsize_t kMaxSingleAllocation = tmsize_t(1) << 30;

MemoryTiff* self(thandle_t h) { return static_cast<MemoryTiff*>(static_cast<void*>(h)); }

tmsize_t readProc(thandle_t h, void* buffer, tmsize_t size) {
    return tmsize_t(self(h)->read(buffer, std::uint64_t(size)));
}
tmsize_t writeProc(thandle_t h, void* buffer, tmsize_t size) {
    return tmsize_t(self(h)->write(buffer, std::uint64_t(size)));
}
toff_t seekProc(thandle_t h, toff_t offset, int whence) { return self(h)->seek(offset, whence); }
int closeProc(thandle_t) { return 0; }
toff_t sizeProc(thandle_t h) { return self(h)->size(); }
int mapProc(thandle_t h, void** base, toff_t* size) {
    MemoryTiff* file = self(h);
    if (!file->mappedData()) return 0;
    *base = const_cast<std::uint8_t*>(file->mappedData());
    *size = file->size();
    return 1;
}
void unmapProc(thandle_t, void*, toff_t) {}

// How many written bytes go to the disk at a time.
constexpr std::uint64_t kDiskHandOver = std::uint64_t(8) << 20;

int errorHandler(TIFF*, void* userData, const char* module, const char* format, va_list args) {
    char text[512];
    std::vsnprintf(text, sizeof text, format, args);
    static_cast<MemoryTiff*>(userData)->recordError(std::string(module ? module : "libtiff") + ": " + text);
    return 1;  // handled: libtiff's process-wide handler (which prints) is not called
}

int warningHandler(TIFF*, void*, const char*, const char*, va_list) { return 1; }

TIFFOpenOptions* makeOptions(MemoryTiff* file) {
    TIFFOpenOptions* options = TIFFOpenOptionsAlloc();
    if (!options) return nullptr;
    TIFFOpenOptionsSetMaxSingleMemAlloc(options, kMaxSingleAllocation);
    TIFFOpenOptionsSetErrorHandlerExtR(options, errorHandler, file);
    TIFFOpenOptionsSetWarningHandlerExtR(options, warningHandler, file);
    return options;
}

}  // namespace

std::unique_ptr<MemoryTiff> MemoryTiff::open(std::unique_ptr<MemoryTiff> file, const char* mode, std::string& error) {
    TIFFOpenOptions* options = makeOptions(file.get());
    if (!options) {
        error = "out of memory";
        return nullptr;
    }
    file->m_tiff = TIFFClientOpenExt("memory", mode, file.get(), readProc, writeProc, seekProc, closeProc, sizeProc,
                                     mapProc, unmapProc, options);
    TIFFOpenOptionsFree(options);
    if (!file->m_tiff) {
        error = file->m_error.empty() ? "not a usable TIFF" : file->m_error;
        return nullptr;
    }
    return file;
}

std::unique_ptr<MemoryTiff> MemoryTiff::openForReading(const std::uint8_t* data, std::size_t size, std::string& error) {
    std::unique_ptr<MemoryTiff> file(new MemoryTiff);
    file->m_readData = data;
    file->m_readSize = size;
    // Without "m" libtiff reads through our mapping of the bytes (mapProc), taking a strip's data
    // where it lies instead of copying it out first.
    return open(std::move(file), "r", error);
}

std::unique_ptr<MemoryTiff> MemoryTiff::openForWriting(std::size_t expectedSize, std::string& error, Data leading) {
    std::unique_ptr<MemoryTiff> file(new MemoryTiff);
    file->m_leading = leading.size();
    file->m_bytes = std::move(leading);
    file->m_bytes.reserve(file->m_leading + expectedSize);
    return open(std::move(file), "w", error);
}

std::unique_ptr<MemoryTiff> MemoryTiff::openForWritingFile(int fd, std::uint64_t start, std::string& error) {
    std::unique_ptr<MemoryTiff> file(new MemoryTiff);
    file->m_fd = fd;
    file->m_fileStart = start;
    return open(std::move(file), "w", error);
}

MemoryTiff::~MemoryTiff() {
    if (m_tiff) TIFFClose(m_tiff);
}

bool MemoryTiff::close() {
    if (m_tiff) {
        TIFFClose(m_tiff);
        m_tiff = nullptr;
    }
    return m_error.empty();
}

void MemoryTiff::recordError(const std::string& message) {
    if (m_error.empty()) m_error = message;
}

std::uint64_t MemoryTiff::read(void* buffer, std::uint64_t size) {
    if (m_fd >= 0) {
        const std::uint64_t n = readAllAt(m_fd, buffer, std::size_t(size), m_fileStart + m_position);
        m_position += n;
        return n;
    }
    const std::uint64_t total = this->size();
    if (m_position >= total) return 0;
    const std::uint64_t n = std::min<std::uint64_t>(size, total - m_position);
    std::memcpy(buffer, (m_readData ? m_readData : m_bytes.data() + m_leading) + m_position, std::size_t(n));
    m_position += n;
    return n;
}

std::uint64_t MemoryTiff::write(const void* buffer, std::uint64_t size) {
    if (m_readData) return 0;
    if (m_fd >= 0) {
        const std::uint64_t n = writeAllAt(m_fd, buffer, std::size_t(size), m_fileStart + m_position);
        m_position += n;
        m_fileSize = std::max(m_fileSize, m_position);
        handFilledPagesToDisk();
        return n;
    }
    const auto* bytes = static_cast<const std::uint8_t*>(buffer);
    const std::size_t at = m_leading + std::size_t(m_position);
    if (at > m_bytes.size()) m_bytes.resize(at);
    // Appending (the common case) copies once; rewriting a directory in the middle overwrites.
    const std::size_t overlap = std::size_t(std::min<std::uint64_t>(size, m_bytes.size() - at));
    std::memcpy(m_bytes.data() + at, bytes, overlap);
    m_bytes.insert(m_bytes.end(), bytes + overlap, bytes + size);
    m_position += size;
    return size;
}

void MemoryTiff::handFilledPagesToDisk() {
    if (m_fileSize < m_handedToDisk + kDiskHandOver) return;
    // Starts the disk writing the pages filled so far without waiting for it: the final flush then
    // finds most of the file on the disk already.
    const std::uint64_t end = m_fileSize / kDiskHandOver * kDiskHandOver;
    ::sync_file_range(m_fd, off_t(m_fileStart + m_handedToDisk), off_t(end - m_handedToDisk), SYNC_FILE_RANGE_WRITE);
    m_handedToDisk = end;
}

std::uint64_t MemoryTiff::seek(std::uint64_t offset, int whence) {
    std::int64_t base = 0;
    if (whence == SEEK_CUR) base = std::int64_t(m_position);
    if (whence == SEEK_END) base = std::int64_t(size());
    const std::int64_t target = base + std::int64_t(offset);
    if (target < 0) return std::uint64_t(-1);
    m_position = std::uint64_t(target);
    return m_position;
}

}  // namespace qv::io::support
