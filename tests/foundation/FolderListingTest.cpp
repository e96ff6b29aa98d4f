#include <gtest/gtest.h>

#include <unistd.h>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/FolderListing.h"

using namespace qv;

TEST(FolderListing, ListsEveryDepthWithEachFoldersContentsAfterItsEntry) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::createFolder(dir.file("b/deep/deeper"), true));
    ASSERT_TRUE(files::writeWhole(dir.file("a.jpg"), std::string_view("x")));
    ASSERT_TRUE(files::writeWhole(dir.file("b/deep/deeper/x.tif"), std::string_view("x")));
    ASSERT_TRUE(files::writeWhole(dir.file("b/c.jpg"), std::string_view("x")));
    ASSERT_TRUE(files::writeWhole(dir.file("z.txt"), std::string_view("x")));
    const auto listed = files::subpathsOfFolder(dir.path());
    ASSERT_TRUE(listed);
    const std::vector<std::string> expected = {"a.jpg", "b", "b/c.jpg", "b/deep", "b/deep/deeper",
                                               "b/deep/deeper/x.tif", "z.txt"};
    EXPECT_EQ(*listed, expected);
}

TEST(FolderListing, ALinkBackUpIsListedButNotEntered) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::createFolder(dir.file("sub")));
    ASSERT_EQ(::symlink(dir.path().c_str(), dir.file("sub/up").c_str()), 0);
    const auto listed = files::subpathsOfFolder(dir.path());
    ASSERT_TRUE(listed);
    EXPECT_EQ(*listed, (std::vector<std::string>{"sub", "sub/up"}));
}

TEST(FolderListing, AMissingFolderOrAFileGivesNothingAndATrailingSlashListsTheSame) {
    qvtest::TempDir dir;
    EXPECT_FALSE(files::subpathsOfFolder(dir.file("missing")));
    ASSERT_TRUE(files::writeWhole(dir.file("plain"), std::string_view("x")));
    EXPECT_FALSE(files::subpathsOfFolder(dir.file("plain")));
    const auto slashed = files::subpathsOfFolder(dir.path() + "/");
    ASSERT_TRUE(slashed);
    EXPECT_EQ(*slashed, std::vector<std::string>{"plain"});
}
