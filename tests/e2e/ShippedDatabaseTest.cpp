// The shipped lens database, converted from the installed lens calibration data, end to end: photos
// with the EXIF of real camera and lens pairs get that camera's and lens's coefficients, equal to
// the data's own at a calibration focal length after the data's own rescaling for the camera's frame.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "E2ESupport.h"
#include "foundation/Files.h"

using namespace e2e;

namespace {

// One pair as the calibration data describes it: the camera's crop factor and frame, the lens's
// calibration frame and its "ptlens" a, b, c at the photo's focal length.
struct RealPair {
    const char* what;
    const char* make;
    const char* model;
    const char* lens;
    double focalLength, maxAperture;  // EXIF: mm, APEX
    const char* lensInfo;             // minimum and maximum focal length and f-numbers
    double cameraCrop, cameraAspect, lensCrop, lensAspect;
    double a, b, c;
};

const RealPair kPairs[] = {
    {"full-frame Canon, EF zoom", "Canon", "Canon EOS 5D Mark II", "Canon EF 24-105mm f/4L IS USM", 24, 4.0,
     "24 105 4 4", 1, 1.5, 1, 1.5, 0.017263, -0.049244, 0},
    {"Nikon DX body, lens calibrated on full frame", "NIKON CORPORATION", "NIKON D7000",
     "Nikon AF-S Zoom-Nikkor 24-70mm f/2.8G ED", 24, 2.97, "24 70 2.8 2.8", 1.523, 1.5, 1, 1.5, 0.01436, -0.06611,
     0.06436},
    {"Sony E-mount APS-C", "SONY", "ILCE-6000", "E 18-55mm f/3.5-5.6 OSS", 18, 3.61, "18 55 3.5 5.6", 1.534, 1.5,
     1.534, 1.5, 0.02897, -0.08920, 0.03513},
    {"Fujifilm X", "FUJIFILM", "X-T1", "XF18-55mmF2.8-4 R LM OIS", 18, 2.97, "18 55 2.8 4", 1.529, 1.5, 1.529, 1.5,
     0.02808, -0.10604, 0.07041},
    {"Micro Four Thirds (poly3 k1 = -0.079)", "OLYMPUS IMAGING CORP.", "E-M5",
     "Olympus M.Zuiko Digital ED 14-42mm f/3.5-5.6", 14, 3.61, "14 42 3.5 5.6", 2, 4.0 / 3, 2, 4.0 / 3, 0, -0.079, 0},
    {"compact with a fixed lens, decimal focal range", "Canon", "Canon PowerShot G1 X",
     "Canon PowerShot G1X & compatibles (Standard)", 15.1, 2.97, "15.1 60.4 2.8 5.8", 1.85, 4.0 / 3, 1.85, 4.0 / 3,
     0.02381, -0.08242, -0.01669},
};

// The data's own rescaling: a radius of the camera's frame (1 at half its shorter side) is s times
// that radius of the calibration frame; the polynomial is then normalised so that r = 1 stays.
std::array<double, 3> rescaled(const RealPair& p) {
    const double s = p.lensCrop * std::sqrt(1 + p.lensAspect * p.lensAspect) /
                     (p.cameraCrop * std::sqrt(1 + p.cameraAspect * p.cameraAspect));
    const double q = 1 / ((1 - (p.a + p.b + p.c)) + p.a * s * s * s + p.b * s * s + p.c * s);
    return {p.a * q * s * s * s, p.b * q * s * s, p.c * q * s};
}

std::string lineAfter(const std::string& output, const std::string& label) {
    const auto at = output.find(label);
    if (at == std::string::npos) return "";
    const auto start = at + label.size();
    return output.substr(start, output.find('\n', start) - start);
}

class ShippedDatabase : public ::testing::TestWithParam<RealPair> {
protected:
    void SetUp() override { useShippedBundle(true); }
    void TearDown() override { useShippedBundle(false); }
};

TEST_P(ShippedDatabase, ChoosesTheLensOfARealPairWithTheDatasCoefficients) {
    const RealPair& pair = GetParam();
    qvtest::TempDir dir;
    const std::string photo = samplePhoto(
        dir, {"--make", pair.make, "--model", pair.model, "--focal-length", std::to_string(pair.focalLength),
              "--max-aperture", std::to_string(pair.maxAperture), "--lens-info", pair.lensInfo});
    const auto result = quorvelci({"correct", photo, "-o", dir.path() + "/out.jpg"});
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(lineAfter(result.output, "lens: "), pair.lens) << result.output;
    std::istringstream numbers(lineAfter(result.output, "coefficients:"));
    double a = 0, b = 0, c = 0;
    ASSERT_TRUE(numbers >> a >> b >> c) << result.output;
    const auto expected = rescaled(pair);
    EXPECT_NEAR(a, expected[0], 1e-5);
    EXPECT_NEAR(b, expected[1], 1e-5);
    EXPECT_NEAR(c, expected[2], 1e-5);
}

INSTANTIATE_TEST_SUITE_P(RealPairs, ShippedDatabase, ::testing::ValuesIn(kPairs),
                         [](const ::testing::TestParamInfo<RealPair>& info) {
                             std::string name;
                             for (const char* p = info.param.model; *p; ++p)
                                 if (std::isalnum(static_cast<unsigned char>(*p))) name += *p;
                             return name;
                         });

// The sample photo the build makes for the demonstration is bent with the coefficients the shipped
// database gives its camera and lens, so correcting it with the shipped database straightens it.
TEST(ShippedDatabaseDemo, TheBuildsSamplePhotoComesOutStraight) {
    useShippedBundle(true);
    qvtest::TempDir dir;
    const std::string photo = qvtest::binaryDir() + "/sample/IMG_0018.jpg";
    const std::string out = dir.path() + "/straight.tif";
    const auto result = quorvelci({"correct", photo, "-o", out});
    useShippedBundle(false);
    ASSERT_EQ(result.exitStatus, 0) << result.output;
    EXPECT_EQ(lineAfter(result.output, "lens: "), "Canon EF-S 18-55mm f/3.5-5.6") << result.output;
    EXPECT_GT(lineWander(photo, 160, 80, 1120), 4.0);
    EXPECT_LT(lineWander(out, 160, 80, 1120), 1.0);
}

// The sample-photo tool reads the coefficients from a database only for a camera and lens it holds.
TEST(ShippedDatabaseDemo, TheSamplePhotoToolRefusesWhatTheDatabaseDoesNotHold) {
    qvtest::TempDir dir;
    const std::string database = qvtest::binaryDir() + "/Resources/PTLens.dat";
    const std::string out = dir.path() + "/x.jpg";
    const auto noLens = run(binary("qv-samplephoto"), {"--database", database, "--lens", "No Such Lens", out});
    EXPECT_EQ(noLens.exitStatus, 1);
    EXPECT_TRUE(contains(noLens.output, "no lens \"No Such Lens\"")) << noLens.output;
    const auto noCamera = run(binary("qv-samplephoto"), {"--model", "Nothing 1", "--database", database, "--lens",
                                                         "Canon EF-S 18-55mm f/3.5-5.6", out});
    EXPECT_EQ(noCamera.exitStatus, 1);
    EXPECT_TRUE(contains(noCamera.output, "no camera")) << noCamera.output;
    EXPECT_EQ(run(binary("qv-samplephoto"), {"--database", database, out}).exitStatus, 2) << "--lens missing";
    EXPECT_EQ(run(binary("qv-samplephoto"), {"--database", database, "--lens", "L", out, "0", "0", "0"}).exitStatus, 2)
        << "coefficients twice";
    EXPECT_EQ(run(binary("qv-samplephoto"), {"--database", dir.path() + "/none.dat", "--lens", "L", out}).exitStatus, 1);
    EXPECT_FALSE(qv::files::exists(out));
}

}  // namespace
