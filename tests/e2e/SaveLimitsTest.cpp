// Saves that cannot be completed: the error is reported, nothing is left half-written beside the
// target, and the file that was there stays as it was.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

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

}  // namespace
