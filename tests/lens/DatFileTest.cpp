// The binary file: the writer's layout checked byte by byte against the format, the reader's
// structural checks, and the stand-ins it gives records that point outside their tables.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <climits>
#include <cstring>

#include "LensTestSupport.h"
#include "common/TempDir.h"
#include "lens/DatReader.h"
#include "lens/DatWriter.h"

using namespace lenstest;
using lensdb::ReadStatus;

namespace {

std::int32_t i32(const std::vector<std::uint8_t>& b, std::int64_t at) { return lensdb::loadI32(b.data() + at); }
float f32(const std::vector<std::uint8_t>& b, std::int64_t at) { return lensdb::loadF32(b.data() + at); }
void setI32(std::vector<std::uint8_t>& b, std::int64_t at, std::int32_t v) { lensdb::storeI32(b.data() + at, v); }

// Header words by their place in the file.
enum HeaderWord {
    kPoolOffset = 12, kPoolSize = 16, kCalibrationCount = 20, kCameraCount = 24, kGroupCount = 28,
    kCalibrationOffset = 32, kCameraOffset = 36, kGroupOffset = 40, kCameraLinkOffset = 44,
    kGroupLinkOffset = 48, kLensCount = 52, kLensOffset = 56, kLensLinkOffset = 60,
};

std::string poolName(const std::vector<std::uint8_t>& b, std::int32_t offset) {
    return reinterpret_cast<const char*>(b.data() + i32(b, kPoolOffset) + offset);
}

class DatFileTest : public testing::Test {
protected:
    qvtest::TempDir dir;
    std::vector<std::uint8_t> bytes = encode(fixtureDatabase());

    lensdb::ReadResult readBack(const std::vector<std::uint8_t>& data) {
        const std::string path = dir.file("db.dat");
        writeBytes(path, data);
        return lensdb::readDatabaseFile(path);
    }
};

TEST_F(DatFileTest, WrittenFileFollowsTheDocumentedLayout) {
    ASSERT_GE(bytes.size(), 64u);
    EXPECT_EQ(0, std::memcmp(bytes.data(), "PDAT", 4));
    EXPECT_EQ(3, i32(bytes, 4));
    EXPECT_EQ(3, i32(bytes, kCameraCount));
    EXPECT_EQ(3, i32(bytes, kGroupCount));
    EXPECT_EQ(6, i32(bytes, kLensCount));
    EXPECT_EQ(9, i32(bytes, kCalibrationCount));
    // The pool ends the file, so every table lies before it.
    EXPECT_EQ(std::int64_t(bytes.size()), std::int64_t(i32(bytes, kPoolOffset)) + i32(bytes, kPoolSize));

    const std::int32_t camera1 = i32(bytes, kCameraOffset) + 48;
    EXPECT_EQ(0, i32(bytes, camera1 + 40));  // standard
    EXPECT_FLOAT_EQ(1.0f, f32(bytes, camera1 + 44));
    EXPECT_EQ(7, i32(bytes, i32(bytes, kCameraOffset) + 40));
    const std::int32_t cameraLink1 = i32(bytes, kCameraLinkOffset) + 24;
    EXPECT_EQ(-1, i32(bytes, cameraLink1));      // next camera
    EXPECT_EQ(1, i32(bytes, cameraLink1 + 4));   // group index
    EXPECT_EQ("MakeA", poolName(bytes, i32(bytes, cameraLink1 + 8)));
    EXPECT_EQ("Model A2", poolName(bytes, i32(bytes, cameraLink1 + 12)));
    EXPECT_EQ("MAKE A", poolName(bytes, i32(bytes, cameraLink1 + 16)));
    EXPECT_EQ("A2 EXIF", poolName(bytes, i32(bytes, cameraLink1 + 20)));

    const std::int32_t groupLink2 = i32(bytes, kGroupLinkOffset) + 2 * 8;
    EXPECT_EQ("G3", poolName(bytes, i32(bytes, groupLink2 + 4)));

    const std::int32_t lens5 = i32(bytes, kLensOffset) + 5 * 60;
    EXPECT_EQ(7, i32(bytes, lens5 + 28));
    EXPECT_EQ(8, i32(bytes, lens5 + 32));
    EXPECT_FLOAT_EQ(2.0f, f32(bytes, lens5 + 36));
    EXPECT_FLOAT_EQ(4.0f, f32(bytes, lens5 + 40));
    EXPECT_FLOAT_EQ(100.0f, f32(bytes, lens5 + 48));
    EXPECT_FLOAT_EQ(200.0f, f32(bytes, lens5 + 52));
    const std::int32_t lensLink5 = i32(bytes, kLensLinkOffset) + 5 * 12;
    EXPECT_EQ("G3", poolName(bytes, i32(bytes, lensLink5 + 4)));
    EXPECT_EQ("Tele 100", poolName(bytes, i32(bytes, lensLink5 + 8)));

    const std::int32_t calibration1 = i32(bytes, kCalibrationOffset) + 16;
    EXPECT_FLOAT_EQ(15.0f, f32(bytes, calibration1));
    EXPECT_FLOAT_EQ(0.02f, f32(bytes, calibration1 + 4));
    EXPECT_FLOAT_EQ(-0.04f, f32(bytes, calibration1 + 8));
    EXPECT_FLOAT_EQ(0.0f, f32(bytes, calibration1 + 12));
}

TEST_F(DatFileTest, GoldenFileReadsBackFieldByField) {
    const lensdb::ReadResult r = readBack(bytes);
    ASSERT_TRUE(r.ok()) << r.message;
    const DATDatabase& db = r.database;
    ASSERT_EQ(3u, db.groups.size());
    EXPECT_EQ("G2", db.groups[1].name);
    EXPECT_EQ(-1, db.groups[1].next);
    ASSERT_EQ(3u, db.cameras.size());
    const DATCamera& a1 = db.cameras[0];
    EXPECT_EQ("MakeA", a1.menuMake);
    EXPECT_EQ("Model A1", a1.menuModel);
    EXPECT_EQ("MAKE A", a1.exifMake);
    EXPECT_EQ("A1 EXIF", a1.exifModel);
    EXPECT_EQ(0, a1.group);
    EXPECT_EQ("G1", db.groupNameOfCamera(0));
    EXPECT_EQ("G3", db.groupNameOfCamera(2));
    EXPECT_EQ(7, a1.standard);
    EXPECT_FLOAT_EQ(1.5f, a1.multiplier);
    EXPECT_EQ(-1, a1.next);
    ASSERT_EQ(6u, db.lenses.size());
    const DATLens& zoom = db.lenses[0];
    EXPECT_EQ("Zoom 10-20", zoom.name);
    EXPECT_EQ("G1", zoom.group);
    EXPECT_EQ(0, zoom.firstCalibration);
    EXPECT_EQ(2, zoom.lastCalibration);
    EXPECT_FLOAT_EQ(1.5f, zoom.multiplier);
    EXPECT_FLOAT_EQ(3.61f, zoom.maxAperture);
    EXPECT_FLOAT_EQ(10.0f, zoom.minFocalLength);
    EXPECT_FLOAT_EQ(20.7f, zoom.maxFocalLength);
    // Two lenses of one name and group are both kept, in file order.
    EXPECT_EQ("Zoom 10-20", db.lenses[2].name);
    EXPECT_FLOAT_EQ(1.6f, db.lenses[2].multiplier);
    EXPECT_EQ(4, db.lenses[2].firstCalibration);
    EXPECT_EQ(4, db.lenses[2].lastCalibration);
    ASSERT_EQ(9u, db.calibrations.size());
    EXPECT_FLOAT_EQ(200.0f, db.calibrations[8].focalLength);
    EXPECT_FLOAT_EQ(0.006f, db.calibrations[8].c);
}

TEST_F(DatFileTest, MissingFileOrFolderCannotBeOpened) {
    EXPECT_EQ(ReadStatus::CannotOpen, lensdb::readDatabaseFile(dir.file("absent.dat")).status);
    EXPECT_EQ(ReadStatus::CannotOpen, lensdb::readDatabaseFile(dir.path()).status);
    // A FIFO has no writer here: opening it as a file would block for ever.
    const std::string fifo = dir.file("PTLens.dat");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    EXPECT_EQ(ReadStatus::CannotOpen, lensdb::readDatabaseFile(fifo).status);
}

TEST_F(DatFileTest, EveryMagicByteAndOtherVersionsAreRefused) {
    for (int i = 0; i < 4; ++i) {
        auto damaged = bytes;
        damaged[std::size_t(i)] ^= 0x20;
        EXPECT_EQ(ReadStatus::BadMagic, readBack(damaged).status) << "byte " << i;
    }
    for (std::int32_t version : {2, 4, 0, -3}) {
        auto damaged = bytes;
        setI32(damaged, 4, version);
        EXPECT_EQ(ReadStatus::BadVersion, readBack(damaged).status) << version;
    }
}

TEST_F(DatFileTest, ShortHeaderAndTruncationAtEveryTableBoundaryFail) {
    for (std::size_t size : {0, 1, 4, 63}) {
        auto cut = bytes;
        cut.resize(size);
        EXPECT_EQ(ReadStatus::ReadFailed, readBack(cut).status) << size;
    }
    for (int word : {kCameraOffset, kGroupOffset, kLensOffset, kCalibrationOffset, kCameraLinkOffset,
                     kGroupLinkOffset, kLensLinkOffset, kPoolOffset}) {
        for (int delta : {-1, 0, 1}) {
            auto cut = bytes;
            cut.resize(std::size_t(i32(bytes, word) + delta));
            EXPECT_FALSE(readBack(cut).ok()) << "cut at table word " << word << " + " << delta;
        }
    }
    auto oneShort = bytes;
    oneShort.pop_back();
    EXPECT_EQ(ReadStatus::BadLayout, readBack(oneShort).status);
}

TEST_F(DatFileTest, EmptyOrNegativeCountsFail) {
    for (int word : {kCameraCount, kGroupCount, kLensCount, kCalibrationCount, kPoolSize}) {
        for (std::int32_t count : {0, -1, INT_MIN}) {
            auto damaged = bytes;
            setI32(damaged, word, count);
            EXPECT_EQ(ReadStatus::BadLayout, readBack(damaged).status) << word << " = " << count;
        }
    }
}

TEST_F(DatFileTest, TablesOutsideTheFileFailWithoutOverflow) {
    const std::int32_t size = std::int32_t(bytes.size());
    for (int word : {kCameraOffset, kGroupOffset, kLensOffset, kCalibrationOffset, kCameraLinkOffset,
                     kGroupLinkOffset, kLensLinkOffset, kPoolOffset}) {
        for (std::int32_t offset : {size, size - 1, -1, INT_MIN, INT_MAX}) {
            auto damaged = bytes;
            setI32(damaged, word, offset);
            EXPECT_EQ(ReadStatus::BadLayout, readBack(damaged).status) << word << " = " << offset;
        }
    }
    // Counts so large that count x record size would overflow 32 bits.
    for (int word : {kCameraCount, kGroupCount, kLensCount, kCalibrationCount, kPoolSize}) {
        auto damaged = bytes;
        setI32(damaged, word, INT_MAX);
        EXPECT_EQ(ReadStatus::BadLayout, readBack(damaged).status) << word;
    }
}

TEST_F(DatFileTest, NamesOutsideThePoolBecomeEmpty) {
    auto damaged = bytes;
    const std::int32_t cameraLink1 = i32(bytes, kCameraLinkOffset) + 24;
    setI32(damaged, cameraLink1 + 8, i32(bytes, kPoolSize));  // menu make: just past the pool
    setI32(damaged, cameraLink1 + 12, -1);                     // menu model: before it
    // The pool's last name ("Tele 100") loses its terminating NUL: its end lies outside the pool.
    damaged.back() = 'X';
    const lensdb::ReadResult r = readBack(damaged);
    ASSERT_TRUE(r.ok()) << r.message;
    EXPECT_EQ("", r.database.cameras[1].menuMake);
    EXPECT_EQ("", r.database.cameras[1].menuModel);
    EXPECT_EQ("A2 EXIF", r.database.cameras[1].exifModel);
    EXPECT_EQ("", r.database.lenses[5].name);
    EXPECT_EQ("G3", r.database.lenses[5].group);
    EXPECT_EQ("Model A1", r.database.cameras[0].menuModel);
}

TEST_F(DatFileTest, IndicesOutsideTheirTablesGetStandIns) {
    auto damaged = bytes;
    const std::int32_t cameraLinks = i32(bytes, kCameraLinkOffset);
    setI32(damaged, cameraLinks + 4, 3);         // camera 0: group == group count
    setI32(damaged, cameraLinks + 24 + 4, -7);   // camera 1: a negative group
    setI32(damaged, cameraLinks + 48, 99);       // camera 2: next camera out of range
    setI32(damaged, cameraLinks + 24, 2);        // camera 1: a valid next camera
    const std::int32_t lenses = i32(bytes, kLensOffset);
    setI32(damaged, lenses + 28, 2);             // lens 0: first above last
    setI32(damaged, lenses + 32, 1);
    setI32(damaged, lenses + 60 + 32, 9);        // lens 1: last == calibration count
    setI32(damaged, lenses + 120 + 28, -2);      // lens 2: negative first
    const std::int32_t groupLinks = i32(bytes, kGroupLinkOffset);
    setI32(damaged, groupLinks, 1);              // group 0: next group 1
    setI32(damaged, groupLinks + 8, 3);          // group 1: next out of range

    const lensdb::ReadResult r = readBack(damaged);
    ASSERT_TRUE(r.ok()) << r.message;
    const DATDatabase& db = r.database;
    EXPECT_EQ(-1, db.cameras[0].group);
    EXPECT_EQ("", db.groupNameOfCamera(0));
    EXPECT_EQ(-1, db.cameras[1].group);
    EXPECT_EQ(-1, db.cameras[2].next);
    EXPECT_EQ(2, db.cameras[1].next);
    EXPECT_EQ("G3", db.groupNameOfCamera(2));
    for (int j : {0, 1, 2}) {
        EXPECT_FALSE(db.lenses[std::size_t(j)].hasCalibration()) << j;
        EXPECT_EQ(-1, db.lenses[std::size_t(j)].firstCalibration) << j;
    }
    EXPECT_EQ(5, db.lenses[3].firstCalibration);
    EXPECT_EQ(1, db.groups[0].next);
    EXPECT_EQ(-1, db.groups[1].next);
}

TEST(DatWriterTest, RefusesWhatTheReaderWouldRefuseOrRepair) {
    std::vector<std::uint8_t> out;
    std::string error;
    DATDatabase db = fixtureDatabase();
    db.calibrations.clear();
    for (DATLens& l : db.lenses) l.firstCalibration = l.lastCalibration = -1;
    EXPECT_FALSE(lensdb::encodeDatabase(db, out, error));

    db = fixtureDatabase();
    db.cameras[0].group = 3;
    EXPECT_FALSE(lensdb::encodeDatabase(db, out, error));

    db = fixtureDatabase();
    db.lenses[0].lastCalibration = 9;
    EXPECT_FALSE(lensdb::encodeDatabase(db, out, error));

    db = fixtureDatabase();
    db.lenses[1].name = std::string("bad\0name", 8);
    EXPECT_FALSE(lensdb::encodeDatabase(db, out, error));
    EXPECT_NE(std::string::npos, error.find("NUL"));

    db = fixtureDatabase();
    EXPECT_TRUE(lensdb::encodeDatabase(db, out, error)) << error;
}

TEST(DatWriterTest, AFailedWriteLeavesTheOldFileAlone) {
    qvtest::TempDir dir;
    const std::string path = writeDatabase(dir.file("PTLens.dat"), fixtureDatabase());
    const auto before = readBytes(path);
    DATDatabase broken = fixtureDatabase();
    broken.cameras[0].group = 42;
    std::string error;
    EXPECT_FALSE(lensdb::writeDatabaseFile(broken, path, error));
    EXPECT_EQ(before, readBytes(path));
    EXPECT_FALSE(lensdb::writeDatabaseFile(fixtureDatabase(), dir.file("no/such/folder/x.dat"), error));
}

}  // namespace
