// "quorvelci unwrap" and the fisheye script lines end to end, in the test's own HOME, on generated
// equidistant fisheye photos of a straight grid: every sampler gives the asked size with straight
// lines at the places the perspective view puts them, the photo's metadata and profile survive,
// sizes of 0 mean the working copy's (preview) and the photo's (save) size, refused values give
// their message while the next request still runs, and bad options exit 2 naming the option.
#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <sstream>

#include "Actions.h"
#include "E2ESupport.h"
#include "FrontEnd.h"
#include "appkit/Application.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "imageio/ImageSource.h"

using namespace e2e;

namespace {

// Writes a fisheye grid photo (180 degrees across its 1200 x 800 pixels unless told otherwise).
std::string fisheyePhoto(const qvtest::TempDir& dir, const std::string& name, std::vector<std::string> extra = {}) {
    const std::string path = dir.path() + "/" + name;
    extra.push_back(path);
    const auto made = run(binary("qv-fisheyephoto"), extra);
    EXPECT_EQ(made.exitStatus, 0) << made.output;
    return path;
}

struct Picture {
    int width = 0, height = 0, bits = 0;
    qv::Bitmap pixels;
};

Picture read(const std::string& path) {
    Picture picture;
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) return picture;
    auto pixels = source->createImage();
    if (!pixels) return picture;
    picture.width = pixels->width;
    picture.height = pixels->height;
    picture.bits = source->bitsPerComponent();
    picture.pixels = std::move(*pixels);
    return picture;
}

// Darkness of a pixel, 0 (paper) to about 200 (a line), from the red sample on the 8-bit scale.
double ink(const qv::Bitmap& bitmap, int x, int y) {
    const int channels = qv::channelCount(bitmap.format), bytes = qv::bytesPerSample(bitmap.format);
    const std::uint8_t* p = bitmap.row(y) + std::size_t(x) * channels * bytes;
    return std::max(0.0, 200.0 - (bytes == 2 ? p[1] : p[0]));
}

// The grid's vertical lines in a perspective view of horizontal field of view `fov`: the line
// x = 0.25 k on the plane z = 1 stands at column w / 2 + 0.25 k * w / (2 tan(fov / 2)). Returns how
// far, at most, the ink's centre in any row strays from where its line must be (pixels); rows
// near a horizontal line are skipped.
double worstLineOffset(const Picture& picture, double fov) {
    if (picture.width == 0) return 1e9;
    const double scale = picture.width / (2 * std::tan(fov * 3.141592653589793 / 360));
    const double spacing = 0.25 * scale, window = 0.1 * scale;
    double worst = 0;
    int measured = 0;
    for (int k = -20; k <= 20; ++k) {
        const double column = picture.width / 2.0 + k * spacing;
        if (column - window < 2 || column + window > picture.width - 3) continue;
        for (int y = picture.height / 10; y < picture.height * 9 / 10; y += 5) {
            const double fromHorizontal = std::fabs(std::remainder(y - picture.height / 2.0, spacing));
            if (fromHorizontal < 12) continue;
            double weight = 0, sum = 0;
            for (int x = int(column - window); x <= int(column + window); ++x) {
                weight += ink(picture.pixels, x, y);
                sum += ink(picture.pixels, x, y) * x;
            }
            if (weight < 50) return 1e9;  // no line where one must be
            worst = std::max(worst, std::fabs(sum / weight - column));
            ++measured;
        }
    }
    return measured > 20 ? worst : 1e9;
}

std::string supportFile(const std::string& name) { return qv::paths::supportFolder() + name; }

// The script lines that unwrap a photo from 180 into 90 degrees, sizes 0, and save it.
std::string unwrapScript(const std::string& photo, const std::string& out) {
    return "open " + photo + "\nset correction fisheye\nset width 0\nset height 0\nset in-fov 180\nset out-fov 90\n"
           "apply\nsave-as " + out + "\n";
}

// Runs the script lines in this process and calls `whileRunning` before the application ends,
// while the support folder still holds what the session put there.
void runHere(const std::string& text, const std::function<void()>& whileRunning) {
    qv::ui::Application::shared().reset();
    {
        frontend::FrontEnd frontEnd;
        std::istringstream lines(text);
        std::string line;
        for (int number = 1; std::getline(lines, line); ++number) {
            std::string error;
            const auto action = frontend::parseLine(line, number, &error);
            if (!action) continue;
            EXPECT_TRUE(frontEnd.check(*action)) << line;
            const qv::Outcome done = frontEnd.run(*action);
            EXPECT_TRUE(done) << line << ": " << done.reason();
        }
        EXPECT_TRUE(frontEnd.finish());
        whileRunning();
    }
    qv::ui::Application::shared().reset();
}

}  // namespace

TEST(UnwrapCommand, EverySamplerWritesTheAskedSizeWithStraightLines) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg");
    // The same measure finds the fisheye photo's own lines far from straight.
    EXPECT_GT(worstLineOffset(read(photo), 90), 5.0);
    for (const char* sampler : {"bilinear", "gaussian", "mitchell", "lanczos2", "lanczos3", "bspline"}) {
        const std::string out = dir.path() + "/" + sampler + ".jpg";
        const auto result = quorvelci({"unwrap", photo, "-o", out, "--in-fov", "180", "--out-fov", "90", "--width",
                                       "800", "--height", "600", "--sampler", sampler});
        ASSERT_EQ(result.exitStatus, 0) << sampler << ": " << result.output;
        const Picture picture = read(out);
        EXPECT_EQ(picture.width, 800) << sampler;
        EXPECT_EQ(picture.height, 600) << sampler;
        EXPECT_LT(worstLineOffset(picture, 90), 1.0) << sampler;
    }
}

TEST(UnwrapCommand, TiffPhotosOfEitherDepthAreUnwrappedAndSixteenBitsKept) {
    qvtest::TempDir dir;
    const std::string tiff8 = fisheyePhoto(dir, "fish8.tif");
    const std::string out8 = dir.path() + "/out8.tif";
    const auto eight = quorvelci({"unwrap", tiff8, "-o", out8, "--in-fov", "180", "--out-fov", "100", "--width", "640",
                                  "--height", "480", "--sampler", "lanczos3"});
    ASSERT_EQ(eight.exitStatus, 0) << eight.output;
    const Picture picture8 = read(out8);
    EXPECT_EQ(picture8.width, 640);
    EXPECT_EQ(picture8.bits, 8);
    EXPECT_LT(worstLineOffset(picture8, 100), 1.0);

    const std::string tiff16 = fisheyePhoto(dir, "fish16.tif", {"--depth", "16"});
    const std::string out16 = dir.path() + "/out16.tif";
    const auto sixteen = quorvelci({"unwrap", tiff16, "-o", out16, "--in-fov", "180", "--out-fov", "90", "--width",
                                    "600", "--height", "400", "--depth", "16", "--compression", "lzw"});
    ASSERT_EQ(sixteen.exitStatus, 0) << sixteen.output;
    const Picture picture16 = read(out16);
    EXPECT_EQ(picture16.width, 600);
    EXPECT_EQ(picture16.height, 400);
    EXPECT_EQ(picture16.bits, 16);
    EXPECT_LT(worstLineOffset(picture16, 90), 1.0);
}

TEST(UnwrapCommand, ThePhotosMetadataAndProfileSurvive) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg", {"--profile"});
    const std::string out = dir.path() + "/out.jpg";
    const auto result = quorvelci({"unwrap", photo, "-o", out, "--in-fov", "180", "--out-fov", "90"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const auto tags = run("exiftool", {"-s3", "-Make", "-Model", "-DateTimeOriginal", "-ProfileDescription", out});
    EXPECT_EQ(tags.output, "Fisheye Optics\nRound 180\n2024:05:06 07:08:09\nsRGB built-in\n");
    // The command ends as the window's close does: the unwrapped copy and the extracted profile
    // are swept from the support folder.
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), std::vector<std::string>{"PTLens.dat"});
    // So does a script.
    const auto scripted = script(dir, unwrapScript(photo, out));
    ASSERT_EQ(scripted.exitStatus, 0) << scripted.output;
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), std::vector<std::string>{"PTLens.dat"});
    // While the session runs, the preview's result in the support folder carries them too.
    runHere(unwrapScript(photo, out), [] {
        const auto preview = run("exiftool", {"-s3", "-Make", "-DateTimeOriginal", "-ProfileDescription",
                                              supportFile("_QuorvelCI_twrite.JPG")});
        EXPECT_EQ(preview.output, "Fisheye Optics\n2024:05:06 07:08:09\nsRGB built-in\n");
    });
    EXPECT_EQ(qv::files::listFolder(qv::paths::supportFolder()), std::vector<std::string>{"PTLens.dat"});
}

TEST(UnwrapCommand, SizesOfZeroGiveTheWorkingCopysSizeInThePreviewAndThePhotosWhenSaved) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg", {"--width", "1800", "--height", "1200"});
    const std::string out = dir.path() + "/out.jpg";
    // Run here, to look at the preview's result in the support folder before the session ends.
    Picture preview{};
    runHere(unwrapScript(photo, out), [&] { preview = read(supportFile("_QuorvelCI_twrite.JPG")); });
    const Picture saved = read(out);
    EXPECT_EQ(saved.width, 1800);
    EXPECT_EQ(saved.height, 1200);
    EXPECT_LT(worstLineOffset(saved, 90), 1.0);
    // The working copy fits the main window, by width first, as the open step makes it.
    const qv::Value preferences = qv::PreferencesFile::read();
    const double frameWidth = preferences.get("windowWidth").doubleOr(0), frameHeight = preferences.get("windowHeight").doubleOr(0);
    ASSERT_GT(frameWidth, 0);
    double scale = 1;
    if (1800 > frameWidth || 1200 > frameHeight) scale = 1800 > frameWidth ? frameWidth / 1800 : frameHeight / 1200;
    EXPECT_EQ(preview.width, int(std::floor(1800 * scale)));
    EXPECT_EQ(preview.height, int(std::floor(1200 * scale)));
}

TEST(UnwrapCommand, RefusedValuesGiveTheirMessageAndALaterValidRequestRunsInTheSameRun) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg");
    const std::string out = dir.path() + "/out.jpg";
    const auto result = script(dir, "open " + photo +
                                        "\nset correction fisheye\nset width 0\nset height 0\nset out-fov 90\n"
                                        "set in-fov -5\nexpect-alert Unwrap: Input FOV cannot be negative\napply\n"
                                        "set in-fov 0.5\nexpect-alert Unwrap: Input FOV\napply\n"
                                        "set in-fov 180\nset out-fov 180\nexpect-alert Unwrap: Output FOV\napply\n"
                                        "set out-fov 90\nset width -3\nset height -3\n"
                                        "expect-alert Unwrap:Output image width cannot be negetive\napply\n"
                                        "set width 400\nset height 300\napply\nsave-as " + out + "\n");
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    // A refusal's alert has no message beside its title: the line ends with the title.
    EXPECT_TRUE(contains(result.output, "alert: Unwrap: Input FOV cannot be negative\n")) << result.output;
    const Picture picture = read(out);
    EXPECT_EQ(picture.width, 400);
    EXPECT_LT(worstLineOffset(picture, 90), 1.0);

    // A refusal nobody expected fails the script at its line.
    const auto unexpected = script(dir, "open " + photo + "\nset correction fisheye\nset in-fov 180\nset out-fov 200\napply\n");
    EXPECT_EQ(unexpected.exitStatus, 1) << unexpected.output;
    EXPECT_TRUE(contains(unexpected.output, ":5: Unwrap: Output FOV must lie between 1 and 179 degrees\n"))
        << unexpected.output;
}

TEST(UnwrapCommand, RevertBringsBackThePhotoAsOpened) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg");
    const std::string out = dir.path() + "/out.jpg";
    const auto result = script(dir, "open " + photo +
                                        "\nset correction fisheye\nset in-fov 180\nset out-fov 90\nset width 640\n"
                                        "set height 480\napply\nrevert\nset correction lens\nsave-as " + out + "\n");
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const Picture picture = read(out);
    EXPECT_EQ(picture.width, 1200) << "the fisheye photo itself";
    EXPECT_GT(worstLineOffset(picture, 90), 5.0);
}

TEST(UnwrapCommand, BadOptionsExitTwoNamingTheOptionBeforeAnythingRuns) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg");
    const std::string out = dir.path() + "/out.jpg";
    const std::vector<std::string> base = {"unwrap", photo, "-o", out};
    struct Case {
        std::vector<std::string> options;
        const char* named;
    };
    const Case cases[] = {{{"--in-fov", "abc", "--out-fov", "90"}, "--in-fov"},
                          {{"--in-fov", "0.9", "--out-fov", "90"}, "--in-fov"},
                          {{"--in-fov", "-20", "--out-fov", "90"}, "--in-fov"},
                          {{"--in-fov", "180", "--out-fov", "180"}, "--out-fov"},
                          {{"--in-fov", "180", "--out-fov", "0"}, "--out-fov"},
                          {{"--in-fov", "180", "--out-fov", "90", "--width", "-1", "--height", "10"}, "--width"},
                          {{"--in-fov", "180", "--out-fov", "90", "--width", "10", "--height", "nan"}, "--height"},
                          {{"--in-fov", "180", "--out-fov", "90", "--width", "10"}, "--height"},
                          {{"--in-fov", "180", "--out-fov", "90", "--sampler", "cubic"}, "--sampler"},
                          {{"--in-fov", "180"}, "--out-fov"},
                          {{"--in-fov", "180", "--out-fov", "90", "--type", "psd"}, "type"}};
    for (const Case& bad : cases) {
        std::vector<std::string> arguments = base;
        arguments.insert(arguments.end(), bad.options.begin(), bad.options.end());
        expectFailure(quorvelci(arguments), 2, bad.named, out);
    }
    EXPECT_FALSE(qv::files::exists(supportFile("_QuorvelCI_twrite.JPG"))) << "nothing ran";
}

TEST(UnwrapCommand, CorrectWithTheFisheyeCorrectionPressesApplyAndSavesWhatUnwrapSaves) {
    qvtest::TempDir dir;
    const std::string photo = fisheyePhoto(dir, "fish.jpg");
    const std::vector<std::string> fisheye = {"--in-fov", "180", "--out-fov", "90", "--width",
                                              "800",      "--height", "600", "--sampler", "lanczos3"};
    auto command = [&](const char* name, const std::string& out, std::vector<std::string> extra) {
        std::vector<std::string> arguments = {name, photo, "-o", out};
        arguments.insert(arguments.end(), extra.begin(), extra.end());
        return quorvelci(arguments);
    };
    const std::string unwrapped = dir.path() + "/unwrapped.jpg", corrected = dir.path() + "/corrected.jpg";
    ASSERT_EQ(command("unwrap", unwrapped, fisheye).exitStatus, 0);
    std::vector<std::string> correct = fisheye;
    correct.insert(correct.end(), {"--correction", "fisheye"});
    const auto result = command("correct", corrected, correct);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    const Picture ours = read(corrected), theirs = read(unwrapped);
    ASSERT_EQ(ours.width, 800);
    ASSERT_EQ(ours.height, 600);
    EXPECT_LT(worstLineOffset(ours, 90), 1.0);
    ASSERT_EQ(ours.pixels.pixels.size(), theirs.pixels.pixels.size());
    EXPECT_TRUE(ours.pixels.pixels == theirs.pixels.pixels) << "the same unwrap as the unwrap command's";

    // Refused before anything runs: a value the unwrap refuses, and fisheye values that without
    // the fisheye correction would change nothing.
    const std::string refused = dir.path() + "/refused.jpg";
    expectFailure(command("correct", refused, {"--correction", "fisheye", "--in-fov", "0", "--out-fov", "90"}), 2,
                  "--in-fov", refused);
    expectFailure(command("correct", refused, {"--correction", "fisheye", "--in-fov", "180", "--width", "800"}), 2,
                  "--height", refused);
    expectFailure(command("correct", refused, {"--width", "800", "--height", "600"}), 2, "--correction fisheye",
                  refused);
    expectFailure(command("correct", refused, {"--correction", "lens", "--out-fov", "90"}), 2, "--out-fov", refused);
}
