#include <gtest/gtest.h>

#include <tiffio.h>

#include <atomic>
#include <thread>

#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/support/PixelLayout.h"

using namespace qv;
using namespace qv::io;

namespace {

struct Case {
    ImageType type;
    bool deep;          // 16-bit input
    int tolerance8;     // allowed pixel difference in 8-bit steps (JPEG at quality 1.0 still rounds
                        // through 8-bit YCbCr and the DCT)
    int expectedDepth;  // "Depth" read back
};

std::string nameOf(const testing::TestParamInfo<Case>& info) {
    static const char* names[] = {"Unknown", "JPEG", "TIFF", "PSD", "OpenEXR", "PNG", "Raw"};
    return std::string(names[int(info.param.type)]) + (info.param.deep ? "16" : "8");
}

class RoundTrip : public testing::TestWithParam<Case> {};

// Half floats keep about three decimal digits: within 1/2000 of the value after the sRGB curve.
constexpr int kHalfTolerance16 = 40;

}  // namespace

TEST_P(RoundTrip, PixelsDepthOrientationAndExifSurvive) {
    const Case c = GetParam();
    qvtest::TempDir dir;
    const std::string path = dir.file("out");
    // What the renderer hands the writer: premultiplied 8-bit ARGB or 16-bit RGBA.
    const Bitmap rendered = qvtest::makeTestBitmap(41, 23, c.deep ? PixelFormat::RGBA16 : PixelFormat::ARGB8, false, true);
    Dictionary properties = qvtest::sampleMetadata(3);
    properties[kCGImageDestinationLossyCompressionQuality] = 1.0;
    const Data profile = qvtest::makeSRGBProfile();

    std::string error;
    auto destination = ImageDestination::createWithPath(path, typeIdentifier(c.type), 1, error);
    ASSERT_TRUE(destination) << error;
    destination->addImage(rendered, properties, *ColorSpace::fromICCProfile(profile));
    ASSERT_TRUE(destination->finalize()) << destination->error();

    auto source = ImageSource::createWithPath(path, error);
    ASSERT_TRUE(source) << error;
    EXPECT_EQ(source->type(), typeIdentifier(c.type));
    const Value p(source->properties());
    EXPECT_EQ(p.get("Depth").integerOr(0), c.expectedDepth);
    EXPECT_EQ(p.get("PixelWidth").integerOr(0), 41);
    EXPECT_EQ(p.get("PixelHeight").integerOr(0), 23);
    EXPECT_EQ(p.get("Orientation").integerOr(0), 3);
    EXPECT_EQ(p.get("{TIFF}").get("Orientation").integerOr(0), 3);
    EXPECT_EQ(p.get("{TIFF}").get("Make").stringOr(""), "Testmaker");
    EXPECT_EQ(p.get("{TIFF}").get("Model").stringOr(""), "Testcam X100");
    EXPECT_NEAR(p.get("{Exif}").get("FocalLength").doubleOr(0), 35.0, 1e-9);
    EXPECT_NEAR(p.get("{Exif}").get("MaxApertureValue").doubleOr(0), 1.6959938131099, 1e-6);
    EXPECT_EQ(p.get("{TIFF}").get("Artist").stringOr(""), "Ann Example");
    if (c.type != ImageType::OpenEXR) {
        EXPECT_EQ(source->embeddedProfile(), profile);
        EXPECT_EQ(p.get("{IPTC}").get("City").stringOr(""), "Paris");
        EXPECT_NEAR(p.get("{GPS}").get("Longitude").doubleOr(0), 2.2945, 1e-6);
    }

    auto decoded = source->createImage(0, {}, error);
    ASSERT_TRUE(decoded) << error;
    EXPECT_EQ(bitsPerComponent(decoded->format), c.expectedDepth);
    EXPECT_FALSE(hasAlpha(decoded->format)) << "an opaque picture is stored without alpha";
    if (c.type == ImageType::OpenEXR)
        EXPECT_LE(qvtest::maxDifference16(*decoded, rendered), kHalfTolerance16);
    else if (c.deep && c.tolerance8 == 0)
        EXPECT_EQ(qvtest::maxDifference16(*decoded, rendered), 0);
    else
        EXPECT_LE(qvtest::maxDifference8(*decoded, rendered), c.tolerance8);
}

INSTANTIATE_TEST_SUITE_P(EveryTypeAndDepth, RoundTrip,
                         testing::Values(Case{ImageType::JPEG, false, 5, 8}, Case{ImageType::JPEG, true, 5, 8},
                                         Case{ImageType::TIFF, false, 0, 8}, Case{ImageType::TIFF, true, 0, 16},
                                         Case{ImageType::PSD, false, 0, 8}, Case{ImageType::PSD, true, 0, 16},
                                         Case{ImageType::OpenEXR, true, 0, 16}, Case{ImageType::OpenEXR, false, 0, 16},
                                         Case{ImageType::PNG, false, 0, 8}, Case{ImageType::PNG, true, 0, 16}),
                         nameOf);

TEST(RoundTripTransparency, AlphaIsKeptStraightWhereSomethingIsTransparent) {
    for (ImageType type : {ImageType::TIFF, ImageType::PSD, ImageType::PNG, ImageType::OpenEXR}) {
        for (bool deep : {false, true}) {
            const Bitmap rendered =
                qvtest::makeTestBitmap(20, 10, deep ? PixelFormat::RGBA16 : PixelFormat::ARGB8, true, true);
            Data bytes;
            auto destination = ImageDestination::createWithData(bytes, typeIdentifier(type));
            destination->addImage(rendered, {});
            ASSERT_TRUE(destination->finalize()) << destination->error();
            auto decoded = ImageSource::createWithData(bytes)->createImage();
            ASSERT_TRUE(decoded);
            EXPECT_TRUE(hasAlpha(decoded->format));
            EXPECT_FALSE(decoded->premultiplied);
            // Colour under low alpha is only as precise as premultiplied samples allowed; compare
            // against the same straight colour the writer computed.
            const bool stored16 = deep || type == ImageType::OpenEXR;
            const Bitmap expected = support::convertPixels(rendered, stored16 ? PixelFormat::RGBA16 : PixelFormat::RGBA8);
            if (type == ImageType::OpenEXR)
                EXPECT_LE(qvtest::maxDifference16(*decoded, expected), kHalfTolerance16);
            else
                EXPECT_EQ(qvtest::maxDifference16(*decoded, expected), 0) << typeIdentifier(type) << deep;
        }
    }
}

namespace {

std::uint16_t tiffCompressionOf(const std::string& path) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    if (!tif) return 0;
    std::uint16_t compression = 0;
    TIFFGetField(tif, TIFFTAG_COMPRESSION, &compression);
    TIFFClose(tif);
    return compression;
}

}  // namespace

TEST(RoundTripTiff, LzwAndPackBitsReadBackEqualAtBothDepths) {
    qvtest::TempDir dir;
    for (bool deep : {false, true}) {
        const Bitmap pixels = qvtest::makeTestBitmap(301, 77, deep ? PixelFormat::RGB16 : PixelFormat::RGB8);
        for (int compression : {kTIFFCompressionNone, kTIFFCompressionLZW, kTIFFCompressionPackBits, kTIFFCompressionDeflate}) {
            const std::string path = dir.file("c" + std::to_string(compression) + (deep ? "d" : ""));
            Dictionary properties{{"{TIFF}", Dictionary{{"Compression", compression}}}};
            auto destination = ImageDestination::createWithPath(path, kUTTypeTIFF);
            destination->addImage(pixels, properties);
            ASSERT_TRUE(destination->finalize()) << destination->error();
            EXPECT_EQ(tiffCompressionOf(path), compression);
            auto decoded = ImageSource::createWithPath(path)->createImage();
            ASSERT_TRUE(decoded);
            EXPECT_EQ(decoded->format, pixels.format);
            EXPECT_EQ(qvtest::maxDifference16(*decoded, pixels), 0) << compression << " " << deep;
        }
    }
}

TEST(RoundTripTiff, ColourProfilesComeBackByteForByteInEveryFormatThatHoldsOne) {
    const Data rgb = qvtest::makeSRGBProfile();
    const Data gray = qvtest::makeGrayProfile();
    for (ImageType type : {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::PNG}) {
        auto source = ImageSource::createWithData(qvtest::encodeWithLayer(type, 9, 9, false, qvtest::sampleMetadata(1), rgb));
        ASSERT_TRUE(source);
        EXPECT_EQ(source->embeddedProfile(), rgb) << typeIdentifier(type);
        EXPECT_EQ(source->colorSpace().iccProfile(), rgb);

        Data bytes;
        auto destination = ImageDestination::createWithData(bytes, typeIdentifier(type));
        destination->addImage(qvtest::makeTestBitmap(9, 9, PixelFormat::Gray8), {}, *ColorSpace::fromICCProfile(gray));
        ASSERT_TRUE(destination->finalize());
        EXPECT_EQ(ImageSource::createWithData(bytes)->embeddedProfile(), gray) << typeIdentifier(type);
    }
}

TEST(RoundTripThreads, ReadersAndWritersRunSideBySide) {
    // The save thread, the unwrap worker and the batch worker all use the layer at once.
    const std::vector<ImageType> types = {ImageType::JPEG, ImageType::TIFF, ImageType::PSD, ImageType::OpenEXR, ImageType::PNG};
    std::vector<std::thread> threads;
    std::atomic<int> failures{0};
    for (int t = 0; t < 8; ++t)
        threads.emplace_back([&, t] {
            for (int round = 0; round < 4; ++round) {
                const ImageType type = types[std::size_t(t + round) % types.size()];
                try {
                    const Data bytes = qvtest::encodeWithLayer(type, 64, 40, t % 2 == 0, qvtest::sampleMetadata(6),
                                                               type == ImageType::OpenEXR ? Data{} : qvtest::makeSRGBProfile());
                    auto source = ImageSource::createWithData(bytes);
                    if (!source || !source->createImage() ||
                        source->properties().at("{TIFF}").get("Make").stringOr("") != "Testmaker")
                        ++failures;
                } catch (const std::exception&) {
                    ++failures;
                }
            }
        });
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(failures.load(), 0);
}
