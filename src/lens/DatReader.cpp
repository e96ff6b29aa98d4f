#include "lens/DatReader.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <memory>

#include "foundation/Files.h"

namespace lensdb {
namespace {

using Bytes = std::vector<std::uint8_t>;

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

// One positioned read of exactly `size` bytes: false unless every byte arrived. A read of nothing
// delivers nothing, so an empty table fails the read as well.
bool readData(std::FILE* file, std::int64_t offset, void* buffer, std::int64_t size) {
    if (size <= 0 || offset < 0) return false;
    if (fseeko(file, off_t(offset), SEEK_SET) != 0) return false;
    return std::fread(buffer, std::size_t(size), 1, file) == 1;
}

ReadResult failure(ReadStatus status, std::string message) {
    ReadResult result;
    result.status = status;
    result.message = std::move(message);
    return result;
}

// One table of the file as the header places it. All arithmetic is 64-bit, so no count or offset
// the header can hold overflows.
struct TableExtent {
    const char* name;
    std::int64_t offset;
    std::int64_t count;
    std::int64_t recordSize;

    std::int64_t bytes() const { return count * recordSize; }
    bool fitsIn(std::int64_t fileSize) const {
        return count > 0 && offset >= 0 && offset <= fileSize && bytes() <= fileSize - offset;
    }
};

// An index that lies inside a table of `count` records, or -1.
std::int32_t checkedIndex(std::int32_t index, std::size_t count) {
    return index >= 0 && std::size_t(index) < count ? index : -1;
}

// The NUL-ended name at `offset` in the pool; empty when the offset or the name's end lies outside.
std::string poolString(const Bytes& pool, std::int32_t offset) {
    if (offset < 0 || std::size_t(offset) >= pool.size()) return {};
    const std::uint8_t* begin = pool.data() + offset;
    const void* end = std::memchr(begin, 0, pool.size() - std::size_t(offset));
    if (!end) return {};
    return std::string(reinterpret_cast<const char*>(begin), static_cast<const std::uint8_t*>(end) - begin);
}

DATHeader decodeHeader(const std::uint8_t* bytes) {
    DATHeader header;
    for (const DATHeaderField& f : kHeaderFields) header.*f.field = loadI32(bytes + f.offset);
    return header;
}

// Reads one whole table into a buffer; the extent has been checked against the file.
bool readTable(std::FILE* file, const TableExtent& table, Bytes& out) {
    out.resize(std::size_t(table.bytes()));
    return readData(file, table.offset, out.data(), table.bytes());
}

std::vector<DATGroup> decodeGroups(const Bytes& links, std::size_t count, const Bytes& pool) {
    std::vector<DATGroup> groups(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* link = links.data() + i * kGroupLinkSize;
        groups[i].next = checkedIndex(loadI32(link + kLinkNextOffset), count);
        groups[i].name = poolString(pool, loadI32(link + kGroupLinkNameOffset));
    }
    return groups;
}

std::vector<DATCamera> decodeCameras(const Bytes& records, const Bytes& links, std::size_t count,
                                     std::size_t groupCount, const Bytes& pool) {
    std::vector<DATCamera> cameras(count);
    for (std::size_t i = 0; i < count; ++i) {
        const std::uint8_t* link = links.data() + i * kCameraLinkSize;
        const std::uint8_t* record = records.data() + i * kCameraRecordSize;
        DATCamera& camera = cameras[i];
        camera.next = checkedIndex(loadI32(link + kLinkNextOffset), count);
        camera.group = checkedIndex(loadI32(link + kCameraLinkGroupOffset), groupCount);
        camera.menuMake = poolString(pool, loadI32(link + kCameraLinkMenuMakeOffset));
        camera.menuModel = poolString(pool, loadI32(link + kCameraLinkMenuModelOffset));
        camera.exifMake = poolString(pool, loadI32(link + kCameraLinkExifMakeOffset));
        camera.exifModel = poolString(pool, loadI32(link + kCameraLinkExifModelOffset));
        camera.standard = loadI32(record + kCameraStandardOffset);
        camera.multiplier = loadF32(record + kCameraMultiplierOffset);
    }
    return cameras;
}

std::vector<DATLens> decodeLenses(const Bytes& records, const Bytes& links, std::size_t count,
                                  std::size_t calibrationCount, const Bytes& pool) {
    std::vector<DATLens> lenses(count);
    for (std::size_t j = 0; j < count; ++j) {
        const std::uint8_t* link = links.data() + j * kLensLinkSize;
        const std::uint8_t* record = records.data() + j * kLensRecordSize;
        DATLens& lens = lenses[j];
        lens.next = checkedIndex(loadI32(link + kLinkNextOffset), count);
        lens.group = poolString(pool, loadI32(link + kLensLinkGroupOffset));
        lens.name = poolString(pool, loadI32(link + kLensLinkNameOffset));
        std::int32_t first = checkedIndex(loadI32(record + kLensFirstCalibrationOffset), calibrationCount);
        std::int32_t last = checkedIndex(loadI32(record + kLensLastCalibrationOffset), calibrationCount);
        if (first >= 0 && last >= first) {
            lens.firstCalibration = first;
            lens.lastCalibration = last;
        }
        lens.multiplier = loadF32(record + kLensMultiplierOffset);
        lens.maxAperture = loadF32(record + kLensMaxApertureOffset);
        lens.minFocalLength = loadF32(record + kLensMinFocalOffset);
        lens.maxFocalLength = loadF32(record + kLensMaxFocalOffset);
    }
    return lenses;
}

std::vector<DATCalibration> decodeCalibrations(const Bytes& records, std::size_t count) {
    std::vector<DATCalibration> calibrations(count);
    for (std::size_t k = 0; k < count; ++k) {
        const std::uint8_t* record = records.data() + k * kCalibrationRecordSize;
        calibrations[k] = {loadF32(record), loadF32(record + kCalibrationAOffset), loadF32(record + kCalibrationBOffset),
                           loadF32(record + kCalibrationCOffset)};
    }
    return calibrations;
}

}  // namespace

ReadResult readDatabaseFile(const std::string& path) {
    // Only a regular file: a FIFO standing in its place would block the open itself.
    const int descriptor = qv::files::openRegularFile(path);
    if (descriptor < 0) return failure(ReadStatus::CannotOpen, "cannot open " + path + " as a regular file");
    FilePtr file(::fdopen(descriptor, "rb"));
    if (!file) {
        ::close(descriptor);
        return failure(ReadStatus::CannotOpen, "cannot open " + path);
    }
    struct stat info;
    if (fstat(fileno(file.get()), &info) != 0) return failure(ReadStatus::CannotOpen, "cannot open " + path);
    const std::int64_t fileSize = info.st_size;

    std::uint8_t headerBytes[kHeaderSize];
    if (!readData(file.get(), 0, headerBytes, kHeaderSize))
        return failure(ReadStatus::ReadFailed, "the file is shorter than its 64-byte header");
    if (std::memcmp(headerBytes, kMagic, sizeof kMagic) != 0)
        return failure(ReadStatus::BadMagic, "not a lens database (no PDAT magic)");
    const DATHeader h = decodeHeader(headerBytes);
    if (h.version != kVersion)
        return failure(ReadStatus::BadVersion, "unsupported version " + std::to_string(h.version));

    const TableExtent cameraTable{"camera table", h.cameraOffset, h.cameraCount, kCameraRecordSize};
    const TableExtent groupTable{"group table", h.groupOffset, h.groupCount, kGroupRecordSize};
    const TableExtent lensTable{"lens table", h.lensOffset, h.lensCount, kLensRecordSize};
    const TableExtent poolTable{"string pool", h.poolOffset, h.poolSize, 1};
    const TableExtent calibrationTable{"calibration table", h.calibrationOffset, h.calibrationCount,
                                       kCalibrationRecordSize};
    const TableExtent cameraLinks{"camera link table", h.cameraLinkOffset, h.cameraCount, kCameraLinkSize};
    const TableExtent groupLinks{"group link table", h.groupLinkOffset, h.groupCount, kGroupLinkSize};
    const TableExtent lensLinks{"lens link table", h.lensLinkOffset, h.lensCount, kLensLinkSize};
    for (const TableExtent* table : {&cameraTable, &groupTable, &lensTable, &poolTable, &calibrationTable,
                                     &cameraLinks, &groupLinks, &lensLinks}) {
        if (!table->fitsIn(fileSize))
            return failure(ReadStatus::BadLayout, std::string("the ") + table->name +
                                                      " is empty or lies outside the file");
    }

    // The group table holds nothing but link slots, so its extent is checked and its bytes are not
    // needed; every other table is read whole, in one piece.
    Bytes cameraBytes, lensBytes, pool, calibrationBytes, cameraLinkBytes, groupLinkBytes, lensLinkBytes;
    const std::pair<const TableExtent*, Bytes*> reads[] = {
        {&cameraTable, &cameraBytes},          {&lensTable, &lensBytes},
        {&poolTable, &pool},                   {&calibrationTable, &calibrationBytes},
        {&cameraLinks, &cameraLinkBytes},      {&groupLinks, &groupLinkBytes},
        {&lensLinks, &lensLinkBytes},
    };
    for (const auto& [table, buffer] : reads) {
        if (!readTable(file.get(), *table, *buffer))
            return failure(ReadStatus::ReadFailed, std::string("cannot read the ") + table->name);
    }

    ReadResult result;
    result.status = ReadStatus::Ok;
    DATDatabase& db = result.database;
    db.calibrations = decodeCalibrations(calibrationBytes, std::size_t(h.calibrationCount));
    db.groups = decodeGroups(groupLinkBytes, std::size_t(h.groupCount), pool);
    db.cameras = decodeCameras(cameraBytes, cameraLinkBytes, std::size_t(h.cameraCount), db.groups.size(), pool);
    db.lenses = decodeLenses(lensBytes, lensLinkBytes, std::size_t(h.lensCount), db.calibrations.size(), pool);
    return result;
}

}  // namespace lensdb
