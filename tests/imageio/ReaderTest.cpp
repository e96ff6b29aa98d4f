#include <gtest/gtest.h>

#include <cmath>
#include <cstring>

#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/support/ByteOrder.h"
#include "imageio/support/PixelLayout.h"

using namespace qv;
using namespace qv::io;
using qvtest::TiffLayout;

namespace {

Bitmap decode(const Data& bytes, bool upright = false) {
    std::string error;
    auto source = ImageSource::createWithData(bytes, error);
    EXPECT_TRUE(source) << error;
    if (!source) return {};
    DecodeOptions options;
    options.applyOrientation = upright;
    auto bitmap = source->createImage(0, options, error);
    EXPECT_TRUE(bitmap) << error;
    return bitmap ? *bitmap : Bitmap{};
}

// The value makeTiff stores at (x, y) in channel c, in 8-bit steps.
int fixtureValue(int x, int y, int c) { return int(std::lround(255.0 * ((x * 7 + y * 13 + c * 29) % 64) / 63.0)); }

// A flat RGB PSD with raw (uncompressed) 16-bit planes, built by hand.
Data rawPsd16(int w, int h) {
    Data psd = {'8', 'B', 'P', 'S', 0, 1, 0, 0, 0, 0, 0, 0};
    support::appendBE16(psd, 3);
    support::appendBE32(psd, std::uint32_t(h));
    support::appendBE32(psd, std::uint32_t(w));
    support::appendBE16(psd, 16);
    support::appendBE16(psd, 3);
    support::appendBE32(psd, 0);
    support::appendBE32(psd, 0);
    support::appendBE32(psd, 0);
    support::appendBE16(psd, 0);  // raw
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) support::appendBE16(psd, std::uint32_t(x * 1000 + y * 10 + c));
    return psd;
}

}  // namespace

TEST(Reader, TypeComesFromTheContentNotTheName) {
    qvtest::TempDir dir;
    const Data jpeg = qvtest::encodeWithLayer(ImageType::JPEG, 16, 8, false, {});
    qvtest::writeFile(dir.file("picture.tif"), jpeg);
    auto source = ImageSource::createWithPath(dir.file("picture.tif"));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "public.jpeg");

    const std::pair<ImageType, const char*> expected[] = {
        {ImageType::TIFF, "public.tiff"}, {ImageType::PSD, "com.adobe.photoshop-image"},
        {ImageType::OpenEXR, "com.ilm.openexr-image"}, {ImageType::PNG, "public.png"}};
    for (const auto& [type, identifier] : expected) {
        auto s = ImageSource::createWithData(qvtest::encodeWithLayer(type, 16, 8, true, {}));
        ASSERT_TRUE(s) << identifier;
        EXPECT_EQ(s->type(), identifier);
    }
}

TEST(Reader, JpegPropertiesCarryTheExifTheViewReads) {
    const Data jpeg = qvtest::encodeWithLayer(ImageType::JPEG, 32, 20, false, qvtest::sampleMetadata(6));
    auto source = ImageSource::createWithData(jpeg);
    ASSERT_TRUE(source);
    const Value p(source->properties());
    EXPECT_EQ(p.get("Depth").integerOr(0), 8);
    EXPECT_EQ(p.get("PixelWidth").integerOr(0), 32);
    EXPECT_EQ(p.get("PixelHeight").integerOr(0), 20);
    EXPECT_EQ(p.get("Orientation").integerOr(0), 6);
    EXPECT_EQ(p.get("{TIFF}").get("Orientation").integerOr(0), 6);
    EXPECT_EQ(p.get("{TIFF}").get("Make").stringOr(""), "Testmaker");
    EXPECT_EQ(p.get("{TIFF}").get("Model").stringOr(""), "Testcam X100");
    EXPECT_DOUBLE_EQ(p.get("{Exif}").get("FocalLength").doubleOr(0), 35.0);
    EXPECT_NEAR(p.get("{Exif}").get("MaxApertureValue").doubleOr(0), 1.6959938131099, 1e-9);
    EXPECT_NEAR(p.get("{Exif}").get("ExposureTime").doubleOr(0), 0.008, 1e-12);
    EXPECT_EQ(p.get("{Exif}").get("ISOSpeedRatings"), Value(Array{Value(200)}));
    EXPECT_EQ(p.get("{Exif}").get("ExifVersion"), Value(Array{Value(2), Value(2), Value(1)}));
    EXPECT_EQ(p.get("{Exif}").get("PixelXDimension").integerOr(0), 32);
    EXPECT_EQ(p.get("{Exif}").get("FocalLenIn35mmFilm").integerOr(0), 52);
    EXPECT_NEAR(p.get("{GPS}").get("Latitude").doubleOr(0), 48.858222, 1e-6);
    EXPECT_EQ(p.get("{GPS}").get("LatitudeRef").stringOr(""), "N");
    EXPECT_EQ(p.get("{GPS}").get("TimeStamp").stringOr(""), "12:34:56.000");
    EXPECT_EQ(p.get("{IPTC}").get("Keywords"), Value(Array{Value("lens"), Value("test")}));
    EXPECT_EQ(p.get("{IPTC}").get("CopyrightNotice").stringOr(""), "(c) Ann Example");
    EXPECT_EQ(source->orientation(), 6);
}

TEST(Reader, PictureWithoutMetadataHasNoTiffDictionary) {
    auto source = ImageSource::createWithData(qvtest::encodeWithLayer(ImageType::JPEG, 8, 8, false, {}));
    ASSERT_TRUE(source);
    const Dictionary p = source->properties();
    EXPECT_EQ(p.count("{TIFF}"), 0u);
    EXPECT_EQ(p.count("Orientation"), 0u);
    EXPECT_EQ(source->orientation(), 0);
    EXPECT_TRUE(source->colorSpace().isDeviceRGB());
    EXPECT_TRUE(source->embeddedProfile().empty());
}

TEST(Reader, DecodeWithOrientationAppliedStandsUpright) {
    const Data png = qvtest::encodeWithLayer(ImageType::PNG, 30, 10, false, qvtest::sampleMetadata(8));
    const Bitmap stored = decode(png);
    const Bitmap upright = decode(png, true);
    ASSERT_EQ(stored.width, 30);
    ASSERT_EQ(upright.width, 10);
    ASSERT_EQ(upright.height, 30);
    // Orientation 8: the stored top-right corner is the upright top-left one.
    EXPECT_EQ(std::memcmp(upright.row(0), stored.row(0) + 29 * 3, 3), 0);
}

TEST(Reader, TiffLayoutsBeyondTheWritersOwn) {
    for (TiffLayout layout : {TiffLayout::Tiled, TiffLayout::SeparatePlanes, TiffLayout::Deflate}) {
        const Bitmap b = decode(qvtest::makeTiff(layout, 37, 21));
        ASSERT_EQ(b.format, PixelFormat::RGB8);
        ASSERT_EQ(b.width, 37);
        ASSERT_EQ(b.height, 21);
        int wrong = 0;
        for (int y = 0; y < 21; ++y)
            for (int x = 0; x < 37; ++x)
                for (int c = 0; c < 3; ++c) wrong += b.row(y)[x * 3 + c] != fixtureValue(x, y, c);
        EXPECT_EQ(wrong, 0) << int(layout);
    }
}

TEST(Reader, TiffPaletteBilevelMinIsWhiteCmykFloatAndGrayAlpha) {
    const Bitmap palette = decode(qvtest::makeTiff(TiffLayout::Palette, 9, 4));
    ASSERT_EQ(palette.format, PixelFormat::RGB8);
    // Pixel (1, 0): index int(15 * 7/63) = 1, colour map entries ((1 * (c + 1) * 5) % 16) * 4369.
    EXPECT_EQ(palette.row(0)[3], ((5 % 16) * 4369) >> 8);
    EXPECT_EQ(palette.row(0)[4], ((10 % 16) * 4369) >> 8);
    EXPECT_EQ(palette.row(0)[5], ((15 % 16) * 4369) >> 8);

    const Bitmap bilevel = decode(qvtest::makeTiff(TiffLayout::Bilevel, 9, 4));
    ASSERT_EQ(bilevel.format, PixelFormat::Gray8);
    for (int x = 0; x < 9; ++x) EXPECT_EQ(bilevel.row(2)[x], fixtureValue(x, 2, 0) > 128 ? 255 : 0) << x;

    const Bitmap white = decode(qvtest::makeTiff(TiffLayout::MinIsWhite, 9, 4));
    ASSERT_EQ(white.format, PixelFormat::Gray8);
    EXPECT_EQ(white.row(3)[5], 255 - fixtureValue(5, 3, 0));

    const Bitmap cmyk = decode(qvtest::makeTiff(TiffLayout::Cmyk, 9, 4));
    ASSERT_EQ(cmyk.format, PixelFormat::RGB8);
    const int k = fixtureValue(4, 1, 3);
    EXPECT_NEAR(cmyk.row(1)[4 * 3], (255 - fixtureValue(4, 1, 0)) * (255 - k) / 255, 1);

    const Bitmap floating = decode(qvtest::makeTiff(TiffLayout::Float, 9, 4));
    ASSERT_EQ(floating.format, PixelFormat::RGB16);
    std::uint16_t sample;
    std::memcpy(&sample, floating.row(2) + (6 * 3 + 1) * 2, 2);
    EXPECT_NEAR(sample, 65535.0 * ((6 * 7 + 2 * 13 + 29) % 64) / 63.0, 1.0);

    const Bitmap grayAlpha = decode(qvtest::makeTiff(TiffLayout::GrayAlpha, 9, 4));
    ASSERT_EQ(grayAlpha.format, PixelFormat::RGBA16);
    const auto* p = reinterpret_cast<const std::uint16_t*>(grayAlpha.row(1)) + 2 * 4;
    EXPECT_EQ(p[0], p[1]);
    EXPECT_EQ(p[1], p[2]);
    EXPECT_NEAR(p[3], 65535.0 * ((2 * 7 + 13 + 29) % 64) / 63.0, 1.0);
}

TEST(Reader, CameraRawThroughLibRaw) {
    const Data dng = qvtest::makeDng(64, 48, "Testmaker", "Rawcam 7", 6);
    auto source = ImageSource::createWithData(dng);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "public.camera-raw-image");
    EXPECT_EQ(source->bitsPerComponent(), 16);
    const Value p(source->properties());
    EXPECT_EQ(p.get("Depth").integerOr(0), 16);
    EXPECT_EQ(p.get("Orientation").integerOr(0), 6);
    EXPECT_EQ(p.get("{TIFF}").get("Make").stringOr(""), "Testmaker");
    EXPECT_EQ(p.get("{TIFF}").get("Model").stringOr(""), "Rawcam 7");
    // DNG tags describe the raw file only; they must not travel to a picture written from it.
    EXPECT_FALSE(p.get("{TIFF}").contains("DNGVersion"));
    EXPECT_FALSE(p.get("{TIFF}").contains("CFAPattern"));
    EXPECT_FALSE(source->colorSpace().isDeviceRGB());

    std::string error;
    auto stored = source->createImage(0, {}, error);
    ASSERT_TRUE(stored) << error;
    EXPECT_EQ(stored->format, PixelFormat::RGB16);
    EXPECT_EQ(stored->width, 64);
    EXPECT_EQ(stored->height, 48);
    DecodeOptions upright;
    upright.applyOrientation = true;
    auto turned = source->createImage(0, upright, error);
    ASSERT_TRUE(turned);
    EXPECT_EQ(turned->width, 48);
    EXPECT_EQ(turned->height, 64);
}

TEST(Reader, OrdinaryTiffWithACameraMakeIsNoRawFile) {
    Dictionary properties = qvtest::sampleMetadata(1);
    properties["{TIFF}"]["Make"] = "NIKON CORPORATION";
    properties["{TIFF}"]["Model"] = "NIKON D300";
    auto source = ImageSource::createWithData(qvtest::encodeWithLayer(ImageType::TIFF, 16, 16, true, properties));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->type(), "public.tiff");
}

TEST(Reader, PsdRawSixteenBitPlanes) {
    const Bitmap b = decode(rawPsd16(5, 3));
    ASSERT_EQ(b.format, PixelFormat::RGB16);
    const auto* p = reinterpret_cast<const std::uint16_t*>(b.row(2)) + 4 * 3;
    EXPECT_EQ(p[0], 4020);
    EXPECT_EQ(p[1], 4021);
    EXPECT_EQ(p[2], 4022);
}

TEST(Reader, OpenExrComesInAsSixteenBitsWithAlpha) {
    Data exr;
    auto destination = ImageDestination::createWithData(exr, kUTTypeOpenEXR);
    const Bitmap rendered = qvtest::makeTestBitmap(12, 7, PixelFormat::RGBA16, true, true);
    destination->addImage(rendered, {});
    ASSERT_TRUE(destination->finalize());
    auto source = ImageSource::createWithData(exr);
    ASSERT_TRUE(source);
    EXPECT_EQ(source->bitsPerComponent(), 16);
    EXPECT_TRUE(source->hasAlpha());
    EXPECT_EQ(source->properties().at("Depth").integerOr(0), 16);
    auto b = source->createImage();
    ASSERT_TRUE(b);
    EXPECT_EQ(b->format, PixelFormat::RGBA16);
    // Straight colour where anything shows; none under zero alpha, which the file cannot hold.
    EXPECT_LE(qvtest::maxDifference16(*b, support::convertPixels(rendered, PixelFormat::RGBA16)), 40);
    EXPECT_EQ(reinterpret_cast<const std::uint16_t*>(b->row(0))[3], 0);
}

TEST(Reader, EmbeddedProfileIsValidatedAndKeptExactly) {
    const Data profile = qvtest::makeSRGBProfile();
    auto source = ImageSource::createWithData(qvtest::encodeWithLayer(ImageType::TIFF, 8, 8, false, {}, profile));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->embeddedProfile(), profile);
    EXPECT_EQ(source->colorSpace().iccProfile(), profile);
    EXPECT_NE(source->colorSpace().cmsProfile(), nullptr);
    EXPECT_EQ(source->colorSpace().model(), ColorSpace::Model::RGB);
    EXPECT_FALSE(source->properties().at("ProfileName").stringOr("").empty());
}

TEST(Reader, ColorSpaceRefusesBytesThatAreNoProfile) {
    Data garbage(500, 0x41);
    EXPECT_FALSE(ColorSpace::fromICCProfile(garbage));
    EXPECT_FALSE(ColorSpace::fromICCProfile({}));
    EXPECT_TRUE(ColorSpace::deviceRGB().isDeviceRGB());
    EXPECT_TRUE(ColorSpace::sRGB().hasICCProfile());
}

TEST(Reader, AdobeCmykJpegComesOutAsRgb) {
    auto source = ImageSource::createWithData(qvtest::makeCmykJpeg(24, 16));
    ASSERT_TRUE(source);
    EXPECT_EQ(source->properties().at("ColorModel").stringOr(""), "CMYK");
    EXPECT_FALSE(source->colorSpace().isDeviceRGB());  // the converted colours are sRGB
    auto b = source->createImage();
    ASSERT_TRUE(b);
    ASSERT_EQ(b->format, PixelFormat::RGB8);
    for (int y : {0, 7, 15})
        for (int x : {0, 9, 23})
            for (int c = 0; c < 3; ++c) {
                const int expected = (255 - qvtest::fixtureInk(x, y, c)) * (255 - qvtest::fixtureInk(x, y, 3)) / 255;
                EXPECT_NEAR(b->row(y)[x * 3 + c], expected, 4) << x << "," << y << "," << c;
            }
}

TEST(Reader, InterlacedPalettePngWithTransparency) {
    auto source = ImageSource::createWithData(qvtest::makePalettePng(13, 9));
    ASSERT_TRUE(source);
    EXPECT_TRUE(source->hasAlpha());
    auto b = source->createImage();
    ASSERT_TRUE(b);
    ASSERT_EQ(b->format, PixelFormat::RGBA8);
    for (int y = 0; y < 9; ++y)
        for (int x = 0; x < 13; ++x) {
            const int index = (x + y) % 16;
            const std::uint8_t* p = b->row(y) + x * 4;
            EXPECT_EQ(p[0], index * 16);
            EXPECT_EQ(p[1], 255 - index * 16);
            EXPECT_EQ(p[3], index == 0 ? 0 : 255);
        }
}

TEST(Reader, GrayJpegAndGrayPsdWithTransparency) {
    Data jpeg;
    auto destination = ImageDestination::createWithData(jpeg, kUTTypeJPEG);
    destination->addImage(qvtest::makeTestBitmap(16, 8, PixelFormat::Gray8), {});
    ASSERT_TRUE(destination->finalize());
    auto gray = ImageSource::createWithData(jpeg)->createImage();
    ASSERT_TRUE(gray);
    EXPECT_EQ(gray->format, PixelFormat::Gray8);

    // Gray with transparency is stored as RGBA (the writers have no gray-with-alpha layout).
    Data psd;
    destination = ImageDestination::createWithData(psd, kUTTypePSD);
    Bitmap grayAlpha = qvtest::makeTestBitmap(16, 8, PixelFormat::RGBA16, true);
    destination->addImage(grayAlpha, {});
    ASSERT_TRUE(destination->finalize());
    auto back = ImageSource::createWithData(psd)->createImage();
    ASSERT_TRUE(back);
    EXPECT_EQ(back->format, PixelFormat::RGBA16);
    EXPECT_EQ(qvtest::maxDifference16(*back, grayAlpha), 0);
}
