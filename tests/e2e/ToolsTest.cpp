// The developer tools' command lines: help on request, never a file named after an option.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

TEST(ToolCommandLines, HelpPrintsUsageAndWritesNothing) {
    struct Expectation {
        const char* tool;
        const char* says;
    };
    for (const Expectation& expected : {Expectation{"quorvelci", "usage: quorvelci"},
                                        Expectation{"qv-samplephoto", "usage: qv-samplephoto"},
                                        Expectation{"qv-lensdb", "usage: qv-lensdb"},
                                        Expectation{"qv-unwrap", "Allowed options"},
                                        Expectation{"qv-rawdecode", "usage: qv-rawdecode"}}) {
        // The raw helper is one of the bundle's resources, not a program in the bin folder.
        const std::string program = std::string(expected.tool) == "qv-rawdecode"
                                        ? qvtest::binaryDir() + "/Resources/qv-rawdecode"
                                        : binary(expected.tool);
        const auto result = run(program, {"--help"});
        EXPECT_EQ(result.exitStatus, 0) << expected.tool << ": " << result.output;
        EXPECT_TRUE(contains(result.output, expected.says)) << expected.tool << ": " << result.output;
        EXPECT_FALSE(qv::files::exists("--help")) << expected.tool << " wrote a file named --help";
    }
}

TEST(ToolCommandLines, SamplePhotoTakesADashedNameOnlyAfterDoubleDash) {
    qvtest::TempDir dir;
    const std::string dashed = dir.file("-grid.jpg");
    const auto refused = run(binary("qv-samplephoto"), {"--bogus", dashed});
    EXPECT_EQ(refused.exitStatus, 2) << refused.output;
    EXPECT_FALSE(qv::files::exists(dir.file("--bogus")));
    // Negative coefficients after the name are numbers, not options.
    const auto made = run(binary("qv-samplephoto"), {"--no-lens-info", "--", dashed, "0", "-0.02", "0"});
    EXPECT_EQ(made.exitStatus, 0) << made.output;
    EXPECT_TRUE(qv::files::exists(dashed));
}

TEST(ToolCommandLines, UnwrapRefusesAHugeOutputBeforeReadingAnything) {
    qvtest::TempDir dir;
    const std::string output = dir.file("view.tif");
    const auto result = run(binary("qv-unwrap"), {"--inputImage", dir.file("missing.jpg"), "--outputImage", output,
                                                  "--inputFOV", "180", "--outputFOV", "90", "--outputWidth", "50000",
                                                  "--outputHeight", "50000"});
    expectFailure(result, 2, "above the limit", output);
}

TEST(ToolCommandLines, CorrectTakesAPhotoNamedLikeAnOptionAfterDoubleDash) {
    qvtest::TempDir dir;
    ASSERT_TRUE(qv::files::moveItem(samplePhoto(dir), dir.file("-x.jpg")));
    // Named relative to the folder, the photo's name starts with a dash.
    const auto result = run("/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" correct -o out.jpg -- -x.jpg",
                                        binary("quorvelci"), dir.path()});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_TRUE(qv::files::exists(dir.file("out.jpg")));
    const auto refused = run("/bin/sh", {"-c", "cd \"$1\" && exec \"$0\" correct -o out2.jpg -x.jpg",
                                         binary("quorvelci"), dir.path()});
    EXPECT_EQ(refused.exitStatus, 2) << "without --, -x.jpg is an unknown option: " << refused.output;
}

TEST(ToolCommandLines, UnwrapPastTheFileSizeLimitFailsAndLeavesNothing) {
    qvtest::TempDir dir;
    const std::string fisheye = dir.file("fisheye.jpg");
    ASSERT_EQ(run(binary("qv-fisheyephoto"), {fisheye}).exitStatus, 0);
    const auto before = qv::files::listFolder(dir.path());
    const std::string output = dir.file("view.tif");
    // 200 blocks of 512 bytes: far from 2000 x 2000 pixels. SIGXFSZ would end the program (153).
    const auto result = run("/bin/sh", {"-c", "ulimit -f 200 && exec \"$0\" \"$@\"", binary("qv-unwrap"),
                                        "--inputImage", fisheye, "--outputImage", output, "--inputFOV", "180",
                                        "--outputFOV", "90", "--outputWidth", "2000", "--outputHeight", "2000"});
    expectFailure(result, 1, "the unwrap failed", output);
    EXPECT_EQ(qv::files::listFolder(dir.path()), before) << "no partial file is left";
}

}  // namespace
