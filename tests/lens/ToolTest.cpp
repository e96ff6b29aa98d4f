// The qv-lensdb tool, the hand-made database the tests use as their fixture, and the database that
// ships with the application, converted from the installed lens calibration data.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>

#include <set>

#include "LensTestSupport.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "common/TempDir.h"
#include "lens/DatReader.h"
#include "lens/DatText.h"
#include "lens/LensDataImport.h"

extern char** environ;

using namespace lenstest;

namespace {

std::string fixtureSource() { return qvtest::sourceDir() + "/tests/fixtures/PTLens.txt"; }

// The fixture's source, built with the library's own writer.
std::string buildFixture(const qvtest::TempDir& dir) {
    return writeDatabase(dir.file("shipped.dat"), parse(readText(fixtureSource())));
}

TEST(FixtureDatabaseTest, SourceIsInCanonicalForm) {
    const std::string text = readText(fixtureSource());
    ASSERT_FALSE(text.empty());
    EXPECT_EQ(text, lensdb::formatDatabaseText(parse(text)));
}

TEST(FixtureDatabaseTest, ListsItsCamerasAndCorrectsTheKitZoomsBarrelDistortion) {
    qvtest::TempDir dir;
    FakeController controller;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    ASSERT_TRUE(loader.loadPTLensDatabase(buildFixture(dir)));
    const qv::Array cameras = loader.camInfoForLoadedDatabase();
    EXPECT_GE(cameras.size(), 10u);
    std::set<std::string> makes;
    const qv::Value* eos400d = nullptr;
    for (const qv::Value& c : cameras) {
        makes.insert(c.get("menuMake").stringOr(""));
        if (c.get("exifMake").stringOr("") == "Canon" && c.get("exifModel").stringOr("") == "Canon EOS 400D DIGITAL")
            eos400d = &c;
    }
    EXPECT_GE(makes.size(), 5u);
    ASSERT_NE(nullptr, eos400d);
    loader.setMultiplier(eos400d->get("Multiplier").doubleOr(0));
    controller.focal = 18;
    const qv::Array lenses = loader.lensArrayForCamGroup({eos400d->get("camGroup").stringOr("")});
    const qv::Value* kitZoom = nullptr;
    for (const qv::Value& l : lenses)
        if (l.get("3.Lens Name").stringOr("") == "Canon EF-S 18-55mm f/3.5-5.6") kitZoom = &l;
    ASSERT_NE(nullptr, kitZoom);
    EXPECT_EQ(18.0, kitZoom->get("4.Lens Focal Length").doubleOr(0));
    EXPECT_LT(kitZoom->get("bValue").doubleOr(0), -0.01);  // barrel distortion at 18 mm
    EXPECT_EQ(18.0, kitZoom->get("minFocalLength").doubleOr(0));
    EXPECT_EQ(55.0, kitZoom->get("maxFocalLength").doubleOr(0));
}

TEST(FixtureDatabaseTest, EveryLensIsPlausible) {
    const DATDatabase db = parse(readText(fixtureSource()));
    std::set<std::string> cameraGroups;
    for (std::size_t i = 0; i < db.cameras.size(); ++i) cameraGroups.insert(db.groupNameOfCamera(i));
    std::set<float> multipliers;
    for (const DATLens& l : db.lenses) {
        SCOPED_TRACE(l.name);
        EXPECT_TRUE(cameraGroups.count(l.group));
        ASSERT_TRUE(l.hasCalibration());
        multipliers.insert(l.multiplier);
        for (std::int32_t k = l.firstCalibration; k <= l.lastCalibration; ++k) {
            const float f = db.calibrations[std::size_t(k)].focalLength;
            EXPECT_GE(f, l.minFocalLength);
            EXPECT_LE(f, l.maxFocalLength);
            if (k > l.firstCalibration) {
                EXPECT_GT(f, db.calibrations[std::size_t(k - 1)].focalLength);
            }
        }
    }
    EXPECT_GE(multipliers.size(), 4u);
}

#ifdef QV_LENSDB_TOOL

// Runs the tool with the arguments, standard output into outputPath; answers its exit status.
std::vector<std::uint8_t> bytesOf(const std::string& text) { return {text.begin(), text.end()}; }

int runTool(const std::vector<std::string>& args, const std::string& outputPath) {
    std::vector<char*> argv;
    std::string tool = QV_LENSDB_TOOL;
    argv.push_back(tool.data());
    std::vector<std::string> copies = args;
    for (std::string& a : copies) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 1, outputPath.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t pid;
    int status = -1;
    if (posix_spawn(&pid, tool.c_str(), &actions, nullptr, argv.data(), environ) == 0) waitpid(pid, &status, 0);
    posix_spawn_file_actions_destroy(&actions);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

TEST(LensDbToolTest, BuildThenDumpGivesTheSourceBack) {
    qvtest::TempDir dir;
    const std::string dat = dir.file("PTLens.dat");
    ASSERT_EQ(0, runTool({"build", fixtureSource(), dat}, dir.file("out.txt")));
    ASSERT_EQ(0, runTool({"dump", dat}, dir.file("dump.txt")));
    EXPECT_EQ(readText(fixtureSource()), readText(dir.file("dump.txt")));
    ASSERT_EQ(0, runTool({"dump", dat, dir.file("dump2.txt")}, dir.file("out.txt")));
    EXPECT_EQ(readText(fixtureSource()), readText(dir.file("dump2.txt")));
    EXPECT_EQ(readBytes(buildFixture(dir)), readBytes(dat));
}

TEST(LensDbToolTest, ImportsLensDataPrintsItsCountsAndTheDumpGivesTheTextBack) {
    qvtest::TempDir dir;
    qv::files::createFolder(dir.file("data"), true);
    writeBytes(dir.file("data/one.xml"), bytesOf(R"(<lensdatabase version="1">
        <camera><maker>Alpha</maker><model>Alpha One</model><mount>Alpha</mount><cropfactor>1.5</cropfactor></camera>
        <lens><maker>Alpha</maker><model>Alpha 18-55mm f/3.5-5.6</model><mount>Alpha</mount>
            <cropfactor>1.5</cropfactor>
            <calibration><distortion model="ptlens" focal="18" a="0.01" b="-0.03" c="0.02"/></calibration></lens>
        </lensdatabase>)"));
    writeBytes(dir.file("data/notes.txt"), bytesOf("not lens data"));
    ASSERT_EQ(0, runTool({"import-lensdata", dir.file("data"), dir.file("lenses.txt")}, dir.file("counts.txt")));
    const std::string counts = readText(dir.file("counts.txt"));
    EXPECT_NE(counts.find("cameras converted: 1\n"), std::string::npos) << counts;
    EXPECT_NE(counts.find("lenses converted: 1\n"), std::string::npos) << counts;
    const std::string text = readText(dir.file("lenses.txt"));
    EXPECT_NE(text.find("lens \"Alpha 18-55mm f/3.5-5.6\""), std::string::npos) << text;
    ASSERT_EQ(0, runTool({"build", dir.file("lenses.txt"), dir.file("PTLens.dat")}, dir.file("out.txt")));
    ASSERT_EQ(0, runTool({"dump", dir.file("PTLens.dat")}, dir.file("dump.txt")));
    EXPECT_EQ(text, readText(dir.file("dump.txt")));

    // A folder without lens data, or with a broken file, writes nothing.
    EXPECT_EQ(1, runTool({"import-lensdata", dir.file("missing"), dir.file("none.txt")}, dir.file("out.txt")));
    writeBytes(dir.file("data/two.xml"), bytesOf("<lensdatabase><lens>"));
    EXPECT_EQ(1, runTool({"import-lensdata", dir.file("data"), dir.file("none.txt")}, dir.file("out.txt")));
    EXPECT_FALSE(qv::files::exists(dir.file("none.txt")));
}

TEST(LensDbToolTest, FailuresExitNonZeroAndLeaveNoOutput) {
    qvtest::TempDir dir;
    const std::string out = dir.file("x.txt");
    writeBytes(dir.file("bad.txt"), {'w', 'h', 'a', 't', '\n'});
    EXPECT_EQ(1, runTool({"build", dir.file("bad.txt"), dir.file("bad.dat")}, out));
    EXPECT_TRUE(readBytes(dir.file("bad.dat")).empty());
    EXPECT_EQ(1, runTool({"build", dir.file("missing.txt"), dir.file("m.dat")}, out));
    EXPECT_EQ(1, runTool({"dump", dir.file("bad.txt")}, out));
    EXPECT_EQ(2, runTool({"frobnicate"}, out));
    EXPECT_EQ(2, runTool({}, out));
}

#endif

#ifdef QV_BUILDS_LENSDB_RESOURCE
// The bundle's database is the installed data converted: the same bytes as this build's own
// conversion, and a dump of it gives the converted text back.
TEST(ShippedDatabaseTest, IsTheInstalledLensDataConverted) {
    const auto path = qv::Bundle::main().pathForResource("PTLens", "dat");
    ASSERT_TRUE(path);
    lensdata::Catalogue catalogue;
    std::string error;
    ASSERT_TRUE(lensdata::readCatalogueFolder(QV_LENSDATA_DIR, catalogue, error)) << error;
    lensdata::ImportReport report;
    const DATDatabase converted = lensdata::convertCatalogue(catalogue, report);
    // Built through the text form, which gives each lens record its own calibration lines.
    EXPECT_EQ(encode(parse(lensdb::formatDatabaseText(converted))), readBytes(*path));

    lensdb::ReadResult shipped = lensdb::readDatabaseFile(*path);
    ASSERT_TRUE(shipped.ok()) << shipped.message;
    EXPECT_EQ(lensdb::formatDatabaseText(shipped.database), lensdb::formatDatabaseText(converted));
    EXPECT_GT(shipped.database.cameras.size(), 800u);
    EXPECT_GT(report.lensesConverted, 1000);
    EXPECT_TRUE(qv::Bundle::main().pathForResource("PTLens-Attribution", "txt")) << "the data's licence travels with it";
}
#endif

}  // namespace
