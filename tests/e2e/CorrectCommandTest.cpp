// "quorvelci correct" end to end, in the test's own HOME: the sample photo's camera and lens are
// chosen from its EXIF data, its barrel distortion is straightened, every output type keeps the
// photo's metadata, and failures make the command fail without touching anything.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "common/TempDir.h"
#include "foundation/Files.h"
#include "foundation/Process.h"
#include "imageio/ImageSource.h"

namespace {

std::string binary(const std::string& name) { return qvtest::binaryDir() + "/bin/" + name; }

qv::ProcessResult run(const std::string& program, const std::vector<std::string>& arguments) {
    const auto result = qv::runProcess(program, arguments, 300);
    EXPECT_TRUE(result) << program << " did not start";
    return result ? *result : qv::ProcessResult{};
}

std::string samplePhoto(const qvtest::TempDir& dir, const std::vector<std::string>& extra = {}) {
    const std::string path = dir.path() + "/IMG_0018.jpg";
    std::vector<std::string> arguments{path};
    arguments.insert(arguments.end(), extra.begin(), extra.end());
    const auto made = run(binary("qv-samplephoto"), arguments);
    EXPECT_EQ(made.exitStatus, 0) << made.output;
    return path;
}

// How far the dark line nearest row y0 (of the 80-pixel grid centred in the picture) wanders up and down across the picture (pixels): the
// spread of its per-column centre between the given columns.
double lineWander(const std::string& path, int y0, int fromX, int toX) {
    auto source = qv::io::ImageSource::createWithPath(path);
    EXPECT_TRUE(source);
    if (!source) return 1e9;
    auto bitmap = source->createImage();
    EXPECT_TRUE(bitmap);
    if (!bitmap) return 1e9;
    const int channels = qv::channelCount(bitmap->format);
    const int bytes = qv::bytesPerSample(bitmap->format);
    double low = 1e9, high = -1e9;
    for (int x = fromX; x < toX; ++x) {
        // Columns that cross a vertical line of the grid say nothing about the horizontal one.
        const int fromVertical = std::abs(((x - 600) % 80 + 80) % 80 - 40);
        if (fromVertical > 30) continue;
        double weight = 0, sum = 0;
        for (int y = y0 - 14; y <= y0 + 14; ++y) {
            const std::uint8_t* p = bitmap->row(y) + std::size_t(x) * channels * bytes;
            const double v = bytes == 2 ? p[1] : p[0];  // the high byte of a native 16-bit sample
            const double ink = std::max(0.0, 200.0 - v);
            weight += ink;
            sum += ink * y;
        }
        if (weight == 0) return 1e9;
        low = std::min(low, sum / weight);
        high = std::max(high, sum / weight);
    }
    return high - low;
}

TEST(CorrectCommand, ChoosesTheSampleLensAndStraightensItsLines) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.path() + "/straight.tif";
    const auto result = run(binary("quorvelci"), {"correct", photo, "-o", out});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("camera: Canon Canon EOS 400D DIGITAL"), std::string::npos) << result.output;
    EXPECT_NE(result.output.find("lens: Canon EF-S 18-55mm f/3.5-5.6"), std::string::npos) << result.output;
    // The line three cells above the centre bows by pixels in the photo and is straight after.
    EXPECT_GT(lineWander(photo, 160, 80, 1120), 4.0);
    EXPECT_LT(lineWander(out, 160, 80, 1120), 1.0);
}

TEST(CorrectCommand, EveryOutputTypeKeepsMakeModelAndOrientation) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    for (const std::string extension : {"jpg", "tif", "psd", "exr"}) {
        SCOPED_TRACE(extension);
        const std::string out = dir.path() + "/out." + extension;
        std::vector<std::string> arguments{"correct", photo, "-o", out};
        if (extension == "jpg") arguments.insert(arguments.end(), {"--quality", "0.9"});
        const auto result = run(binary("quorvelci"), arguments);
        ASSERT_EQ(result.exitStatus, 0) << result.output;
        EXPECT_EQ(run("identify", {"-format", "%w %h", out}).output, "1200 800");
        if (extension == "exr") continue;  // no EXIF block in OpenEXR
        EXPECT_EQ(run("exiftool", {"-s3", "-Make", "-Model", "-Orientation#", out}).output,
                  "Canon\nCanon EOS 400D DIGITAL\n1\n");
    }
}

TEST(CorrectCommand, PhotoWithoutLensInformationFallsBackToFocalLengthAndAperture) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir, {"--no-lens-info"});
    const auto result = run(binary("quorvelci"), {"correct", photo, "-o", dir.path() + "/out.jpg"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_NE(result.output.find("lens: Canon EF-S 18-55mm f/3.5-5.6"), std::string::npos) << result.output;
}

TEST(CorrectCommand, FailuresExitNonZeroAndWriteNothing) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string file = dir.path() + "/plain";
    ASSERT_TRUE(qv::files::writeWhole(file, std::string("x")));
    EXPECT_NE(run(binary("quorvelci"), {"correct", photo, "-o", file + "/out.jpg"}).exitStatus, 0);
    EXPECT_NE(run(binary("quorvelci"), {"correct", dir.path() + "/missing.jpg", "-o", dir.path() + "/o.jpg"}).exitStatus, 0);
    EXPECT_FALSE(qv::files::exists(dir.path() + "/o.jpg"));
    EXPECT_NE(run(binary("quorvelci"), {"correct", photo, "-o", dir.path() + "/o.png"}).exitStatus, 0)
        << "an output type it does not write";
}

}  // namespace
