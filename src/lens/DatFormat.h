#pragma once
// The resource lens database file ("PTLens.dat"): a little-endian binary catalogue of cameras, camera
// groups, lenses and calibration records, with every name held once in a pool of NUL-ended strings.
//
// The records below are the decoded form of the file: the link tables are already resolved into
// indices and names. The reader guarantees what the file format itself does not: every index it
// leaves in a record lies inside its table or is -1, so code that follows an index needs no check.
#include <cstdint>
#include <string>
#include <vector>

// A calibration record: the radial distortion coefficients a, b, c measured at one focal length.
struct DATCalibration {
    float focalLength = 0;
    float a = 0;
    float b = 0;
    float c = 0;
};

struct DATGroup {
    std::int32_t next = -1;  // next group, -1 for none (kept, never followed)
    std::string name;
};

struct DATCamera {
    std::int32_t next = -1;   // next camera, -1 for none (kept, never followed)
    std::int32_t group = -1;  // index into the group table, -1 when the camera links no group
    std::string menuMake;
    std::string menuModel;
    std::string exifMake;
    std::string exifModel;
    std::int32_t standard = 0;  // kept per camera; no query depends on it
    float multiplier = 1;       // crop multiplier of the camera's sensor
};

struct DATLens {
    std::int32_t next = -1;  // next lens, -1 for none (kept, never followed)
    std::string group;       // a lens names its group by name, compared with the cameras' group names
    std::string name;
    // The lens's calibration records, first to last inclusive; both -1 when the lens has none.
    std::int32_t firstCalibration = -1;
    std::int32_t lastCalibration = -1;
    float multiplier = 1;  // crop multiplier the lens was calibrated with
    float maxAperture = 0;
    float minFocalLength = 0;
    float maxFocalLength = 0;

    bool hasCalibration() const { return firstCalibration >= 0 && lastCalibration >= firstCalibration; }
};

// A whole database: the camera, lens and calibration blocks (in that order) and the group table.
struct DATDatabase {
    std::vector<DATCamera> cameras;
    std::vector<DATLens> lenses;
    std::vector<DATCalibration> calibrations;
    std::vector<DATGroup> groups;

    // The name of camera i's group; empty when the camera links no group.
    const std::string& groupNameOfCamera(std::size_t i) const;
};

namespace lensdb {

// Layout constants, shared by the reader and the writer.
constexpr char kMagic[4] = {'P', 'D', 'A', 'T'};
constexpr std::int32_t kVersion = 3;
constexpr std::int64_t kHeaderSize = 64;
constexpr std::int64_t kCameraRecordSize = 48;
constexpr std::int64_t kGroupRecordSize = 8;
constexpr std::int64_t kLensRecordSize = 60;
constexpr std::int64_t kCalibrationRecordSize = 16;
constexpr std::int64_t kCameraLinkSize = 24;
constexpr std::int64_t kGroupLinkSize = 8;
constexpr std::int64_t kLensLinkSize = 12;

// Word offsets inside the records that carry data of their own.
constexpr int kCameraStandardOffset = 40;
constexpr int kCameraMultiplierOffset = 44;
constexpr int kLensFirstCalibrationOffset = 28;
constexpr int kLensLastCalibrationOffset = 32;
constexpr int kLensMultiplierOffset = 36;
constexpr int kLensMaxApertureOffset = 40;
constexpr int kLensMinFocalOffset = 48;
constexpr int kLensMaxFocalOffset = 52;
constexpr int kCalibrationAOffset = 4;
constexpr int kCalibrationBOffset = 8;
constexpr int kCalibrationCOffset = 12;

// Word offsets inside the link entries; every entry starts with the next record's index.
constexpr int kLinkNextOffset = 0;
constexpr int kCameraLinkGroupOffset = 4;
constexpr int kCameraLinkMenuMakeOffset = 8;
constexpr int kCameraLinkMenuModelOffset = 12;
constexpr int kCameraLinkExifMakeOffset = 16;
constexpr int kCameraLinkExifModelOffset = 20;
constexpr int kGroupLinkNameOffset = 4;
constexpr int kLensLinkGroupOffset = 4;
constexpr int kLensLinkNameOffset = 8;

// The header's words after the magic, as the file stores them.
struct DATHeader {
    std::int32_t version = 0;
    std::int32_t reserved = 0;
    std::int32_t poolOffset = 0;
    std::int32_t poolSize = 0;
    std::int32_t calibrationCount = 0;
    std::int32_t cameraCount = 0;
    std::int32_t groupCount = 0;
    std::int32_t calibrationOffset = 0;
    std::int32_t cameraOffset = 0;
    std::int32_t groupOffset = 0;
    std::int32_t cameraLinkOffset = 0;
    std::int32_t groupLinkOffset = 0;
    std::int32_t lensCount = 0;
    std::int32_t lensOffset = 0;
    std::int32_t lensLinkOffset = 0;
};

// Where each header word lies in the file; the reader and the writer both walk this one table.
struct DATHeaderField {
    std::int32_t DATHeader::*field;
    int offset;
};
constexpr DATHeaderField kHeaderFields[] = {
    {&DATHeader::version, 4},           {&DATHeader::reserved, 8},          {&DATHeader::poolOffset, 12},
    {&DATHeader::poolSize, 16},         {&DATHeader::calibrationCount, 20}, {&DATHeader::cameraCount, 24},
    {&DATHeader::groupCount, 28},       {&DATHeader::calibrationOffset, 32}, {&DATHeader::cameraOffset, 36},
    {&DATHeader::groupOffset, 40},      {&DATHeader::cameraLinkOffset, 44}, {&DATHeader::groupLinkOffset, 48},
    {&DATHeader::lensCount, 52},        {&DATHeader::lensOffset, 56},       {&DATHeader::lensLinkOffset, 60},
};

// Little-endian words, whatever the host's byte order.
std::int32_t loadI32(const std::uint8_t* p);
float loadF32(const std::uint8_t* p);
void storeI32(std::uint8_t* p, std::int32_t v);
void storeF32(std::uint8_t* p, float v);

}  // namespace lensdb
