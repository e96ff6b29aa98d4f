// Large TIFF pictures are decoded by several threads, each over its own run of strips or tile rows:
// every stored layout comes out with the samples the file holds, row for row, and a damaged strip
// anywhere fails the whole decode.
#include <gtest/gtest.h>

#include <tiffio.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "imageio/codecs/Codec.h"
#include "imageio/support/MemoryTiff.h"

using namespace qv;
using namespace qv::io;

namespace {

struct Layout {
    const char* name;
    std::uint16_t bps, spp, photometric, planar = PLANARCONFIG_CONTIG, compression = COMPRESSION_NONE;
    std::uint32_t rowsPerStrip = 16, tileSize = 0;  // tiled when tileSize > 0
    bool fourChannels = false;
};

// The stored sample at (x, y, channel c): different in every row and column, so that a row written
// to the wrong place, or a band read twice, shows.
unsigned stored(std::uint32_t x, std::uint32_t y, unsigned c, unsigned bps) {
    return (x * 7 + y * 131 + c * 1009 + (x ^ y)) & ((1u << bps) - 1);
}

// Rows [y0, y0 + rows) of one plane, columns [x0, x0 + columns) packed as libtiff stores them;
// columns past the picture's edge (in edge tiles) stay 0.
std::vector<std::uint8_t> pack(const Layout& l, std::uint32_t width, std::uint32_t x0, std::uint32_t columns, std::uint32_t y0,
                               std::uint32_t rows, unsigned plane) {
    const unsigned samples = l.planar == PLANARCONFIG_SEPARATE ? 1 : l.spp;
    const std::size_t rowBytes = (std::size_t(columns) * samples * l.bps + 7) / 8;
    std::vector<std::uint8_t> out(rowBytes * rows, 0);
    for (std::uint32_t r = 0; r < rows; ++r)
        for (std::uint32_t x = 0; x < columns && x0 + x < width; ++x)
            for (unsigned s = 0; s < samples; ++s) {
                const unsigned v = stored(x0 + x, y0 + r, samples == 1 ? plane : s, l.bps);
                const std::size_t i = std::size_t(x) * samples + s;
                std::uint8_t* row = out.data() + r * rowBytes;
                const std::uint16_t wide = std::uint16_t(v);
                if (l.bps == 16) std::memcpy(row + i * 2, &wide, 2);
                else if (l.bps == 8) row[i] = std::uint8_t(v);
                else if (v) row[i / 8] |= std::uint8_t(0x80 >> (i % 8));
            }
    return out;
}

// A TIFF of the layout; the strips listed in `damaged` hold 100 bytes of noise instead of their rows.
Data writeTiff(const Layout& l, std::uint32_t width, std::uint32_t height, const std::vector<std::uint32_t>& damaged = {}) {
    std::string error;
    auto file = support::MemoryTiff::openForWriting(std::size_t(width) * height * l.spp * 2, error);
    if (!file) {
        ADD_FAILURE() << error;
        return {};
    }
    TIFF* t = file->handle();
    TIFFSetField(t, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(t, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(t, TIFFTAG_BITSPERSAMPLE, l.bps);
    TIFFSetField(t, TIFFTAG_SAMPLESPERPIXEL, l.spp);
    TIFFSetField(t, TIFFTAG_PHOTOMETRIC, l.photometric);
    TIFFSetField(t, TIFFTAG_PLANARCONFIG, l.planar);
    TIFFSetField(t, TIFFTAG_COMPRESSION, l.compression);
    if (l.compression == COMPRESSION_LZW) TIFFSetField(t, TIFFTAG_PREDICTOR, PREDICTOR_HORIZONTAL);
    if (l.compression == COMPRESSION_JPEG) TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);  // RGB rows in
    if (l.photometric == PHOTOMETRIC_SEPARATED) TIFFSetField(t, TIFFTAG_INKSET, INKSET_CMYK);
    const unsigned planes = l.planar == PLANARCONFIG_SEPARATE ? l.spp : 1;
    if (l.tileSize) {
        TIFFSetField(t, TIFFTAG_TILEWIDTH, l.tileSize);
        TIFFSetField(t, TIFFTAG_TILELENGTH, l.tileSize);
        for (unsigned p = 0; p < planes; ++p)
            for (std::uint32_t y = 0; y < height; y += l.tileSize)
                for (std::uint32_t x = 0; x < width; x += l.tileSize) {
                    auto tile = pack(l, width, x, l.tileSize, y, l.tileSize, p);
                    TIFFWriteEncodedTile(t, TIFFComputeTile(t, x, y, 0, std::uint16_t(p)), tile.data(), tmsize_t(tile.size()));
                }
    } else {
        TIFFSetField(t, TIFFTAG_ROWSPERSTRIP, l.rowsPerStrip);
        const std::uint32_t stripsPerPlane = (height + l.rowsPerStrip - 1) / l.rowsPerStrip;
        const std::vector<std::uint8_t> noise(100, 0xA5);
        for (unsigned p = 0; p < planes; ++p)
            for (std::uint32_t s = 0; s < stripsPerPlane; ++s) {
                const std::uint32_t index = p * stripsPerPlane + s, y0 = s * l.rowsPerStrip;
                if (std::find(damaged.begin(), damaged.end(), index) != damaged.end()) {
                    TIFFWriteRawStrip(t, index, const_cast<std::uint8_t*>(noise.data()), tmsize_t(noise.size()));
                    continue;
                }
                auto strip = pack(l, width, 0, width, y0, std::min(l.rowsPerStrip, height - y0), p);
                TIFFWriteEncodedStrip(t, index, strip.data(), tmsize_t(strip.size()));
            }
    }
    EXPECT_TRUE(file->close()) << file->error();
    return file->takeBytes();
}

std::optional<Bitmap> decode(const Data& bytes, bool fourChannels, std::string& error) {
    codec::Limits limits;
    limits.fourChannels = fourChannels;
    return codec::makeTiffDecoder(std::make_shared<const Data>(bytes))->decode(limits, error);
}

// The decoded value of output channel c at (x, y): the stored sample at the output's depth, CMYK by
// the complement formula (no profile), and opaque alpha where RGB is widened to RGBA.
unsigned expected(const Layout& l, std::uint32_t x, std::uint32_t y, unsigned c) {
    if (c == 3) return l.bps == 16 ? 65535 : 255;
    if (l.photometric == PHOTOMETRIC_SEPARATED)
        return ((255 - stored(x, y, c, 8)) * (255 - stored(x, y, 3, 8)) + 127) / 255;
    return l.bps == 1 ? stored(x, y, 0, 1) * 255 : stored(x, y, c, l.bps);
}

// The first row of the bitmap that differs from what the layout stores, or -1.
long firstWrongRow(const Layout& l, const Bitmap& b) {
    const unsigned channels = unsigned(channelCount(b.format)), unit = unsigned(bytesPerSample(b.format));
    for (int y = 0; y < b.height; ++y)
        for (int x = 0; x < b.width; ++x)
            for (unsigned c = 0; c < channels; ++c) {
                const std::uint8_t* at = b.row(y) + (std::size_t(x) * channels + c) * unit;
                std::uint16_t wide = 0;
                if (unit == 2) std::memcpy(&wide, at, 2);
                const unsigned v = unit == 2 ? wide : *at;
                if (v != expected(l, std::uint32_t(x), std::uint32_t(y), c)) return y;
            }
    return -1;
}

// What libtiff says when asked for one strip of the file on a handle of its own.
std::string libtiffMessage(const Data& bytes, std::uint32_t strip) {
    std::string error;
    auto file = support::MemoryTiff::openForReading(bytes.data(), bytes.size(), error);
    if (!file) return error;
    std::vector<std::uint8_t> buffer(std::size_t(TIFFStripSize(file->handle())));
    TIFFReadEncodedStrip(file->handle(), strip, buffer.data(), tmsize_t(-1));  // as the decoder asks
    return file->error();
}

// The rows of a JPEG-compressed YCbCr file as libtiff decodes them on one handle, asked for RGB.
Data rowsAsLibtiffDecodes(const Data& bytes) {
    std::string error;
    auto file = support::MemoryTiff::openForReading(bytes.data(), bytes.size(), error);
    if (!file) return {};
    TIFF* t = file->handle();
    TIFFSetField(t, TIFFTAG_JPEGCOLORMODE, JPEGCOLORMODE_RGB);
    Data rows, strip(std::size_t(TIFFStripSize(t)));
    for (std::uint32_t s = 0; s < TIFFNumberOfStrips(t); ++s) {
        const tmsize_t n = TIFFReadEncodedStrip(t, s, strip.data(), tmsize_t(-1));
        rows.insert(rows.end(), strip.begin(), strip.begin() + std::max<tmsize_t>(n, 0));
    }
    return rows;
}

}  // namespace

// Widths and heights that leave a short last strip and partial edge tiles; every picture is big
// enough for the decoder to split it between threads.
TEST(TiffParallelDecode, EveryLayoutDecodesToTheStoredSamples) {
    const Layout layouts[] = {
        {"RGB8", 8, 3, PHOTOMETRIC_RGB},
        {"RGB8 widened to RGBA", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 16, 0, true},
        {"RGB16 widened to RGBA", 16, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 16, 0, true},
        {"RGB16", 16, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 7},
        {"gray8, 13-row strips", 8, 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 13},
        {"bilevel", 1, 1, PHOTOMETRIC_MINISBLACK, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 40},
        {"RGB8 LZW", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_LZW},
        {"RGB8 tiled", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_NONE, 0, 128},
        {"RGB8 separate planes", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_SEPARATE, COMPRESSION_NONE, 8},
        {"CMYK8", 8, 4, PHOTOMETRIC_SEPARATED},
    };
    for (const Layout& l : layouts) {
        SCOPED_TRACE(l.name);
        const std::uint32_t width = l.spp == 1 ? 4201 : 1501, height = 1003;
        std::string error;
        const auto bitmap = decode(writeTiff(l, width, height), l.fourChannels, error);
        ASSERT_TRUE(bitmap) << error;
        ASSERT_EQ(bitmap->width, int(width));
        ASSERT_EQ(bitmap->height, int(height));
        ASSERT_EQ(channelCount(bitmap->format), l.fourChannels ? 4 : l.spp == 1 ? 1 : 3);
        EXPECT_GE(bitmap->bytesPerRow * height, codec::kTiffParallelDecodeBytes);
        EXPECT_EQ(firstWrongRow(l, *bitmap), -1);
    }
}

// A damaged strip in the middle, in the last strip, or in two runs at once: no picture, and the
// message libtiff gave for a damaged strip on the handle that read it.
TEST(TiffParallelDecode, ADamagedStripFailsTheWholePicture) {
    const Layout plain{"RGB8", 8, 3, PHOTOMETRIC_RGB}, lzw{"RGB8 LZW", 8, 3, PHOTOMETRIC_RGB, PLANARCONFIG_CONTIG, COMPRESSION_LZW};
    const std::uint32_t width = 1501, height = 1003, strips = (height + 15) / 16;
    const std::vector<std::uint32_t> damages[] = {{strips / 2}, {strips - 1}, {strips / 4, strips * 3 / 4}};
    for (const Layout* l : {&plain, &lzw})
        for (const auto& damaged : damages) {
            SCOPED_TRACE(std::string(l->name) + ", first damaged strip " + std::to_string(damaged.front()));
            const Data bytes = writeTiff(*l, width, height, damaged);
            std::vector<std::string> messages;
            for (std::uint32_t strip : damaged) messages.push_back(libtiffMessage(bytes, strip));
            ASSERT_FALSE(messages.front().empty());
            for (bool fourChannels : {false, true}) {
                std::string error;
                EXPECT_FALSE(decode(bytes, fourChannels, error));
                EXPECT_NE(std::find(messages.begin(), messages.end(), error), messages.end()) << error;
            }
        }
}

// Every run's handle is set up as the first one is: the JPEG codec gives RGB rows, not YCbCr.
TEST(TiffParallelDecode, JpegStripsComeOutAsLibtiffDecodesThemToRgb) {
    const Layout jpeg{"RGB8 JPEG", 8, 3, PHOTOMETRIC_YCBCR, PLANARCONFIG_CONTIG, COMPRESSION_JPEG};
    const Data bytes = writeTiff(jpeg, 1501, 1003);
    std::string error;
    const auto bitmap = decode(bytes, false, error);
    ASSERT_TRUE(bitmap) << error;
    ASSERT_EQ(bitmap->format, PixelFormat::RGB8);
    EXPECT_GE(bitmap->pixels.size(), codec::kTiffParallelDecodeBytes);
    const Data expected = rowsAsLibtiffDecodes(bytes);
    ASSERT_EQ(expected.size(), bitmap->pixels.size());
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), bitmap->pixels.begin()));
}
