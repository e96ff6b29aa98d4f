// "quorvelci correct" end to end, in the test's own HOME: the sample photo's camera and lens are
// chosen from its EXIF data, its barrel distortion is straightened, the controls' options change
// the correction, and failures make the command fail without touching anything.
#include <gtest/gtest.h>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

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

TEST(CorrectCommand, OutputsNamedInCapitalsAreWrittenInTheirFormat) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    for (const auto& [name, type] : {std::pair{"out.JPG", "JPEG"}, std::pair{"out.TIF", "TIFF"}}) {
        const auto result = quorvelci({"correct", photo, "-o", dir.file(name)});
        ASSERT_EQ(result.exitStatus, 0) << name << result.output;
        EXPECT_EQ(run("exiftool", {"-s3", "-FileType", dir.file(name)}).output, std::string(type) + "\n") << name;
    }
    const auto saved = script(dir, "open " + photo + "\nsave-as " + dir.file("out.JPEG") + "\nsave-as " +
                                       dir.file("out.TIFF") + " --compression lzw\n");
    ASSERT_EQ(saved.exitStatus, 0) << saved.output;
    EXPECT_EQ(run("exiftool", {"-s3", "-FileType", dir.file("out.JPEG")}).output, "JPEG\n");
    EXPECT_EQ(run("exiftool", {"-s3", "-FileType", "-Compression", dir.file("out.TIFF")}).output, "TIFF\nLZW\n");
    // Mixed-case spellings are none of the save panel's extensions.
    expectFailure(quorvelci({"correct", photo, "-o", dir.file("out.Jpg")}), 2, "cannot write \"Jpg\" files",
                  dir.file("out.Jpg"));
}

TEST(CorrectCommand, ControlOptionsChangeTheCorrectionAsTheControlsDo) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string plain = dir.path() + "/plain.tif";
    ASSERT_EQ(quorvelci({"correct", photo, "-o", plain}).exitStatus, 0);

    // Distortion off leaves the lines bent.
    const std::string bent = dir.path() + "/bent.tif";
    const auto off = quorvelci({"correct", photo, "-o", bent, "--distortion", "off"});
    ASSERT_EQ(off.exitStatus, 0) << off.output;
    EXPECT_GT(lineWander(bent, 160, 80, 1120), 4.0);

    // Darkening vignetting: the picture away from the centre gets darker, the centre stays.
    const std::string dark = dir.path() + "/dark.tif";
    const auto vignetted = quorvelci({"correct", photo, "-o", dark, "--vignetting-amount", "-80", "--depth", "16"});
    ASSERT_EQ(vignetted.exitStatus, 0) << vignetted.output;
    EXPECT_LT(meanRed(dark, 140, 110, 40), 0.8 * meanRed(plain, 140, 110, 40));
    EXPECT_NEAR(meanRed(dark, 580, 380, 40), meanRed(plain, 580, 380, 40), 3.0);
    EXPECT_EQ(run("exiftool", {"-s3", "-BitsPerSample", dark}).output, "16 16 16 16\n");
    EXPECT_EQ(run("exiftool", {"-s3", "-BitsPerSample", plain}).output, "8 8 8 8\n");

    // A typed focal length within the lens's range takes the coefficients there.
    const auto at35 = quorvelci({"correct", photo, "-o", dir.path() + "/at35.jpg", "--focal-length", "35"});
    ASSERT_EQ(at35.exitStatus, 0) << at35.output;
    const auto at18 = quorvelci({"correct", photo, "-o", dir.path() + "/at18.jpg"});
    auto coefficients = [](const std::string& output) { return output.substr(output.find("coefficients:")); };
    EXPECT_NE(coefficients(at35.output).substr(0, 40), coefficients(at18.output).substr(0, 40));
}

TEST(CorrectCommand, BadControlValuesAreUsageErrorsAndWriteNothing) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.path() + "/out.jpg";
    const std::vector<std::pair<std::vector<std::string>, std::string>> cases = {
        {{"--scale", "500"}, "scale takes 50 to 150, not 500"},
        {{"--yaw", "ten"}, "yaw takes a number"},
        {{"--crop", "sideways"}, "crop takes none|inside|outside"},
        {{"--distortion", "maybe"}, "distortion takes on|off"},
        {{"--depth", "12"}, "depth takes 8 or 16"},
        {{"--focal-length", "-3"}, "focal length in mm above 0"},
        {{"--red", "0.5"}, "red takes -0.02 to 0.02"},
        {{"--compression", "lzw"}, "compression is for TIFF output only"},
        {{"--colour", "red"}, "unknown option --colour"},
        {{"--scale", "110", "--scale", "120"}, "--scale is given twice"},
    };
    for (const auto& [options, message] : cases) {
        SCOPED_TRACE(message);
        std::vector<std::string> arguments{"correct", photo, "-o", out};
        arguments.insert(arguments.end(), options.begin(), options.end());
        expectFailure(quorvelci(arguments), 2, message, out);
    }
}

TEST(CorrectCommand, ControlsTheWindowRefusesFailTheCommand) {
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(dir);
    const std::string out = dir.path() + "/out.jpg";
    expectFailure(quorvelci({"correct", photo, "-o", out, "--crop", "inside", "--rotation", "5"}), 1,
                  "a rotated photo cannot be cropped inside", out);
    expectFailure(quorvelci({"correct", photo, "-o", out, "--focal-length", "70"}), 1,
                  "outside the lens's range 18-55 mm", out);
}

}  // namespace
