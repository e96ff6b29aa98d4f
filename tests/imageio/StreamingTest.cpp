// Decoding straight into the renderer's layout, JPEG's reduced decoding, and writing a picture
// handed over in bands: each must give what the whole-picture road gives.
#include <gtest/gtest.h>

#include <cstring>

#include "TestImages.h"
#include "common/FileSizeLimit.h"
#include "common/TempDir.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/support/PixelLayout.h"

using namespace qv;
using namespace qv::io;

namespace {

Bitmap decodeWith(const Data& bytes, const DecodeOptions& options) {
    std::string error;
    auto source = ImageSource::createWithData(bytes, error);
    EXPECT_TRUE(source) << error;
    if (!source) return {};
    auto bitmap = source->createImage(0, options, error);
    EXPECT_TRUE(bitmap) << error;
    return bitmap ? std::move(*bitmap) : Bitmap{};
}

DecodeOptions renderLayout() {
    DecodeOptions options;
    options.renderLayout = true;
    return options;
}

bool samePixels(const Bitmap& a, const Bitmap& b) { return qvtest::maxDifference16(a, b) == 0; }

// Hands a bitmap over in bands of `rows` rows, each copied into a buffer of its own that is
// overwritten by the next band, as a renderer's are.
class CopiedBands final : public BandSource {
public:
    CopiedBands(const Bitmap& bitmap, int rows, int stopAfter = -1)
        : m_bitmap(bitmap), m_rows(rows), m_stopAfter(stopAfter) {}
    int width() const override { return m_bitmap.width; }
    int height() const override { return m_bitmap.height; }
    PixelFormat format() const override { return m_bitmap.format; }
    bool premultiplied() const override { return m_bitmap.premultiplied; }
    const Bitmap* nextBand(int& firstRow) override {
        if (m_next >= m_bitmap.height || m_stopAfter == 0) return nullptr;
        if (m_stopAfter > 0) --m_stopAfter;
        const int rows = std::min(m_rows, m_bitmap.height - m_next);
        m_band = Bitmap::make(m_bitmap.width, rows, m_bitmap.format, m_bitmap.premultiplied);
        for (int r = 0; r < rows; ++r) std::memcpy(m_band.row(r), m_bitmap.row(m_next + r), m_bitmap.bytesPerRow);
        firstRow = m_next;
        m_next += rows;
        return &m_band;
    }

private:
    const Bitmap& m_bitmap;
    int m_rows, m_stopAfter, m_next = 0;
    Bitmap m_band;
};

Data encodeWhole(const std::string& type, const Bitmap& pixels, const Dictionary& properties) {
    Data out;
    auto destination = ImageDestination::createWithData(out, type);
    destination->addImage(pixels, properties);
    EXPECT_TRUE(destination->finalize()) << destination->error();
    return out;
}

// A picture as the renderer hands it over: premultiplied ARGB8 with transparent parts.
Bitmap renderedPicture(int w, int h) { return qvtest::makeTestBitmap(w, h, PixelFormat::ARGB8, true, true); }

}  // namespace

TEST(DecodeLayout, OpaqueJpegAndTiffComeAsPremultipliedRGBAWithTheSameColours) {
    for (ImageType type : {ImageType::JPEG, ImageType::TIFF}) {
        for (bool deep : {false, true}) {
            if (type == ImageType::JPEG && deep) continue;
            const Data file = qvtest::encodeWithLayer(type, 61, 37, deep, {});
            const Bitmap plain = decodeWith(file, {});
            const Bitmap four = decodeWith(file, renderLayout());
            EXPECT_EQ(four.format, deep ? PixelFormat::RGBA16 : PixelFormat::RGBA8);
            EXPECT_TRUE(four.premultiplied);
            EXPECT_TRUE(samePixels(plain, four)) << typeIdentifier(type) << (deep ? " 16-bit" : " 8-bit");
            EXPECT_TRUE(support::isOpaque(four));
        }
    }
}

TEST(DecodeLayout, GrayJpegComesAsRGBAOfItsGrayAndTransparentTiffKeepsItsOwnLayout) {
    Data gray;
    auto destination = ImageDestination::createWithData(gray, "public.jpeg");
    destination->addImage(qvtest::makeTestBitmap(40, 30, PixelFormat::Gray8), {});
    ASSERT_TRUE(destination->finalize());
    const Bitmap four = decodeWith(gray, renderLayout());
    ASSERT_EQ(four.format, PixelFormat::RGBA8);
    EXPECT_TRUE(samePixels(decodeWith(gray, {}), four));

    // Straight alpha must be premultiplied by the renderer's conversion, so it is left as stored.
    const Data transparent = encodeWhole("public.tiff", qvtest::makeTestBitmap(40, 30, PixelFormat::RGBA8, true), {});
    const Bitmap stored = decodeWith(transparent, renderLayout());
    EXPECT_EQ(stored.format, PixelFormat::RGBA8);
    EXPECT_FALSE(stored.premultiplied);
}

TEST(DecodeLayout, UprightPhotosAreDecodedAsStoredAndTurnedOnesAreTurned) {
    Dictionary turned;
    turned["Orientation"] = 6;
    const Data file = qvtest::encodeWithLayer(ImageType::JPEG, 50, 20, false, turned);
    DecodeOptions upright = renderLayout();
    upright.applyOrientation = true;
    const Bitmap b = decodeWith(file, upright);
    EXPECT_EQ(b.width, 20);
    EXPECT_EQ(b.height, 50);
    EXPECT_EQ(b.format, PixelFormat::RGBA8);
}

TEST(ReducedDecode, JpegTakesTheLargestReductionThatKeepsTheMinimumSize) {
    const Data file = qvtest::encodeWithLayer(ImageType::JPEG, 800, 600, false, {});
    struct Case {
        int minW, minH, w, h;
    } cases[] = {
        {200, 150, 200, 150},  // exactly a quarter
        {201, 150, 300, 225},  // a pixel more: three eighths
        {100, 10, 100, 75},    // an eighth
        {800, 600, 800, 600},  // no room to reduce
        {900, 700, 800, 600},  // never enlarged
    };
    for (const Case& c : cases) {
        DecodeOptions options = renderLayout();
        options.minimumWidth = c.minW;
        options.minimumHeight = c.minH;
        const Bitmap b = decodeWith(file, options);
        EXPECT_EQ(b.width, c.w) << c.minW << " x " << c.minH;
        EXPECT_EQ(b.height, c.h) << c.minW << " x " << c.minH;
    }
    // A format that cannot scale while decoding gives the whole picture.
    DecodeOptions options;
    options.minimumWidth = 100;
    options.minimumHeight = 75;
    EXPECT_EQ(decodeWith(qvtest::encodeWithLayer(ImageType::TIFF, 800, 600, false, {}), options).width, 800);
}

TEST(BandWriting, JpegFromBandsIsTheFileOfTheWholePicture) {
    const Bitmap rendered = renderedPicture(203, 131);
    Dictionary properties = qvtest::sampleMetadata(1);
    properties["kCGImageDestinationLossyCompressionQuality"] = 0.8;
    const Data whole = encodeWhole("public.jpeg", rendered, properties);

    Data banded;
    auto destination = ImageDestination::createWithData(banded, "public.jpeg");
    const ImageDestination::BandLayout layout = destination->bandLayoutFor(PixelFormat::ARGB8);
    ASSERT_EQ(layout.format, PixelFormat::RGB8);
    ASSERT_TRUE(layout.convert);
    // The bands arrive converted, as the renderer converts them.
    Bitmap converted = Bitmap::make(rendered.width, rendered.height, layout.format, layout.premultiplied);
    for (int y = 0; y < rendered.height; ++y) layout.convert(rendered.row(y), converted.row(y), rendered.width);
    destination->addBands(std::make_unique<CopiedBands>(converted, 17), properties);
    ASSERT_TRUE(destination->finalize()) << destination->error();
    EXPECT_EQ(banded, whole);
}

TEST(BandWriting, TypesThatNeedTheWholePictureGatherTheBands) {
    const Bitmap rendered = renderedPicture(75, 40);
    for (const char* type : {"public.tiff", "public.png", "com.adobe.photoshop-image"}) {
        Data banded;
        auto destination = ImageDestination::createWithData(banded, type);
        const ImageDestination::BandLayout layout = destination->bandLayoutFor(PixelFormat::ARGB8);
        ASSERT_EQ(layout.format, PixelFormat::ARGB8) << type;
        EXPECT_FALSE(layout.convert);
        destination->addBands(std::make_unique<CopiedBands>(rendered, 9), {});
        ASSERT_TRUE(destination->finalize()) << type << ": " << destination->error();
        EXPECT_EQ(banded, encodeWhole(type, rendered, {})) << type;
    }
}

TEST(BandWriting, BandsThatEndEarlyWriteNothing) {
    const Bitmap rendered = renderedPicture(64, 64);
    Bitmap rgb = support::convertPixels(rendered, PixelFormat::RGB8);
    for (const char* type : {"public.jpeg", "public.tiff"}) {
        Data out;
        auto destination = ImageDestination::createWithData(out, type);
        const Bitmap& given = std::string(type) == "public.jpeg" ? rgb : rendered;
        destination->addBands(std::make_unique<CopiedBands>(given, 16, 2), {});
        EXPECT_FALSE(destination->finalize()) << type;
        EXPECT_FALSE(destination->error().empty());
        EXPECT_TRUE(out.empty()) << type;
    }
}

TEST(RowConversion, ConvertsEachRowAsTheWholePictureIsConverted) {
    const Bitmap premultiplied = renderedPicture(33, 9);
    for (PixelFormat to : {PixelFormat::RGB8, PixelFormat::RGBA8, PixelFormat::RGBA16, PixelFormat::Gray8}) {
        const Bitmap whole = support::convertPixels(premultiplied, to);
        const RowConversion convert = support::rowConversion(PixelFormat::ARGB8, true, to);
        Bitmap rows = Bitmap::make(premultiplied.width, premultiplied.height, to);
        for (int y = 0; y < rows.height; ++y) convert(premultiplied.row(y), rows.row(y), rows.width);
        EXPECT_EQ(rows.pixels, whole.pixels) << int(to);
    }
}

TEST(BandWriting, TiffFromBandsIsTheFileOfTheWholePictureWithAlphaOnlyWhenSomePixelIsTransparent) {
    for (bool transparent : {true, false}) {
        for (PixelFormat rendered : {PixelFormat::ARGB8, PixelFormat::RGBA16}) {
            const Bitmap picture = qvtest::makeTestBitmap(97, 70, rendered, transparent, true);
            Dictionary properties = qvtest::sampleMetadata(1);
            const Data whole = encodeWhole("public.tiff", picture, properties);

            Data banded;
            auto destination = ImageDestination::createWithData(banded, "public.tiff");
            int asked = 0;
            const ImageDestination::BandLayout layout = destination->bandLayoutFor(rendered, [&] {
                ++asked;
                return support::isOpaque(picture);
            });
            EXPECT_EQ(asked, 1);
            EXPECT_EQ(hasAlpha(layout.format), transparent);
            EXPECT_EQ(bitsPerComponent(layout.format), bitsPerComponent(rendered) > 8 ? 16 : 8);
            Bitmap converted = Bitmap::make(picture.width, picture.height, layout.format, layout.premultiplied);
            for (int y = 0; y < picture.height; ++y) layout.convert(picture.row(y), converted.row(y), picture.width);
            destination->addBands(std::make_unique<CopiedBands>(converted, 13), properties);
            ASSERT_TRUE(destination->finalize()) << destination->error();
            EXPECT_EQ(banded, whole) << (transparent ? "transparent " : "opaque ") << int(rendered);
        }
    }
}

TEST(BandWriting, JpegNeverAsksWhetherThePictureIsOpaque) {
    Data out;
    auto destination = ImageDestination::createWithData(out, "public.jpeg");
    const ImageDestination::BandLayout layout = destination->bandLayoutFor(PixelFormat::RGBA16, [] {
        ADD_FAILURE() << "asked";
        return true;
    });
    EXPECT_EQ(layout.format, PixelFormat::RGB8);
}

namespace {

// The picture in the layout TIFF asks for, as the renderer converts it band by band.
Bitmap inTiffLayout(const Bitmap& picture, ImageDestination& destination) {
    const ImageDestination::BandLayout layout =
        destination.bandLayoutFor(picture.format, [&] { return support::isOpaque(picture); });
    if (!layout.convert) return picture;
    Bitmap converted = Bitmap::make(picture.width, picture.height, layout.format, layout.premultiplied);
    for (int y = 0; y < picture.height; ++y) layout.convert(picture.row(y), converted.row(y), picture.width);
    return converted;
}

Data tiffInMemory(const Bitmap& picture, const Dictionary& properties) {
    Data out;
    auto destination = ImageDestination::createWithData(out, "public.tiff");
    const Bitmap stored = inTiffLayout(picture, *destination);
    destination->addBands(std::make_unique<CopiedBands>(stored, 13), properties);
    EXPECT_TRUE(destination->finalize()) << destination->error();
    return out;
}

Data fileBytes(const std::string& path) {
    const auto bytes = files::readWhole(path);
    return bytes ? *bytes : Data{};
}

}  // namespace

TEST(BandWriting, TiffFromBandsIntoAFileIsTheFileWrittenInMemory) {
    qvtest::TempDir dir;
    const std::string path = dir.file("out.tif");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("the photo saved before")));
    struct Case {
        int width, height;
        PixelFormat rendered;
        bool transparent, withMetadata;
    };
    // The last is larger than the bytes handed to the disk at a time.
    for (const Case& c : {Case{97, 70, PixelFormat::ARGB8, false, true}, Case{97, 70, PixelFormat::ARGB8, true, false},
                          Case{64, 33, PixelFormat::Gray8, false, true}, Case{1200, 1000, PixelFormat::RGBA16, true, true}}) {
        SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + (c.withMetadata ? " with metadata" : ""));
        const Bitmap picture = qvtest::makeTestBitmap(c.width, c.height, c.rendered, c.transparent, c.rendered != PixelFormat::Gray8);
        const Dictionary properties = c.withMetadata ? qvtest::sampleMetadata(1) : Dictionary{};
        auto destination = ImageDestination::createWithPath(path, "public.tiff");
        const Bitmap stored = inTiffLayout(picture, *destination);
        destination->addBands(std::make_unique<CopiedBands>(stored, 13), properties);
        ASSERT_TRUE(destination->finalize()) << destination->error();
        const Data written = fileBytes(path);
        EXPECT_EQ(written, tiffInMemory(picture, properties));
        EXPECT_TRUE(samePixels(decodeWith(written, {}), decodeWith(encodeWhole("public.tiff", picture, properties), {})));
    }
    EXPECT_EQ(files::listFolder(dir.path())->size(), 1u) << "no temporary file is left";
}

TEST(BandWriting, TiffBandsThatEndEarlyOrFillTheDiskLeaveTheFileThereAsItWas) {
    qvtest::TempDir dir;
    const std::string path = dir.file("out.tif");
    ASSERT_TRUE(files::writeWhole(path, std::string_view("the photo saved before")));
    const Bitmap picture = qvtest::makeTestBitmap(300, 200, PixelFormat::ARGB8, false, true);
    for (const Dictionary& properties : {Dictionary{}, qvtest::sampleMetadata(1)}) {
        auto destination = ImageDestination::createWithPath(path, "public.tiff");
        const Bitmap stored = inTiffLayout(picture, *destination);
        destination->addBands(std::make_unique<CopiedBands>(stored, 16, 3), properties);
        EXPECT_FALSE(destination->finalize());
        EXPECT_FALSE(destination->error().empty());
        const Data kept = fileBytes(path);
        EXPECT_EQ(std::string(kept.begin(), kept.end()), "the photo saved before");
        EXPECT_EQ(files::listFolder(dir.path())->size(), 1u) << "the temporary file is removed";
    }
    // A disk that fills while the strips are written.
    {
        qvtest::FileSizeLimit limit(64 * 1024);
        ASSERT_TRUE(limit.active());
        auto destination = ImageDestination::createWithPath(path, "public.tiff");
        const Bitmap stored = inTiffLayout(picture, *destination);
        destination->addBands(std::make_unique<CopiedBands>(stored, 16), qvtest::sampleMetadata(1));
        EXPECT_FALSE(destination->finalize());
        EXPECT_FALSE(destination->error().empty());
    }
    const Data kept = fileBytes(path);
    EXPECT_EQ(std::string(kept.begin(), kept.end()), "the photo saved before");
    EXPECT_EQ(files::listFolder(dir.path())->size(), 1u);

    auto nowhere = ImageDestination::createWithPath(dir.file("missing/out.tif"), "public.tiff");
    const Bitmap stored = inTiffLayout(picture, *nowhere);
    nowhere->addBands(std::make_unique<CopiedBands>(stored, 16), {});
    EXPECT_FALSE(nowhere->finalize());
    EXPECT_FALSE(nowhere->error().empty());
}
