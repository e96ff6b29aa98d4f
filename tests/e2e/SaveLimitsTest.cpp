// Saves that cannot be completed: the error is reported, nothing is left half-written beside the
// target, and the file that was there stays as it was.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdlib>

#include "E2ESupport.h"
#include "common/OrdinaryUser.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

using namespace e2e;

namespace {

std::string bytesOf(const std::string& path) {
    const auto bytes = qv::files::readWhole(path);
    return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<unreadable>");
}

bool isLink(const std::string& path) {
    struct stat st;
    return ::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string quoted(const std::string& path) { return "\"" + path + "\""; }

TEST(SaveLimits, ASavePastTheFileSizeLimitFailsLikeAFullDisk) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.file("out.tif");
    ASSERT_TRUE(qv::files::writeWhole(out, std::string_view("the old file")));
    const std::string actions = dir.file("actions.txt");
    ASSERT_TRUE(qv::files::writeWhole(actions, "open " + photo + "\nsave-as " + out + " --depth 16\n"));
    const auto before = qv::files::listFolder(dir.path());

    // 1024 blocks of 512 bytes: room for the working copy, not for 1200 x 800 pixels at 16 bits.
    // Without the signal ignored, SIGXFSZ would end the program (status 128 + 25).
    const auto result = run("/bin/sh", {"-c", "ulimit -f 1024 && exec \"$0\" script \"$1\"", binary("quorvelci"),
                                        actions});
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_TRUE(contains(result.output, "out.tif")) << "the save error alert names the file: " << result.output;
    const auto kept = qv::files::readWhole(out);
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(kept->begin(), kept->end()), "the old file");
    EXPECT_EQ(qv::files::listFolder(dir.path()), before) << "no partial file is left beside the target";
}

// As an ordinary user: Save, Save As, the preset and the database each refuse a file the user may
// not write (read-only, or another user's) with their alert and leave it byte for byte; a link's
// photo is written and the link stays; a name at the length limit is saved; presets and databases
// are refused in the support folder, whose sweeps would delete them; no temporary file is left.
TEST(SaveLimits, AsAnOrdinaryUserSavesWriteOnlyWhatTheUserMayWrite) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    for (const char* name : {"locked.jpg", "theirs.jpg", "target.jpg"})
        ASSERT_TRUE(qv::files::copyItem(photo, dir.file(name)));
    ASSERT_EQ(::symlink("target.jpg", dir.file("link.jpg").c_str()), 0);
    ASSERT_TRUE(qv::files::writeWhole(dir.file("locked.dtl2"), std::string_view("the locked preset")));
    ASSERT_TRUE(qv::files::writeWhole(dir.file("locked.dtl"), std::string_view("the locked database")));
    const std::string longName = std::string(251, 'n') + ".jpg";
    const std::string support = qv::paths::supportFolder();
    ASSERT_TRUE(qv::files::createFolder(support, true));
    ASSERT_TRUE(qvtest::giveToOrdinaryUser(std::getenv("HOME")));
    for (const char* name : {"locked.jpg", "locked.dtl2", "locked.dtl"}) ASSERT_EQ(::chmod(dir.file(name).c_str(), 0444), 0);
    const bool othersFile = qvtest::giveToOtherUser(dir.file("theirs.jpg"));
    const std::string photoBytes = bytesOf(photo);
    const std::string refusedByOthersFile = othersFile ? "expect-alert SaveErrorMessage\n" : "";

    const auto result = scriptAsOrdinaryUser(
        dir, "open " + dir.file("locked.jpg") + "\n"
             "set scale 90\n"
             "expect-alert SaveErrorMessage\n"
             "save\n" +
             refusedByOthersFile + "save-as " + dir.file("theirs.jpg") + "\n"
             "save-as " + dir.file("link.jpg") + "\n"
             "save-as " + dir.file(longName) + "\n"
             "expect-alert PresetSaveErrorMessage\n"
             "save-preset " + dir.file("locked.dtl2") + "\n"
             "expect-alert SupportFolderSaveMessage\n"
             "save-preset " + quoted(support + "kept.dtl2") + "\n"
             "new-database\n"
             "add-lens\n"
             "expect-alert SupportFolderSaveMessage\n"
             "save-database " + quoted(support + "mine.dtl") + "\n"
             "expect-alert Could not write database to file\n"
             "save-database " + dir.file("locked.dtl") + "\n");
    EXPECT_EQ(result.exitStatus, 0) << result.output;

    EXPECT_EQ(bytesOf(dir.file("locked.jpg")), photoBytes);
    EXPECT_EQ(bytesOf(dir.file("theirs.jpg")), photoBytes);
    EXPECT_EQ(bytesOf(dir.file("locked.dtl2")), "the locked preset");
    EXPECT_EQ(bytesOf(dir.file("locked.dtl")), "the locked database");
    EXPECT_TRUE(isLink(dir.file("link.jpg")));
    EXPECT_NE(bytesOf(dir.file("target.jpg")), photoBytes) << "the link's photo is written";
    EXPECT_EQ(tags(dir.file("target.jpg"), {"FileType"}), "JPEG\n");
    EXPECT_EQ(tags(dir.file(longName), {"FileType"}), "JPEG\n");
    EXPECT_EQ(*qv::files::listFolder(dir.path()),
              (std::vector<std::string>{"IMG_0018.jpg", "actions.txt", "link.jpg", "locked.dtl", "locked.dtl2",
                                        "locked.jpg", longName, "target.jpg", "theirs.jpg"}))
        << "no temporary file is left";
    for (const std::string& name : qv::files::listFolder(support).value_or(std::vector<std::string>{}))
        EXPECT_TRUE(name == "PTLens.dat" || name == "Profile") << name << " is left in the support folder";
}

// As an ordinary user in replace mode: a photo the user may not write fails with its line and stays
// byte for byte; a source that is a link has the photo it names replaced and stays a link; a source
// named at the length limit is replaced; no temporary file is left.
TEST(SaveLimits, AsAnOrdinaryUserBatchReplaceModeReplacesOnlyWhatTheUserMayWrite) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string longName = std::string(251, 'n') + ".jpg";
    ASSERT_TRUE(qv::files::createFolder(dir.file("in")));
    for (const std::string& name : {std::string("locked.jpg"), std::string("real.jpg"), longName})
        ASSERT_TRUE(qv::files::copyItem(photo, dir.file("in/" + name)));
    ASSERT_EQ(::symlink("real.jpg", dir.file("in/link.jpg").c_str()), 0);
    ASSERT_TRUE(qvtest::giveToOrdinaryUser(std::getenv("HOME")));
    ASSERT_EQ(::chmod(dir.file("in/locked.jpg").c_str(), 0444), 0);
    const std::string photoBytes = bytesOf(photo);

    const auto result = quorvelciAsOrdinaryUser({"batch", dir.file("in/locked.jpg"), dir.file("in/link.jpg"),
                                                 dir.file("in/" + longName), "--replace-sources", "--mode", "current"});
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_TRUE(contains(result.output, "failed " + dir.file("in/locked.jpg"))) << result.output;
    EXPECT_EQ(bytesOf(dir.file("in/locked.jpg")), photoBytes);
    EXPECT_TRUE(isLink(dir.file("in/link.jpg")));
    for (const std::string& name : {std::string("real.jpg"), longName}) {
        EXPECT_NE(bytesOf(dir.file("in/" + name)), photoBytes) << name << " is replaced";
        EXPECT_EQ(tags(dir.file("in/" + name), {"FileType"}), "JPEG\n");
    }
    EXPECT_EQ(*qv::files::listFolder(dir.file("in")),
              (std::vector<std::string>{"link.jpg", "locked.jpg", longName, "real.jpg"}))
        << "no temporary file is left";
}

}  // namespace
