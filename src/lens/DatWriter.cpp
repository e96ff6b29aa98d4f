#include "lens/DatWriter.h"

#include <cstring>
#include <limits>
#include <map>

#include "foundation/Files.h"

namespace lensdb {
namespace {

bool inTable(std::int32_t index, std::size_t count) { return index == -1 || (index >= 0 && std::size_t(index) < count); }

std::string validate(const DATDatabase& db) {
    if (db.cameras.empty() || db.groups.empty() || db.lenses.empty() || db.calibrations.empty())
        return "a database needs at least one camera, group, lens and calibration record";
    auto badName = [](const std::string& s) { return s.find('\0') != std::string::npos; };
    for (std::size_t i = 0; i < db.groups.size(); ++i) {
        const DATGroup& g = db.groups[i];
        if (badName(g.name)) return "group " + std::to_string(i) + ": a name holds a NUL byte";
        if (!inTable(g.next, db.groups.size())) return "group " + std::to_string(i) + ": next group out of range";
    }
    for (std::size_t i = 0; i < db.cameras.size(); ++i) {
        const DATCamera& c = db.cameras[i];
        const std::string where = "camera " + std::to_string(i) + ": ";
        if (badName(c.menuMake) || badName(c.menuModel) || badName(c.exifMake) || badName(c.exifModel))
            return where + "a name holds a NUL byte";
        if (!inTable(c.group, db.groups.size())) return where + "group index out of range";
        if (!inTable(c.next, db.cameras.size())) return where + "next camera out of range";
    }
    for (std::size_t j = 0; j < db.lenses.size(); ++j) {
        const DATLens& l = db.lenses[j];
        const std::string where = "lens " + std::to_string(j) + ": ";
        if (badName(l.group) || badName(l.name)) return where + "a name holds a NUL byte";
        if (!inTable(l.next, db.lenses.size())) return where + "next lens out of range";
        bool none = l.firstCalibration == -1 && l.lastCalibration == -1;
        bool range = l.firstCalibration >= 0 && l.lastCalibration >= l.firstCalibration &&
                     std::size_t(l.lastCalibration) < db.calibrations.size();
        if (!none && !range) return where + "calibration range out of the calibration table";
    }
    return {};
}

// The string pool: every distinct name once, NUL-ended, in order of first use.
class Pool {
public:
    std::int32_t intern(const std::string& name) {
        auto [it, added] = m_offsets.emplace(name, std::int32_t(m_bytes.size()));
        if (added) {
            m_bytes.insert(m_bytes.end(), name.begin(), name.end());
            m_bytes.push_back(0);
        }
        return it->second;
    }
    const std::vector<std::uint8_t>& bytes() const { return m_bytes; }

private:
    std::map<std::string, std::int32_t> m_offsets;
    std::vector<std::uint8_t> m_bytes;
};

}  // namespace

bool encodeDatabase(const DATDatabase& db, std::vector<std::uint8_t>& bytes, std::string& error) {
    error = validate(db);
    if (!error.empty()) return false;

    Pool pool;
    for (const DATGroup& g : db.groups) pool.intern(g.name);
    for (const DATCamera& c : db.cameras)
        for (const std::string* s : {&c.menuMake, &c.menuModel, &c.exifMake, &c.exifModel}) pool.intern(*s);
    for (const DATLens& l : db.lenses) {
        pool.intern(l.group);
        pool.intern(l.name);
    }

    // Tables follow the header in this order, the pool last.
    const std::int64_t cameras = std::int64_t(db.cameras.size()), groups = std::int64_t(db.groups.size()),
                       lenses = std::int64_t(db.lenses.size()), calibrations = std::int64_t(db.calibrations.size());
    DATHeader h;
    h.version = kVersion;
    std::int64_t at = kHeaderSize;
    auto place = [&at](std::int64_t size) {
        std::int64_t offset = at;
        at += size;
        return offset;
    };
    const std::int64_t cameraOffset = place(cameras * kCameraRecordSize);
    const std::int64_t groupOffset = place(groups * kGroupRecordSize);
    const std::int64_t lensOffset = place(lenses * kLensRecordSize);
    const std::int64_t calibrationOffset = place(calibrations * kCalibrationRecordSize);
    const std::int64_t cameraLinkOffset = place(cameras * kCameraLinkSize);
    const std::int64_t groupLinkOffset = place(groups * kGroupLinkSize);
    const std::int64_t lensLinkOffset = place(lenses * kLensLinkSize);
    const std::int64_t poolOffset = place(std::int64_t(pool.bytes().size()));
    if (at > std::numeric_limits<std::int32_t>::max()) {
        error = "the database is too large for 32-bit file offsets";
        return false;
    }
    h.cameraCount = std::int32_t(cameras);
    h.groupCount = std::int32_t(groups);
    h.lensCount = std::int32_t(lenses);
    h.calibrationCount = std::int32_t(calibrations);
    h.poolSize = std::int32_t(pool.bytes().size());
    h.cameraOffset = std::int32_t(cameraOffset);
    h.groupOffset = std::int32_t(groupOffset);
    h.lensOffset = std::int32_t(lensOffset);
    h.calibrationOffset = std::int32_t(calibrationOffset);
    h.cameraLinkOffset = std::int32_t(cameraLinkOffset);
    h.groupLinkOffset = std::int32_t(groupLinkOffset);
    h.lensLinkOffset = std::int32_t(lensLinkOffset);
    h.poolOffset = std::int32_t(poolOffset);

    bytes.assign(std::size_t(at), 0);
    std::uint8_t* out = bytes.data();
    std::memcpy(out, kMagic, sizeof kMagic);
    for (const DATHeaderField& f : kHeaderFields) storeI32(out + f.offset, h.*f.field);

    // The link slots of the records stay zero: readers fill them from the link tables.
    for (std::int64_t i = 0; i < cameras; ++i) {
        const DATCamera& c = db.cameras[std::size_t(i)];
        std::uint8_t* record = out + cameraOffset + i * kCameraRecordSize;
        storeI32(record + kCameraStandardOffset, c.standard);
        storeF32(record + kCameraMultiplierOffset, c.multiplier);
        std::uint8_t* link = out + cameraLinkOffset + i * kCameraLinkSize;
        storeI32(link + kLinkNextOffset, c.next);
        storeI32(link + kCameraLinkGroupOffset, c.group);
        storeI32(link + kCameraLinkMenuMakeOffset, pool.intern(c.menuMake));
        storeI32(link + kCameraLinkMenuModelOffset, pool.intern(c.menuModel));
        storeI32(link + kCameraLinkExifMakeOffset, pool.intern(c.exifMake));
        storeI32(link + kCameraLinkExifModelOffset, pool.intern(c.exifModel));
    }
    for (std::int64_t i = 0; i < groups; ++i) {
        const DATGroup& g = db.groups[std::size_t(i)];
        std::uint8_t* link = out + groupLinkOffset + i * kGroupLinkSize;
        storeI32(link + kLinkNextOffset, g.next);
        storeI32(link + kGroupLinkNameOffset, pool.intern(g.name));
    }
    for (std::int64_t j = 0; j < lenses; ++j) {
        const DATLens& l = db.lenses[std::size_t(j)];
        std::uint8_t* record = out + lensOffset + j * kLensRecordSize;
        storeI32(record + kLensFirstCalibrationOffset, l.firstCalibration);
        storeI32(record + kLensLastCalibrationOffset, l.lastCalibration);
        storeF32(record + kLensMultiplierOffset, l.multiplier);
        storeF32(record + kLensMaxApertureOffset, l.maxAperture);
        storeF32(record + kLensMinFocalOffset, l.minFocalLength);
        storeF32(record + kLensMaxFocalOffset, l.maxFocalLength);
        std::uint8_t* link = out + lensLinkOffset + j * kLensLinkSize;
        storeI32(link + kLinkNextOffset, l.next);
        storeI32(link + kLensLinkGroupOffset, pool.intern(l.group));
        storeI32(link + kLensLinkNameOffset, pool.intern(l.name));
    }
    for (std::int64_t k = 0; k < calibrations; ++k) {
        const DATCalibration& cal = db.calibrations[std::size_t(k)];
        std::uint8_t* record = out + calibrationOffset + k * kCalibrationRecordSize;
        storeF32(record, cal.focalLength);
        storeF32(record + kCalibrationAOffset, cal.a);
        storeF32(record + kCalibrationBOffset, cal.b);
        storeF32(record + kCalibrationCOffset, cal.c);
    }
    std::memcpy(out + poolOffset, pool.bytes().data(), pool.bytes().size());
    return true;
}

bool writeDatabaseFile(const DATDatabase& db, const std::string& path, std::string& error) {
    std::vector<std::uint8_t> bytes;
    if (!encodeDatabase(db, bytes, error)) return false;
    if (!qv::files::writeWhole(path, bytes.data(), bytes.size())) {
        error = "cannot write " + path;
        return false;
    }
    return true;
}

}  // namespace lensdb
