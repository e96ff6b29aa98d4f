// The metadata tool started before the photo it reads: its arguments reach it through its input,
// whatever the photo's name, and a tool that cannot start, fails or hangs reads no range.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <chrono>

#include "ShellTestSupport.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "shell/LensInfoTool.h"

using shelltest::writePhoto;

namespace {

const char* const kTool = "/usr/bin/exiftool";

shell::FocalRange readWithStartedTool(const std::string& photo) { return shell::LensInfoTool(kTool).read(photo, 60); }

}  // namespace

TEST(LensInfoTool, ReadsTheFocalRangeOfPhotosWhateverTheirNames) {
    qvtest::TempDir dir;
    ASSERT_TRUE(qv::files::createFolder(dir.file("My Trip 2009")));
    // Names the tool's argument lines would otherwise change: a leading "#" is a comment there, a
    // leading space is removed, a line break ends the argument.
    for (const std::string name : {"plain.jpg", "My Trip 2009/IMG 0001 (copy).jpg", "#first.jpg", " leading.jpg",
                                   "two\nlines.jpg", "return\r.jpg", "Objektiv \u00d8.jpg"}) {
        SCOPED_TRACE(name);
        const std::string photo = dir.file(name);
        writePhoto(photo, 32, 24);
        const shell::FocalRange range = readWithStartedTool(photo);
        EXPECT_FLOAT_EQ(range.minimum, 18);
        EXPECT_FLOAT_EQ(range.maximum, 55);
    }
    const std::string bare = dir.file("bare.jpg");
    writePhoto(bare, 32, 24, false);
    EXPECT_EQ(readWithStartedTool(bare).maximum, 0) << "a photo without lens information";
    EXPECT_EQ(readWithStartedTool(dir.file("missing.jpg")).maximum, 0);
}

TEST(LensInfoTool, AToolThatCannotStartOrHangsReadsNoRange) {
    qvtest::TempDir dir;
    const std::string photo = dir.file("photo.jpg");
    writePhoto(photo, 32, 24);
    EXPECT_EQ(shell::LensInfoTool(dir.file("no-such-tool")).read(photo, 60).maximum, 0);

    // A tool that never answers is given up at the time-out, and killed.
    const std::string hanging = dir.file("hanging-tool");
    ASSERT_TRUE(qv::files::writeWhole(hanging, std::string_view("#!/bin/sh\nexec sleep 30\n")));
    ASSERT_EQ(::chmod(hanging.c_str(), 0755), 0);
    const auto started = std::chrono::steady_clock::now();
    EXPECT_EQ(shell::LensInfoTool(hanging).read(photo, 0.3).maximum, 0);
    EXPECT_LT(std::chrono::steady_clock::now() - started, std::chrono::seconds(10));

    // One reading per tool: a second one has no tool left to ask.
    shell::LensInfoTool once(kTool);
    EXPECT_FLOAT_EQ(once.read(photo, 60).maximum, 55);
    EXPECT_EQ(once.read(photo, 60).maximum, 0);
}
