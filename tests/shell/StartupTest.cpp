// The application's start in a temporary home: the preferences file and its defaults, the resource
// database installed and replaced, the databases loaded, the window frame and the launch questions.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cmath>

#include "ShellTestSupport.h"
#include "appkit/Screen.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "shell/controller/PreferenceKeys.h"

using namespace shelltest;

namespace {

class StartupTest : public testing::Test {
protected:
    void SetUp() override { resetApplication(); }
    void TearDown() override { resetApplication(); }

    static qv::ui::AlertAnswer answer(int button, const std::string& titleKey, bool dontAskAgain = false) {
        return {button, {{qv::localizedString("DontAskAgain"), dontAskAgain}}, qv::localizedString(titleKey)};
    }
    // A preferences file as an earlier run left it, with some keys changed.
    static void writePreferences(const qv::Dictionary& changes) {
        qv::Value root = shell::keys::preferencesFileDefaults();
        for (const auto& [key, value] : changes) root[key] = value;
        ASSERT_TRUE(qv::PreferencesFile::write(root));
    }
    // A file where the maker folder should be, so that no support folder can be made.
    static void blockSupportFolder() {
        ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(qv::paths::makerFolder()), true));
        ASSERT_TRUE(qv::files::writeWhole(qv::paths::makerFolder(), std::string_view("not a folder")));
    }
};

TEST_F(StartupTest, FirstRunWritesEveryDefaultAndInstallsTheShippedDatabase) {
    const auto shipped = qv::Bundle::main().pathForResource("PTLens", "dat");
    ASSERT_TRUE(shipped) << "the build makes the bundle's database";
    ASSERT_FALSE(qv::PreferencesFile::exists());

    QVMainNib nib = launch();
    QVController& c = *nib.controller;

    const qv::Value prefs = qv::PreferencesFile::read();
    ASSERT_TRUE(prefs.isDictionary());
    EXPECT_EQ(prefs.size(), 17u + 4u) << "seventeen keys at creation, then the window frame";
    for (const char* key : {"feInputFOV", "feOutputFOV"}) {
        EXPECT_EQ(prefs.get(key).type(), qv::Value::Type::Real) << key;
        EXPECT_EQ(prefs.get(key).floatOr(0), 1.0f) << key;
    }
    for (const char* key : {"feOutputHeight", "feOutputWidth"}) {
        EXPECT_EQ(prefs.get(key).type(), qv::Value::Type::Real) << key;
        EXPECT_EQ(prefs.get(key).floatOr(-1), 0.0f) << key;
    }
    EXPECT_EQ(prefs.get("samplerType").type(), qv::Value::Type::Integer);
    EXPECT_EQ(prefs.get("samplerType").integerOr(0), 3);
    for (const char* key : {"dontAskUserToSelectLens", "dontAskUserToUpdateDB"}) {
        EXPECT_EQ(prefs.get(key).type(), qv::Value::Type::Bool) << key;
        EXPECT_FALSE(prefs.get(key).boolOr(true)) << key;
    }
    for (const char* key : {"BatchSourceImagePath", "PresetFilePath", "parentDirectoryPath", "LoadedCamera",
                            "LoadedDatabase", "ImageSavePath", "ImageFilePath", "DatabasePath"})
        EXPECT_EQ(prefs.get(key).asString(), std::optional<std::string>("")) << key;
    EXPECT_EQ(prefs.get("ImageDirectoryPath").stringOr(""), qv::paths::homeFolder() + "/Documents");
    ASSERT_TRUE(prefs.get("recentLenses").isArray());
    EXPECT_EQ(prefs.get("recentLenses").size(), 0u);
    // The frame keys come from the main window as the nib made it.
    EXPECT_EQ(prefs.get("windowWidth").floatOr(0), 1100.0f);
    EXPECT_EQ(prefs.get("windowHeight").floatOr(0), 760.0f);
    EXPECT_EQ(prefs.get("originX").floatOr(0), 100.0f);
    EXPECT_EQ(prefs.get("originY").floatOr(0), 100.0f);
    EXPECT_EQ(qv::UserDefaults::standard().integerForKey("samplerType"), 3);

    EXPECT_EQ(fileBytes(installedDatabase()), fileBytes(*shipped));
    EXPECT_TRUE(c.state().mDBLoaded);
    EXPECT_TRUE(c.state().mPreferenceFileCreated);
    ASSERT_FALSE(databaseRowNames(c).empty());
    EXPECT_EQ(c.mainWindow().m_pDatabaseText->stringValue(), databaseRowNames(c).back());
    EXPECT_TRUE(wasAsked("Please tell Quorvel which lenses you own."));
    EXPECT_FALSE(wasAsked("ReplaceDBTitle"));
    EXPECT_FALSE(wasAsked("NoDatabaseWarning"));
    EXPECT_TRUE(c.state().mAppLaunched);
    EXPECT_FALSE(c.state().mLensSelectionInProgress);
    EXPECT_FALSE(qv::UserDefaults::standard().boolForKey("enableControl"));
    EXPECT_TRUE(qv::UserDefaults::standard().boolForKey("openButton"));
}

TEST_F(StartupTest, AStoredFrameThatIsNoNumbersHasNoSizeOrLiesOffEveryScreenLeavesTheNibsFrame) {
    FixtureBundle bundle;
    const qv::Rect nibFrame(100, 100, 1100, 760);
    auto frameAfterStart = [&](double x, double y, double width, double height) {
        writePreferences({{"originX", x}, {"originY", y}, {"windowWidth", width}, {"windowHeight", height}});
        resetApplication();
        QVMainNib nib = launch();
        return nib.controller->mainWindow().m_pWindow->frame();
    };
    const double inf = HUGE_VAL, nan = std::nan("");
    const double unusable[][4] = {{100, 100, inf, 760}, {100, 100, 1100, nan}, {-inf, 100, 1100, 760},
                                  {100, nan, 1100, 760}, {100, 100, 1e300, 760}, {100, 100, 0, 760},
                                  {100, 100, -300, 760}};
    for (const auto& f : unusable) EXPECT_EQ(frameAfterStart(f[0], f[1], f[2], f[3]), nibFrame) << f[0] << " " << f[2];
    // Without a window system no screen is known: any finite frame with a size is taken.
    EXPECT_EQ(frameAfterStart(5000, 5000, 800, 600), qv::Rect(5000, 5000, 800, 600));

    // With the screens known, a frame off every one of them is not.
    qv::ui::setScreenFramesSource([] { return std::vector<qv::Rect>{{0, 0, 1920, 1080}, {1920, 0, 1280, 1024}}; });
    EXPECT_EQ(frameAfterStart(5000, 5000, 800, 600), nibFrame);
    EXPECT_EQ(frameAfterStart(-900, 40, 800, 600), nibFrame);
    EXPECT_EQ(frameAfterStart(2500, 300, 800, 600), qv::Rect(2500, 300, 800, 600)) << "on the second screen";
    EXPECT_EQ(frameAfterStart(-700, 40, 800, 600), qv::Rect(-700, 40, 800, 600)) << "partly on the first";
    qv::ui::setScreenFramesSource({});
}

TEST_F(StartupTest, SecondRunLoadsTheInstalledDatabaseWithoutAsking) {
    FixtureBundle bundle;
    { QVMainNib first = launch(); }
    resetApplication();

    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    EXPECT_FALSE(wasAsked("ReplaceDBTitle"));
    EXPECT_FALSE(wasAsked("NoDatabaseWarning"));
    EXPECT_EQ(databaseRowNames(c), (std::vector<std::string>{"Canon", "Nikon"}));
    EXPECT_EQ(databaseRowFiles(c), (std::vector<std::string>{installedDatabase(), installedDatabase()}));
    EXPECT_TRUE(c.isPTLensSelected());
    EXPECT_FALSE(c.state().mPreferenceFileCreated);
}

TEST_F(StartupTest, NewerShippedDatabaseAsksAndReplacesTheInstalledCopyOnYes) {
    FixtureBundle bundle;
    { QVMainNib first = launch(); }
    bundle.replaceDatabase(kNewerDatabaseText, 1700000000);
    resetApplication();
    responder().queueAlert(answer(0, "ReplaceDBTitle"));

    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    ASSERT_TRUE(wasAsked("ReplaceDBTitle"));
    EXPECT_EQ(responder().alerts().front().request.buttons, (std::vector<std::string>{"Yes", "No"}));
    EXPECT_EQ(fileBytes(installedDatabase()), fileBytes(bundle.databasePath()));
    EXPECT_EQ(databaseRowNames(c), (std::vector<std::string>{"Canon", "Pentax"}));
    EXPECT_FALSE(qv::PreferencesFile::read().get("dontAskUserToUpdateDB").boolOr(true));
    // The copy went through a temporary name that is gone once it was renamed into place.
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), (std::vector<std::string>{"PTLens.dat"}));
}

// The installed copy is replaced as any user's file: a read-only copy is left byte for byte, and a
// link has the file it names replaced and stays a link.
TEST_F(StartupTest, YesNeverReplacesAReadOnlyInstalledCopyAndWritesThroughALink) {
    FixtureBundle bundle;
    { QVMainNib first = launch(); }
    const std::string installed = installedDatabase();
    const auto installedBefore = fileBytes(installed);
    bundle.replaceDatabase(kNewerDatabaseText, 1700000000);
    ASSERT_EQ(::chmod(installed.c_str(), 0444), 0);
    auto launchAnsweringYes = [&] {
        resetApplication();
        responder().queueAlert(answer(0, "ReplaceDBTitle"));
        QVMainNib nib = launch();
        EXPECT_TRUE(wasAsked("ReplaceDBTitle"));
        EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), (std::vector<std::string>{"PTLens.dat"}))
            << "no temporary file is left";
    };
    launchAnsweringYes();
    EXPECT_EQ(fileBytes(installed), installedBefore);
    struct stat st;
    ASSERT_EQ(::stat(installed.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0444u);

    const std::string elsewhere = qv::paths::homeFolder() + "/lenses.dat";
    ASSERT_TRUE(qv::files::moveItem(installed, elsewhere));
    ASSERT_EQ(::chmod(elsewhere.c_str(), 0644), 0);
    ASSERT_EQ(::symlink(elsewhere.c_str(), installed.c_str()), 0);
    // The question compares the link's own date.
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, installed.c_str(), old, AT_SYMLINK_NOFOLLOW), 0);
    launchAnsweringYes();
    EXPECT_EQ(fileBytes(elsewhere), fileBytes(bundle.databasePath()));
    ASSERT_EQ(::lstat(installed.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
}

TEST_F(StartupTest, NoKeepsTheInstalledCopyAndTheCheckBoxStopsTheQuestion) {
    FixtureBundle bundle;
    { QVMainNib first = launch(); }
    const auto installedBefore = fileBytes(installedDatabase());
    bundle.replaceDatabase(kNewerDatabaseText, 1700000000);
    resetApplication();
    responder().queueAlert(answer(1, "ReplaceDBTitle", true));
    {
        QVMainNib second = launch();
        EXPECT_TRUE(wasAsked("ReplaceDBTitle"));
        EXPECT_EQ(fileBytes(installedDatabase()), installedBefore);
        EXPECT_EQ(databaseRowNames(*second.controller), (std::vector<std::string>{"Canon", "Nikon"}));
        EXPECT_TRUE(qv::PreferencesFile::read().get("dontAskUserToUpdateDB").boolOr(false));
    }
    resetApplication();
    QVMainNib third = launch();
    EXPECT_FALSE(wasAsked("ReplaceDBTitle"));
}

TEST_F(StartupTest, SweepLeavesOnlyDatFilesAndLoadsOnlyTheResourceDatabase) {
    FixtureBundle bundle;
    const std::string folder = qv::paths::supportFolder();
    ASSERT_TRUE(qv::files::createFolder(folder, true));
    writeUserDatabase(folder + "Mine.dtl", {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    for (const char* name : {"Profile", "notes.txt", "_QuorvelCI_twrite.JPG"})
        ASSERT_TRUE(qv::files::writeWhole(folder + name, std::string_view("x")));
    ASSERT_TRUE(qv::files::createFolder(folder + "leftovers"));
    writeResourceDatabase(folder + "Other.dat", kNewerDatabaseText);

    QVMainNib nib = launch();
    EXPECT_EQ(qv::files::listFolder(folder), (std::vector<std::string>{"Other.dat", "PTLens.dat"}));
    EXPECT_EQ(databaseRowNames(*nib.controller), (std::vector<std::string>{"Canon", "Nikon"}));
}

TEST_F(StartupTest, UnusableSupportFolderWarnsAndEndsLaunchingWithTheDatabaseChooser) {
    FixtureBundle bundle;
    blockSupportFolder();

    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    EXPECT_TRUE(wasAsked("CouldNotCreateFolderWarning"));
    EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
    const auto panels = responder().panels();
    ASSERT_EQ(panels.size(), 1u);
    EXPECT_EQ(panels[0].request.allowedTypes, (std::vector<std::string>{"dtl", "dat"}));
    EXPECT_FALSE(c.state().mDBLoaded);
    EXPECT_TRUE(databaseRowNames(c).empty());
}

TEST_F(StartupTest, UnreadableInstalledDatabaseDoesNotCountAsLoaded) {
    FixtureBundle bundle;
    ASSERT_TRUE(qv::files::createFolder(qv::paths::supportFolder(), true));
    ASSERT_TRUE(qv::files::writeWhole(installedDatabase(), std::string_view("PDAT but not really")));
    setModificationTime(installedDatabase(), 1700000000);  // newer than the bundle's: no question

    QVMainNib nib = launch();
    EXPECT_FALSE(wasAsked("ReplaceDBTitle"));
    EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
    EXPECT_FALSE(nib.controller->state().mDBLoaded);
    EXPECT_TRUE(databaseRowNames(*nib.controller).empty());
}

TEST_F(StartupTest, DatabaseChosenAtTheEndOfLaunchingCountsAsLoaded) {
    FixtureBundle bundle;
    blockSupportFolder();
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    writeUserDatabase(database, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    responder().queuePanel({true, {database}});

    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    EXPECT_TRUE(c.state().mDBLoaded);
    EXPECT_EQ(databaseRowNames(c), (std::vector<std::string>{"Wide"}));
    EXPECT_EQ(c.mainWindow().m_pDatabaseText->stringValue(), "Wide");
    EXPECT_EQ(qv::PreferencesFile::read().get("LoadedDatabase").stringOr(""), database);
}

TEST_F(StartupTest, StoredCameraSelectsItsRowAndAnUnknownOneKeepsTheLastRow) {
    FixtureBundle bundle;
    writePreferences({{"LoadedCamera", "Canon"}});
    {
        QVMainNib nib = launch();
        EXPECT_EQ(nib.controller->databaseSheet().m_pCamNameTable->selectedRow(), 0);
        EXPECT_EQ(nib.controller->mainWindow().m_pDatabaseText->stringValue(), "Canon");
    }
    resetApplication();
    writePreferences({{"LoadedCamera", "Leica"}});
    QVMainNib nib = launch();
    EXPECT_EQ(nib.controller->databaseSheet().m_pCamNameTable->selectedRow(), 1);
    EXPECT_EQ(nib.controller->mainWindow().m_pDatabaseText->stringValue(), "Nikon");
}

TEST_F(StartupTest, StoredDatabaseIsTheFallbackWhenTheSupportFolderGivesNone) {
    FixtureBundle bundle;
    blockSupportFolder();
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    writeUserDatabase(database, {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.07f), userLensRecord("Diana", 0, 0, 0, 1)});
    writePreferences({{"LoadedDatabase", database}, {"LoadedCamera", "Wide"}});

    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    EXPECT_FALSE(wasAsked("NoDatabaseWarning"));
    EXPECT_EQ(databaseRowNames(c), (std::vector<std::string>{"Wide"}));
    EXPECT_EQ(c.mainWindow().m_pDatabaseText->stringValue(), "Wide");
    EXPECT_EQ(c.mainWindow().m_pLensText->stringValue(), "Holga");
    EXPECT_EQ(c.mainWindow().mFocalLengthField->stringValue(), "24");
    EXPECT_FALSE(c.isPTLensSelected());
    const auto values = c.correctionValues();
    ASSERT_EQ(values.size(), 4u);
    EXPECT_EQ(values[0], double(0.1f));
    EXPECT_EQ(values[1], double(-0.2f));
    EXPECT_EQ(values[2], double(0.05f));
    EXPECT_EQ(values[3], double(1.07f)) << "a user lens keeps its own d";
}

TEST_F(StartupTest, OwnedLensQuestionFollowsTheListAndTheCheckBox) {
    FixtureBundle bundle;
    responder().queueAlert(answer(1, "Please tell Quorvel which lenses you own.", true));
    {
        QVMainNib first = launch();
        EXPECT_TRUE(wasAsked("Please tell Quorvel which lenses you own."));
        EXPECT_TRUE(qv::PreferencesFile::read().get("dontAskUserToSelectLens").boolOr(false));
    }
    resetApplication();
    { QVMainNib second = launch(); }
    EXPECT_FALSE(wasAsked("Please tell Quorvel which lenses you own.")) << "the user asked not to be asked";

    resetApplication();
    qv::Value lens{qv::Dictionary()};
    lens["3.Lens Name"] = "EF 50";
    writePreferences({{"recentLenses", qv::Array{lens}}});
    { QVMainNib third = launch(); }
    EXPECT_FALSE(wasAsked("Please tell Quorvel which lenses you own.")) << "the user owns lenses";

    resetApplication();
    writePreferences({});
    { QVMainNib fourth = launch(); }
    EXPECT_TRUE(wasAsked("Please tell Quorvel which lenses you own.")) << "no owned lens and nothing said";
}

TEST_F(StartupTest, LaunchingEndsWithTheFisheyeFieldsRestoredAndDisabled) {
    FixtureBundle bundle;
    auto& defaults = qv::UserDefaults::standard();
    defaults.set("feOutputWidth", 1200.0f);
    defaults.set("feOutputHeight", 800.0f);
    defaults.set("feInputFOV", 180.0f);
    defaults.set("feOutputFOV", 90.0f);
    FakeDisplayView view;

    QVMainNib nib = launch(&view);
    QVController& c = *nib.controller;
    EXPECT_EQ(c.fisheyeSettings().width, 1200.0f);
    EXPECT_EQ(c.fisheyeSettings().height, 800.0f);
    EXPECT_EQ(c.fisheyeSettings().inputFOV, 180.0f);
    EXPECT_EQ(c.fisheyeSettings().outputFOV, 90.0f);
    for (qv::ui::Control* control : std::initializer_list<qv::ui::Control*>{
             c.fisheye().mFEOutputWidth, c.fisheye().mFEOutputHeight, c.fisheye().mFEInputFOV, c.fisheye().mFEOutputFOV,
             c.fisheye().mFESamplertypePopUp, c.fisheye().mFEDefishButton})
        EXPECT_FALSE(control->isEnabled());
    EXPECT_TRUE(c.fisheye().mFECorrectionTypeMatrix->isEnabled());
    EXPECT_EQ(c.fisheyeSettings().sampler, 3);
    EXPECT_EQ(c.correctionType(), CorrectionType::Lens);
    EXPECT_EQ(view.controller, &c);
    EXPECT_TRUE(view.allowDrops);
    EXPECT_TRUE(c.mainWindow().m_pWindow->isKeyWindow());
}

TEST_F(StartupTest, ModelPopUpGainsOneShowAllItemAsItOpens) {
    FixtureBundle bundle;
    QVMainNib nib = launch();
    QVController& c = *nib.controller;
    c.parametersSheet().m_pPSModelPopUp->removeAllItems();
    c.parametersSheet().m_pPSModelPopUp->addItemsWithTitles({"EOS 400D", "EOS 5D"});
    c.parametersSheet().m_pPSModelPopUp->userPopUp();
    c.parametersSheet().m_pPSModelPopUp->userPopUp();
    EXPECT_EQ(c.parametersSheet().m_pPSModelPopUp->itemTitles(),
              (std::vector<std::string>{"EOS 400D", "EOS 5D", "Show All"}));
    c.lensSelection().mLensSelectionModelPopUp->removeAllItems();
    c.lensSelection().mLensSelectionModelPopUp->userPopUp();
    EXPECT_EQ(c.lensSelection().mLensSelectionModelPopUp->numberOfItems(), 0) << "other pop-ups are left alone";
}

TEST_F(StartupTest, SaveIsOnlyOfferedWithAPhoto) {
    FixtureBundle bundle;
    FakeDisplayView view;
    QVMainNib nib = launch(&view);
    QVController& c = *nib.controller;
    auto save = nib.mainMenu->findItemWithAction("onSave:");
    auto open = nib.mainMenu->findItemWithAction("onLoadImage:");
    ASSERT_TRUE(save && open);
    EXPECT_FALSE(c.validateMenuItem(*save));
    EXPECT_TRUE(c.validateMenuItem(*open));
    c.state().m_bImageLoaded = true;
    EXPECT_TRUE(c.validateMenuItem(*save));
}

}  // namespace
