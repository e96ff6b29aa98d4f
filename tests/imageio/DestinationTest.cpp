#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <tiffio.h>

#include <algorithm>
#include <vector>

#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"

using namespace qv;
using namespace qv::io;

namespace {

std::vector<std::string> entriesIn(const std::string& folder) {
    std::vector<std::string> names;
    if (DIR* d = ::opendir(folder.c_str())) {
        while (dirent* e = ::readdir(d))
            if (std::string(e->d_name) != "." && std::string(e->d_name) != "..") names.push_back(e->d_name);
        ::closedir(d);
    }
    std::sort(names.begin(), names.end());
    return names;
}

Data encode(const std::string& type, const Bitmap& pixels, const Dictionary& properties,
            const ColorSpace& space = ColorSpace::deviceRGB()) {
    Data bytes;
    auto destination = ImageDestination::createWithData(bytes, type);
    EXPECT_TRUE(destination);
    destination->addImage(pixels, properties, space);
    EXPECT_TRUE(destination->finalize()) << destination->error();
    return bytes;
}

}  // namespace

TEST(Destination, RefusesTypesItCannotWriteAndMoreThanOneImage) {
    Data out;
    std::string error;
    EXPECT_FALSE(ImageDestination::createWithData(out, "public.camera-raw-image", 1, error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(ImageDestination::createWithData(out, "com.example.nothing"));
    EXPECT_FALSE(ImageDestination::createWithData(out, kUTTypeTIFF, 2));
    EXPECT_FALSE(ImageDestination::createWithPath("", kUTTypeJPEG));

    auto empty = ImageDestination::createWithData(out, kUTTypeJPEG);
    EXPECT_FALSE(empty->finalize());
    EXPECT_TRUE(out.empty());

    auto twice = ImageDestination::createWithData(out, kUTTypePNG);
    twice->addImage(qvtest::makeTestBitmap(4, 4, PixelFormat::RGB8), {});
    twice->addImage(qvtest::makeTestBitmap(4, 4, PixelFormat::RGB8), {});
    EXPECT_FALSE(twice->finalize());

    auto once = ImageDestination::createWithData(out, kUTTypePNG);
    once->addImage(qvtest::makeTestBitmap(4, 4, PixelFormat::RGB8), {});
    EXPECT_TRUE(once->finalize());
    EXPECT_FALSE(once->finalize());
}

TEST(Destination, JpegQualityComesFromTheProperties) {
    const Bitmap pixels = qvtest::makeTestBitmap(128, 96, PixelFormat::ARGB8, false, true);
    const Data low = encode(kUTTypeJPEG, pixels, {{kCGImageDestinationLossyCompressionQuality, 0.2}});
    const Data high = encode(kUTTypeJPEG, pixels, {{kCGImageDestinationLossyCompressionQuality, 1.0}});
    const Data fallback = encode(kUTTypeJPEG, pixels, {});
    EXPECT_LT(low.size(), fallback.size());
    EXPECT_LT(fallback.size(), high.size());
    auto decodedLow = ImageSource::createWithData(low)->createImage();
    auto decodedHigh = ImageSource::createWithData(high)->createImage();
    EXPECT_GT(qvtest::maxDifference8(*decodedLow, pixels), qvtest::maxDifference8(*decodedHigh, pixels));
}

TEST(Destination, OrientationFromTheTiffDictionaryWhenTheTopLevelHasNone) {
    Dictionary properties{{"{TIFF}", Dictionary{{"Orientation", 5}, {"Make", "M"}}}};
    auto source = ImageSource::createWithData(encode(kUTTypeJPEG, qvtest::makeTestBitmap(8, 4, PixelFormat::RGB8), properties));
    EXPECT_EQ(source->orientation(), 5);
    properties["Orientation"] = 2;
    source = ImageSource::createWithData(encode(kUTTypeTIFF, qvtest::makeTestBitmap(8, 4, PixelFormat::RGB8), properties));
    EXPECT_EQ(source->orientation(), 2);
}

TEST(Destination, ExifSizeIsThePictureWrittenAndForeignKeysAreSkipped) {
    Dictionary properties = qvtest::sampleMetadata(1);
    properties["{Exif}"]["PixelXDimension"] = 6000;
    properties["{Exif}"]["PixelYDimension"] = 4000;
    // The lens-choice code adds these for itself; they are no EXIF tags.
    properties["{TIFF}"]["Focal Length"] = 35.0;
    properties["{TIFF}"]["MaxAperture"] = 1.7;
    properties["{TIFF}"]["Compression"] = 6;
    properties["{Exif}"]["NoSuchTag"] = "x";
    auto source = ImageSource::createWithData(encode(kUTTypeJPEG, qvtest::makeTestBitmap(30, 20, PixelFormat::RGB8), properties));
    ASSERT_TRUE(source);
    const Value p(source->properties());
    EXPECT_EQ(p.get("{Exif}").get("PixelXDimension").integerOr(0), 30);
    EXPECT_EQ(p.get("{Exif}").get("PixelYDimension").integerOr(0), 20);
    EXPECT_FALSE(p.get("{TIFF}").contains("Focal Length"));
    EXPECT_FALSE(p.get("{Exif}").contains("NoSuchTag"));
    EXPECT_EQ(p.get("{TIFF}").get("Make").stringOr(""), "Testmaker");
}

TEST(Destination, OpaqueRenderIsStoredAsRgbAndGrayStaysGray) {
    qvtest::TempDir dir;
    auto samplesOf = [&](const Bitmap& pixels) {
        const std::string path = dir.file("x.tif");
        auto destination = ImageDestination::createWithPath(path, kUTTypeTIFF);
        destination->addImage(pixels, {});
        EXPECT_TRUE(destination->finalize());
        TIFF* tif = TIFFOpen(path.c_str(), "r");
        std::uint16_t spp = 0;
        TIFFGetField(tif, TIFFTAG_SAMPLESPERPIXEL, &spp);
        TIFFClose(tif);
        return int(spp);
    };
    EXPECT_EQ(samplesOf(qvtest::makeTestBitmap(8, 8, PixelFormat::ARGB8, false, true)), 3);
    EXPECT_EQ(samplesOf(qvtest::makeTestBitmap(8, 8, PixelFormat::ARGB8, true, true)), 4);
    EXPECT_EQ(samplesOf(qvtest::makeTestBitmap(8, 8, PixelFormat::Gray16)), 1);
}

TEST(Destination, ProfileOfAnotherColourModelIsNotEmbedded) {
    const ColorSpace rgb = *ColorSpace::fromICCProfile(qvtest::makeSRGBProfile());
    const Data grayJpeg = encode(kUTTypeJPEG, qvtest::makeTestBitmap(8, 8, PixelFormat::Gray8), {}, rgb);
    auto source = ImageSource::createWithData(grayJpeg);
    EXPECT_TRUE(source->embeddedProfile().empty());
    EXPECT_EQ(source->properties().at("ColorModel").stringOr(""), "Gray");
}

TEST(Destination, FailureLeavesTheTargetAsItWas) {
    qvtest::TempDir dir;
    const std::string path = dir.file("keep.psd");
    const Data before = qvtest::encodeWithLayer(ImageType::PSD, 8, 8, false, {});
    qvtest::writeFile(path, before);
    // PSD holds at most 30000 pixels a side: encoding fails, the old file stays.
    auto destination = ImageDestination::createWithPath(path, kUTTypePSD);
    destination->addImage(Bitmap::make(30001, 1, PixelFormat::RGB8), {});
    EXPECT_FALSE(destination->finalize());
    EXPECT_FALSE(destination->error().empty());
    EXPECT_EQ(qvtest::readFile(path), before);

    auto missingFolder = ImageDestination::createWithPath(dir.file("no/such/folder/x.jpg"), kUTTypeJPEG);
    missingFolder->addImage(qvtest::makeTestBitmap(4, 4, PixelFormat::RGB8), {});
    EXPECT_FALSE(missingFolder->finalize());

    // No temporary file is left behind either way.
    EXPECT_EQ(entriesIn(dir.path()), std::vector<std::string>{"keep.psd"});
}

TEST(Destination, ReplacingAFileKeepsItsPermissionsAndSymbolicLinks) {
    qvtest::TempDir dir;
    const std::string target = dir.file("real.jpg");
    const std::string link = dir.file("link.jpg");
    qvtest::writeFile(target, qvtest::encodeWithLayer(ImageType::JPEG, 4, 4, false, {}));
    ASSERT_EQ(::chmod(target.c_str(), 0640), 0);
    ASSERT_EQ(::symlink(target.c_str(), link.c_str()), 0);

    auto destination = ImageDestination::createWithPath(link, kUTTypeJPEG);
    destination->addImage(qvtest::makeTestBitmap(16, 16, PixelFormat::RGB8), {});
    ASSERT_TRUE(destination->finalize());
    struct stat info;
    ASSERT_EQ(::lstat(link.c_str(), &info), 0);
    EXPECT_TRUE(S_ISLNK(info.st_mode));
    ASSERT_EQ(::stat(target.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 07777, 0640u);
    EXPECT_EQ(ImageSource::createWithPath(target)->pixelWidth(), 16);
}
