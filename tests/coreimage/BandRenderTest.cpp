// Rendering band by band, ahead of a consumer: the bands put together are the picture a whole
// render gives, in order and without a gap, converted when asked, and a consumer may stop early.
#include <gtest/gtest.h>

#include <cstring>

#include "TestImages.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIImage.h"

using namespace qv;
using namespace qv::ci;

namespace {

// Tall enough for several bands of either format, with a last band shorter than the others; the
// slight turn makes every pixel an interpolation.
Image turnedPattern() {
    const Image pattern = Image::fromBitmap(citest::patternBitmap(2048, 2100));
    return pattern.imageByApplyingTransform(AffineTransform::rotation(0.01));
}

// Every band of the source copied into one bitmap; fails the test on a gap or a wrong band.
Bitmap gather(BandSource& bands, int* bandCount = nullptr) {
    Bitmap whole = Bitmap::make(bands.width(), bands.height(), bands.format(), bands.premultiplied());
    int rows = 0, first = -1, count = 0;
    while (const Bitmap* band = bands.nextBand(first)) {
        EXPECT_EQ(first, rows);
        EXPECT_EQ(band->width, bands.width());
        EXPECT_EQ(band->format, bands.format());
        EXPECT_GT(band->height, 0);
        if (first != rows || band->height > bands.height() - rows) return Bitmap{};
        for (int r = 0; r < band->height; ++r) std::memcpy(whole.row(rows + r), band->row(r), whole.bytesPerRow);
        rows += band->height;
        ++count;
    }
    EXPECT_EQ(rows, bands.height());
    EXPECT_EQ(bands.nextBand(first), nullptr) << "a finished source stays finished";
    if (bandCount) *bandCount = count;
    return whole;
}

}  // namespace

TEST(BandRender, BandsPutTogetherAreTheWholeRender) {
    const Image image = turnedPattern();
    const Rect rect(-20.5, 3, 2080, 2090);  // fractional and beyond the extent: made whole as ever
    for (PixelFormat format : {PixelFormat::ARGB8, PixelFormat::RGBA16}) {
        Context context;
        const Bitmap whole = context.createBitmap(image, rect, format);
        auto bands = context.bandSource(image, rect, format);
        ASSERT_TRUE(bands);
        EXPECT_EQ(bands->width(), whole.width);
        EXPECT_EQ(bands->height(), whole.height);
        EXPECT_TRUE(bands->premultiplied());
        int count = 0;
        const Bitmap gathered = gather(*bands, &count);
        EXPECT_GE(count, 3) << "the picture should need several bands";
        EXPECT_EQ(gathered.pixels, whole.pixels) << int(format);
    }
}

TEST(BandRender, RowsAreConvertedIntoTheBandLayout) {
    const Image image = turnedPattern();
    // Straight RGB from premultiplied ARGB, as a writer might ask: colour kept, alpha dropped.
    const RowConversion dropAlpha = [](const std::uint8_t* from, std::uint8_t* to, int pixels) {
        for (int x = 0; x < pixels; ++x, from += 4, to += 3) to[0] = from[1], to[1] = from[2], to[2] = from[3];
    };
    Context context;
    const Bitmap whole = context.createBitmap(image, image.extent(), PixelFormat::ARGB8);
    auto bands = context.bandSource(image, image.extent(), PixelFormat::ARGB8, dropAlpha, PixelFormat::RGB8, false);
    ASSERT_TRUE(bands);
    EXPECT_EQ(bands->format(), PixelFormat::RGB8);
    EXPECT_FALSE(bands->premultiplied());
    const Bitmap gathered = gather(*bands);
    Bitmap expected = Bitmap::make(whole.width, whole.height, PixelFormat::RGB8);
    for (int y = 0; y < whole.height; ++y) dropAlpha(whole.row(y), expected.row(y), whole.width);
    EXPECT_EQ(gathered.pixels, expected.pixels);
}

TEST(BandRender, AConsumerMayStopWhileTheNextBandIsRendered) {
    const Image image = turnedPattern();
    Context context;
    auto bands = context.bandSource(image, image.extent(), PixelFormat::RGBA16);
    ASSERT_TRUE(bands);
    int first = -1;
    ASSERT_NE(bands->nextBand(first), nullptr);
    EXPECT_EQ(first, 0);
    bands.reset();  // the band rendered meanwhile is finished before its buffer goes
}

TEST(BandRender, UnusableRequestsGiveNoSource) {
    Context context;
    const Image image = Image::fromBitmap(citest::patternBitmap(8, 8));
    EXPECT_FALSE(context.bandSource(Image(), Rect(0, 0, 8, 8), PixelFormat::ARGB8));
    EXPECT_FALSE(context.bandSource(image, Rect(0, 0, 0, 8), PixelFormat::ARGB8));
    EXPECT_FALSE(context.bandSource(image, Rect(0, 0, 8, 8), PixelFormat::RGB8));  // not a render format
    EXPECT_TRUE(context.bandSource(image, Rect(0, 0, 8, 8), PixelFormat::RGBAf));
}

TEST(BandRender, OpacityIsThatOfEveryRenderedPixel) {
    const Image pattern = Image::fromBitmap(citest::patternBitmap(300, 2100));
    Context context;
    for (PixelFormat format : {PixelFormat::ARGB8, PixelFormat::RGBA16, PixelFormat::RGBAf}) {
        EXPECT_TRUE(context.rendersOpaque(pattern, pattern.extent(), format)) << int(format);
        // Half a pixel off: the edge columns are partly covered.
        const Image shifted = pattern.imageByApplyingTransform(AffineTransform::translation(0.5, 0));
        EXPECT_FALSE(context.rendersOpaque(shifted, Rect(0, 0, 300, 2100), format)) << int(format);
        // A single transparent pixel far down, in a later band.
        Bitmap holed = citest::patternBitmap(300, 2100);
        holed.row(2050)[4 * 10 + 3] = 254;
        EXPECT_FALSE(context.rendersOpaque(Image::fromBitmap(holed), Rect(0, 0, 300, 2100), format)) << int(format);
    }
    EXPECT_FALSE(context.rendersOpaque(pattern, Rect(0, 0, 301, 2100), PixelFormat::ARGB8)) << "beyond the extent";
    EXPECT_FALSE(context.rendersOpaque(Image(), Rect(0, 0, 8, 8), PixelFormat::ARGB8));
}
