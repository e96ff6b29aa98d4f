// The full-resolution encoder and file save: every output type at both depths keeps the photo's
// make, model and upright orientation as outside tools read them; the quality and profile rules;
// and a failed write never harms the file it was meant to replace.
#include <gtest/gtest.h>
#include <lcms2.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <cstdlib>

#include "common/TempDir.h"
#include "coreimage/CIImage.h"
#include "foundation/Files.h"
#include "foundation/Process.h"
#include "imageio/ImageSource.h"
#include "output/QVImageEncoder.h"
#include "output/QVOutputType.h"
#include "common/FileSizeLimit.h"
#include "common/OrdinaryUser.h"

namespace {

constexpr int kWidth = 48, kHeight = 32;

qv::ci::Image gradient() {
    qv::Bitmap bitmap = qv::Bitmap::make(kWidth, kHeight, qv::PixelFormat::RGBA8);
    for (int y = 0; y < kHeight; ++y)
        for (int x = 0; x < kWidth; ++x) {
            std::uint8_t* p = bitmap.row(y) + 4 * x;
            p[0] = std::uint8_t(x * 5);
            p[1] = std::uint8_t(y * 7);
            p[2] = 128;
            p[3] = 255;
        }
    return qv::ci::Image::fromBitmap(std::move(bitmap));
}

qv::Dictionary photoMetadata(int depth) {
    qv::Value m;
    m["Orientation"] = 6;
    m["Depth"] = depth;
    m["{TIFF}"]["Make"] = "Canon";
    m["{TIFF}"]["Model"] = "Canon EOS 400D DIGITAL";
    m["{TIFF}"]["Orientation"] = 6;
    m["{Exif}"]["FocalLength"] = 18.0;
    return *m.dictionary();
}

std::string tool(const std::string& program, const std::vector<std::string>& arguments) {
    const auto result = qv::runProcess(program, arguments, 60);
    EXPECT_TRUE(result && result->exitStatus == 0) << program << ": " << (result ? result->output : "not started");
    return result ? result->output : "";
}

std::string writeSRGBProfile(const std::string& path) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsSaveProfileToFile(profile, path.c_str());
    cmsCloseProfile(profile);
    return path;
}

using QVOutputType::Type;

struct Case {
    Type type;
    int depth;
    const char* extension;
};

TEST(QVImageEncoder, EveryTypeAndDepthKeepsMakeModelAndUprightOrientation) {
    qvtest::TempDir dir;
    for (const Case& c : {Case{Type::JPEG, 8, "jpg"}, Case{Type::JPEG, 16, "jpg"}, Case{Type::TIFF, 8, "tif"},
                          Case{Type::TIFF, 16, "tif"}, Case{Type::PSD, 8, "psd"}, Case{Type::PSD, 16, "psd"},
                          Case{Type::OpenEXR, 8, "exr"}, Case{Type::OpenEXR, 16, "exr"}}) {
        SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.depth));
        qv::Dictionary metadata = photoMetadata(c.depth);
        std::string error;
        const auto bytes = QVImageEncoder::dataFromImage(gradient(), c.type, metadata, 0.8f,
                                                         qv::io::ColorSpace::deviceRGB(), error);
        ASSERT_TRUE(bytes) << error;
        EXPECT_EQ(metadata["Orientation"].integerOr(0), 1);
        EXPECT_EQ(metadata["{TIFF}"].get("Orientation").integerOr(0), 1);
        const std::string path = dir.path() + "/out." + c.extension;
        ASSERT_TRUE(QVImageEncoder::writeEncodedFile(*bytes, path, {}, error)) << error;

        const std::string size = tool("identify", {"-format", "%w %h", path});
        EXPECT_EQ(size, std::to_string(kWidth) + " " + std::to_string(kHeight));
        if (c.type == Type::OpenEXR) continue;  // OpenEXR carries no EXIF block
        const std::string tags = tool("exiftool", {"-s3", "-Make", "-Model", "-Orientation#", path});
        EXPECT_EQ(tags, "Canon\nCanon EOS 400D DIGITAL\n1\n");
        if (c.type == Type::TIFF) {
            EXPECT_EQ(tool("exiftool", {"-s3", "-BitsPerSample", path}).substr(0, 2), c.depth == 16 ? "16" : "8 ");
        }
    }
}

TEST(QVImageEncoder, QualityOnlyForJpegAndItStaysInTheMetadata) {
    qv::Dictionary metadata = photoMetadata(8);
    ASSERT_TRUE(QVImageEncoder::dataFromImage(gradient(), static_cast<Type>(4), metadata, 0.5f));
    EXPECT_EQ(metadata.count("kCGImageDestinationLossyCompressionQuality"), 0u) << "type 4 is JPEG without quality";
    ASSERT_TRUE(QVImageEncoder::dataFromImage(gradient(), Type::JPEG, metadata, 0.5f));
    ASSERT_TRUE(QVImageEncoder::dataFromImage(gradient(), Type::TIFF, metadata, 0.9f));
    EXPECT_DOUBLE_EQ(metadata["kCGImageDestinationLossyCompressionQuality"].doubleOr(0), 0.5);
    // A lower quality gives a smaller JPEG.
    qv::Dictionary low = photoMetadata(8), high = photoMetadata(8);
    const auto small = QVImageEncoder::dataFromImage(gradient(), Type::JPEG, low, 0.1f);
    const auto large = QVImageEncoder::dataFromImage(gradient(), Type::JPEG, high, 1.0f);
    ASSERT_TRUE(small && large);
    EXPECT_LT(small->size(), large->size());
}

TEST(QVImageEncoder, NullImageOrNoTiffDictionary) {
    qv::Dictionary metadata = photoMetadata(8);
    std::string error;
    EXPECT_FALSE(QVImageEncoder::dataFromImage(qv::ci::Image(), Type::JPEG, metadata, 0.7f,
                                               qv::io::ColorSpace::deviceRGB(), error));
    EXPECT_FALSE(error.empty());
    qv::Dictionary bare;
    ASSERT_TRUE(QVImageEncoder::dataFromImage(gradient(), Type::JPEG, bare, 0.7f));
    EXPECT_EQ(bare["Orientation"].integerOr(0), 1);
    EXPECT_EQ(bare.count("{TIFF}"), 0u) << "no TIFF dictionary is made up";
}

TEST(QVImageEncoder, SixteenBitTiffGetsTheProfileAndTheChosenCompression) {
    qvtest::TempDir dir;
    const std::string profile = writeSRGBProfile(dir.path() + "/Profile");
    for (int code : {0, 1, 2}) {
        qv::Dictionary metadata = photoMetadata(16);
        const auto bytes = QVImageEncoder::dataFromImage(gradient(), Type::TIFF, metadata, std::nullopt);
        ASSERT_TRUE(bytes);
        const std::string path = dir.path() + "/out" + std::to_string(code) + ".tif";
        QVImageEncoder::SaveOptions options;
        options.profilePath = profile;
        options.sixteenBits = true;
        options.tiffCompressionTag = QVOutputType::tiffCompressionTag(QVOutputType::compressionOfCode(code));
        ASSERT_TRUE(QVImageEncoder::writeEncodedFile(*bytes, path, options));
        const std::string tags = tool("exiftool", {"-s3", "-Compression#", "-ProfileDescription", "-Make", path});
        const char* expected[] = {"1\n", "5\n", "32773\n"};
        EXPECT_EQ(tags.substr(0, tags.find('\n') + 1), expected[code]) << tags;
        EXPECT_NE(tags.find("sRGB"), std::string::npos) << tags;
        EXPECT_NE(tags.find("Canon"), std::string::npos) << "metadata survives the compression: " << tags;
    }
}

TEST(QVImageEncoder, ThePhotosColourSpaceIsEmbeddedAtBothDepthsWhereTheTypeCarriesOne) {
    qvtest::TempDir dir;
    const auto colorSpace = qv::io::ColorSpace::fromICCProfile(
        qv::files::readWhole(writeSRGBProfile(dir.path() + "/photo.icc")).value_or(qv::Data{}));
    ASSERT_TRUE(colorSpace);
    for (const Case& c : {Case{Type::JPEG, 8, "jpg"}, Case{Type::JPEG, 16, "jpg"}, Case{Type::TIFF, 8, "tif"},
                          Case{Type::TIFF, 16, "tif"}, Case{Type::PSD, 8, "psd"}, Case{Type::PSD, 16, "psd"},
                          Case{Type::OpenEXR, 8, "exr"}}) {
        SCOPED_TRACE(std::string(c.extension) + " " + std::to_string(c.depth));
        qv::Dictionary metadata = photoMetadata(c.depth);
        const auto bytes = QVImageEncoder::dataFromImage(gradient(), c.type, metadata, std::nullopt, *colorSpace);
        ASSERT_TRUE(bytes);
        auto source = qv::io::ImageSource::createWithData(*bytes);
        ASSERT_TRUE(source);
        if (c.type == Type::OpenEXR) continue;  // no profile in OpenEXR: written, and nothing more asked
        EXPECT_EQ(source->colorSpace(), *colorSpace) << "the profile's bytes, unchanged";
        // Device RGB is no profile: nothing is embedded for it.
        qv::Dictionary untagged = photoMetadata(c.depth);
        const auto plain = QVImageEncoder::dataFromImage(gradient(), c.type, untagged, std::nullopt);
        ASSERT_TRUE(plain);
        EXPECT_TRUE(qv::io::ImageSource::createWithData(*plain)->colorSpace().isDeviceRGB());
    }
}

TEST(QVImageEncoder, FailedWriteLeavesTheReplacedFileIntact) {
    qvtest::TempDir dir;
    qv::Dictionary metadata = photoMetadata(8);
    const auto bytes = QVImageEncoder::dataFromImage(gradient(), Type::TIFF, metadata, std::nullopt);
    ASSERT_TRUE(bytes);
    // A target below a file cannot be written.
    const std::string file = dir.path() + "/plain";
    ASSERT_TRUE(qv::files::writeWhole(file, std::string("x")));
    std::string error;
    EXPECT_FALSE(QVImageEncoder::writeEncodedFile(*bytes, file + "/out.tif", {}, error));
    EXPECT_FALSE(error.empty());

    // A file-size limit smaller than the new file: the old photo stays whole and nothing is left beside it.
    const std::string photo = dir.path() + "/photo.tif";
    const std::string original(1000, 'p');
    ASSERT_TRUE(qv::files::writeWhole(photo, original));
    bool written;
    {
        qvtest::FileSizeLimit limit(2000);
        ASSERT_TRUE(limit.active());
        written = QVImageEncoder::writeEncodedFile(*bytes, photo, {}, error);
    }
    ASSERT_GT(bytes->size(), 2000u);
    EXPECT_FALSE(written);
    const auto kept = qv::files::readWhole(photo);
    ASSERT_TRUE(kept);
    EXPECT_EQ(std::string(kept->begin(), kept->end()), original);
    const auto entries = qv::files::listFolder(dir.path());
    ASSERT_TRUE(entries);
    EXPECT_EQ(entries->size(), 2u) << "no temporary file is left behind";
}

// The save as an ordinary user: a photo the user may not write is never replaced (and nothing is
// encoded beside it), a replaced photo keeps its mode, a link's photo is written and the link
// stays, and a name at the length limit is saved; no temporary file is left.
TEST(QVImageEncoder, AsAnOrdinaryUserTheSaveWritesOnlyWhatTheUserMayWrite) {
    qvtest::TempDir dir;
    const std::string longName = std::string(251, 'n') + ".tif";
    for (const char* name : {"locked.tif", "theirs.tif", "photo.tif", "batch.jpg"})
        ASSERT_TRUE(qv::files::writeWhole(dir.file(name), std::string(name) + " as it was"));
    ASSERT_EQ(::symlink("photo.tif", dir.file("link.tif").c_str()), 0);
    ASSERT_TRUE(qvtest::giveToOrdinaryUser(std::getenv("HOME")));  // the folder lies in HOME
    ASSERT_EQ(::chmod(dir.file("locked.tif").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.file("batch.jpg").c_str(), 0444), 0);
    ASSERT_EQ(::chmod(dir.file("photo.tif").c_str(), 0640), 0);
    const bool othersFile = qvtest::giveToOtherUser(dir.file("theirs.tif"));

    EXPECT_TRUE(qvtest::runAsOrdinaryUser([&] {
        QVImageEncoder::SaveOptions lzw;
        lzw.tiffCompressionTag = QVOutputType::tiffCompressionTag(QVOutputType::compressionOfCode(1));
        auto save = [&](const std::string& name, std::string& error) {
            qv::Dictionary metadata = photoMetadata(8);
            return QVImageEncoder::saveImageFile(gradient(), Type::TIFF, metadata, std::nullopt, dir.file(name), lzw,
                                                 qv::io::ColorSpace::deviceRGB(), error);
        };
        std::string error;
        EXPECT_FALSE(save("locked.tif", error));
        EXPECT_NE(error.find("Permission denied"), std::string::npos) << error;
        EXPECT_EQ(save("theirs.tif", error), !othersFile);
        EXPECT_TRUE(save("link.tif", error)) << error;
        EXPECT_TRUE(save(longName, error)) << error;
        EXPECT_TRUE(save(longName, error)) << "and replaced: " << error;
        qv::Dictionary metadata = photoMetadata(8);
        const auto bytes = QVImageEncoder::dataFromImage(gradient(), Type::JPEG, metadata, 0.8f);
        ASSERT_TRUE(bytes);
        EXPECT_FALSE(QVImageEncoder::writeEncodedFile(*bytes, dir.file("batch.jpg"), {}, error));
    }));

    auto text = [&](const std::string& name) {
        const auto bytes = qv::files::readWhole(dir.file(name));
        return bytes ? std::string(bytes->begin(), bytes->end()) : std::string("<unreadable>");
    };
    for (const char* name : {"locked.tif", "theirs.tif", "batch.jpg"})
        EXPECT_EQ(text(name), std::string(name) + " as it was") << "byte for byte";
    struct stat st;
    ASSERT_EQ(::lstat(dir.file("link.tif").c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link stays";
    for (const std::string& written : {std::string("photo.tif"), longName}) {
        auto source = qv::io::ImageSource::createWithPath(dir.file(written));
        ASSERT_TRUE(source) << written;
        EXPECT_EQ(source->pixelWidth(), kWidth);
    }
    ASSERT_EQ(::stat(dir.file("photo.tif").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 07777, 0640u) << "the replaced photo keeps its mode";
    EXPECT_EQ(qv::files::listFolder(dir.path())->size(), 6u) << "no temporary file is left";
}

TEST(QVOutputType, TableAndCompressionCodes) {
    using QVOutputType::typeOfCode;
    EXPECT_STREQ(QVOutputType::typeIdentifier(typeOfCode(2)), "com.adobe.photoshop-image");
    EXPECT_STREQ(QVOutputType::typeIdentifier(typeOfCode(3)), "com.ilm.openexr-image");
    EXPECT_STREQ(QVOutputType::typeIdentifier(typeOfCode(-1)), "public.jpeg");
    using QVOutputType::compressionOfCode;
    EXPECT_EQ(QVOutputType::tiffCompressionTag(compressionOfCode(1)), 5);
    EXPECT_EQ(QVOutputType::tiffCompressionTag(compressionOfCode(2)), 32773);
    EXPECT_EQ(QVOutputType::tiffCompressionTag(compressionOfCode(7)), 0);
    // Every code is its pop-up index: the tables are in pop-up order.
    for (std::size_t i = 0; i < QVOutputType::types().size(); ++i) EXPECT_EQ(int(QVOutputType::types()[i].type), int(i));
    for (std::size_t i = 0; i < QVOutputType::compressions().size(); ++i)
        EXPECT_EQ(int(QVOutputType::compressions()[i].compression), int(i));
}

TEST(QVOutputType, ExtensionsMatchInOneCaseAndWordsInLowerCase) {
    using QVOutputType::typeNamed;
    using QVOutputType::typeOfExtension;
    EXPECT_EQ(typeOfExtension("jpeg"), Type::JPEG);
    EXPECT_EQ(typeOfExtension("JPG"), Type::JPEG);
    EXPECT_EQ(typeOfExtension("TIFF"), Type::TIFF);
    EXPECT_EQ(typeOfExtension("exr"), Type::OpenEXR);
    EXPECT_FALSE(typeOfExtension("Tif")) << "a mixed-case extension is not in the table";
    EXPECT_FALSE(typeOfExtension("cr2"));
    EXPECT_FALSE(typeOfExtension(""));
    EXPECT_EQ(typeNamed("tif"), Type::TIFF);
    EXPECT_EQ(typeNamed("psd"), Type::PSD);
    EXPECT_FALSE(typeNamed("PSD")) << "the front end's words are lower case";
    EXPECT_EQ(QVOutputType::compressionNamed("packbits"), QVOutputType::TiffCompression::PackBits);
    EXPECT_FALSE(QVOutputType::compressionNamed("LZW"));
    EXPECT_FALSE(QVOutputType::compressionNamed("deflate"));
}

}  // namespace
