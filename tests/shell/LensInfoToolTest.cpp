// The metadata tool kept open for a session: one tool answers every photo, whatever the photo's
// name, and a tool that cannot start, exits, hangs, answers garbage or out of turn reads no range
// for that photo and is replaced by a new one for the next.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>

#include "ShellTestSupport.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "shell/lens/LensInfoTool.h"

using shelltest::linesOf;
using shelltest::writePhoto;

namespace {

std::size_t startsIn(const std::string& log) {
    const std::vector<std::string> lines = linesOf(log);
    return std::size_t(std::count(lines.begin(), lines.end(), "start"));
}

// Runs in `folder` while it lives, so that relative paths name files there.
class InFolder {
public:
    explicit InFolder(const std::string& folder) : m_previous(::getcwd(nullptr, 0)) { EXPECT_EQ(::chdir(folder.c_str()), 0); }
    ~InFolder() {
        EXPECT_EQ(::chdir(m_previous), 0);
        std::free(m_previous);
    }
    InFolder(const InFolder&) = delete;
    InFolder& operator=(const InFolder&) = delete;

private:
    char* m_previous;
};

}  // namespace

TEST(LensInfoTool, OneToolReadsTheFocalRangeOfPhotosWhateverTheirNames) {
    qvtest::TempDir dir;
    ASSERT_TRUE(qv::files::createFolder(dir.file("My Trip 2009")));
    // The real tool behind a script that counts its starts.
    const std::string log = dir.file("tool.log");
    const std::string counted = dir.file("counted-tool");
    shelltest::writeCountingLensInfoTool(counted, log);
    shell::LensInfoTool session(counted);
    // Names the tool's argument lines would otherwise change: a leading "#" is a comment there, a
    // leading space is removed, a line break ends the argument and a carriage return at its end
    // is dropped; the two with a line break or return go on a command line of their own.
    const std::vector<std::string> names = {"plain.jpg", "My Trip 2009/IMG 0001 (copy).jpg", "#first.jpg", " leading.jpg",
                                            "trailing .jpg ", "$HOME@x \"q\".jpg", "two\nlines.jpg", "return\r.jpg",
                                            "Objektiv \u00d8.jpg"};
    for (const std::string& name : names) {
        SCOPED_TRACE(name);
        const std::string photo = dir.file(name);
        writePhoto(photo, 32, 24);
        const shell::FocalRange range = session.read(photo, 60);
        EXPECT_FLOAT_EQ(range.minimum, 18);
        EXPECT_FLOAT_EQ(range.maximum, 55);
    }
    // Relative paths, from a folder the tool was not started in, that a line or a command line
    // would take for a comment or an option.
    {
        InFolder inside(dir.path());
        for (const std::string name : {"-dash.jpg", "#rel.jpg", " rel.jpg"}) {
            SCOPED_TRACE(name);
            writePhoto(dir.file(name), 32, 24);
            EXPECT_FLOAT_EQ(session.read(name, 60).maximum, 55);
        }
    }
    const std::string bare = dir.file("bare.jpg");
    writePhoto(bare, 32, 24, false);
    EXPECT_EQ(session.read(bare, 60).maximum, 0) << "a photo without lens information";
    EXPECT_EQ(session.read(dir.file("missing.jpg"), 60).maximum, 0);
    EXPECT_FLOAT_EQ(session.read(dir.file("plain.jpg"), 60).maximum, 55) << "the tool still answers";
    EXPECT_EQ(startsIn(log), 3u) << "one kept-open tool, and one each for the two names on a command line";
}

TEST(LensInfoTool, AToolThatFailsMidSessionCostsThatPhotoItsRangeAndIsReplaced) {
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

    // A tool that exits, hangs, prints without end, answers garbage or answers an earlier
    // request, each in the middle of a session: the photos asked of it read nothing, every other
    // photo its range, and only a tool that failed to answer is replaced. One that floods is
    // given up without waiting for the time-out.
    const std::string log = dir.file("tool.log");
    const std::string scripted = dir.file("scripted-tool");
    shelltest::writeScriptedLensInfoTool(scripted, log);
    shell::LensInfoTool session(scripted);
    const std::vector<std::pair<std::string, float>> photos = {
        {"a.jpg", 105}, {"b-exits.jpg", 0}, {"c.jpg", 105}, {"d-garbage.jpg", 0}, {"e.jpg", 105},
        {"f-hangs.jpg", 0}, {"g.jpg", 105}, {"h-late.jpg", 0}, {"i.jpg", 105}, {"j-floods.jpg", 0}, {"k.jpg", 105}};
    std::vector<std::string> expectedLog = {"start"};
    for (const auto& [name, maximum] : photos) {
        SCOPED_TRACE(name);
        const bool stalls = name.find("hangs") != std::string::npos || name.find("late") != std::string::npos;
        const auto asked = std::chrono::steady_clock::now();
        EXPECT_FLOAT_EQ(session.read(dir.file(name), stalls ? 0.5 : 30).maximum, maximum);
        EXPECT_LT(std::chrono::steady_clock::now() - asked, std::chrono::seconds(10));
        expectedLog.push_back(dir.file(name));
        if (maximum == 0 && name.find("garbage") == std::string::npos) expectedLog.push_back("start");
    }
    EXPECT_EQ(linesOf(log), expectedLog);
}
