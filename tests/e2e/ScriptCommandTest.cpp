// "quorvelci script": one action a line, carried out as a person would at the window; a bad line
// stops the script before anything is done, a failing action or an error alert nobody expected
// stops it with the line's number.
#include <gtest/gtest.h>

#include <cstdio>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

TEST(ScriptCommand, OpenSetControlsSaveAsThenSaveAgain) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const auto photoBefore = qv::files::readWhole(photo);
    const std::string out = dir.path() + "/out.tif";
    const auto result = script(dir, "# the sample, scaled and darkened at the edges\n"
                                    "open " + photo + "\n"
                                    "\n"
                                    "set scale 110\n"
                                    "set vignetting-amount -50\n"
                                    "save-as " + out + " --compression lzw --depth 16\n"
                                    "  set yaw 2\n"
                                    "save\n"
                                    "print lens\n");
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const std::string written = "written: " + out + "\n";
    const auto first = result.output.find(written);
    ASSERT_NE(first, std::string::npos) << result.output;
    EXPECT_NE(result.output.find(written, first + 1), std::string::npos) << "Save writes the file saved as";
    EXPECT_TRUE(contains(result.output, "lens: Canon EF-S 18-55mm f/3.5-5.6")) << result.output;
    // The second save wrote what the first did: the same format, depth, compression and metadata.
    EXPECT_EQ(run("exiftool", {"-s3", "-FileType", "-BitsPerSample", "-Compression", "-Orientation#", "-Model", out})
                  .output,
              "TIFF\n16 16 16 16\nLZW\n1\nCanon EOS 400D DIGITAL\n");
    EXPECT_EQ(qv::files::readWhole(photo), photoBefore) << "the photo itself is never written";
}

TEST(ScriptCommand, EverySaveOfOnePhotoKeepsItsMakeModelAndOrientation) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    std::string actions = "open " + photo + "\nsave-as " + dir.path() + "/out.jpg --quality 0.9\n";
    for (const char* extension : {"tif", "psd", "exr"})
        actions += "save-as " + dir.path() + "/out." + extension + "\n";
    const auto result = script(dir, actions);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(run("identify", {"-format", "%Q", dir.path() + "/out.jpg"}).output, "90") << "the quality slider's value";
    for (const std::string extension : {"jpg", "tif", "psd", "exr"}) {
        SCOPED_TRACE(extension);
        const std::string out = dir.path() + "/out." + extension;
        EXPECT_EQ(run("identify", {"-format", "%w %h", out}).output, "1200 800");
        if (extension == "exr") continue;  // no EXIF block in OpenEXR
        EXPECT_EQ(run("exiftool", {"-s3", "-Make", "-Model", "-Orientation#", out}).output,
                  "Canon\nCanon EOS 400D DIGITAL\n1\n");
    }
}

TEST(ScriptCommand, ReadsTheStandardInput) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string actions = dir.path() + "/actions.txt";
    ASSERT_TRUE(qv::files::writeWhole(actions, "open " + photo + "\nprint camera\n"));
    const auto result = run("/bin/sh", {"-c", "exec \"$0\" script - < \"$1\"", binary("quorvelci"), actions});
    EXPECT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_TRUE(contains(result.output, "camera: Canon Canon EOS 400D DIGITAL")) << result.output;
}

TEST(ScriptCommand, ABadLineStopsTheScriptBeforeAnythingIsDone) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.path() + "/out.jpg";
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"set scale 500", "actions.txt:2: scale takes 50 to 150, not 500"},
        {"sharpen 3", "actions.txt:2: unknown action \"sharpen\""},
        {"set sharpness 3", "actions.txt:2: unknown control \"sharpness\""},
        {"save-as " + out + " --quality 2", "actions.txt:2: quality takes 0 to 1"},
        {"save now", "actions.txt:2: save takes no argument"},
    };
    for (const auto& [line, message] : cases) {
        SCOPED_TRACE(line);
        expectFailure(script(dir, "open " + photo + "\n" + line + "\nsave-as " + out + "\n"), 2, message, out);
    }
}

TEST(ScriptCommand, AnErrorAlertFailsTheScriptUnlessItWasExpected) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string broken = dir.path() + "/broken.jpg";
    ASSERT_TRUE(qv::files::writeWhole(broken, std::string("not a photo")));
    const std::string out = dir.path() + "/out.jpg";

    expectFailure(script(dir, "open " + photo + "\nopen " + broken + "\nsave-as " + out + "\n"), 1,
                  "actions.txt:2: broken.jpg", out);

    // Expected, the alert is reported and the script goes on with the photo still open.
    const auto expected =
        script(dir, "open " + photo + "\nexpect-alert OpenErrorMessage\nopen " + broken + "\nsave-as " + out + "\n");
    EXPECT_EQ(expected.exitStatus, 0) << expected.output;
    EXPECT_TRUE(contains(expected.output, "alert: broken.jpg")) << expected.output;
    EXPECT_TRUE(qv::files::exists(out));

    // An alert expected but not shown fails the line it was expected of.
    const auto missing = script(dir, "open " + photo + "\nexpect-alert SaveErrorMessage\nsave-as " + out + "\n");
    EXPECT_EQ(missing.exitStatus, 1);
    EXPECT_TRUE(contains(missing.output, "actions.txt:3: no alert \"SaveErrorMessage\" was shown")) << missing.output;
}

TEST(ScriptCommand, FailingActionsNameTheirLine) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string plainFile = dir.path() + "/plain";
    ASSERT_TRUE(qv::files::writeWhole(plainFile, std::string("x")));
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"set yaw 3", "actions.txt:1: no photo is open"},
        {"open " + photo + "\nlens Fisheye 8mm", "actions.txt:2: no lens named \"Fisheye 8mm\""},
        {"open " + photo + "\nsave-as " + plainFile + "/out.jpg", "actions.txt:2: the panel refused the answer"},
        {"open " + photo + "\nsave-as " + dir.path() + "/a.jpg\nsave", "actions.txt:3: nothing to save"},
    };
    for (const auto& [text, message] : cases) {
        SCOPED_TRACE(text);
        const auto result = script(dir, text + "\n");
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_TRUE(contains(result.output, message)) << result.output;
    }
}

TEST(ScriptCommand, PanelsOpenAfterEachEndOfTheDatabaseEditorAndFailAtOnceWhileASheetStays) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.file("out.jpg"), preset = dir.file("look.dtl2");
    // Save and Cancel end in the database sheet, which the line closes: the panels of the lines
    // after it open as they would have before the editor began.
    for (const std::string& end : {"save-database " + dir.file("mine.dtl"), std::string("cancel-database")}) {
        SCOPED_TRACE(end);
        std::remove(out.c_str());
        std::remove(preset.c_str());
        const auto result = script(dir, "open " + photo + "\nnew-database\nadd-lens\nset-lens-field manufacturer Acme\n" +
                                            end + "\nsave-preset " + preset + "\nload-preset " + preset +
                                            "\nsave-as " + out + "\nopen " + photo + "\n");
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_TRUE(contains(result.output, "written: " + out + "\n")) << result.output;
        EXPECT_TRUE(qv::files::exists(out));
        EXPECT_TRUE(qv::files::exists(preset));
    }
    EXPECT_TRUE(qv::files::exists(dir.file("mine.dtl")));

    // While the edit sheet is on the window no panel can come up: the line that needs one fails
    // with its number, and no file is reported written.
    std::remove(out.c_str());
    for (const std::string& line : {"save-as " + out, "open " + photo, "save-preset " + dir.file("other.dtl2"),
                                    "load-preset " + preset}) {
        SCOPED_TRACE(line);
        const auto result = script(dir, "open " + photo + "\nnew-database\n" + line + "\n");
        expectFailure(result, 1, "actions.txt:3: the ", out);
        EXPECT_TRUE(contains(result.output, "did not open")) << result.output;
        EXPECT_FALSE(contains(result.output, "written:")) << result.output;
    }
    EXPECT_FALSE(qv::files::exists(dir.file("other.dtl2")));
}

TEST(ScriptCommand, ALensChosenByNameAndAnAnsweredPanel) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const auto chosen = script(dir, "open " + photo + "\nlens Canon EF-S 18-55mm f/3.5-5.6\nprint lens\n");
    EXPECT_EQ(chosen.exitStatus, 0) << chosen.output;
    EXPECT_TRUE(contains(chosen.output, "lens: Canon EF-S 18-55mm f/3.5-5.6")) << chosen.output;

    // The person cancels the save panel: nothing is written and the script says so.
    const std::string out = dir.path() + "/out.jpg";
    expectFailure(script(dir, "open " + photo + "\nanswer panel cancel\nsave-as " + out + "\n"), 1,
                  "actions.txt:3: the save panel was cancelled", out);
}

}  // namespace
