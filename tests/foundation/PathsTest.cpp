#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

using namespace qv;
using namespace qv::paths;

TEST(Paths, ComponentsBehaveLikeThePlatformPathMethods) {
    struct Case {
        const char* path;
        const char* last;
        const char* extension;
        const char* withoutLast;
        const char* withoutExtension;
    };
    const Case cases[] = {
        {"/tmp/scratch.tiff", "scratch.tiff", "tiff", "/tmp", "/tmp/scratch"},
        {"/tmp/scratch", "scratch", "", "/tmp", "/tmp/scratch"},
        {"/tmp/", "tmp", "", "/", "/tmp"},
        {"scratch///", "scratch", "", "", "scratch"},
        {"/", "/", "", "/", "/"},
        {"", "", "", "", ""},
        {"/tmp//a//b.tar.gz", "b.tar.gz", "gz", "/tmp/a", "/tmp/a/b.tar"},
        {"/home/u/.profile", ".profile", "", "/home/u", "/home/u/.profile"},
        {"/a.b/c", "c", "", "/a.b", "/a.b/c"},
        {"/scratch..tiff", "scratch..tiff", "tiff", "/", "/scratch."},
        {"/x/..", "..", "", "/x", "/x/.."},
        {"name.", "name.", "", "", "name"},
        {"/Library/Application Support/Zentu/QuorvelCI/PTLens.dat", "PTLens.dat", "dat",
         "/Library/Application Support/Zentu/QuorvelCI", "/Library/Application Support/Zentu/QuorvelCI/PTLens"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.path);
        EXPECT_EQ(lastPathComponent(c.path), c.last);
        EXPECT_EQ(pathExtension(c.path), c.extension);
        EXPECT_EQ(deletingLastPathComponent(c.path), c.withoutLast);
        EXPECT_EQ(deletingPathExtension(c.path), c.withoutExtension);
    }
}

TEST(Paths, AppendingComponentsAndExtensions) {
    EXPECT_EQ(appendingPathComponent("/tmp", "scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(appendingPathComponent("/tmp/", "/scratch.tiff"), "/tmp/scratch.tiff");
    EXPECT_EQ(appendingPathComponent("/", "x"), "/x");
    EXPECT_EQ(appendingPathComponent("", "x"), "x");
    EXPECT_EQ(appendingPathComponent("/tmp", ""), "/tmp");
    EXPECT_EQ(appendingPathExtension("/tmp/scratch", "tiff").value_or("?"), "/tmp/scratch.tiff");
    EXPECT_EQ(appendingPathExtension("/tmp/scratch/", "tiff").value_or("?"), "/tmp/scratch.tiff");
    EXPECT_FALSE(appendingPathExtension("", "tiff"));
    EXPECT_FALSE(appendingPathExtension("/", "tiff"));
    EXPECT_FALSE(appendingPathExtension("/tmp/a", "/tiff"));
}

TEST(Paths, FoldersFollowTheHomeFolderOfTheMoment) {
    std::string home = std::getenv("HOME");
    EXPECT_EQ(homeFolder(), home);
    EXPECT_EQ(supportFolder(), home + "/Library/Application Support/Zentu/QuorvelCI/");
    EXPECT_EQ(makerFolder(), home + "/Library/Application Support/Zentu");
    EXPECT_EQ(preferencesFile(), home + "/Library/Preferences/com.ZentuDigital.QuorvelCI.plist");

    qvtest::TempDir other;
    setenv("HOME", (other.path() + "/").c_str(), 1);
    EXPECT_EQ(homeFolder(), other.path());
    EXPECT_EQ(supportFolder(), other.path() + "/Library/Application Support/Zentu/QuorvelCI/");
    setenv("HOME", home.c_str(), 1);
}

TEST(Paths, TemporaryFolderIsPrivateStableAndRecreated) {
    std::string first = temporaryFolder();
    ASSERT_FALSE(first.empty());
    EXPECT_EQ(first.back(), '/');
    struct stat st;
    ASSERT_EQ(::lstat(first.c_str(), &st), 0);
    EXPECT_TRUE(S_ISDIR(st.st_mode));
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    EXPECT_EQ(temporaryFolder(), first);

    ASSERT_TRUE(files::removeItem(first));
    std::string second = temporaryFolder();
    EXPECT_TRUE(files::isFolder(second));

    // Another home folder is another user of the process: another folder.
    std::string home = std::getenv("HOME");
    qvtest::TempDir other;
    setenv("HOME", other.path().c_str(), 1);
    std::string third = temporaryFolder();
    setenv("HOME", home.c_str(), 1);
    EXPECT_NE(third, second);
    EXPECT_TRUE(files::isFolder(third));
    files::removeItem(third);
}
