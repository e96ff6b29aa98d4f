// The document the writer produces, checked section by section with the tests' own reader.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "WriterFixture.h"

namespace {

using psdtest::makeBitmap;
using qv::PixelFormat;

class Writer : public psdtest::WriterFixture {};

std::uint32_t colour(int x, int y, int c) { return std::uint32_t((x * 13 + y * 7 + c * 60 + 1) & 0xFF); }

std::vector<std::string> folderEntries(const std::string& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

TEST_F(Writer, WritesOneRGBLayerAtEightBits) {
    const auto image = makeBitmap(9, 5, PixelFormat::RGB8, colour);
    ASSERT_TRUE(write({input("abc.tif", image)}, file("out.psd")));
    const auto doc = read(file("out.psd"));
    EXPECT_EQ(doc.version, 1);
    EXPECT_EQ(doc.channels, 3);
    EXPECT_EQ(doc.depth, 8);
    EXPECT_EQ(doc.mode, 3);
    EXPECT_EQ(doc.width, 9);
    EXPECT_EQ(doc.height, 5);

    ASSERT_TRUE(doc.resource(1000));
    EXPECT_EQ(doc.resource(1000)->data, (std::vector<std::uint8_t>{0, 3, 0, 5, 0, 9, 0, 8, 0, 3}));
    ASSERT_TRUE(doc.resource(1005));
    EXPECT_FALSE(doc.resource(1039));

    ASSERT_EQ(doc.layers.size(), 1u);
    const auto& layer = doc.layers[0];
    EXPECT_EQ(layer.channelIDs(), (std::vector<int>{0, 1, 2, -1}));
    EXPECT_EQ(layer.blendSignature, "8BIM");
    EXPECT_EQ(layer.blendMode, "norm");
    EXPECT_EQ(layer.opacity, 255);
    EXPECT_EQ(layer.flags, 0);
    EXPECT_EQ(layer.maskDataLength, 0u);
    EXPECT_EQ(layer.name, "abc");
    EXPECT_EQ(layer.paddedNameLength, 4u);
    for (int c = 0; c < 3; ++c)
        for (int y = 0; y < 5; ++y)
            for (int x = 0; x < 9; ++x) {
                EXPECT_EQ(layer.channel(c)->samples[std::size_t(y * 9 + x)], colour(x, y, c));
                EXPECT_EQ(doc.mergedPlanes[std::size_t(c)][std::size_t(y * 9 + x)], colour(x, y, c));
            }
    EXPECT_EQ(doc.mergedCompression, 1);
    ASSERT_EQ(m_statuses.size(), 1u);
    EXPECT_TRUE(m_statuses[0].succeeded());
    EXPECT_EQ(m_statuses[0].photoshopFile, file("out.psd"));
}

TEST_F(Writer, SixteenBitMergedImageCarriesThePixelsInThreePlanes) {
    const auto eight = makeBitmap(6, 4, PixelFormat::RGBA8, [](int x, int y, int c) { return c == 3 ? 255u : colour(x, y, c); });
    const auto sixteen = makeBitmap(6, 4, PixelFormat::RGB16, [](int x, int y, int c) { return std::uint32_t(x * 9001 + y * 301 + c * 7); });
    for (const auto& [image, expected] : {std::pair{eight, 257}, std::pair{sixteen, 1}}) {
        ASSERT_TRUE(write({input("in.tif", image)}, file("out.psd"), 2));
        const auto doc = read(file("out.psd"));
        EXPECT_EQ(doc.depth, 16);
        EXPECT_EQ(doc.channels, 3);
        EXPECT_EQ(doc.mergedCompression, 0);
        ASSERT_EQ(doc.mergedPlanes.size(), 3u);
        for (int c = 0; c < 3; ++c)
            for (int y = 0; y < 4; ++y)
                for (int x = 0; x < 6; ++x)
                    EXPECT_EQ(doc.mergedPlanes[std::size_t(c)][std::size_t(y * 6 + x)], psdtest::sampleAt(image, x, y, c) * std::uint32_t(expected));
        ASSERT_EQ(doc.layers.size(), 1u);
        EXPECT_EQ(doc.layers[0].channel(0)->samples[5], psdtest::sampleAt(image, 5, 0, 0) * std::uint32_t(expected));
    }
}

TEST_F(Writer, AlphaLayerCarriesTransparencyMaskAndProfile) {
    const auto profile = psdtest::makeProfile("ADBE");
    // Opaque square inside a transparent black border.
    const auto image = makeBitmap(12, 10, PixelFormat::RGBA8, [](int x, int y, int c) {
        const bool inside = x >= 2 && x < 9 && y >= 3 && y < 8;
        return inside ? (c == 3 ? 255u : colour(x, y, c)) : 0u;
    });
    ASSERT_TRUE(write({input("square.tif", image, profile)}, file("out.psd")));
    const auto doc = read(file("out.psd"));
    ASSERT_TRUE(doc.resource(1039));
    EXPECT_EQ(doc.resource(1039)->data, profile);
    ASSERT_EQ(doc.layers.size(), 1u);
    const auto& layer = doc.layers[0];
    EXPECT_EQ(layer.channelIDs(), (std::vector<int>{0, 1, 2, -1, -2}));
    EXPECT_EQ((std::vector<int>{layer.top, layer.left, layer.bottom, layer.right}), (std::vector<int>{3, 2, 8, 9}));
    EXPECT_EQ(layer.maskDataLength, 20u);
    EXPECT_EQ((std::vector<int>{layer.maskTop, layer.maskLeft, layer.maskBottom, layer.maskRight}), (std::vector<int>{3, 2, 8, 9}));
    EXPECT_EQ(layer.flags, 1);  // unfeathered
    EXPECT_EQ(layer.channel(-1)->samples, std::vector<std::uint16_t>(35, 255));
    EXPECT_EQ(layer.channel(-2)->samples, std::vector<std::uint16_t>(35, 255));
    EXPECT_EQ(layer.channel(1)->samples[0], colour(2, 3, 1));
}

TEST_F(Writer, LayersOfDifferentSizesShareOneDocumentSize) {
    const auto small = makeBitmap(20, 10, PixelFormat::RGB8, colour);
    const auto tall = makeBitmap(8, 40, PixelFormat::RGB16, [](int x, int y, int c) { return colour(x, y, c) * 256u; });
    ASSERT_TRUE(write({input("small.tif", small), input("tall.tif", tall)}, file("out.psd")));
    const auto doc = read(file("out.psd"));  // the reader checks the merged image against the header's size
    EXPECT_EQ(doc.width, 20);
    EXPECT_EQ(doc.height, 40);
    ASSERT_EQ(doc.layers.size(), 2u);
    EXPECT_EQ(doc.layers[1].name, "tall");
    EXPECT_EQ(doc.layers[1].bottom, 40);
    const auto& red = doc.mergedPlanes[0];
    EXPECT_EQ(red[std::size_t(9 * 20 + 19)], colour(19, 9, 0));
    EXPECT_EQ(red[std::size_t(10 * 20 + 0)], 0u);  // below the first input: black
    EXPECT_EQ(red[std::size_t(39 * 20 + 19)], 0u);

    // The other way round: the merged image is padded on the right.
    ASSERT_TRUE(write({input("tall.tif", tall), input("small.tif", small)}, file("out2.psd"), 2));
    const auto doc2 = read(file("out2.psd"));
    EXPECT_EQ(doc2.mergedPlanes[1][std::size_t(5 * 20 + 7)], colour(7, 5, 1) * 256u);
    EXPECT_EQ(doc2.mergedPlanes[1][std::size_t(5 * 20 + 8)], 0u);
}

TEST_F(Writer, PadsNamesToFourBytesAndOddLayerDataToEven) {
    // RGBA at 8 bits, raw, 3 x 5 pixels: five channels of 2 + 15 bytes make the layer data odd.
    const auto image = makeBitmap(3, 5, PixelFormat::RGBA8, [](int, int, int c) { return c == 3 ? 200u : 1u; });
    ASSERT_TRUE(write({input("abcd.tif", image)}, file("odd.psd")));
    const auto doc = read(file("odd.psd"));
    EXPECT_TRUE(doc.layerPadByte);
    EXPECT_EQ(doc.layers[0].paddedNameLength, 8u);
    EXPECT_EQ(doc.layerSectionLength, doc.layerInfoLength + 8);

    ASSERT_TRUE(write({input("abcd.tif", image), input("xyz.tif", image)}, file("even.psd")));
    EXPECT_FALSE(read(file("even.psd")).layerPadByte);
}

TEST_F(Writer, PackedLayerChannelsUnpackToTheSamePixels) {
    const auto image = makeBitmap(300, 7, PixelFormat::RGBA16, [](int x, int y, int c) {
        return c == 3 ? (x < 150 ? 65535u : 0u) : std::uint32_t((x / 40) * 5000 + y + c);
    });
    for (int depth : {1, 2}) {
        ASSERT_TRUE(write({input("runs.tif", image)}, file("rle.psd"), depth, kWRCompressionRLE));
        const auto doc = read(file("rle.psd"));
        const auto& layer = doc.layers[0];
        for (const auto& channel : layer.channels) EXPECT_EQ(channel.compression, 1);
        const std::uint32_t sample = psdtest::sampleAt(image, 299, 6, 2);
        EXPECT_EQ(layer.channel(2)->samples.back(), depth == 2 ? sample : (sample + 128) / 257);
        EXPECT_EQ(layer.channel(-1)->samples.back(), 0u);
    }
}

TEST_F(Writer, RefusesOversizedDocumentsAndKeepsTheEarlierFile) {
    {
        std::ofstream earlier(file("out.psd"));
        earlier << "earlier document";
    }
    const auto wide = makeBitmap(30001, 1, PixelFormat::RGB8, [](int, int, int) { return 1u; });
    EXPECT_FALSE(write({input("wide.tif", wide)}, file("out.psd")));
    ASSERT_EQ(m_alerts.size(), 1u);
    EXPECT_EQ(m_alerts[0].title, "Create photoshop file error.");
    EXPECT_EQ(m_alerts[0].message, "The width of image is too large.");
    EXPECT_EQ(m_alerts[0].button, "OK");
    ASSERT_EQ(m_statuses.size(), 1u);
    EXPECT_EQ(m_statuses[0].description, "Failed");
    EXPECT_TRUE(m_statuses[0].isFinal());

    const auto high = makeBitmap(1, 30001, PixelFormat::Gray8, [](int, int, int) { return 1u; });
    EXPECT_FALSE(write({input("high.tif", high)}, file("out.psd")));
    ASSERT_EQ(m_alerts.size(), 2u);
    EXPECT_EQ(m_alerts[1].message, "The height of image is too large.");

    std::ifstream kept(file("out.psd"));
    std::string text;
    std::getline(kept, text);
    EXPECT_EQ(text, "earlier document");
    EXPECT_EQ(folderEntries(folder()), (std::vector<std::string>{"high.tif", "out.psd", "wide.tif"}));
}

TEST_F(Writer, ReportsUnreadableInputsAsFailuresAndWritesNothing) {
    const auto image = makeBitmap(4, 4, PixelFormat::RGB8, colour);
    {
        std::ofstream junk(file("junk.tif"));
        junk << "not an image";
    }
    EXPECT_FALSE(write({input("good.tif", image), file("junk.tif")}, file("out.psd")));
    EXPECT_FALSE(write({file("missing.tif")}, file("out.psd")));
    EXPECT_FALSE(write({}, file("out.psd")));
    EXPECT_FALSE(std::filesystem::exists(file("out.psd")));
    ASSERT_EQ(m_statuses.size(), 3u);
    for (const auto& status : m_statuses) {
        EXPECT_EQ(status.description, "Failed");
        EXPECT_FALSE(status.reason.empty());
    }
    EXPECT_NE(m_statuses[0].reason.find("junk.tif"), std::string::npos);
    EXPECT_TRUE(m_alerts.empty());
}

TEST_F(Writer, ReportsAnOutputThatCannotBeCreated) {
    const auto image = makeBitmap(4, 4, PixelFormat::RGB8, colour);
    EXPECT_FALSE(write({input("in.tif", image)}, file("no/such/folder/out.psd")));
    ASSERT_EQ(m_statuses.size(), 1u);
    EXPECT_EQ(m_statuses[0].description, "Failed");
    EXPECT_NE(m_statuses[0].reason.find("out.psd"), std::string::npos);
}

TEST_F(Writer, RefusesSettingsItCannotWrite) {
    const std::string in = input("in.tif", makeBitmap(4, 4, PixelFormat::RGB8, colour));
    EXPECT_FALSE(write({in}, file("lzw.psd"), 1, 2));
    EXPECT_FALSE(write({in}, file("deep.psd"), 4));
    EXPECT_FALSE(std::filesystem::exists(file("lzw.psd")));
    EXPECT_FALSE(std::filesystem::exists(file("deep.psd")));
}

TEST_F(Writer, AllBlackLayerCoversTheWholeImage) {
    const auto black = makeBitmap(7, 3, PixelFormat::RGB8, [](int, int, int) { return 0u; });
    ASSERT_TRUE(write({input("black.tif", black)}, file("out.psd")));
    const auto doc = read(file("out.psd"));
    EXPECT_EQ((std::vector<int>{doc.layers[0].top, doc.layers[0].left, doc.layers[0].bottom, doc.layers[0].right}),
              (std::vector<int>{0, 0, 3, 7}));
}

}  // namespace
