#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <ctime>

#include <cstdlib>
#include <functional>

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

namespace {

// Points TMPDIR and HOME at folders of the test's own while it lives, so that the temporary folder
// asked for meanwhile is a new one inside `base`.
class OwnTemporaryBase {
public:
    OwnTemporaryBase() : m_home(std::getenv("HOME")) {
        setenv("TMPDIR", base.path().c_str(), 1);
        setenv("HOME", home.path().c_str(), 1);
    }
    ~OwnTemporaryBase() {
        unsetenv("TMPDIR");
        setenv("HOME", m_home.c_str(), 1);
    }
    qvtest::TempDir base, home;

private:
    std::string m_home;
};

std::string prefix() { return "QuorvelCI-" + std::to_string(::geteuid()) + "-"; }

std::string makeFolder(const std::string& path, bool withLockFile, std::time_t age = 0) {
    EXPECT_EQ(::mkdir(path.c_str(), 0700), 0) << path;
    EXPECT_TRUE(files::writeWhole(path + "/QuorvelCI.jpg", std::string_view("a photo")));
    if (withLockFile) {
        EXPECT_TRUE(files::writeWhole(path + "/.lock", std::string_view()));
    }
    if (age > 0) {
        const struct timespec times[2] = {{std::time(nullptr) - age, 0}, {std::time(nullptr) - age, 0}};
        EXPECT_EQ(::utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    }
    return path;
}

// Runs `body` in a child process and waits for it; the child's exit status (128 + signal).
// The child leaves with _exit: exit() would run the parent's exit handlers and remove its folders.
int inChild(const std::function<void()>& body) {
    const pid_t pid = ::fork();
    if (pid == 0) {
        body();
        ::_exit(0);
    }
    int status = 0;
    ::waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

// (That an ordinary exit removes the folder is seen end to end, with the programs themselves: a
// forked test process cannot exit normally without tearing down the test's own folders.)
TEST(Paths, TheFolderOfAKilledProcessIsSweptLater) {
    OwnTemporaryBase own;
    EXPECT_EQ(inChild([] {
                  const std::string folder = temporaryFolder();
                  files::writeWhole(folder + "QuorvelCI.jpg", std::string_view("a photo"));
                  ::raise(SIGKILL);
              }),
              128 + SIGKILL);
    const auto left = files::listFolder(own.base.path());
    ASSERT_EQ(left.value_or(std::vector<std::string>{}).size(), 1u) << "a killed process leaves its folder";
    sweepStaleTemporaryFolders();
    EXPECT_EQ(files::listFolder(own.base.path()), std::vector<std::string>{});
}

TEST(Paths, SweepTakesOnlyThisUsersFoldersThatNobodyHolds) {
    OwnTemporaryBase own;
    const std::string base = own.base.path() + "/";
    const std::string mine = temporaryFolder();
    const std::string stale = makeFolder(base + prefix() + "aaaaaa", true);
    const std::string held = makeFolder(base + prefix() + "bbbbbb", true);
    const std::string oldUnlocked = makeFolder(base + prefix() + "cccccc", false, 3600);
    const std::string newUnlocked = makeFolder(base + prefix() + "dddddd", false);
    const std::string otherUser = makeFolder(base + "QuorvelCI-" + std::to_string(::geteuid() + 1) + "-eeeeee", true);
    const std::string oddName = makeFolder(base + prefix() + "ffffff-x", true);
    const std::string target = makeFolder(base + "elsewhere", true);
    ASSERT_EQ(::symlink(target.c_str(), (base + prefix() + "gggggg").c_str()), 0);

    // Another process's hold, as flock sees it: a lock on another open file description.
    const int hold = ::open((held + "/.lock").c_str(), O_RDWR);
    ASSERT_GE(hold, 0);
    ASSERT_EQ(::flock(hold, LOCK_EX | LOCK_NB), 0);

    sweepStaleTemporaryFolders();
    ::close(hold);
    EXPECT_TRUE(files::isFolder(mine)) << "the process's own folder stays";
    EXPECT_FALSE(files::exists(stale));
    EXPECT_TRUE(files::isFolder(held));
    EXPECT_FALSE(files::exists(oldUnlocked)) << "a folder from before the lock file, long left alone";
    EXPECT_TRUE(files::isFolder(newUnlocked)) << "maybe being made this moment";
    EXPECT_TRUE(files::isFolder(otherUser));
    EXPECT_TRUE(files::isFolder(oddName));
    EXPECT_TRUE(files::exists(target + "/QuorvelCI.jpg")) << "a link is not followed";
    EXPECT_TRUE(files::exists(base + prefix() + "gggggg"));
}
