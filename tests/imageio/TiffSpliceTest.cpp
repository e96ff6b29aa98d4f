// A TIFF whose metadata is written ahead of its picture: it carries what a rewrite of the whole
// file by the metadata library carries, its picture decodes unchanged in every stored layout, and
// files that do not fit together are refused rather than joined wrongly.
#include <gtest/gtest.h>

#include "TestImages.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/codecs/Codec.h"
#include "imageio/metadata/Metadata.h"
#include "imageio/support/TiffSplice.h"

using namespace qv;
using namespace qv::io;

namespace {

Dictionary richMetadata() {
    Dictionary properties = qvtest::sampleMetadata(6);
    properties[kQVImagePropertyXMPPacket] =
        "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\"><rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">"
        "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\" dc:format=\"image/tiff\"/>"
        "</rdf:RDF></x:xmpmeta>";
    return properties;
}

Data encodeWithDestination(const Bitmap& picture, const Dictionary& properties, const ColorSpace& colorSpace) {
    Data bytes;
    auto destination = ImageDestination::createWithData(bytes, "public.tiff");
    EXPECT_TRUE(destination);
    if (!destination) return {};
    destination->addImage(picture, properties, colorSpace);
    EXPECT_TRUE(destination->finalize()) << destination->error();
    return bytes;
}

// The same picture and metadata the slow way: the plain picture, then its whole file rewritten.
Data encodeThenRewrite(const Bitmap& picture, const Dictionary& properties, const ColorSpace& colorSpace, int compression) {
    codec::EncodeSettings settings;
    settings.tiffCompression = compression;
    settings.orientation = 6;
    if (channelCount(picture.format) >= 3) settings.iccProfile = colorSpace.iccProfile();  // an RGB profile
    Data bytes;
    std::string error;
    EXPECT_TRUE(codec::encodeTiff(picture, settings, bytes, error)) << error;
    metadata::WriteRequest request;
    request.orientation = 6;
    request.pixelWidth = picture.width;
    request.pixelHeight = picture.height;
    EXPECT_TRUE(metadata::writeMetadata(bytes, properties, request, error)) << error;
    return bytes;
}

}  // namespace

TEST(TiffSplice, CarriesWhatARewriteCarriesAndThePictureUnchanged) {
    const ColorSpace colorSpace = *ColorSpace::fromICCProfile(qvtest::makeSRGBProfile());
    struct Case {
        PixelFormat format;
        bool transparent;
        int compression;
    };
    // Many strips (8-bit rows of 900 pixels), 16 bits, alpha, and each compression.
    for (const Case c : {Case{PixelFormat::RGB8, false, 1}, Case{PixelFormat::RGBA16, true, 5},
                         Case{PixelFormat::Gray8, false, 8}, Case{PixelFormat::RGB16, false, 32773}}) {
        SCOPED_TRACE(int(c.format));
        const Bitmap picture = qvtest::makeTestBitmap(900, 700, c.format, c.transparent);
        Dictionary properties = richMetadata();
        properties[kCGImagePropertyTIFFDictionary][kCGImagePropertyTIFFCompression] = c.compression;
        properties[kCGImagePropertyOrientation] = 6;
        const Data joined = encodeWithDestination(picture, properties, colorSpace);
        const Data rewritten = encodeThenRewrite(picture, properties, colorSpace, c.compression);

        auto fast = ImageSource::createWithData(joined);
        auto slow = ImageSource::createWithData(rewritten);
        ASSERT_TRUE(fast && slow);
        EXPECT_EQ(fast->properties(), slow->properties());
        EXPECT_EQ(fast->colorSpace().iccProfile(), slow->colorSpace().iccProfile());
        EXPECT_EQ(fast->pixelWidth(), 900);
        EXPECT_EQ(fast->pixelHeight(), 700);
        const std::optional<Bitmap> decoded = fast->createImage();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(qvtest::maxDifference16(*decoded, picture), 0);
    }
}

TEST(TiffSplice, FilesThatDoNotFitTogetherAreRefused) {
    const Bitmap picture = qvtest::makeTestBitmap(64, 64, PixelFormat::RGB8);
    const Bitmap standIn = qvtest::makeTestBitmap(1, 1, PixelFormat::RGB8);
    codec::EncodeSettings settings;
    std::string error;
    Data head;
    ASSERT_TRUE(codec::encodeTiff(standIn, settings, head, error));
    if (head.size() % 2) head.push_back(0);
    const std::size_t start = head.size();
    Data joined;
    ASSERT_TRUE(codec::encodeTiff(picture, settings, joined, error, head));
    {
        Data ok = joined;
        EXPECT_TRUE(support::spliceTiffPicture(ok, start, error)) << error;
        auto source = ImageSource::createWithData(ok);
        ASSERT_TRUE(source);
        const std::optional<Bitmap> decoded = source->createImage();
        ASSERT_TRUE(decoded);
        EXPECT_EQ(qvtest::maxDifference16(*decoded, picture), 0);
    }
    Data otherOrder = joined;
    otherOrder[0] = otherOrder[1] = 'M';
    EXPECT_FALSE(support::spliceTiffPicture(otherOrder, start, error));
    EXPECT_NE(error.find("byte order"), std::string::npos);

    Data cutShort(joined.begin(), joined.end() - 40);  // the picture's directory lies at its end
    EXPECT_FALSE(support::spliceTiffPicture(cutShort, start, error));

    // A picture whose structure the head cannot take: compressed with LZW, it has a predictor
    // tag that the uncompressed head lacks.
    Data lzw;
    codec::EncodeSettings compressed;
    compressed.tiffCompression = 5;
    ASSERT_TRUE(codec::encodeTiff(picture, compressed, lzw, error, head));
    EXPECT_FALSE(support::spliceTiffPicture(lzw, start, error));
    EXPECT_NE(error.find("structure tag"), std::string::npos);

    Data odd = joined;
    EXPECT_FALSE(support::spliceTiffPicture(odd, start + 1, error));
}
