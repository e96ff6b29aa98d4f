// QVDatabaseLoader: what a read leaves behind and the queries run on it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <limits>
#include <set>
#include <thread>

#include "LensTestSupport.h"
#include "foundation/PropertyList.h"
#include "common/TempDir.h"

using namespace lenstest;

namespace {

std::vector<std::string> lensNames(const qv::Array& records) {
    std::vector<std::string> names;
    for (const qv::Value& r : records) names.push_back(r.get("3.Lens Name").stringOr("?"));
    return names;
}

std::vector<double> multipliers(const qv::Array& records) {
    std::vector<double> values;
    for (const qv::Value& r : records) values.push_back(r.get("Multiplier").doubleOr(-1));
    return values;
}

class LoaderTest : public testing::Test {
protected:
    void SetUp() override {
        path = writeDatabase(dir.file("PTLens.dat"), fixtureDatabase());
        loader.setController(&controller);
        ASSERT_TRUE(loader.loadPTLensDatabase(path));
    }

    qvtest::TempDir dir;
    std::string path;
    FakeController controller;
    QVDatabaseLoader loader;
};

// The lens choice's widened search: the lenses of every camera's group, in the order the cameras
// name the groups, later records of a name and group already listed left out, kept when their focal
// range matches. Worked out here the long way, as the controller once did.
TEST(LoaderWidenedSearchTest, ListsWhatEveryCameraGroupsLensesGiveOnceRepeatsAreRemoved) {
    const DATDatabase db = parse(R"(
group "G1"
group "G2"
camera "B" "B1"
    exif "B" "B1"
    group "G2"
    multiplier 1.5
    standard 0
camera "A" "A1"
    exif "A" "A1"
    group "G1"
    multiplier 1
    standard 0
camera "B" "B2"
    exif "B" "B2"
    group "G2"
    multiplier 1.5
    standard 0
lens "Zoom"
    group "G1"
    multiplier 1
    max aperture 4
    focal range 24 105
    calibration 24 0.01 -0.02 0
lens "Zoom"
    group "G2"
    multiplier 1
    max aperture 4
    focal range 24 105
    calibration 24 0.02 -0.03 0
lens "Other"
    group "G2"
    multiplier 1.5
    max aperture 4
    focal range 24 70
    calibration 24 0.03 0 0
lens "Other"
    group "G2"
    multiplier 1.5
    max aperture 4
    focal range 24 105
    calibration 24 0.04 0 0
lens "Near"
    group "G1"
    multiplier 1
    max aperture 2
    focal range 24.05 104.95
    calibration 30 0.05 0 0
lens "Far"
    group "G1"
    multiplier 1
    max aperture 2
    focal range 24.2 105
    calibration 30 0.06 0 0
)");
    qvtest::TempDir dir;
    FakeController controller;
    controller.focal = 24;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    loader.setMultiplier(1.5);
    ASSERT_TRUE(loader.loadPTLensDatabase(writeDatabase(dir.file("w.dat"), db)));

    std::vector<std::string> groups;
    for (const qv::Value& camera : loader.camInfoForLoadedDatabase()) groups.push_back(camera.get("camGroup").stringOr(""));
    qv::Array expected;
    std::set<std::pair<std::string, std::string>> seen;
    for (const qv::Value& lens : loader.lensArrayForCamGroup(groups)) {
        if (!seen.emplace(lens.get("3.Lens Name").stringOr(""), lens.get("lensGroup").stringOr("")).second) continue;
        if (std::fabs(lens.get("minFocalLength").doubleOr(0) - 24) < 0.1 &&
            std::fabs(lens.get("maxFocalLength").doubleOr(0) - 105) < 0.1)
            expected.push_back(lens);
    }
    const qv::Array widened = loader.lensesOfEveryCameraGroupInFocalRange(24, 105, 0.1);
    EXPECT_EQ(widened, expected);
    EXPECT_EQ(lensNames(widened), (std::vector<std::string>{"Zoom", "Zoom", "Near"}))
        << "G2's zoom first (its camera comes first), G2's second \"Other\" kept out by the first, \"Far\" 0.2 off";
    EXPECT_TRUE(loader.lensesOfEveryCameraGroupInFocalRange(50, 50, 0.1).empty());
}

TEST_F(LoaderTest, CameraRecordsFollowFileOrder) {
    const qv::Array cameras = loader.camInfoForLoadedDatabase();
    ASSERT_EQ(3u, cameras.size());
    const qv::Value& a2 = cameras[1];
    EXPECT_EQ("MakeA", a2.get("menuMake").stringOr(""));
    EXPECT_EQ("Model A2", a2.get("menuModel").stringOr(""));
    EXPECT_EQ("MAKE A", a2.get("exifMake").stringOr(""));
    EXPECT_EQ("A2 EXIF", a2.get("exifModel").stringOr(""));
    EXPECT_EQ("G2", a2.get("camGroup").stringOr(""));
    EXPECT_EQ(1.0, a2.get("Multiplier").doubleOr(0));
    EXPECT_EQ(2.0, cameras[2].get("Multiplier").doubleOr(0));
}

TEST_F(LoaderTest, LensRecordsCarryTheResourceKeys) {
    controller.focal = 12.5;
    loader.setMultiplier(1.5);
    const qv::Array lenses = loader.lensArrayForCamGroup({"G1"});
    ASSERT_FALSE(lenses.empty());
    const qv::Value& zoom = lenses[0];
    EXPECT_EQ("G1", zoom.get("lensGroup").stringOr(""));
    EXPECT_EQ("Zoom 10-20", zoom.get("3.Lens Name").stringOr(""));
    EXPECT_EQ(1.5, zoom.get("Multiplier").doubleOr(0));
    EXPECT_EQ(0, zoom.get("FLowerBound").integerOr(-9));
    EXPECT_EQ(2, zoom.get("FUpperBound").integerOr(-9));
    EXPECT_EQ(10.0, zoom.get("minFocalLength").doubleOr(0));
    EXPECT_FLOAT_EQ(20.7f, float(zoom.get("maxFocalLength").doubleOr(0)));  // as stored, not cut to 20
    EXPECT_NEAR(3.61, zoom.get("MaxAperture").doubleOr(0), 1e-6);
    EXPECT_EQ(12.5, zoom.get("4.Lens Focal Length").doubleOr(0));
    EXPECT_NEAR(0.015, zoom.get("aValue").doubleOr(0), 1e-7);
    EXPECT_NEAR(-0.03, zoom.get("bValue").doubleOr(0), 1e-7);
    EXPECT_NEAR(0.0025, zoom.get("cValue").doubleOr(0), 1e-7);
}

TEST_F(LoaderTest, GroupsAreListedInOrderAndOnlyAnImmediateRepeatIsSkipped) {
    const std::vector<std::string> g1 = {"Zoom 10-20", "Prime 30", "Zoom 10-20"};
    std::vector<std::string> g1g2 = g1;
    g1g2.push_back("Wide 12");
    EXPECT_EQ(g1g2, lensNames(loader.lensArrayForCamGroup({"G1", "G1", "G2"})));
    std::vector<std::string> g1g2g1 = g1g2;
    g1g2g1.insert(g1g2g1.end(), g1.begin(), g1.end());
    EXPECT_EQ(g1g2g1, lensNames(loader.lensArrayForCamGroup({"G1", "G2", "G1"})));
    EXPECT_TRUE(loader.lensArrayForCamGroup({"nowhere"}).empty());
    EXPECT_TRUE(loader.lensArrayForCamGroup({}).empty());
}

TEST_F(LoaderTest, ANamesakeIsOfferedOnlyWhenItsMultiplierIsNotAboveTheFirsts) {
    // Lenses 0 (x1.5), 2 (x1.6) and 3 (x1.4) share name and group: lens 2 is left out.
    EXPECT_EQ((std::vector<double>{1.5, 1.5, double(1.4f)}), multipliers(loader.lensArrayForCamGroup({"G1"})));
    EXPECT_TRUE(loader.lensQualifiesMenuWithIndex(3, "G1", "Zoom 10-20"));
    EXPECT_FALSE(loader.lensQualifiesMenuWithIndex(2, "G1", "Zoom 10-20"));
    // A name no lens of the group has falls back to the group's first camera (x1.5), then to 0.
    EXPECT_TRUE(loader.lensQualifiesMenuWithIndex(0, "G1", "unknown"));
    EXPECT_TRUE(loader.lensQualifiesMenuWithIndex(4, "G2", "unknown"));
    EXPECT_FALSE(loader.lensQualifiesMenuWithIndex(5, "G1", "unknown"));  // x2.0 against G1's camera at x1.5
    EXPECT_FALSE(loader.lensQualifiesMenuWithIndex(0, "no such group", "unknown"));
    EXPECT_FALSE(loader.lensQualifiesMenuWithIndex(6, "G1", "Zoom 10-20"));
    EXPECT_FALSE(loader.lensQualifiesMenuWithIndex(-1, "G1", "Zoom 10-20"));
}

TEST_F(LoaderTest, MatchingOptionKeepsOnlyLensesCalibratedForTheFocalLength) {
    controller.onlyMatching = true;
    controller.focal = 0;
    EXPECT_TRUE(loader.lensArrayForCamGroup({"G1", "G2", "G3"}).empty());
    controller.focal = 12;
    // Lens 3's only calibration is at 10 mm; lens 4's at 12 mm.
    EXPECT_EQ((std::vector<std::string>{"Zoom 10-20", "Wide 12"}), lensNames(loader.lensArrayForCamGroup({"G1", "G2"})));
    controller.focal = 150;
    EXPECT_EQ((std::vector<std::string>{"Tele 100"}), lensNames(loader.lensArrayForCamGroup({"G1", "G2", "G3"})));
    controller.onlyMatching = false;
    EXPECT_EQ(5u, loader.lensArrayForCamGroup({"G1", "G2", "G3"}).size());  // all but the x1.6 namesake
}

TEST_F(LoaderTest, CoefficientsFollowTheControllersFocalLengthAndTheMatchingMultiplier) {
    EXPECT_EQ(1.0, loader.cameraMultiplier());
    controller.focal = 10;
    auto r = loader.correctionValuesForIndex(0);  // lens x1.5, camera x1.0: rescaled
    ASSERT_TRUE(r);
    EXPECT_NEAR(0.033707865168539325, (*r)[1], 1e-7);
    loader.setMultiplier(1.5);
    EXPECT_EQ(1.5, loader.cameraMultiplier());
    r = loader.correctionValuesForIndex(0);
    ASSERT_TRUE(r);
    EXPECT_NEAR(0.01, (*r)[1], 1e-7);
    controller.focal = 1000;
    r = loader.correctionValuesForIndex(5);  // x2.0 lens against x1.5: rescaled at 200 mm
    ASSERT_TRUE(r);
    EXPECT_EQ(200.0, (*r)[0]);
    EXPECT_FALSE(loader.correctionValuesForIndex(6));
    EXPECT_FALSE(loader.correctionValuesForIndex(-1));
    controller.focal = std::numeric_limits<double>::quiet_NaN();
    EXPECT_FALSE(loader.correctionValuesForIndex(0));
}

TEST_F(LoaderTest, LensWithoutUsableCoefficientsListsZeros) {
    controller.focal = std::numeric_limits<double>::quiet_NaN();
    const qv::Array lenses = loader.lensArrayForCamGroup({"G2"});
    ASSERT_EQ(1u, lenses.size());
    for (const char* key : {"4.Lens Focal Length", "aValue", "bValue", "cValue"})
        EXPECT_EQ(0.0, lenses[0].get(key).doubleOr(-1)) << key;
}

TEST_F(LoaderTest, LensDictionaryUsesItsOwnBoundsAndMultiplier) {
    controller.focal = 15;
    loader.setMultiplier(1.5);
    const qv::Value zoom = loader.lensArrayForCamGroup({"G1"})[0];
    auto r = loader.correctionValuesForLensDict(zoom);
    ASSERT_TRUE(r);
    EXPECT_NEAR(0.02, (*r)[1], 1e-7);

    qv::Value other = zoom;
    other["FLowerBound"] = 7;
    other["FUpperBound"] = 8;
    other["Multiplier"] = 2.0f;
    loader.setMultiplier(2.0);
    controller.focal = 150;
    r = loader.correctionValuesForLensDict(other);
    ASSERT_TRUE(r);
    EXPECT_NEAR(0.0025, (*r)[1], 1e-7);

    // Bounds from another database that do not fit this one, or a user-database record.
    qv::Value stale = zoom;
    stale["FUpperBound"] = 9;
    EXPECT_FALSE(loader.correctionValuesForLensDict(stale));
    qv::Value user;
    user["3.Lens Name"] = "Mine";
    user["Red A"] = 0.1;
    EXPECT_FALSE(loader.correctionValuesForLensDict(user));
    qv::Value noMultiplier = zoom;
    noMultiplier.erase("Multiplier");
    EXPECT_FALSE(loader.correctionValuesForLensDict(noMultiplier));
}

TEST_F(LoaderTest, NameLookups) {
    EXPECT_EQ(1, loader.indexOfLens(std::string("Prime 30")));
    EXPECT_EQ(0, loader.indexOfLens(std::string("Zoom 10-20")));
    EXPECT_EQ(-1, loader.indexOfLens(std::string("zoom 10-20")));
    EXPECT_EQ(-1, loader.indexOfLens(std::nullopt));
    EXPECT_EQ(5, loader.indexOfLens(std::string("Tele 100"), std::string("G3")));
    EXPECT_EQ(-1, loader.indexOfLens(std::string("Tele 100"), std::string("G1")));
    EXPECT_EQ(-1, loader.indexOfLens(std::string("Tele 100"), std::nullopt));
    EXPECT_EQ("G2", loader.camGroupOfModel("Model A2").value_or("?"));
    EXPECT_FALSE(loader.camGroupOfModel("A2 EXIF"));
    EXPECT_EQ("Model B1", loader.menuModelForExifModel("B1 EXIF").value_or("?"));
    EXPECT_FALSE(loader.menuModelForExifModel("Model B1"));
    EXPECT_TRUE(loader.cameraGroup("G2", "MakeA"));
    EXPECT_FALSE(loader.cameraGroup("G3", "MakeA"));
    EXPECT_FALSE(loader.cameraGroup("G2", "makea"));
}

TEST(LoaderListsTest, DuplicatesAreRemovedKeepingTheFirst) {
    auto camera = [](const char* make, const char* model) {
        qv::Value v;
        v["menuMake"] = make;
        v["menuModel"] = model;
        return v;
    };
    const qv::Array kept = QVDatabaseLoader::removeDuplicateCameras(
        {camera("A", "1"), camera("B", "1"), camera("A", "2"), camera("C", "1"), camera("B", "3")});
    ASSERT_EQ(3u, kept.size());
    EXPECT_EQ("1", kept[0].get("menuModel").stringOr(""));
    EXPECT_EQ("C", kept[2].get("menuMake").stringOr(""));
    EXPECT_EQ((std::vector<std::string>{"x", "y", "z"}),
              QVDatabaseLoader::removeDuplicateEntriesFrom({"x", "y", "x", "z", "y"}));
}

TEST(LoaderReadTest, AnEmptyLoaderAnswersNothing) {
    QVDatabaseLoader loader;
    EXPECT_TRUE(loader.camInfoForLoadedDatabase().empty());
    EXPECT_TRUE(loader.lensArrayForCamGroup({"G1"}).empty());
    EXPECT_FALSE(loader.correctionValuesForIndex(0));
    EXPECT_EQ(-1, loader.indexOfLens(std::string("x")));
    EXPECT_EQ(nullptr, loader.database());
}

TEST(LoaderReadTest, UserDatabasesAreReadAsDictionaries) {
    qvtest::TempDir dir;
    qv::Value lens;
    lens["3.Lens Name"] = "My lens";
    lens["Red A"] = 0.01;
    qv::Value maker;
    maker["Manufacturer Name"] = "Maker";
    maker["Models"] = qv::Array{qv::Value("M1")};
    qv::Value root;
    root["Camera Manufacturers"] = qv::Array{maker};
    root["Lens Array"] = qv::Array{lens};
    ASSERT_TRUE(qv::writePropertyList(root, dir.file("mine.dtl")));
    ASSERT_TRUE(qv::writePropertyList(qv::Array{lens}, dir.file("array.dtl")));
    writeBytes(dir.file("garbage.dtl"), {'<', '?', 'x', 'm'});

    QVDatabaseLoader loader;
    const qv::Value read = loader.loadDatabase(dir.file("mine.dtl"));
    EXPECT_EQ(root, read);
    EXPECT_EQ(root, loader.databaseDict());
    for (const char* name : {"array.dtl", "garbage.dtl", "absent.dtl"}) {
        EXPECT_TRUE(loader.loadDatabase(dir.file(name)).isNull()) << name;
        EXPECT_TRUE(loader.databaseDict().isNull()) << name;
    }
    // The resource database is another matter: the loader still holds none.
    EXPECT_EQ(nullptr, loader.database());
}

TEST(LoaderReadTest, AMissingFileSaysSoOnStandardOutput) {
    qvtest::TempDir dir;
    QVDatabaseLoader loader;
    testing::internal::CaptureStdout();
    EXPECT_FALSE(loader.loadPTLensDatabase(dir.file("none.dat")));
    EXPECT_EQ("Unable to open file " + dir.file("none.dat"), testing::internal::GetCapturedStdout());
}

TEST(LoaderReadTest, TheStrayByteAfterS100IsDroppedAndOtherNamesAreReadAsMacRoman) {
    qvtest::TempDir dir;
    DATDatabase db = fixtureDatabase();
    db.cameras[0].exifModel = "Canon PowerShot S100\xB4";
    db.cameras[1].exifModel = "Canon PowerShot S100";
    db.cameras[2].exifModel = "Canon PowerShot S100\xB4\xB4";
    db.lenses[4].name = "Caf\xE9";
    QVDatabaseLoader loader;
    ASSERT_TRUE(loader.loadPTLensDatabase(writeDatabase(dir.file("s100.dat"), db)));
    const qv::Array cameras = loader.camInfoForLoadedDatabase();
    EXPECT_EQ("Canon PowerShot S100", cameras[0].get("exifModel").stringOr(""));
    EXPECT_EQ("Canon PowerShot S100", cameras[1].get("exifModel").stringOr(""));
    EXPECT_EQ("Canon PowerShot S100\xC2\xA5\xC2\xA5", cameras[2].get("exifModel").stringOr(""));  // two yen signs
    EXPECT_EQ(4, loader.indexOfLens(std::string("Caf\xC3\x88")));  // E with grave accent
}

TEST(LoaderReadTest, AFailedReadChangesNothing) {
    qvtest::TempDir dir;
    QVDatabaseLoader loader;
    ASSERT_TRUE(loader.loadPTLensDatabase(writeDatabase(dir.file("good.dat"), fixtureDatabase())));
    const auto before = loader.database();
    ASSERT_TRUE(before);

    auto bytes = encode(fixtureDatabase());
    bytes[4] = 4;  // version 4
    writeBytes(dir.file("bad.dat"), bytes);
    EXPECT_FALSE(loader.loadPTLensDatabase(dir.file("bad.dat")));
    bytes.resize(bytes.size() - 1);
    bytes[4] = 3;
    writeBytes(dir.file("short.dat"), bytes);
    EXPECT_FALSE(loader.loadPTLensDatabase(dir.file("short.dat")));
    EXPECT_EQ(before, loader.database());
    EXPECT_EQ(3u, loader.camInfoForLoadedDatabase().size());

    QVDatabaseLoader fresh;
    EXPECT_FALSE(fresh.loadPTLensDatabase(dir.file("bad.dat")));
    EXPECT_TRUE(fresh.camInfoForLoadedDatabase().empty());
}

TEST(LoaderReadTest, ASecondReadReplacesListsAndCalibrationsTogether) {
    qvtest::TempDir dir;
    FakeController controller;
    controller.focal = 30;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    loader.setMultiplier(1.5);
    ASSERT_TRUE(loader.loadPTLensDatabase(writeDatabase(dir.file("a.dat"), fixtureDatabase())));
    ASSERT_EQ(1, loader.indexOfLens(std::string("Prime 30")));

    // The second file has a single lens whose only calibration is record 0.
    const DATDatabase other = parse(
        "group \"H\"\ncamera \"Other\" \"X\"\n    group \"H\"\n"
        "lens \"Only\"\n    group \"H\"\n    multiplier 1.5\n    calibration 30 0.25 0 0\n");
    ASSERT_TRUE(loader.loadPTLensDatabase(writeDatabase(dir.file("b.dat"), other)));
    EXPECT_EQ(1u, loader.camInfoForLoadedDatabase().size());
    EXPECT_EQ(-1, loader.indexOfLens(std::string("Prime 30")));
    EXPECT_FALSE(loader.correctionValuesForIndex(1));
    auto r = loader.correctionValuesForIndex(0);
    ASSERT_TRUE(r);
    EXPECT_NEAR(0.25, (*r)[1], 1e-7);
    ASSERT_TRUE(loader.database());
    EXPECT_EQ("Only", loader.database()->lenses.at(0).name);
}

// Reads swapping two databases on one thread while another queries: every answer must come whole
// from one of the two.
TEST(LoaderReadTest, ReadsAndQueriesOnTwoThreadsSeeWholeDatabases) {
    qvtest::TempDir dir;
    const std::string a = writeDatabase(dir.file("a.dat"), fixtureDatabase());
    const std::string b = writeDatabase(
        dir.file("b.dat"),
        parse("group \"G1\"\ncamera \"B\" \"B\"\n    group \"G1\"\n    multiplier 1.5\n"
              "lens \"Other\"\n    group \"G1\"\n    multiplier 1.5\n    calibration 10 0.5 0 0\n"));
    FakeController controller;
    controller.focal = 10;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    loader.setMultiplier(1.5);
    ASSERT_TRUE(loader.loadPTLensDatabase(a));

    std::atomic<bool> stop{false};
    std::thread reader([&] {
        for (int i = 0; i < 200; ++i) loader.loadPTLensDatabase(i % 2 ? a : b);
        stop = true;
    });
    int mixed = 0, queries = 0;
    // At least one query runs, however quickly the reader finishes.
    do {
        const qv::Array lenses = loader.lensArrayForCamGroup({"G1"});
        ++queries;
        if (lenses.empty()) {
            ++mixed;
            continue;
        }
        const std::string name = lenses[0].get("3.Lens Name").stringOr("");
        const double a0 = lenses[0].get("aValue").doubleOr(-1);
        const bool fromA = name == "Zoom 10-20" && std::abs(a0 - 0.01) < 1e-6 && lenses.size() == 3;
        const bool fromB = name == "Other" && std::abs(a0 - 0.5) < 1e-6 && lenses.size() == 1;
        if (!fromA && !fromB) ++mixed;
    } while (!stop);
    reader.join();
    EXPECT_GT(queries, 0);
    EXPECT_EQ(0, mixed);
}

}  // namespace
