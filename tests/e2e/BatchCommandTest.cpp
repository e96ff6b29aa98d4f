// "quorvelci batch" end to end on a generated tree: one line per photo, the naming, each photo's
// own lens in the automatic mode, the current, preset and fisheye modes, replace mode beside a raw
// source, and a destination that takes no file.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cmath>
#include <optional>

#include "E2ESupport.h"
#include "TestImages.h"
#include "common/FileSizeLimit.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "lens/QVDatabaseLoader.h"
#include "imageio/ImageSource.h"

using namespace e2e;

namespace {

std::vector<std::string> namesIn(const std::string& folder) {
    return qv::files::listFolder(folder).value_or(std::vector<std::string>{});
}

std::size_t lines(const std::string& text, const std::string& start) {
    std::size_t count = 0, at = 0;
    while ((at = text.find(start, at)) != std::string::npos) {
        if (at == 0 || text[at - 1] == '\n') ++count;
        at += start.size();
    }
    return count;
}

std::optional<qv::Bitmap> pixelsOf(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return std::nullopt;
    return source->createImage(0);
}

// A sample photo of the grid bent by the 18-55 zoom, written as the name given (any type the
// generator makes is JPEG; TIFF and other names are re-encoded by the image layer).
std::string photo(const qvtest::TempDir& dir, const std::string& name, const std::vector<std::string>& extra = {}) {
    const std::string made = samplePhoto(dir, extra);
    const std::string path = dir.path() + "/" + name;
    EXPECT_TRUE(qv::files::createFolder(qv::paths::deletingLastPathComponent(path), true) ||
                qv::files::isFolder(qv::paths::deletingLastPathComponent(path)));
    EXPECT_TRUE(qv::files::moveItem(made, path));
    return path;
}

// A small TIFF of the image layer's own, 8 or 16 bits.
qv::Data tiff(bool deep) { return qvtest::encodeWithLayer(qv::io::ImageType::TIFF, 64, 48, deep, qvtest::sampleMetadata(1)); }

}  // namespace

// The sample photo at 18 mm and the same pixels marked 35 mm: each photo of an automatic run comes
// out as "quorvelci correct" makes it alone, with the zoom's coefficients at its own focal length;
// and so when the lens is an owned one.
TEST(BatchCommand, EachPhotoOfAnAutomaticRunComesOutAsCorrectMakesItAlone) {
    qvtest::TempDir dir;
    // One bend, two focal lengths. Named TIFF, so that the run and "correct" both write TIFF,
    // without a lossy encoding between.
    const std::string at18 = photo(dir, "in/at18.tif");
    const std::string at35 = photo(dir, "in/at35.tif", {"--focal-length", "35"});
    ASSERT_EQ(pixelsOf(at18)->pixels, pixelsOf(at35)->pixels);

    auto compare = [&](const std::string& runName) {
        const std::string out = dir.path() + "/" + runName;
        const auto batch = quorvelci({"batch", at18, at35, "--dest", out});
        ASSERT_EQ(batch.exitStatus, 0) << batch.output;
        std::vector<std::string> coefficients;
        for (const std::string name : {"at18", "at35"}) {
            const std::string alone = out + "/" + name + "-alone.tiff";
            const auto corrected = quorvelci({"correct", dir.path() + "/in/" + name + ".tif", "-o", alone});
            ASSERT_EQ(corrected.exitStatus, 0) << corrected.output;
            EXPECT_TRUE(contains(corrected.output, "lens: Canon EF-S 18-55mm f/3.5-5.6")) << corrected.output;
            coefficients.push_back(coefficientsLine(corrected.output));
            const int difference = largestDifference(out + "/" + name + ".tiff", alone);
            EXPECT_GE(difference, 0) << runName << " " << name;
            EXPECT_LE(difference, 1) << runName << " " << name;
        }
        EXPECT_NE(coefficients[0], coefficients[1]) << "the zoom's coefficients at 18 and at 35 mm";
        EXPECT_GT(largestDifference(out + "/at18.tiff", out + "/at35.tiff"), 1) << runName;
    };
    compare("chosen");

    // The zoom owned, as the lens-selection window lists it: chosen for both photos by its range.
    qv::PreferencesFile::update([&](qv::Value& root) {
        QVDatabaseLoader loader;
        ASSERT_TRUE(loader.loadPTLensDatabase(qv::paths::supportFolder() + "/PTLens.dat"));
        for (const qv::Value& lens : loader.lensArrayForCamGroup({"Canon APS-C"}))
            if (lens.get("3.Lens Name").stringOr("") == "Canon EF-S 18-55mm f/3.5-5.6") root["recentLenses"].append(lens);
        ASSERT_EQ(root["recentLenses"].size(), 1u);
    });
    compare("owned");
}

TEST(BatchCommand, ATreeOfEveryKindIsCorrectedAndNamedWithEachPhotosOwnLens) {
    qvtest::TempDir dir;
    photo(dir, "tree/a.jpg");
    photo(dir, "tree/sub/nikon.jpg", {"--make", "NIKON CORPORATION", "--model", "NIKON D80"});
    const auto deep = tiff(true);
    qvtest::writeFile(dir.path() + "/tree/c16.tif", deep);
    qvtest::writeFile(dir.path() + "/tree/b.tif", tiff(false));
    qvtest::writeFile(dir.path() + "/tree/e.dng", qvtest::makeDng(64, 48, "Canon", "Canon EOS 400D DIGITAL", 1));
    qvtest::writeFile(dir.path() + "/tree/d.png", qvtest::makePalettePng(40, 30));
    ASSERT_TRUE(qv::files::writeWhole(dir.path() + "/tree/notes.txt", std::string_view("text")));
    ASSERT_TRUE(qv::files::createFolder(dir.path() + "/tree/x.jpg"));
    const std::string out = dir.path() + "/out";
    // A PNG is not among the photo types a batch takes: left out of the folder, refused as a source.
    const auto result = quorvelci({"batch", dir.path() + "/tree", dir.path() + "/tree/d.png", "--subfolders", "--dest",
                                   out, "--name", "name+nn"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(lines(result.output, "written "), 5u) << result.output;
    EXPECT_EQ(lines(result.output, "skipped "), 2u) << result.output;  // the PNG and the folder named x.jpg
    EXPECT_EQ(namesIn(out), (std::vector<std::string>{"a00.jpeg", "b01.tiff", "c1602.tiff", "e03.jpeg", "nikon04.jpeg"}));
    // The Canon photo's barrel distortion is straightened; the same grid from the Nikon gets the
    // Nikon lens's coefficients, so it comes out otherwise.
    EXPECT_LT(lineWander(out + "/a00.jpeg", 160, 80, 1120), 1.0) << lineWander(dir.path() + "/tree/a.jpg", 160, 80, 1120);
    const auto canon = pixelsOf(out + "/a00.jpeg"), nikon = pixelsOf(out + "/nikon04.jpeg");
    ASSERT_TRUE(canon && nikon);
    EXPECT_NE(canon->pixels, nikon->pixels);
    EXPECT_EQ(qv::io::ImageSource::createWithPath(out + "/c1602.tiff")->bitsPerComponent(), 16);
}

TEST(BatchCommand, TheNamingExampleGivesExactlyItsThreeNames) {
    qvtest::TempDir dir;
    const std::string a = photo(dir, "in/a.jpg");
    qvtest::writeFile(dir.path() + "/in/b.tif", tiff(false));
    qvtest::writeFile(dir.path() + "/in/c.nef", qvtest::makeDng(64, 48, "NIKON CORPORATION", "NIKON D80", 1));
    const std::string out = dir.path() + "/out";
    const auto result = quorvelci({"batch", a, dir.path() + "/in/b.tif", dir.path() + "/in/c.nef", "--dest", out,
                                   "--name", "name+nn", "--type", "psd", "--mode", "current"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(namesIn(out), (std::vector<std::string>{"a00.jpeg", "b01.tiff", "c02.psd"}));
    // The usage says so, as a JPEG source written as JPEG with --type psd is no surprise then.
    EXPECT_TRUE(contains(quorvelci({"--help"}).output, "a JPEG, TIFF, PSD or OpenEXR source keeps its type"));
}

TEST(BatchCommand, PresetAndFisheyeModes) {
    qvtest::TempDir dir;
    const std::string source = photo(dir, "in/a.jpg");
    const std::string preset = dir.path() + "/look.dtl2";
    ASSERT_EQ(quorvelci({"correct", source, "-o", dir.path() + "/one.jpg", "--vignetting-amount", "-100",
                         "--save-preset", preset}).exitStatus, 0);
    const auto withPreset = quorvelci({"batch", source, "--dest", dir.path() + "/preset", "--preset", preset});
    ASSERT_EQ(withPreset.exitStatus, 0) << withPreset.output;
    EXPECT_LT(meanRed(dir.path() + "/preset/a.jpeg", 0, 0, 40), meanRed(source, 0, 0, 40) - 5)
        << "the preset's vignetting darkens the corners";

    const auto unwrapped = quorvelci({"batch", source, "--dest", dir.path() + "/fish", "--correction", "fisheye",
                                      "--fe-width", "300", "--fe-height", "200", "--fe-input-fov", "180",
                                      "--fe-output-fov", "90"});
    ASSERT_EQ(unwrapped.exitStatus, 0) << unwrapped.output;
    auto fish = qv::io::ImageSource::createWithPath(dir.path() + "/fish/a.jpeg");
    ASSERT_TRUE(fish);
    EXPECT_EQ(fish->pixelWidth(), 300);
    EXPECT_EQ(fish->pixelHeight(), 200);
    const auto refused = quorvelci({"batch", source, "--dest", dir.path() + "/fish2", "--correction", "fisheye",
                                    "--fe-input-fov", "180", "--fe-output-fov", "180"});
    EXPECT_EQ(refused.exitStatus, 1) << refused.output;
    EXPECT_TRUE(contains(refused.output, "failed ")) << refused.output;
    EXPECT_TRUE(namesIn(dir.path() + "/fish2").empty());
}

TEST(BatchCommand, ReplaceModeWritesBesideARawSourceAndKeepsIt) {
    qvtest::TempDir dir;
    const auto raw = qvtest::makeDng(64, 48, "Canon", "Canon EOS 400D DIGITAL", 1);
    qvtest::writeFile(dir.path() + "/shot.dng", raw);
    const auto result = quorvelci({"batch", dir.path() + "/shot.dng", "--replace-sources", "--type", "tiff",
                                   "--mode", "current"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(qvtest::readFile(dir.path() + "/shot.dng"), raw);
    auto beside = qv::io::ImageSource::createWithPath(dir.path() + "/shot.tiff");
    ASSERT_TRUE(beside);
    EXPECT_EQ(beside->type(), "public.tiff");

    // Now a shot.tiff is there, the output of no photo of the next run: it is not written over.
    ASSERT_TRUE(qv::files::writeWhole(dir.path() + "/shot.tiff", std::string_view("the user's shot.tiff")));
    const qv::Data usersFile = qvtest::readFile(dir.path() + "/shot.tiff");
    const auto again = quorvelci({"batch", dir.path() + "/shot.dng", "--replace-sources", "--type", "tiff",
                                  "--mode", "current"});
    EXPECT_EQ(again.exitStatus, 1) << again.output;
    EXPECT_EQ(lines(again.output, "failed " + dir.path() + "/shot.dng: a file is already at"), 1u) << again.output;
    EXPECT_EQ(qvtest::readFile(dir.path() + "/shot.tiff"), usersFile);
    EXPECT_EQ(qvtest::readFile(dir.path() + "/shot.dng"), raw);
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"shot.dng", "shot.tiff"}));
}

TEST(BatchCommand, ATypedNamePartLeadingOutOfTheDestinationIsRefusedAtTheStart) {
    qvtest::TempDir dir;
    const std::string a = photo(dir, "in/a.jpg");
    const auto result = quorvelci({"batch", a, "--dest", dir.path() + "/out", "--name", ":../escape"});
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_TRUE(contains(result.output, "The output file name is not valid")) << result.output;
    EXPECT_EQ(namesIn(dir.path()), (std::vector<std::string>{"in"}));
    EXPECT_EQ(namesIn(dir.path() + "/in"), std::vector<std::string>{"a.jpg"});
}

TEST(BatchCommand, ADestinationThatTakesNoFileFailsEveryPhotoWithTheAlertAndWritesNothing) {
    qvtest::TempDir dir;
    const std::string a = photo(dir, "in/a.jpg");
    const std::string b = dir.path() + "/in/b.jpg";
    ASSERT_TRUE(qv::files::copyItem(a, b));
    const std::string out = dir.path() + "/out";
    ASSERT_TRUE(qv::files::createFolder(out));
    ASSERT_EQ(::chmod(out.c_str(), 0555), 0);
    qv::ProcessResult result;
    {
        // Root writes into read-only folders: a file-size cap, which the command inherits, makes
        // its writes fail all the same.
        std::optional<qvtest::FileSizeLimit> cap;
        if (::geteuid() == 0) cap.emplace(4096);
        result = quorvelci({"batch", a, b, "--dest", out});
    }
    ::chmod(out.c_str(), 0755);
    EXPECT_EQ(result.exitStatus, 1) << result.output;
    EXPECT_EQ(lines(result.output, "failed "), 2u) << result.output;
    EXPECT_TRUE(contains(result.output, "alert: " + b)) << result.output;
    EXPECT_TRUE(namesIn(out).empty());
}

TEST(BatchCommand, ARunThatReadsNoPhotoOrHasNoPresetExitsOne) {
    qvtest::TempDir dir;
    const std::string broken = dir.path() + "/in/broken.jpg";
    ASSERT_TRUE(qv::files::createFolder(dir.path() + "/in"));
    ASSERT_TRUE(qv::files::writeWhole(broken, std::string("not a photo at all")));
    const auto unread = quorvelci({"batch", broken, "--dest", dir.path() + "/out"});
    EXPECT_EQ(unread.exitStatus, 1) << unread.output;
    EXPECT_TRUE(contains(unread.output, "no photo of the run could be read")) << unread.output;

    // A preset that is not there is named, before the run starts.
    const std::string a = photo(dir, "in/a.jpg");
    const std::string missing = dir.path() + "/missing.dtl2";
    const auto noPreset = quorvelci({"batch", a, "--dest", dir.path() + "/out", "--preset", missing});
    EXPECT_EQ(noPreset.exitStatus, 1) << noPreset.output;
    EXPECT_TRUE(contains(noPreset.output, "cannot use the preset " + missing)) << noPreset.output;
    EXPECT_FALSE(contains(noPreset.output, "alert: :")) << "no alert without a title: " << noPreset.output;
    EXPECT_TRUE(namesIn(dir.path() + "/out").empty());
}

TEST(BatchCommand, BadArgumentsExitTwoBeforeAnythingIsDone) {
    qvtest::TempDir dir;
    const std::string a = photo(dir, "a.jpg");
    for (const std::vector<std::string>& arguments :
         {std::vector<std::string>{"batch", a}, {"batch", a, "--dest", dir.path(), "--replace-sources"},
          {"batch", "--dest", dir.path()}, {"batch", a, "--dest", dir.path(), "--name", "name+bogus"},
          {"batch", a, "--dest", dir.path(), "--type", "gif"}, {"batch", a, "--dest", dir.path(), "--mode", "preset"}}) {
        const auto result = quorvelci(arguments);
        EXPECT_EQ(result.exitStatus, 2) << result.output;
    }
    EXPECT_EQ(namesIn(dir.path()), std::vector<std::string>{"a.jpg"});
}
