// The text form: canonical round trips through the binary file, and parse errors that name the line.
#include <gtest/gtest.h>

#include <cmath>

#include "LensTestSupport.h"
#include "common/TempDir.h"
#include "lens/DatReader.h"
#include "lens/DatText.h"

using namespace lenstest;

namespace {

// Duplicate group names (a camera must then name its group by index), escapes, next links, a lens
// without calibration records and numbers that need every digit of a float.
const char* const kAwkwardText = R"(
group "Same"
group "Same"
    next 0
group "Quote \" and \\ backslash"

camera "Make" "Model \xb4 stray"
    exif "MAKE" "Canon PowerShot S100\xb4"
    group 1
    multiplier 1.60000002
    standard -3
    next 0

lens "Lens \xe2\x82\xac"
    group "Same"
    multiplier nan
    max aperture -0
    focal range 0.1 1e+30
    next 0

lens "Second"
    group "nowhere"
    multiplier 1
    max aperture 2.97
    focal range 18 55
    calibration 18 1e-07 -0.0315 3.4028235e+38
)";

std::string roundTrip(const std::string& text) {
    qvtest::TempDir dir;
    const std::string path = writeDatabase(dir.file("db.dat"), parse(text));
    lensdb::ReadResult r = lensdb::readDatabaseFile(path);
    EXPECT_TRUE(r.ok()) << r.message;
    return lensdb::formatDatabaseText(r.database);
}

TEST(DatTextTest, CanonicalTextSurvivesBuildAndDump) {
    const std::string canonical = lensdb::formatDatabaseText(parse(kAwkwardText));
    EXPECT_EQ(canonical, roundTrip(canonical));
    const std::string fixture = lensdb::formatDatabaseText(parse(kFixtureText));
    EXPECT_EQ(fixture, roundTrip(kFixtureText));
}

TEST(DatTextTest, AwkwardValuesKeepTheirBytesAndBits) {
    const DATDatabase db = parse(lensdb::formatDatabaseText(parse(kAwkwardText)));
    ASSERT_EQ(3u, db.groups.size());
    EXPECT_EQ(0, db.groups[1].next);
    EXPECT_EQ("Quote \" and \\ backslash", db.groups[2].name);
    ASSERT_EQ(1u, db.cameras.size());
    EXPECT_EQ(1, db.cameras[0].group);  // the second of the two groups called "Same"
    EXPECT_EQ("Model \xb4 stray", db.cameras[0].menuModel);
    EXPECT_EQ("Canon PowerShot S100\xb4", db.cameras[0].exifModel);
    EXPECT_EQ(1.6f, db.cameras[0].multiplier);
    EXPECT_EQ(-3, db.cameras[0].standard);
    EXPECT_EQ(0, db.cameras[0].next);
    ASSERT_EQ(2u, db.lenses.size());
    EXPECT_EQ("Lens \xe2\x82\xac", db.lenses[0].name);
    EXPECT_TRUE(std::isnan(db.lenses[0].multiplier));
    EXPECT_TRUE(std::signbit(db.lenses[0].maxAperture));
    EXPECT_FALSE(db.lenses[0].hasCalibration());
    EXPECT_EQ(1e30f, db.lenses[0].maxFocalLength);
    ASSERT_EQ(1u, db.calibrations.size());
    EXPECT_EQ(1e-7f, db.calibrations[0].a);
    EXPECT_EQ(3.4028235e38f, db.calibrations[0].c);
}

TEST(DatTextTest, DumpWritesInvalidBytesAsEscapesAndValidUtf8AsText) {
    const std::string text = lensdb::formatDatabaseText(parse(kAwkwardText));
    EXPECT_NE(std::string::npos, text.find("\"Canon PowerShot S100\\xb4\""));
    EXPECT_NE(std::string::npos, text.find("lens \"Lens \xe2\x82\xac\""));
    EXPECT_NE(std::string::npos, text.find("    group 1\n"));
    EXPECT_NE(std::string::npos, text.find("\"Quote \\\" and \\\\ backslash\""));
}

TEST(DatTextTest, ErrorsNameTheLine) {
    struct Case {
        const char* text;
        const char* expected;
    };
    const Case cases[] = {
        {"group \"G\"\n    colour 3\n", "line 2: unknown field"},
        {"group \"G\"\ncamera \"A\" \"B\"\n    multiplier 1\n    multiplier 2\n", "line 4: \"multiplier\" given twice"},
        {"group \"G\"\nlens \"L\"\n    focal range 10\n", "line 3: expected 2 value(s)"},
        {"group \"G\"\nlens \"L\"\n    calibration 10 0 0 zero\n", "line 3: bad value \"zero\""},
        {"group \"G\n", "line 1: unterminated string"},
        {"group \"G\\x00\"\n", "line 1: a name cannot hold a NUL byte"},
        {"group \"G\\q\"\n", "line 1: unknown escape"},
        {"    next 1\n", "line 1: an indented field before any record"},
        {"\n\nwidget \"W\"\n", "line 3: expected a record"},
        {"camera A B\n", "line 1: bad value \"A\""},
        {"group \"G\"\ncamera \"A\" \"B\"\n    group \"H\"\n", "line 2: camera names group \"H\""},
        {"group \"G\"\ncamera \"A\" \"B\"\n    group 1\n", "line 2: camera names group"},
        {"group \"G\"\ncamera \"A\" \"B\"\n    standard 2147483648\n", "line 3: bad value"},
    };
    for (const Case& c : cases) {
        DATDatabase db;
        std::string error;
        EXPECT_FALSE(lensdb::parseDatabaseText(c.text, db, error)) << c.text;
        EXPECT_EQ(0u, error.find(c.expected)) << "text: " << c.text << "\nerror: " << error;
    }
}

TEST(DatTextTest, CommentsBlankLinesAndFieldOrderDoNotMatter) {
    const DATDatabase db = parse(
        "# a comment\n\n"
        "lens \"L\"   # trailing comment\n"
        "\tcalibration 20 0.1 0 0\n"
        "    focal range 20 30\n"
        "    calibration 30 0.2 0 0\n"
        "camera \"A\" \"B\"\n"
        "    group \"G\"\n"
        "group \"G\"\n");
    ASSERT_EQ(1u, db.lenses.size());
    EXPECT_EQ(0, db.lenses[0].firstCalibration);
    EXPECT_EQ(1, db.lenses[0].lastCalibration);
    EXPECT_EQ(30.0f, db.lenses[0].maxFocalLength);
    EXPECT_EQ(0, db.cameras[0].group);
}

TEST(DatTextTest, SharedCalibrationRangesDumpInlineAndRebuildEquivalently) {
    DATDatabase db = fixtureDatabase();
    // Lens 1 borrows lens 0's records: a layout the text cannot say directly.
    db.lenses[1].firstCalibration = 0;
    db.lenses[1].lastCalibration = 2;
    const DATDatabase rebuilt = parse(lensdb::formatDatabaseText(db));
    ASSERT_TRUE(rebuilt.lenses[1].hasCalibration());
    ASSERT_EQ(3, rebuilt.lenses[1].lastCalibration - rebuilt.lenses[1].firstCalibration + 1);
    for (int k = 0; k < 3; ++k) {
        const DATCalibration& original = db.calibrations[std::size_t(k)];
        const DATCalibration& copy = rebuilt.calibrations[std::size_t(rebuilt.lenses[1].firstCalibration + k)];
        EXPECT_EQ(original.focalLength, copy.focalLength);
        EXPECT_EQ(original.b, copy.b);
    }
}

}  // namespace
