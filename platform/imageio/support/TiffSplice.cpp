#include "imageio/support/TiffSplice.h"

#include <cstdint>
#include <cstring>

#include "imageio/support/Files.h"

namespace qv::io::support {

namespace {

// The tags that say how the picture is stored; every other tag is metadata.
bool isStructureTag(std::uint16_t tag) {
    switch (tag) {
    case 254:  // NewSubfileType
    case 256:  // ImageWidth
    case 257:  // ImageLength
    case 258:  // BitsPerSample
    case 259:  // Compression
    case 262:  // PhotometricInterpretation
    case 273:  // StripOffsets
    case 277:  // SamplesPerPixel
    case 278:  // RowsPerStrip
    case 279:  // StripByteCounts
    case 284:  // PlanarConfiguration
    case 317:  // Predictor
    case 322:  // TileWidth
    case 323:  // TileLength
    case 324:  // TileOffsets
    case 325:  // TileByteCounts
    case 338:  // ExtraSamples
    case 339:  // SampleFormat
        return true;
    default: return false;
    }
}

bool isOffsetTag(std::uint16_t tag) { return tag == 273 || tag == 324; }

std::size_t typeSize(std::uint16_t type) {
    switch (type) {
    case 1: case 2: case 6: case 7: return 1;   // BYTE, ASCII, SBYTE, UNDEFINED
    case 3: case 8: return 2;                   // SHORT, SSHORT
    case 4: case 9: case 11: case 13: return 4; // LONG, SLONG, FLOAT, IFD
    case 5: case 10: case 12: return 8;         // RATIONAL, SRATIONAL, DOUBLE
    default: return 0;
    }
}

class Reader {
public:
    Reader(Data& bytes, bool little) : m_bytes(bytes), m_little(little) {}
    std::uint16_t u16(std::size_t at) const {
        const std::uint8_t* p = m_bytes.data() + at;
        return m_little ? std::uint16_t(p[0] | (p[1] << 8)) : std::uint16_t((p[0] << 8) | p[1]);
    }
    std::uint32_t u32(std::size_t at) const {
        const std::uint8_t* p = m_bytes.data() + at;
        return m_little ? std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 | std::uint32_t(p[3]) << 24
                        : std::uint32_t(p[3]) | std::uint32_t(p[2]) << 8 | std::uint32_t(p[1]) << 16 | std::uint32_t(p[0]) << 24;
    }
    void put16(std::size_t at, std::uint32_t v) {
        std::uint8_t* p = m_bytes.data() + at;
        if (m_little) p[0] = std::uint8_t(v), p[1] = std::uint8_t(v >> 8);
        else p[1] = std::uint8_t(v), p[0] = std::uint8_t(v >> 8);
    }
    void put32(std::size_t at, std::uint32_t v) {
        std::uint8_t* p = m_bytes.data() + at;
        for (int i = 0; i < 4; ++i) p[m_little ? i : 3 - i] = std::uint8_t(v >> (8 * i));
    }

private:
    Data& m_bytes;
    bool m_little;
};

struct Directory {
    std::size_t entries = 0;  // where the first entry starts
    std::uint16_t count = 0;
};

}  // namespace

bool spliceTiffPicture(Data& file, std::size_t pictureStart, std::string& error, std::uint64_t omitted) {
    auto fail = [&](const char* reason) {
        error = std::string("cannot join the metadata to the picture: ") + reason;
        return false;
    };
    if (pictureStart < 8 || pictureStart % 2 != 0 || file.size() < pictureStart + 8) return fail("no room for two files");
    const std::uint8_t* b = file.data();
    const bool little = b[0] == 'I' && b[1] == 'I';
    if (!(little || (b[0] == 'M' && b[1] == 'M')) || std::memcmp(b, b + pictureStart, 2) != 0)
        return fail("the two files differ in byte order");
    Reader r(file, little);
    if (r.u16(2) != 42 || r.u16(pictureStart + 2) != 42) return fail("not classic TIFF files");

    auto directoryAt = [&](std::size_t offset, std::size_t limit, Directory& d) {
        if (offset < 8 || offset + 2 > limit) return false;
        d.count = r.u16(offset);
        d.entries = offset + 2;
        return d.entries + std::size_t(d.count) * 12 + 4 <= limit;
    };
    // Where a byte of the picture file (an offset from its start) is held in `file`; 0 for one in
    // the omitted strips.
    const std::uint64_t pictureSize = file.size() - pictureStart + omitted;
    auto held = [&](std::uint64_t at) -> std::size_t {
        if (at < 8) return pictureStart + std::size_t(at);
        if (at < 8 + omitted) return 0;
        return pictureStart + std::size_t(at - omitted);
    };
    Directory head, picture;
    if (!directoryAt(r.u32(4), pictureStart, head)) return fail("the metadata file's directory is damaged");
    const std::size_t pictureDirectory = held(r.u32(pictureStart + 4));
    if (!pictureDirectory || !directoryAt(pictureDirectory, file.size(), picture))
        return fail("the picture file's directory is damaged");
    if (std::uint64_t(file.size()) + omitted + 65536 > 0xFFFFFFFFull) return fail("the file is too large for TIFF offsets");
    const std::uint32_t delta = std::uint32_t(pictureStart);
    // Every structure tag of the metadata file is replaced by the picture's: none may be left
    // describing the metadata file's stand-in picture.
    for (std::uint16_t j = 0; j < head.count; ++j) {
        const std::uint16_t tag = r.u16(head.entries + std::size_t(j) * 12);
        if (!isStructureTag(tag)) continue;
        bool found = false;
        for (std::uint16_t i = 0; i < picture.count && !found; ++i) found = r.u16(picture.entries + std::size_t(i) * 12) == tag;
        if (!found) return fail("the picture file lacks a structure tag");
    }

    // The values that do not fit in an entry are appended after the picture: room for all of them
    // is made at once, so the picture is not moved by the file growing once per value.
    std::size_t appended = 0;
    for (std::uint16_t i = 0; i < picture.count; ++i) {
        const std::size_t entry = picture.entries + std::size_t(i) * 12;
        const std::uint64_t length = std::uint64_t(typeSize(r.u16(entry + 2))) * r.u32(entry + 4);
        if (isStructureTag(r.u16(entry)) && length > 4 && length <= pictureSize) appended += std::size_t(length) + 1;
    }
    file.reserve(file.size() + appended);

    for (std::uint16_t i = 0; i < picture.count; ++i) {
        const std::size_t entry = picture.entries + std::size_t(i) * 12;
        const std::uint16_t tag = r.u16(entry);
        if (!isStructureTag(tag)) continue;
        std::size_t target = 0;
        for (std::uint16_t j = 0; j < head.count && !target; ++j)
            if (r.u16(head.entries + std::size_t(j) * 12) == tag) target = head.entries + std::size_t(j) * 12;
        if (!target) return fail("the metadata file lacks a structure tag");
        const std::uint16_t type = r.u16(entry + 2);
        const std::uint32_t count = r.u32(entry + 4);
        const std::size_t unit = typeSize(type);
        if (unit == 0 || (isOffsetTag(tag) && type != 3 && type != 4)) return fail("a structure tag of an unknown type");
        const std::uint64_t length = std::uint64_t(unit) * count;
        // The entry's value: inside it, or at an offset within the picture file.
        std::size_t value = entry + 8;
        if (length > 4) {
            const std::uint64_t at = std::uint64_t(r.u32(entry + 8));
            if (at + length > pictureSize) return fail("a structure value lies outside the picture file");
            value = held(at);
            if (!value || held(at + length - 1) != value + length - 1) return fail("a structure value lies among the strips");
        }
        std::memcpy(file.data() + target, file.data() + entry, 8);  // tag, type, count
        std::size_t written = target + 8;
        if (length > 4) {
            if ((file.size() + omitted) % 2) file.push_back(0);
            r.put32(target + 8, std::uint32_t(file.size() + omitted));
            written = file.size();
            file.resize(file.size() + std::size_t(length));
            std::memcpy(file.data() + written, file.data() + value, std::size_t(length));
        } else {
            std::memmove(file.data() + target + 8, file.data() + value, 4);
        }
        if (!isOffsetTag(tag)) continue;
        for (std::uint32_t k = 0; k < count; ++k) {
            const std::size_t at = written + std::size_t(k) * unit;
            if (type == 4) r.put32(at, r.u32(at) + delta);
            else if (std::uint32_t(r.u16(at)) + delta <= 0xFFFF) r.put16(at, r.u16(at) + delta);
            else return fail("a strip offset does not fit its type");
        }
    }
    return true;
}

bool spliceTiffPictureInFile(int fd, Data head, std::uint64_t end, std::string& error) {
    const std::size_t pictureStart = head.size();
    if (pictureStart < 8 || end < pictureStart + 8) {
        error = "cannot join the metadata to the picture: no room for two files";
        return false;
    }
    // The head, the picture's header, then (the strips left in the file) its directory to the end.
    Data file = std::move(head);
    if (!readAt(fd, pictureStart, 8, file, error)) return false;
    const bool little = file[pictureStart] == 'I';
    const std::uint32_t directory = Reader(file, little).u32(pictureStart + 4);
    if (directory < 8 || pictureStart + std::uint64_t(directory) >= end) {
        error = "cannot join the metadata to the picture: the picture file's directory is damaged";
        return false;
    }
    const std::uint64_t omitted = directory - 8;
    if (!readAt(fd, pictureStart + std::uint64_t(directory), std::size_t(end - pictureStart - directory), file, error))
        return false;
    const std::size_t readBack = file.size();
    if (!spliceTiffPicture(file, pictureStart, error, omitted)) return false;
    // The rewritten head goes back in place and the appended values after the picture.
    const Data rewritten(file.begin(), file.begin() + std::ptrdiff_t(pictureStart));
    const Data appended(file.begin() + std::ptrdiff_t(readBack), file.end());
    return writeAt(fd, rewritten, 0, error) && writeAt(fd, appended, end, error);
}

}  // namespace qv::io::support
