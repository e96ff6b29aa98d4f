#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <string>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "common/FileSizeLimit.h"
#include "common/OrdinaryUser.h"

using namespace qv;

namespace {

std::string readText(const std::string& path) {
    auto data = files::readWhole(path);
    return data ? std::string(data->begin(), data->end()) : std::string("<unreadable>");
}

mode_t modeOf(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 ? st.st_mode & 07777 : 0;
}

}  // namespace

TEST(Files, WholeWritesCreateReplaceAndKeepPermissions) {
    qvtest::TempDir dir;
    std::string path = dir.file("prefs.plist");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("first")));
    EXPECT_EQ(readText(path), "first");
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    ASSERT_TRUE(files::writeWhole(path, std::string_view("second, longer")));
    EXPECT_EQ(readText(path), "second, longer");
    EXPECT_EQ(modeOf(path), 0640u);
    ASSERT_TRUE(files::writeWhole(path, std::string_view("")));
    EXPECT_EQ(readText(path), "");
    EXPECT_EQ(files::listFolder(dir.path())->size(), 1u);  // no temporary file left behind
}

TEST(Files, AFileWrittenInPiecesReplacesTheTargetOnlyWhenCommitted) {
    qvtest::TempDir dir;
    const std::string path = dir.file("photo.tif");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("old")));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    {
        files::ReplacingFile abandoned(path);
        ASSERT_TRUE(abandoned.valid());
        ASSERT_EQ(::pwrite(abandoned.fd(), "never", 5, 0), 5);
    }
    EXPECT_EQ(readText(path), "old");
    EXPECT_EQ(files::listFolder(dir.path())->size(), 1u) << "the abandoned temporary file is removed";

    files::ReplacingFile file(path);
    ASSERT_TRUE(file.valid());
    // Pieces at any place, the way an encoder fills a header in after the picture.
    ASSERT_EQ(::pwrite(file.fd(), "....tail", 8, 0), 8);
    ASSERT_EQ(::pwrite(file.fd(), "head", 4, 0), 4);
    EXPECT_EQ(readText(path), "old") << "nothing reaches the target before the commit";
    ASSERT_TRUE(file.commit());
    EXPECT_EQ(readText(path), "headtail");
    EXPECT_EQ(modeOf(path), 0640u);
    EXPECT_FALSE(file.commit()) << "once only";
    EXPECT_EQ(files::listFolder(dir.path())->size(), 1u);

    EXPECT_FALSE(files::ReplacingFile(dir.file("missing/photo.tif")).valid());
    EXPECT_FALSE(files::ReplacingFile(dir.path()).valid()) << "a folder is not replaced";
}

TEST(Files, WritingThroughALinkKeepsTheLink) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("real"), std::string_view("old")));
    ASSERT_EQ(::symlink("real", dir.file("link").c_str()), 0);
    ASSERT_TRUE(files::writeWhole(dir.file("link"), std::string_view("new")));
    struct stat st;
    ASSERT_EQ(::lstat(dir.file("link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readText(dir.file("real")), "new");
}

// As an ordinary user: the helper replaces only what the user may write, keeps a replaced file's
// mode, writes the file a link names (a file still to be made too) and leaves the link, takes any
// valid name, and leaves no temporary file whatever happens.
TEST(Files, AsAnOrdinaryUserOnlyFilesTheUserMayWriteAreReplacedAndLinksAreWrittenThrough) {
    qvtest::TempDir dir;
    const std::string longName(255, 'n');
    for (const char* name : {"read-only", "theirs", "mine", "real"})
        ASSERT_TRUE(files::writeWhole(dir.file(name), std::string_view(name)));
    ASSERT_EQ(::symlink("real", dir.file("link").c_str()), 0);
    ASSERT_EQ(::symlink("made-through-link", dir.file("dangling").c_str()), 0);
    ASSERT_TRUE(qvtest::giveToOrdinaryUser(std::getenv("HOME")));  // the folder lies in HOME
    ASSERT_EQ(::chmod(dir.file("read-only").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.file("mine").c_str(), 0604), 0);
    const bool othersFile = qvtest::giveToOtherUser(dir.file("theirs"));
    const auto before = *files::listFolder(dir.path());

    EXPECT_TRUE(qvtest::runAsOrdinaryUser([&] {
        errno = 0;
        EXPECT_FALSE(files::writeWhole(dir.file("read-only"), std::string_view("new")));
        EXPECT_EQ(errno, EACCES);
        files::ReplacingFile theirs(dir.file("theirs"));
        EXPECT_EQ(theirs.valid(), !othersFile);
        if (othersFile) {
            EXPECT_EQ(theirs.error(), "cannot write " + dir.file("theirs") + ": Permission denied");
        }
        EXPECT_TRUE(files::writeWhole(dir.file("mine"), std::string_view("new mine")));
        EXPECT_TRUE(files::writeWhole(dir.file("link"), std::string_view("new real")));
        EXPECT_TRUE(files::writeWhole(dir.file("dangling"), std::string_view("made")));
        EXPECT_TRUE(files::writeWhole(dir.file(longName), std::string_view("long")));
        EXPECT_TRUE(files::writeWhole(dir.file(longName), std::string_view("longer")));
    }));

    EXPECT_EQ(readText(dir.file("read-only")), "read-only");
    EXPECT_EQ(modeOf(dir.file("read-only")), 0444u);
    EXPECT_EQ(readText(dir.file("theirs")), "theirs");
    EXPECT_EQ(readText(dir.file("mine")), "new mine");
    EXPECT_EQ(modeOf(dir.file("mine")), 0604u);
    EXPECT_EQ(readText(dir.file("real")), "new real");
    EXPECT_EQ(readText(dir.file("made-through-link")), "made");
    EXPECT_EQ(readText(dir.file(longName)), "longer");
    for (const char* name : {"link", "dangling"}) {
        struct stat st;
        ASSERT_EQ(::lstat(dir.file(name).c_str(), &st), 0);
        EXPECT_TRUE(S_ISLNK(st.st_mode)) << name << " is still a link";
    }
    auto expected = before;
    expected.push_back("made-through-link");
    expected.push_back(longName);
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(*files::listFolder(dir.path()), expected) << "no temporary file is left";
}

TEST(Files, AWriteThatFailsHalfwayLeavesTheOldFileIntact) {
    qvtest::TempDir dir;
    std::string path = dir.file("important.plist");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("precious contents")));

    // Cap the size of files this process may write: the new contents fail in the middle of the write.
    bool written;
    {
        qvtest::FileSizeLimit limit(4096);
        ASSERT_TRUE(limit.active());
        written = files::writeWhole(path, std::string(100000, 'x'));
    }

    EXPECT_FALSE(written);
    EXPECT_EQ(readText(path), "precious contents");
    EXPECT_EQ(*files::listFolder(dir.path()), std::vector<std::string>{"important.plist"});
}

TEST(Files, AWriteIntoAReadOnlyFolderFailsAndChangesNothing) {
    if (::geteuid() == 0) GTEST_SKIP() << "permissions do not bind the superuser";
    qvtest::TempDir dir;
    std::string path = dir.file("kept");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("old")));
    ASSERT_EQ(::chmod(dir.path().c_str(), 0500), 0);
    EXPECT_FALSE(files::writeWhole(path, std::string_view("new")));
    ::chmod(dir.path().c_str(), 0700);
    EXPECT_EQ(readText(path), "old");
}

TEST(Files, WritesRefuseFoldersAndMissingParents) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::createFolder(dir.file("folder")));
    EXPECT_FALSE(files::writeWhole(dir.file("folder"), std::string_view("x")));
    EXPECT_TRUE(files::isFolder(dir.file("folder")));
    EXPECT_FALSE(files::writeWhole(dir.file("missing/file"), std::string_view("x")));
    EXPECT_FALSE(files::readWhole(dir.file("folder")));
    EXPECT_FALSE(files::readWhole(dir.file("nothing")));
}

TEST(Files, CreateFolderWithAndWithoutIntermediates) {
    qvtest::TempDir dir;
    EXPECT_FALSE(files::createFolder(dir.file("a/b/c")));
    EXPECT_TRUE(files::createFolder(dir.file("a/b/c"), true));
    EXPECT_TRUE(files::createFolder(dir.file("a/b/c"), true));  // already there
    EXPECT_FALSE(files::createFolder(dir.file("a/b/c")));
    ASSERT_TRUE(files::writeWhole(dir.file("plain"), std::string_view("x")));
    EXPECT_FALSE(files::createFolder(dir.file("plain"), true));
    EXPECT_FALSE(files::createFolder(dir.file("plain/sub"), true));
}

TEST(Files, CopyKeepsDatesLinksAndRefusesToOverwrite) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::createFolder(dir.file("src/sub"), true));
    ASSERT_TRUE(files::writeWhole(dir.file("src/sub/PTLens.dat"), std::string_view("lenses")));
    ASSERT_EQ(::symlink("sub/PTLens.dat", dir.file("src/link").c_str()), 0);
    const struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("src/sub/PTLens.dat").c_str(), old, 0), 0);

    ASSERT_TRUE(files::copyItem(dir.file("src"), dir.file("dst")));
    EXPECT_EQ(readText(dir.file("dst/sub/PTLens.dat")), "lenses");
    EXPECT_EQ(files::modificationDate(dir.file("dst/sub/PTLens.dat"))->secondsSinceReferenceDate,
              files::modificationDate(dir.file("src/sub/PTLens.dat"))->secondsSinceReferenceDate);
    struct stat st;
    ASSERT_EQ(::lstat(dir.file("dst/link").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_EQ(readText(dir.file("dst/link")), "lenses");

    ASSERT_TRUE(files::writeWhole(dir.file("other"), std::string_view("mine")));
    EXPECT_FALSE(files::copyItem(dir.file("src/sub/PTLens.dat"), dir.file("other")));
    EXPECT_EQ(readText(dir.file("other")), "mine");
    EXPECT_FALSE(files::copyItem(dir.file("nothing"), dir.file("x")));
    EXPECT_FALSE(files::copyItem(dir.file("src"), dir.file("src/sub/again")));
    EXPECT_FALSE(files::exists(dir.file("src/sub/again")));
}

TEST(Files, NamesAtTheLengthLimitCanBeWritten) {
    qvtest::TempDir dir;
    std::string name(255, 'n');
    ASSERT_TRUE(files::writeWhole(dir.file(name), std::string_view("long")));
    EXPECT_EQ(readText(dir.file(name)), "long");
}

TEST(Files, MoveRenamesButNeverOverwrites) {
    qvtest::TempDir dir;
    ASSERT_TRUE(files::writeWhole(dir.file("a"), std::string_view("A")));
    ASSERT_TRUE(files::writeWhole(dir.file("b"), std::string_view("B")));
    EXPECT_FALSE(files::moveItem(dir.file("a"), dir.file("b")));
    EXPECT_EQ(readText(dir.file("b")), "B");
    EXPECT_TRUE(files::moveItem(dir.file("a"), dir.file("c")));
    EXPECT_FALSE(files::exists(dir.file("a")));
    EXPECT_EQ(readText(dir.file("c")), "A");
}

TEST(Files, RemoveTakesLinksNotTheirTargetsAndFoldersWhole) {
    qvtest::TempDir dir;
    qvtest::TempDir elsewhere;
    ASSERT_TRUE(files::writeWhole(elsewhere.file("keep"), std::string_view("k")));
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), dir.file("linked-folder").c_str()), 0);
    ASSERT_TRUE(files::createFolder(dir.file("tree/deep"), true));
    ASSERT_EQ(::symlink(elsewhere.path().c_str(), dir.file("tree/deep/inside").c_str()), 0);

    EXPECT_TRUE(files::removeItem(dir.file("linked-folder")));
    EXPECT_TRUE(files::removeItem(dir.file("tree")));
    EXPECT_FALSE(files::exists(dir.file("tree")));
    EXPECT_EQ(readText(elsewhere.file("keep")), "k");
    EXPECT_FALSE(files::removeItem(dir.file("tree")));
}

TEST(Files, ListingAndDatesOfLinksThemselves) {
    qvtest::TempDir dir;
    for (const char* name : {"b.dtl", "a.dat", ".hidden", "Profile"})
        ASSERT_TRUE(files::writeWhole(dir.file(name), std::string_view("x")));
    EXPECT_EQ(*files::listFolder(dir.path()), (std::vector<std::string>{".hidden", "Profile", "a.dat", "b.dtl"}));
    EXPECT_FALSE(files::listFolder(dir.file("missing")));
    EXPECT_FALSE(files::listFolder(dir.file("a.dat")));

    ASSERT_EQ(::symlink("a.dat", dir.file("link").c_str()), 0);
    const struct timespec old[2] = {{978307200 + 100, 0}, {978307200 + 100, 0}};
    ASSERT_EQ(::utimensat(AT_FDCWD, dir.file("a.dat").c_str(), old, 0), 0);
    EXPECT_DOUBLE_EQ(files::modificationDate(dir.file("a.dat"))->secondsSinceReferenceDate, 100);
    EXPECT_GT(files::modificationDate(dir.file("link"))->secondsSinceReferenceDate, 100);
    EXPECT_EQ(files::fileSize(dir.file("link")).value_or(0), 1u);
    EXPECT_TRUE(files::exists(dir.file("link")));
    ASSERT_EQ(::symlink("nowhere", dir.file("dangling").c_str()), 0);
    EXPECT_FALSE(files::exists(dir.file("dangling")));
}

TEST(Files, OnlyRegularFilesAreReadAndAFifoNeverBlocks) {
    qvtest::TempDir dir;
    const std::string fifo = dir.file("pipe");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    // With no writer, a blocking open of the FIFO would wait for ever.
    EXPECT_EQ(files::openRegularFile(fifo), -1);
    EXPECT_FALSE(files::readWhole(fifo));
    EXPECT_FALSE(files::readWhole(dir.path()));
    EXPECT_FALSE(files::readWhole("/dev/null")) << "a device is no regular file";

    ASSERT_TRUE(files::writeWhole(dir.file("plain"), std::string_view("bytes")));
    const int fd = files::openRegularFile(dir.file("plain"));
    ASSERT_GE(fd, 0);
    EXPECT_EQ(::fcntl(fd, F_GETFL) & O_NONBLOCK, 0) << "the descriptor is handed back blocking";
    ::close(fd);
    EXPECT_EQ(readText(dir.file("plain")), "bytes");
    ASSERT_EQ(::symlink("plain", dir.file("link").c_str()), 0);
    EXPECT_EQ(readText(dir.file("link")), "bytes") << "links are followed";
}
