// One layer's channel set: how input layouts become RGB and alpha samples at 8 or 16 bits, the
// opaque rectangle, the alpha test, and the channel list with its filler.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "PsdTestReader.h"
#include "common/TempDir.h"
#include "TestImages.h"
#include "output/WBitMapa.h"
#include "output/WROutputStream.h"

namespace {

using psdtest::makeBitmap;
using qv::PixelFormat;

std::shared_ptr<const WRPixelSource> sourceOf(qv::Bitmap bitmap) {
    return WRPixelSource::make(std::make_shared<qv::Bitmap>(std::move(bitmap)));
}

std::unique_ptr<WBitMapa> channelSet(qv::Bitmap bitmap, int depth, int compression = kWRCompressionRaw) {
    QVOutputInfo info = infoForOutput();
    info._depth = std::int16_t(depth);
    info._compression = std::int16_t(compression);
    std::string error;
    auto set = WBitMapa::make(sourceOf(std::move(bitmap)), info, error);
    EXPECT_TRUE(set) << error;
    return set;
}

// The samples of one channel as the file holds them, unpacked.
std::vector<std::uint16_t> channelSamples(const WBitMapa& set, int index, int depth) {
    qvtest::TempDir dir;
    WROutputStream stream(dir.file("channel"));
    set.writeDataWithIndex(index, stream);
    EXPECT_TRUE(stream.commit());
    std::ifstream in(dir.file("channel"), std::ios::binary);
    const std::vector<std::uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_EQ(bytes.size(), set.channelLength(index));
    const WRRect r = set.imageRect();
    const std::size_t rowBytes = std::size_t(r.width()) * depth;
    std::vector<std::uint8_t> raw;
    const int compression = bytes[0] << 8 | bytes[1];
    if (compression == 0) {
        raw.assign(bytes.begin() + 2, bytes.end());
    } else {
        std::size_t offset = 2 + 2 * std::size_t(r.height());
        for (int y = 0; y < r.height(); ++y) {
            const std::size_t n = std::size_t(bytes[2 + 2 * y] << 8 | bytes[3 + 2 * y]);
            auto row = psdtest::unpackBits(bytes.data() + offset, n, rowBytes);
            EXPECT_TRUE(row);
            if (row) raw.insert(raw.end(), row->begin(), row->end());
            offset += n;
        }
        EXPECT_EQ(offset, bytes.size());
    }
    std::vector<std::uint16_t> samples(raw.size() / depth);
    for (std::size_t i = 0; i < samples.size(); ++i)
        samples[i] = depth == 2 ? std::uint16_t(raw[2 * i] << 8 | raw[2 * i + 1]) : raw[i];
    return samples;
}

TEST(OpaqueRect, CoversThePixelsWithAnyNonZeroSample) {
    auto rectOf = [](PixelFormat format, std::function<std::uint32_t(int, int, int)> f) {
        return sourceOf(makeBitmap(20, 10, format, f))->opaqueRect();
    };
    EXPECT_EQ(rectOf(PixelFormat::RGB8, [](int x, int y, int c) { return x == 7 && y == 3 && c == 2 ? 1u : 0u; }),
              (WRRect{3, 4, 7, 8}));
    EXPECT_EQ(rectOf(PixelFormat::RGB16, [](int x, int y, int c) { return (x == 2 && y == 8) || (x == 15 && y == 1 && c == 0) ? 256u : 0u; }),
              (WRRect{1, 9, 2, 16}));
    // A transparent-black picture with a single alpha sample set.
    EXPECT_EQ(rectOf(PixelFormat::RGBA8, [](int x, int y, int c) { return x == 19 && y == 9 && c == 3 ? 5u : 0u; }),
              (WRRect{9, 10, 19, 20}));
    // All black: the whole picture.
    EXPECT_EQ(rectOf(PixelFormat::RGB8, [](int, int, int) { return 0u; }), (WRRect{0, 10, 0, 20}));
}

TEST(AlphaTest, ReadsTheAlphaSampleWhereverTheLayoutKeepsIt) {
    auto unfeathered = [](PixelFormat format, std::function<std::uint32_t(int, int, int)> f) {
        return sourceOf(makeBitmap(16, 4, format, f))->hasUnfeatheredAlpha();
    };
    // Red only 0 or full, alpha soft: feathered. Red soft, alpha only 0 or full: unfeathered.
    EXPECT_FALSE(unfeathered(PixelFormat::RGBA8, [](int x, int, int c) { return c == 3 ? 128u : (x % 2 ? 255u : 0u); }));
    EXPECT_TRUE(unfeathered(PixelFormat::RGBA8, [](int x, int, int c) { return c == 3 ? (x < 8 ? 255u : 0u) : 77u; }));
    // Alpha first.
    EXPECT_TRUE(unfeathered(PixelFormat::ARGB8, [](int x, int, int c) { return c == 0 ? (x < 8 ? 255u : 0u) : 77u; }));
    EXPECT_FALSE(unfeathered(PixelFormat::ARGB8, [](int x, int, int c) { return c == 0 ? 200u : (x < 8 ? 255u : 0u); }));
    EXPECT_TRUE(unfeathered(PixelFormat::RGBA16, [](int x, int, int c) { return c == 3 ? (x < 8 ? 65535u : 0u) : 300u; }));
    EXPECT_FALSE(unfeathered(PixelFormat::RGBA16, [](int, int, int c) { return c == 3 ? 65280u : 0u; }));
    // Fully transparent is not unfeathered; without alpha there is nothing to test.
    EXPECT_FALSE(unfeathered(PixelFormat::RGBA8, [](int, int, int c) { return c == 3 ? 0u : 9u; }));
    EXPECT_FALSE(unfeathered(PixelFormat::RGB8, [](int, int, int) { return 255u; }));
}

TEST(ChannelSet, ListsColourChannelsAndAnOpaqueTransparencyWithoutAlpha) {
    auto set = channelSet(makeBitmap(5, 3, PixelFormat::RGB8, [](int x, int y, int c) { return unsigned(x + 10 * y + 100 * c); }), 1);
    ASSERT_TRUE(set);
    ASSERT_EQ(set->channelsCount(), 4);
    EXPECT_EQ(std::vector<int>({set->channelID(0), set->channelID(1), set->channelID(2), set->channelID(3)}),
              std::vector<int>({0, 1, 2, -1}));
    EXPECT_EQ(channelSamples(*set, 2, 1)[7], 2u + 10u + 200u);
    EXPECT_EQ(channelSamples(*set, 3, 1), std::vector<std::uint16_t>(15, 255));
    EXPECT_EQ(set->channelLength(0), 2u + 15u);
    EXPECT_FALSE(set->hasAlpha());
}

TEST(ChannelSet, FeatheredAlphaGoesToTheMaskAndLeavesTransparencyOpaque) {
    const auto alpha = [](int x, int y) { return unsigned(40 * x + y + 1); };
    auto set = channelSet(makeBitmap(6, 2, PixelFormat::RGBA8, [&](int x, int y, int c) { return c == 3 ? alpha(x, y) : 9u; }), 2);
    ASSERT_TRUE(set);
    ASSERT_EQ(set->channelsCount(), 5);
    EXPECT_EQ(set->channelID(3), -1);
    EXPECT_EQ(set->channelID(4), -2);
    EXPECT_FALSE(set->hasUnfeatheredAlpha());
    EXPECT_EQ(channelSamples(*set, 3, 2), std::vector<std::uint16_t>(12, 0xFFFF));
    const auto mask = channelSamples(*set, 4, 2);
    for (int y = 0; y < 2; ++y)
        for (int x = 0; x < 6; ++x) EXPECT_EQ(mask[std::size_t(y * 6 + x)], alpha(x, y) * 257u);
}

TEST(ChannelSet, UnfeatheredAlphaGoesToTransparencyAndMask) {
    auto set = channelSet(makeBitmap(4, 4, PixelFormat::RGBA8, [](int x, int, int c) { return c == 3 ? (x < 2 ? 255u : 0u) : 50u; }), 1,
                          kWRCompressionRLE);
    ASSERT_TRUE(set);
    EXPECT_TRUE(set->hasUnfeatheredAlpha());
    const auto transparency = channelSamples(*set, 3, 1);
    EXPECT_EQ(transparency, channelSamples(*set, 4, 1));
    EXPECT_EQ(transparency[0], 255u);
    EXPECT_EQ(transparency[3], 0u);
}

TEST(ChannelSet, ConvertsSamplesBetweenEightAndSixteenBits) {
    const auto eight = [](int x, int, int c) { return unsigned(x * 60 + c); };
    for (int compression : {kWRCompressionRaw, kWRCompressionRLE}) {
        auto up = channelSet(makeBitmap(5, 1, PixelFormat::RGB8, eight), 2, compression);
        EXPECT_EQ(channelSamples(*up, 1, 2), (std::vector<std::uint16_t>{257, 61 * 257, 121 * 257, 181 * 257, 241 * 257}));
        // Green keeps every column inside the opaque rectangle.
        const auto sixteen = [](int x, int, int c) {
            return c == 1 ? 1000u : std::uint32_t(std::vector<unsigned>{0, 128, 129, 65535, 257 * 77}[std::size_t(x)]);
        };
        auto exact = channelSet(makeBitmap(5, 1, PixelFormat::RGB16, sixteen), 2, compression);
        EXPECT_EQ(channelSamples(*exact, 0, 2), (std::vector<std::uint16_t>{0, 128, 129, 65535, 257 * 77}));
        auto down = channelSet(makeBitmap(5, 1, PixelFormat::RGB16, sixteen), 1, compression);
        EXPECT_EQ(channelSamples(*down, 0, 1), (std::vector<std::uint16_t>{0, 0, 1, 255, 77}));
    }
}

TEST(ChannelSet, ReadsGreyAlphaFirstPremultipliedAndFloatInputsAsStraightRGBA) {
    auto grey = channelSet(makeBitmap(3, 1, PixelFormat::Gray8, [](int x, int, int) { return unsigned(x + 1); }), 1);
    for (int c = 0; c < 3; ++c) EXPECT_EQ(channelSamples(*grey, c, 1), (std::vector<std::uint16_t>{1, 2, 3}));

    auto argb = channelSet(makeBitmap(2, 1, PixelFormat::ARGB8, [](int, int, int c) { return unsigned(10 + c); }), 1);
    EXPECT_EQ(channelSamples(*argb, 0, 1)[0], 11u);
    EXPECT_EQ(channelSamples(*argb, 2, 1)[0], 13u);
    EXPECT_EQ(channelSamples(*argb, 4, 1)[0], 10u);  // the mask carries the alpha

    qv::Bitmap premultiplied = makeBitmap(1, 1, PixelFormat::RGBA8, [](int, int, int c) { return c == 3 ? 128u : 64u; });
    premultiplied.premultiplied = true;
    auto straight = channelSet(std::move(premultiplied), 1);
    EXPECT_EQ(channelSamples(*straight, 0, 1)[0], 128u);

    qv::Bitmap floats = qv::Bitmap::make(1, 1, PixelFormat::RGBAf);
    const float pixel[4] = {0.5f, 2.0f, -1.0f, 1.0f};
    std::memcpy(floats.row(0), pixel, sizeof pixel);
    auto fromFloat = channelSet(std::move(floats), 2);
    EXPECT_EQ(channelSamples(*fromFloat, 0, 2)[0], 32768u);
    EXPECT_EQ(channelSamples(*fromFloat, 1, 2)[0], 65535u);
    EXPECT_EQ(channelSamples(*fromFloat, 2, 2)[0], 0u);
}

TEST(ChannelSet, CoversOnlyTheOpaqueRectangle) {
    auto set = channelSet(makeBitmap(10, 10, PixelFormat::RGB8, [](int x, int y, int c) { return x >= 3 && x < 6 && y == 4 ? unsigned(x + c) : 0u; }), 1);
    EXPECT_EQ(set->imageRect(), (WRRect{4, 5, 3, 6}));
    EXPECT_EQ(channelSamples(*set, 1, 1), (std::vector<std::uint16_t>{4, 5, 6}));
}

TEST(ChannelSet, RefusesCompressionsItCannotProduce) {
    QVOutputInfo info = infoForOutput();
    info._compression = 2;
    std::string error;
    EXPECT_FALSE(WBitMapa::make(sourceOf(makeBitmap(2, 2, PixelFormat::RGB8, [](int, int, int) { return 1u; })), info, error));
    EXPECT_NE(error.find("not supported"), std::string::npos);
}

}  // namespace
