// Start-up over files that are not what they should be: a property list with a NUL byte in a
// string, and FIFOs where the preferences file, the installed resource database or the stored
// user database should be. Each is unreadable: start-up goes on without it, never blocks, and
// leaves the user's file as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include "ShellTestSupport.h"
#include "common/BinaryPropertyList.h"
#include "common/MutationRun.h"
#include "common/PropertyListMutator.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "shell/controller/PreferenceKeys.h"

using namespace shelltest;

namespace {

class DamagedFilesTest : public testing::Test {
protected:
    void SetUp() override { resetApplication(); }
    void TearDown() override { resetApplication(); }

    static void makeFifo(const std::string& path) {
        ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(path), true));
        ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0) << path;
    }
    static bool isFifo(const std::string& path) {
        struct stat st;
        return ::lstat(path.c_str(), &st) == 0 && S_ISFIFO(st.st_mode);
    }
    // No support folder can be made (a file stands where the maker folder should be), so the
    // database stored as the fall-back is the only one start-up loads.
    static void storeAsTheOnlyDatabase(const std::string& database) {
        ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(qv::paths::makerFolder()), true));
        ASSERT_TRUE(qv::files::writeWhole(qv::paths::makerFolder(), std::string_view("not a folder")));
        qv::Value root = shell::keys::preferencesFileDefaults();
        root["LoadedDatabase"] = database;
        ASSERT_TRUE(qv::PreferencesFile::write(root));
    }
    // The defaults' XML with a NUL byte put inside the string value of `key`.
    static std::string withNulInString(const qv::Value& root, const std::string& key) {
        std::string xml = *qv::formatPropertyList(root);
        const std::size_t at = xml.find("<key>" + key + "</key>");
        const std::size_t string = xml.find("<string>", at);
        EXPECT_NE(string, std::string::npos);
        xml.insert(string + 8, std::string("a\0b", 3));
        return xml;
    }
};

TEST_F(DamagedFilesTest, PreferencesWithANulByteAreRefusedAndLeftUntouched) {
    FixtureBundle bundle;
    const std::string path = qv::PreferencesFile::path();
    ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(path), true));
    qv::Value root = shell::keys::preferencesFileDefaults();
    root["LoadedCamera"] = "Canon";
    const std::string damaged = withNulInString(root, "LoadedCamera");
    ASSERT_TRUE(qv::files::writeWhole(path, damaged));

    {
        QVMainNib nib = launch();
        EXPECT_FALSE(nib.controller->state().mPreferenceFileCreated) << "a damaged file is not replaced by defaults";
        EXPECT_TRUE(nib.controller->state().mDBLoaded) << "the installed database still loads";
        EXPECT_TRUE(qv::PreferencesFile::read().isNull());
    }
    const auto after = qv::files::readWhole(path);
    ASSERT_TRUE(after);
    EXPECT_EQ(std::string(after->begin(), after->end()), damaged);
}

TEST_F(DamagedFilesTest, AUserDatabaseWithANulByteIsNotLoaded) {
    FixtureBundle bundle;
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    writeUserDatabase(database, {userLensRecord("Holga", 0.1f, 0, 0, 0.9f)});
    const auto good = qv::files::readWhole(database);
    ASSERT_TRUE(good);
    std::string text(good->begin(), good->end());
    text.insert(text.find("Holga"), std::string("\0", 1));
    ASSERT_TRUE(qv::files::writeWhole(database, text));
    storeAsTheOnlyDatabase(database);

    QVMainNib nib = launch();
    EXPECT_FALSE(nib.controller->state().mDBLoaded);
    EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
}

// The platform writes its property lists in the binary form too: preferences and user databases
// in that form are read as the XML ones are, and damaged ones are refused and left as they were.
TEST_F(DamagedFilesTest, BinaryPreferencesAreReadAndDamagedOnesLeftAsTheyWere) {
    FixtureBundle bundle;
    const std::string path = qv::PreferencesFile::path();
    ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(path), true));
    qv::Value root = shell::keys::preferencesFileDefaults();
    root["LoadedCamera"] = "Nikon";
    root["recentLenses"] = qv::Array{qv::Value(qv::Dictionary{{"3.Lens Name", "EF-S 18-55"}, {"menuMake", "Canon"}})};
    const std::string binary = qvtest::binaryPropertyList(root);
    ASSERT_TRUE(qv::files::writeWhole(path, std::string_view(binary)));
    {
        QVMainNib nib = launch();
        EXPECT_FALSE(nib.controller->state().mPreferenceFileCreated);
        EXPECT_FALSE(wasAsked("Please tell Quorvel which lenses you own.")) << "the owned lenses were read";
        EXPECT_EQ(nib.controller->mainWindow().m_pDatabaseText->stringValue(), "Nikon");
    }

    const std::string damaged = binary.substr(0, binary.size() - 3);
    ASSERT_TRUE(qv::files::writeWhole(path, std::string_view(damaged)));
    resetApplication();
    {
        QVMainNib nib = launch();
        EXPECT_FALSE(nib.controller->state().mPreferenceFileCreated) << "a damaged file is not replaced by defaults";
        EXPECT_TRUE(nib.controller->state().mDBLoaded);
    }
    const auto after = qv::files::readWhole(path);
    ASSERT_TRUE(after);
    EXPECT_EQ(std::string(after->begin(), after->end()), damaged);
}

TEST_F(DamagedFilesTest, ABinaryUserDatabaseIsReadAndADamagedOneLeftAsItWas) {
    FixtureBundle bundle;
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    writeUserDatabase(database, {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.07f)});
    ASSERT_TRUE(qvtest::rewriteAsBinary(database));
    storeAsTheOnlyDatabase(database);
    {
        QVMainNib nib = launch();
        EXPECT_TRUE(nib.controller->state().mDBLoaded);
        EXPECT_EQ(databaseRowNames(*nib.controller), std::vector<std::string>{"Wide"});
        ASSERT_TRUE(nib.controller->state().m_pLensArray);
        EXPECT_EQ(nib.controller->state().m_pLensArray->at(0).get("3.Lens Name").stringOr(""), "Holga");
    }
    const auto good = qv::files::readWhole(database);
    ASSERT_TRUE(good);
    const std::string cut(good->begin(), good->begin() + std::ptrdiff_t(good->size() / 2));
    ASSERT_TRUE(qv::files::writeWhole(database, std::string_view(cut)));
    resetApplication();
    {
        QVMainNib nib = launch();
        EXPECT_FALSE(nib.controller->state().mDBLoaded);
        EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
    }
    const auto left = qv::files::readWhole(database);
    ASSERT_TRUE(left);
    EXPECT_EQ(std::string(left->begin(), left->end()), cut);
}

TEST_F(DamagedFilesTest, AFifoAsThePreferencesFileIsUnreadableAndStaysAFifo) {
    FixtureBundle bundle;
    const std::string path = qv::PreferencesFile::path();
    makeFifo(path);

    QVMainNib nib = launch();
    EXPECT_FALSE(nib.controller->state().mPreferenceFileCreated);
    EXPECT_TRUE(nib.controller->state().mDBLoaded);
    EXPECT_TRUE(isFifo(path));
}

TEST_F(DamagedFilesTest, AFifoAsTheInstalledDatabaseIsNotLoaded) {
    FixtureBundle bundle;
    makeFifo(installedDatabase());

    QVMainNib nib = launch();
    EXPECT_FALSE(nib.controller->state().mDBLoaded);
    EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
}

TEST_F(DamagedFilesTest, AFifoAsTheStoredUserDatabaseIsNotLoaded) {
    FixtureBundle bundle;
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    makeFifo(database);
    storeAsTheOnlyDatabase(database);

    QVMainNib nib = launch();
    EXPECT_FALSE(nib.controller->state().mDBLoaded);
    EXPECT_TRUE(wasAsked("NoDatabaseWarning"));
}

// Mutation runs: each damaged file is what start-up finds. Bounded in rounds and in time (the
// sanitizer build runs slower); a crash or a hang fails the run, as does a file that start-up could
// not read and yet changed.
constexpr int kMutationRounds = 150;

TEST_F(DamagedFilesTest, MutatedPreferencesNeverStopStartUpAndUnreadableOnesStayAsTheyWere) {
    FixtureBundle bundle;
    const std::string path = qv::PreferencesFile::path();
    ASSERT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(path), true));
    qv::Value root = shell::keys::preferencesFileDefaults();
    root["LoadedCamera"] = "Canon";
    root["windowWidth"] = 800.0f;
    const std::string seed = *qv::formatPropertyList(root);
    qvtest::PropertyListMutator mutator(0x5EED0001u);
    qvtest::MutationRun run("damaged preferences files", kMutationRounds);
    while (run.next()) {
        const int rounds = run.index();
        const std::string damaged = mutator.mutate(seed);
        ASSERT_TRUE(qv::files::writeWhole(path, damaged));
        const bool readable = qv::parsePropertyList(damaged).isDictionary();
        resetApplication();
        { QVMainNib nib = launch(); }
        if (!readable) {
            const auto after = qv::files::readWhole(path);
            ASSERT_TRUE(after) << "round " << rounds;
            EXPECT_EQ(std::string(after->begin(), after->end()), damaged) << "round " << rounds;
        }
    }
}

TEST_F(DamagedFilesTest, MutatedUserDatabasesNeverStopStartUp) {
    FixtureBundle bundle;
    qvtest::TempDir elsewhere("qvdb");
    const std::string database = elsewhere.file("Wide.dtl");
    writeUserDatabase(database, {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.07f), userLensRecord("Diana", 0, 0, 0, 1)});
    const auto good = qv::files::readWhole(database);
    ASSERT_TRUE(good);
    const std::string seed(good->begin(), good->end());
    storeAsTheOnlyDatabase(database);
    qvtest::PropertyListMutator mutator(0x5EED0002u);
    qvtest::MutationRun run("damaged user databases", kMutationRounds);
    int loaded = 0;
    while (run.next()) {
        ASSERT_TRUE(qv::files::writeWhole(database, mutator.mutate(seed)));
        resetApplication();
        QVMainNib nib = launch();
        // What loaded is usable: the coefficients in use can be asked for.
        if (nib.controller->state().mDBLoaded) {
            ++loaded;
            EXPECT_EQ(nib.controller->correctionValues().size(), 4u);
        }
    }
    if (run.ranAll()) {
        EXPECT_GT(loaded, 0) << "some damage leaves a readable database";
    }
}

}  // namespace
