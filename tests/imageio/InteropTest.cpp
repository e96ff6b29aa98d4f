// Independent readers agree with what the layer writes: ImageMagick's identify sees the same size
// and depth, exiftool reads back the metadata.
#include <gtest/gtest.h>

#include <sstream>

#include "ExternalTool.h"
#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"

using namespace qv;
using namespace qv::io;

namespace {

struct Written {
    std::string path;
    ImageType type;
    int depth;
};

std::vector<Written> writeEveryKind(const qvtest::TempDir& dir) {
    std::vector<Written> files;
    const Data profile = qvtest::makeSRGBProfile();
    auto write = [&](const std::string& name, ImageType type, PixelFormat format, bool transparent, int compression, int depth) {
        Dictionary properties = qvtest::sampleMetadata(6);
        if (compression) properties["{TIFF}"]["Compression"] = compression;
        auto destination = ImageDestination::createWithPath(dir.file(name), typeIdentifier(type));
        destination->addImage(qvtest::makeTestBitmap(53, 29, format, transparent, hasAlpha(format)), properties,
                              *ColorSpace::fromICCProfile(profile));
        ASSERT_TRUE(destination->finalize()) << name << ": " << destination->error();
        files.push_back({dir.file(name), type, depth});
    };
    write("a.jpg", ImageType::JPEG, PixelFormat::ARGB8, false, 0, 8);
    write("b.tif", ImageType::TIFF, PixelFormat::ARGB8, false, 0, 8);
    write("c.tif", ImageType::TIFF, PixelFormat::RGBA16, false, 5, 16);
    write("d.tif", ImageType::TIFF, PixelFormat::RGBA16, true, 32773, 16);
    write("e.tif", ImageType::TIFF, PixelFormat::ARGB8, true, 5, 8);
    write("f.psd", ImageType::PSD, PixelFormat::ARGB8, false, 0, 8);
    write("g.psd", ImageType::PSD, PixelFormat::RGBA16, false, 0, 16);
    write("h.psd", ImageType::PSD, PixelFormat::ARGB8, true, 0, 8);
    write("i.exr", ImageType::OpenEXR, PixelFormat::RGBA16, false, 0, 16);
    write("j.exr", ImageType::OpenEXR, PixelFormat::RGBA16, true, 0, 16);
    write("k.png", ImageType::PNG, PixelFormat::ARGB8, true, 0, 8);
    write("l.png", ImageType::PNG, PixelFormat::RGBA16, false, 0, 16);
    return files;
}

}  // namespace

TEST(Interop, IdentifyReadsEveryFileWithTheSameSizeAndDepth) {
    if (!qvtest::toolAvailable("identify")) GTEST_SKIP() << "ImageMagick is not installed";
    qvtest::TempDir dir;
    for (const auto& file : writeEveryKind(dir)) {
        const auto result = qvtest::runTool({"identify", "-format", "%w %h %z\n", file.path});
        ASSERT_EQ(result.exitCode, 0) << file.path;
        std::istringstream line(result.output);
        int w = 0, h = 0, depth = 0;
        line >> w >> h >> depth;
        EXPECT_EQ(w, 53) << file.path;
        EXPECT_EQ(h, 29) << file.path;
        EXPECT_EQ(depth, file.depth) << file.path;
    }
}

TEST(Interop, ExiftoolReadsBackTheMetadata) {
    if (!qvtest::toolAvailable("exiftool")) GTEST_SKIP() << "exiftool is not installed";
    qvtest::TempDir dir;
    for (const auto& file : writeEveryKind(dir)) {
        if (file.type == ImageType::OpenEXR) {
            // OpenEXR carries the dictionaries as header attributes; exiftool lists them all.
            const auto all = qvtest::runTool({"exiftool", "-s", "-s", "-s", "-a", file.path});
            ASSERT_EQ(all.exitCode, 0);
            EXPECT_NE(all.output.find("Testmaker"), std::string::npos) << file.path << "\n" << all.output;
            EXPECT_NE(all.output.find("Testcam X100"), std::string::npos) << file.path;
            continue;
        }
        const auto result = qvtest::runTool({"exiftool", "-n", "-s", "-s", "-Make", "-Model", "-FocalLength",
                                             "-MaxApertureValue", "-Orientation", "-GPSLatitude", "-Keywords",
                                             "-ProfileDescription", file.path});
        ASSERT_EQ(result.exitCode, 0) << file.path;
        const std::string& out = result.output;
        EXPECT_NE(out.find("Make: Testmaker"), std::string::npos) << file.path << "\n" << out;
        EXPECT_NE(out.find("Model: Testcam X100"), std::string::npos) << file.path;
        EXPECT_NE(out.find("FocalLength: 35"), std::string::npos) << file.path;
        // exiftool shows the APEX value 1.696 as the f-number it stands for, 2^(1.696 / 2) = 1.8.
        EXPECT_NE(out.find("MaxApertureValue: 1.79"), std::string::npos) << file.path;
        EXPECT_NE(out.find("Orientation: 6"), std::string::npos) << file.path;
        EXPECT_NE(out.find("GPSLatitude: 48.858"), std::string::npos) << file.path;
        EXPECT_NE(out.find("Keywords: lens, test"), std::string::npos) << file.path;
        EXPECT_NE(out.find("ProfileDescription: sRGB"), std::string::npos) << file.path;
    }
}
