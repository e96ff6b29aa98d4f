#include <gtest/gtest.h>

#include <dirent.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <lcms2.h>
#include <tiffio.h>

#include <csignal>
#include <cstring>

#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/ImageTool.h"
#include "common/FileSizeLimit.h"

using namespace qv;
using namespace qv::io;

namespace {

bool exists(const std::string& path) { return ::access(path.c_str(), F_OK) == 0; }

// Everything of a file's reading that must not change when only its profile does.
struct Reading {
    Bitmap pixels;
    Dictionary properties;
};

Reading readAll(const std::string& path) {
    auto source = ImageSource::createWithPath(path);
    EXPECT_TRUE(source);
    if (!source) return {};
    Reading r{*source->createImage(), source->properties()};
    r.properties.erase("ProfileName");
    return r;
}

// The compressed picture of a JPEG: everything from the first scan on.
Data scanOf(const Data& jpeg) {
    for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA) return Data(jpeg.begin() + long(i), jpeg.end());
    return {};
}

}  // namespace

TEST(ImageTool, ExtractWritesTheEmbeddedProfileWhole) {
    qvtest::TempDir dir;
    const Data profile = qvtest::makeSRGBProfile();
    const std::string photo = dir.file("photo.jpg");
    qvtest::writeFile(photo, qvtest::encodeWithLayer(ImageType::JPEG, 16, 16, false, qvtest::sampleMetadata(1), profile));
    ASSERT_TRUE(extractProfile(photo, dir.file("Profile")));
    EXPECT_EQ(qvtest::readFile(dir.file("Profile")), profile);
}

TEST(ImageTool, ExtractFromAPhotoWithoutProfileLeavesNoFile) {
    qvtest::TempDir dir;
    const std::string photo = dir.file("plain.jpg");
    qvtest::writeFile(photo, qvtest::encodeWithLayer(ImageType::JPEG, 16, 16, false, {}));
    std::string error;
    EXPECT_FALSE(extractProfile(photo, dir.file("Profile"), error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(exists(dir.file("Profile")));

    // A profile left from an earlier photo must not survive to be embedded into this one's output.
    qvtest::writeFile(dir.file("Profile"), qvtest::makeSRGBProfile());
    EXPECT_FALSE(extractProfile(photo, dir.file("Profile")));
    EXPECT_FALSE(exists(dir.file("Profile")));
    EXPECT_FALSE(extractProfile(dir.file("missing.jpg"), dir.file("Profile")));
    EXPECT_FALSE(exists(dir.file("Profile")));
}

TEST(ImageTool, EmbeddingKeepsPixelsAndMetadataInEveryFormat) {
    qvtest::TempDir dir;
    const Data profile = qvtest::makeSRGBProfile();
    qvtest::writeFile(dir.file("Profile"), profile);
    for (ImageType type : {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::PNG}) {
        for (bool hadProfile : {false, true}) {
            const std::string path = dir.file(std::string("image-") + typeIdentifier(type));
            const Data before = qvtest::encodeWithLayer(type, 33, 17, type != ImageType::JPEG, qvtest::sampleMetadata(6),
                                                        hadProfile ? qvtest::makeSRGBProfile() : Data{});
            qvtest::writeFile(path, before);
            const Reading original = readAll(path);

            std::string error;
            ASSERT_TRUE(embedProfile(dir.file("Profile"), path, error)) << typeIdentifier(type) << ": " << error;
            auto source = ImageSource::createWithPath(path);
            ASSERT_TRUE(source);
            EXPECT_EQ(source->type(), typeIdentifier(type));
            EXPECT_EQ(source->embeddedProfile(), profile);
            const Reading after = readAll(path);
            EXPECT_EQ(qvtest::maxDifference16(after.pixels, original.pixels), 0) << typeIdentifier(type);
            EXPECT_EQ(after.pixels.format, original.pixels.format);
            EXPECT_EQ(Value(after.properties), Value(original.properties)) << typeIdentifier(type);
            if (type == ImageType::JPEG) {
                EXPECT_EQ(scanOf(qvtest::readFile(path)), scanOf(before));
            }
        }
    }
}

TEST(ImageTool, EmbeddingReplacesAnOldProfileOnlyOnce) {
    qvtest::TempDir dir;
    const std::string path = dir.file("twice.jpg");
    qvtest::writeFile(path, qvtest::encodeWithLayer(ImageType::JPEG, 8, 8, false, {}, qvtest::makeSRGBProfile()));
    // A profile larger than one JPEG segment goes in several chunks: an sRGB profile made large by
    // a long description.
    Data big;
    const std::string bigPath = dir.file("big.icc");
    {
        cmsHPROFILE p = cmsCreate_sRGBProfile();
        std::string text(150000, 'x');
        cmsMLU* mlu = cmsMLUalloc(nullptr, 1);
        cmsMLUsetASCII(mlu, "en", "US", text.c_str());
        cmsWriteTag(p, cmsSigProfileDescriptionTag, mlu);
        cmsMLUfree(mlu);
        cmsUInt32Number size = 0;
        cmsSaveProfileToMem(p, nullptr, &size);
        big.resize(size);
        cmsSaveProfileToMem(p, big.data(), &size);
        cmsCloseProfile(p);
    }
    ASSERT_GT(big.size(), 65519u * 2);
    qvtest::writeFile(bigPath, big);
    ASSERT_TRUE(embedProfile(bigPath, path));
    ASSERT_TRUE(embedProfile(bigPath, path));
    auto source = ImageSource::createWithPath(path);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->embeddedProfile(), big);
}

TEST(ImageTool, EmbeddingRefusesWhatWouldSpoilTheImage) {
    qvtest::TempDir dir;
    const std::string jpeg = dir.file("photo.jpg");
    const Data before = qvtest::encodeWithLayer(ImageType::JPEG, 16, 16, false, qvtest::sampleMetadata(1));
    qvtest::writeFile(jpeg, before);

    qvtest::writeFile(dir.file("garbage.icc"), Data(400, 0x5A));
    EXPECT_FALSE(embedProfile(dir.file("garbage.icc"), jpeg));
    qvtest::writeFile(dir.file("lab.icc"), qvtest::makeLabProfile());
    EXPECT_FALSE(embedProfile(dir.file("lab.icc"), jpeg));
    qvtest::writeFile(dir.file("gray.icc"), qvtest::makeGrayProfile());
    EXPECT_FALSE(embedProfile(dir.file("gray.icc"), jpeg));
    EXPECT_FALSE(embedProfile(dir.file("missing.icc"), jpeg));
    EXPECT_EQ(qvtest::readFile(jpeg), before);

    const std::string exr = dir.file("photo.exr");
    const Data exrBefore = qvtest::encodeWithLayer(ImageType::OpenEXR, 8, 8, true, {});
    qvtest::writeFile(exr, exrBefore);
    qvtest::writeFile(dir.file("Profile"), qvtest::makeSRGBProfile());
    EXPECT_FALSE(embedProfile(dir.file("Profile"), exr));
    EXPECT_EQ(qvtest::readFile(exr), exrBefore);
    EXPECT_FALSE(embedProfile(dir.file("Profile"), dir.file("missing.jpg")));
}

TEST(ImageTool, GrayImagesTakeGrayProfiles) {
    qvtest::TempDir dir;
    const std::string path = dir.file("gray.tif");
    Data bytes;
    auto destination = ImageDestination::createWithData(bytes, kUTTypeTIFF);
    destination->addImage(qvtest::makeTestBitmap(8, 8, PixelFormat::Gray16), {});
    ASSERT_TRUE(destination->finalize());
    qvtest::writeFile(path, bytes);
    qvtest::writeFile(dir.file("gray.icc"), qvtest::makeGrayProfile());
    qvtest::writeFile(dir.file("rgb.icc"), qvtest::makeSRGBProfile());
    EXPECT_FALSE(embedProfile(dir.file("rgb.icc"), path));
    ASSERT_TRUE(embedProfile(dir.file("gray.icc"), path));
    EXPECT_EQ(ImageSource::createWithPath(path)->embeddedProfile(), qvtest::makeGrayProfile());
}

TEST(ImageTool, PathsAreNeverShellText) {
    qvtest::TempDir dir;
    // Quotes, command substitution, spaces and a leading dash: all just characters of a name.
    const std::string folder = dir.file("a \"quoted\" $(touch pwned) 'x' `touch pwned2`");
    ASSERT_EQ(::mkdir(folder.c_str(), 0755), 0);
    const std::string photo = folder + "/-rf ; echo $HOME.jpg";
    const std::string profile = folder + "/--embedProfile \"Profile\"";
    qvtest::writeFile(photo, qvtest::encodeWithLayer(ImageType::JPEG, 8, 8, false, {}, qvtest::makeSRGBProfile()));
    ASSERT_TRUE(extractProfile(photo, profile));
    ASSERT_TRUE(embedProfile(profile, photo));
    const std::string tiff = folder + "/-v \"$(id)\".tif";
    qvtest::writeFile(tiff, qvtest::encodeWithLayer(ImageType::TIFF, 8, 8, false, {}));
    ASSERT_TRUE(recompressTiff(tiff));
    EXPECT_FALSE(exists(dir.file("pwned")));
    EXPECT_FALSE(exists(dir.file("pwned2")));
    EXPECT_FALSE(exists("pwned"));
}

TEST(ImageTool, RecompressTiffKeepsEverythingButTheCompression) {
    qvtest::TempDir dir;
    const std::string path = dir.file("out.tif");
    const Data profile = qvtest::makeSRGBProfile();
    qvtest::writeFile(path, qvtest::encodeWithLayer(ImageType::TIFF, 97, 31, true, qvtest::sampleMetadata(8), profile));
    const Reading before = readAll(path);
    ASSERT_TRUE(recompressTiff(path));

    TIFF* tif = TIFFOpen(path.c_str(), "r");
    ASSERT_TRUE(tif);
    std::uint16_t compression = 0, bits = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFGetField(tif, TIFFTAG_BITSPERSAMPLE, &bits);
    TIFFClose(tif);
    EXPECT_EQ(compression, COMPRESSION_LZW);
    EXPECT_EQ(bits, 16);
    const Reading after = readAll(path);
    EXPECT_EQ(qvtest::maxDifference16(after.pixels, before.pixels), 0);
    EXPECT_EQ(after.pixels.format, PixelFormat::RGB16);
    EXPECT_EQ(Value(after.properties), Value(before.properties));
    EXPECT_EQ(ImageSource::createWithPath(path)->embeddedProfile(), profile);
}

TEST(ImageTool, RecompressRefusesOtherFilesAndLeavesThem) {
    qvtest::TempDir dir;
    const std::string path = dir.file("photo.tif");  // a JPEG, whatever its name says
    const Data before = qvtest::encodeWithLayer(ImageType::JPEG, 8, 8, false, {});
    qvtest::writeFile(path, before);
    EXPECT_FALSE(recompressTiff(path));
    EXPECT_EQ(qvtest::readFile(path), before);
    EXPECT_FALSE(recompressTiff(dir.file("missing.tif")));
    EXPECT_FALSE(exists(dir.file("missing.tif")));
}

TEST(ImageTool, AFailedWriteLeavesTheImageAsItWas) {
    qvtest::TempDir dir;
    const std::string path = dir.file("photo.jpg");
    const std::string tiff = dir.file("photo.tif");
    const Data before = qvtest::encodeWithLayer(ImageType::JPEG, 8, 8, false, {});
    const Data tiffBefore = qvtest::encodeWithLayer(ImageType::TIFF, 64, 64, false, {});
    qvtest::writeFile(path, before);
    qvtest::writeFile(tiff, tiffBefore);
    qvtest::writeFile(dir.file("Profile"), qvtest::makeSRGBProfile());

    // A file-size limit below the new files' sizes makes their writing fail, whoever runs the test.
    std::string embedError, recompressError;
    bool embedded, recompressed;
    {
        qvtest::FileSizeLimit limit(512);
        ASSERT_TRUE(limit.active());
        embedded = embedProfile(dir.file("Profile"), path, embedError);
        recompressed = recompressTiff(tiff, 5, recompressError);
    }

    EXPECT_FALSE(embedded);
    EXPECT_FALSE(embedError.empty());
    EXPECT_FALSE(recompressed);
    EXPECT_EQ(qvtest::readFile(path), before);
    EXPECT_EQ(qvtest::readFile(tiff), tiffBefore);
    // Nothing but the three files: the temporary ones are gone.
    int entries = 0;
    if (DIR* d = ::opendir(dir.path().c_str())) {
        while (dirent* e = ::readdir(d)) entries += e->d_name[0] != '.' || (e->d_name[1] && e->d_name[1] != '.');
        ::closedir(d);
    }
    EXPECT_EQ(entries, 3);
}
