// PackBits packing of PSD rows: round trips through the tests' own unpacker, the packet limits of
// the scheme, and the 127-byte pieces rows are cut into.
#include <gtest/gtest.h>

#include <random>

#include "PsdTestReader.h"
#include "output/RLE.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Packet {
    bool repeat;
    std::size_t count;
};

// Splits packed data into packets, failing the test on a 0x80 header or a truncated packet.
std::vector<Packet> packetsOf(const Bytes& packed) {
    std::vector<Packet> packets;
    for (std::size_t i = 0; i < packed.size();) {
        const int header = static_cast<std::int8_t>(packed[i++]);
        EXPECT_NE(header, -128) << "no-op header written at " << i - 1;
        if (header >= 0) {
            packets.push_back({false, std::size_t(header) + 1});
            i += std::size_t(header) + 1;
        } else {
            packets.push_back({true, std::size_t(1 - header)});
            i += 1;
        }
        EXPECT_LE(i, packed.size()) << "packet runs past the data";
    }
    return packets;
}

Bytes run(std::size_t n, std::uint8_t v) { return Bytes(n, v); }
Bytes concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
}
Bytes alternating(std::size_t n) {
    Bytes out(n);
    for (std::size_t i = 0; i < n; ++i) out[i] = i % 2 ? 0xFF : 0x00;
    return out;
}
Bytes randomBytes(std::size_t n, unsigned seed, int range = 256) {
    std::mt19937 rng(seed);
    Bytes out(n);
    for (auto& b : out) b = static_cast<std::uint8_t>(rng() % unsigned(range));
    return out;
}

struct Sample {
    const char* name;
    Bytes bytes;
};

class PackBitsRoundTrip : public testing::TestWithParam<Sample> {};

TEST_P(PackBitsRoundTrip, UnpacksToTheSourceWithinTheSchemeLimits) {
    const Bytes& source = GetParam().bytes;
    Bytes row{0xEE};  // encode appends
    const std::size_t written = RLE::encode(source.data(), source.size(), row);
    EXPECT_EQ(written, row.size() - 1);
    EXPECT_LE(written, RLE::getMaxEncoded(source.size()));
    row.erase(row.begin());
    const auto unpacked = psdtest::unpackBits(row.data(), row.size(), source.size());
    ASSERT_TRUE(unpacked);
    EXPECT_EQ(*unpacked, source);
    // Packets hold at most 128 bytes, repeat at least three, and none crosses the edge of a
    // 127-byte piece.
    std::size_t decoded = 0;
    for (const Packet& p : packetsOf(row)) {
        EXPECT_LE(p.count, 128u);
        if (p.repeat) {
            EXPECT_GE(p.count, 3u);
        }
        EXPECT_EQ(decoded / 127, (decoded + p.count - 1) / 127) << "packet crosses a piece edge at " << decoded;
        decoded += p.count;
    }
}

INSTANTIATE_TEST_SUITE_P(
    WorstCases, PackBitsRoundTrip,
    testing::Values(Sample{"Empty", {}}, Sample{"OneByte", {7}}, Sample{"OneByte0x80", {0x80}},
                    Sample{"RunOf2", run(2, 9)}, Sample{"RunOf3", run(3, 9)}, Sample{"RunOf127", run(127, 1)},
                    Sample{"RunOf128", run(128, 1)}, Sample{"RunOf129", run(129, 1)}, Sample{"RunOf300", run(300, 0xAA)},
                    Sample{"RunOf1000", run(1000, 0)}, Sample{"Alternating1", alternating(1)},
                    Sample{"Alternating255", alternating(255)}, Sample{"Alternating1000", alternating(1000)},
                    Sample{"PairsBetweenLiterals", concat({run(2, 5), Bytes{1}, run(2, 6), Bytes{2}})},
                    Sample{"LongRunBetweenLiterals", concat({Bytes{1, 2}, run(200, 3), Bytes{4}})},
                    Sample{"LiteralsAroundRunOf129", concat({alternating(127), run(129, 7), alternating(3)})},
                    Sample{"Random", randomBytes(5000, 1)}, Sample{"RandomFewValues", randomBytes(5000, 2, 3)}),
    [](const testing::TestParamInfo<Sample>& info) { return std::string(info.param.name); });

TEST(PackBits, AlternatingBytesCostAtMostOneHeaderPer127) {
    const Bytes source = alternating(1270);
    Bytes packed;
    RLE::encode(source.data(), source.size(), packed);
    EXPECT_EQ(packed.size(), 1270u + 10u);
    EXPECT_EQ(RLE::getMaxEncoded(1270), 1280u);
}

TEST(PackBits, LongRunsArePackedPieceByPiece) {
    const Bytes source = run(300, 0x42);
    Bytes packed;
    RLE::encode(source.data(), source.size(), packed);
    EXPECT_EQ(packed, (Bytes{0x82, 0x42, 0x82, 0x42, 0xD3, 0x42}));  // 127 + 127 + 46
}

TEST(PackedPlane, EveryRowUnpacksInOrderFromItsCount) {
    const int rows = 333;  // several blocks of rows, the last one short
    const std::size_t rowBytes = 517;
    const Bytes pixels = randomBytes(rows * rowBytes, 4, 5);
    WRPackedPlane plane;
    ASSERT_TRUE(packPlane(rows, rowBytes,
                          [&](int y, std::uint8_t*) { return pixels.data() + std::size_t(y) * rowBytes; },
                          plane));
    ASSERT_EQ(plane.rowCounts.size(), std::size_t(rows));
    std::size_t offset = 0;
    for (int y = 0; y < rows; ++y) {
        const std::size_t n = plane.rowCounts[std::size_t(y)];
        ASSERT_LE(offset + n, plane.data.size());
        const auto row = psdtest::unpackBits(plane.data.data() + offset, n, rowBytes);
        ASSERT_TRUE(row) << "row " << y;
        EXPECT_TRUE(std::equal(row->begin(), row->end(), pixels.begin() + std::ptrdiff_t(y * rowBytes))) << "row " << y;
        offset += n;
    }
    EXPECT_EQ(offset, plane.data.size());
}

TEST(PackedPlane, RefusesRowsWhoseCountWouldOverflow) {
    WRPackedPlane plane;
    Bytes scratchRow(70000, 1);
    EXPECT_FALSE(packPlane(1, scratchRow.size(),
                           [&](int, std::uint8_t*) { return scratchRow.data(); },
                           plane));
}

}  // namespace
