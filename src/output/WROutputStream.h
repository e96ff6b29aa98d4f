#pragma once
// The PSD writer's output: big-endian numbers and byte runs, buffered, written to a temporary file
// beside the destination and renamed onto it only when the whole document was written. A write
// that fails half-way leaves neither a partial document nor a damaged earlier file behind. As with
// the platform's whole-file writes, a replaced file keeps its permissions and a link is written
// through; unlike them, a document of gigabytes never has to be held in memory.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

class WROutputStream {
public:
    // Creates the temporary file in the destination's folder; check ok().
    explicit WROutputStream(std::string destination);
    ~WROutputStream();  // removes the temporary file unless commit() succeeded
    WROutputStream(const WROutputStream&) = delete;
    WROutputStream& operator=(const WROutputStream&) = delete;

    bool ok() const { return m_error.empty(); }
    const std::string& errorText() const { return m_error; }
    const std::string& destination() const { return m_destination; }
    std::uint64_t position() const { return m_written + m_buffer.size(); }

    void writeBytes(const void* bytes, std::size_t count);
    void writeZeros(std::size_t count);
    void writeU8(std::uint8_t v) { writeBytes(&v, 1); }
    void writeU16(std::uint16_t v);
    void writeU32(std::uint32_t v);
    void writeI16(std::int16_t v) { writeU16(static_cast<std::uint16_t>(v)); }
    void writeI32(std::int32_t v) { writeU32(static_cast<std::uint32_t>(v)); }
    void writeSignature(const char (&fourCC)[5]) { writeBytes(fourCC, 4); }

    // Flushes, syncs and renames the temporary file onto the destination. False (with
    // errorText()) when anything failed now or earlier; the temporary file is then removed.
    bool commit();

private:
    void flush();
    void writeOut(const std::uint8_t* bytes, std::size_t count);
    void fail(const std::string& what);
    void discard();

    std::string m_destination;
    std::string m_target;  // the destination, or the file its link points to
    std::string m_temporary;
    int m_fd = -1;
    std::vector<std::uint8_t> m_buffer;
    std::uint64_t m_written = 0;
    std::string m_error;
    bool m_committed = false;
};
