#include "Fixtures.h"
#include "common/TempDir.h"

#include "unwrap/ImageFile.h"

#include <boost/gil/extension/io/jpeg.hpp>
#include <boost/gil/extension/io/tiff.hpp>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <jpeglib.h>

using namespace unwrap;
using namespace unwraptest;
namespace fs = std::filesystem;

namespace {

std::string contentsOf(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void writeBytes(const std::string& path, const std::string& bytes) {
    std::ofstream(path, std::ios::binary) << bytes;
}

std::size_t entriesIn(const std::string& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// The first entry of the luminance quantisation table: 16 at quality 50 (the base table unscaled).
int firstLuminanceQuantum(const std::string& path) {
    FILE* file = std::fopen(path.c_str(), "rb");
    if (!file) return -1;
    jpeg_decompress_struct codec;
    jpeg_error_mgr errors;
    codec.err = jpeg_std_error(&errors);
    jpeg_create_decompress(&codec);
    jpeg_stdio_src(&codec, file);
    jpeg_read_header(&codec, TRUE);
    const int quantum = codec.quant_tbl_ptrs[0] ? codec.quant_tbl_ptrs[0]->quantval[0] : -1;
    jpeg_destroy_decompress(&codec);
    std::fclose(file);
    return quantum;
}

// A TIFF header and one directory claiming a huge image, with no pixel data behind it.
std::string hugeTiffHeader(unsigned long width, unsigned long height) {
    std::string bytes = {'I', 'I', 42, 0, 8, 0, 0, 0};
    const auto u16 = [&](unsigned v) { bytes += char(v & 0xff), bytes += char(v >> 8); };
    const auto u32 = [&](unsigned long v) { u16(unsigned(v & 0xffff)), u16(unsigned(v >> 16)); };
    const auto entry = [&](unsigned tag, unsigned type, unsigned long count, unsigned long value) {
        u16(tag), u16(type), u32(count), u32(value);
    };
    u16(8);
    entry(256, 4, 1, width);         // ImageWidth
    entry(257, 4, 1, height);        // ImageLength
    entry(258, 3, 1, 8);             // BitsPerSample (one value serves all samples)
    entry(262, 3, 1, 2);             // Photometric: RGB
    entry(273, 4, 1, 8);             // StripOffsets
    entry(277, 3, 1, 3);             // SamplesPerPixel
    entry(278, 4, 1, height);        // RowsPerStrip: one strip
    entry(279, 4, 1, 100);           // StripByteCounts
    u32(0);
    return bytes;
}

}  // namespace

TEST(ImageFile, TheFileTypeComesFromTheLastPieceOfTheName) {
    EXPECT_EQ(formatFromString("photo.JPG"), kJpegFile);
    EXPECT_EQ(formatFromString("photo.jpeg"), kJpegFile);
    EXPECT_EQ(formatFromString("a.b.TIFF"), kTiffFile);
    EXPECT_EQ(formatFromString("scan..tif"), kTiffFile);
    EXPECT_EQ(formatFromString("jpg"), kJpegFile);
    EXPECT_EQ(formatFromString("photo.png"), kUnsupportedFile);
    EXPECT_EQ(formatFromString("photo."), kUnsupportedFile);
    EXPECT_EQ(formatFromString("tif/photo"), kUnsupportedFile);
    EXPECT_EQ(formatFromString(""), kUnsupportedFile);
}

TEST(ImageFile, TiffRoundTripsExactlyInEightAndSixteenBits) {
    qvtest::TempDir dir;
    const Image eight = noiseImage<std::uint8_t>(37, 23, 1);
    const Image sixteen = noiseImage<std::uint16_t>(37, 23, 2);
    writeImage(dir.file("eight.tif"), eight);
    writeImage(dir.file("sixteen.TIFF"), sixteen);
    Image back8, back16;
    readImage(dir.file("eight.tif"), back8);
    readImage(dir.file("sixteen.TIFF"), back16);
    EXPECT_TRUE(sameImage(back8, eight));
    EXPECT_TRUE(sameImage(back16, sixteen));
    EXPECT_TRUE(is16Bit(back16));
    EXPECT_FALSE(is16Bit(back8));
    EXPECT_EQ(entriesIn(dir.path()), 2u);  // nothing left beside the files
}

TEST(ImageFile, JpegRoundTripsCloselyAtQualityFifty) {
    qvtest::TempDir dir;
    const Image smooth = makeImage<std::uint8_t>(64, 48, [](int x, int y, int c) { return unsigned(2 * x + y + 20 * c); });
    writeImage(dir.file("smooth.jpg"), smooth);
    EXPECT_EQ(firstLuminanceQuantum(dir.file("smooth.jpg")), 16);
    Image back;
    readImage(dir.file("smooth.jpg"), back);
    EXPECT_FALSE(is16Bit(back));
    ASSERT_EQ(back.width(), 64);
    ASSERT_EQ(back.height(), 48);
    EXPECT_LE(maxDifference(back, smooth), 12u);
}

TEST(ImageFile, SixteenBitsAsJpegAreRefusedBeforeAnyFileIsOpened) {
    qvtest::TempDir dir;
    const Image sixteen = noiseImage<std::uint16_t>(8, 8);
    EXPECT_THROW(writeImage(dir.file("deep.jpg"), sixteen), std::ios_base::failure);
    EXPECT_EQ(entriesIn(dir.path()), 0u);
    writeBytes(dir.file("kept.jpg"), "earlier contents");
    EXPECT_THROW(writeImage(dir.file("kept.jpg"), sixteen), std::ios_base::failure);
    EXPECT_EQ(contentsOf(dir.file("kept.jpg")), "earlier contents");
    EXPECT_THROW(checkWritable(dir.file("deep.jpeg"), gil::const_view(sixteen)), std::ios_base::failure);
    EXPECT_NO_THROW(checkWritable(dir.file("deep.tif"), gil::const_view(sixteen)));
}

TEST(ImageFile, AFailedWriteLeavesNothingBehind) {
    qvtest::TempDir dir;
    const Image image = noiseImage<std::uint8_t>(8, 8);
    EXPECT_THROW(writeImage(dir.file("missing/out.tif"), image), std::ios_base::failure);
    fs::create_directory(dir.file("taken.tif"));
    EXPECT_THROW(writeImage(dir.file("taken.tif"), image), std::ios_base::failure);
    EXPECT_EQ(entriesIn(dir.path()), 1u);  // the folder, and no temporary file
    EXPECT_TRUE(fs::is_directory(dir.file("taken.tif")));
    EXPECT_THROW(writeImage(dir.file("out.png"), image), std::ios_base::failure);
    // JPEG cannot hold an image this wide: the codec's failure, after the file was begun.
    const Image wide = flatImage<std::uint8_t>(70000, 1, 1, 1, 1);
    EXPECT_THROW(writeImage(dir.file("wide.jpg"), wide), std::ios_base::failure);
    EXPECT_EQ(entriesIn(dir.path()), 1u);
}

TEST(ImageFile, ReplacingAFileKeepsItsPermissions) {
    qvtest::TempDir dir;
    const std::string path = dir.file("kept.tif");
    writeImage(path, noiseImage<std::uint8_t>(4, 4, 1));
    ASSERT_EQ(::chmod(path.c_str(), 0640), 0);
    const Image second = noiseImage<std::uint8_t>(5, 3, 2);
    writeImage(path, second);
    struct stat info;
    ASSERT_EQ(::stat(path.c_str(), &info), 0);
    EXPECT_EQ(info.st_mode & 0777, 0640u);
    Image back;
    readImage(path, back);
    EXPECT_TRUE(sameImage(back, second));
}

TEST(ImageFile, LayoutsOtherThanRgbAreRefused) {
    qvtest::TempDir dir;
    gil::write_view(dir.file("grey.jpg"), gil::const_view(gil::gray8_image_t(8, 8)), gil::jpeg_tag());
    gil::write_view(dir.file("alpha.tif"), gil::const_view(gil::rgba8_image_t(8, 8)), gil::tiff_tag());
    gil::write_view(dir.file("grey.tif"), gil::const_view(gil::gray16_image_t(8, 8)), gil::tiff_tag());
    for (const char* name : {"grey.jpg", "alpha.tif", "grey.tif"}) {
        Image image;
        EXPECT_THROW(readImage(dir.file(name), image), std::ios_base::failure) << name;
    }
}

TEST(ImageFile, UnreadableFilesFail) {
    qvtest::TempDir dir;
    Image image;
    EXPECT_THROW(readImage(dir.file("absent.jpg"), image), std::ios_base::failure);
    writeBytes(dir.file("garbage.jpg"), std::string(300, 'x'));
    EXPECT_THROW(readImage(dir.file("garbage.jpg"), image), std::ios_base::failure);
    writeBytes(dir.file("garbage.tif"), std::string(300, 'x'));
    EXPECT_THROW(readImage(dir.file("garbage.tif"), image), std::ios_base::failure);
    writeImage(dir.file("whole.tif"), noiseImage<std::uint8_t>(64, 64));
    writeBytes(dir.file("cut.tif"), contentsOf(dir.file("whole.tif")).substr(0, 2000));
    EXPECT_THROW(readImage(dir.file("cut.tif"), image), std::ios_base::failure);
    fs::create_directory(dir.file("folder.tif"));
    EXPECT_THROW(readImage(dir.file("folder.tif"), image), std::ios_base::failure);
    try {
        readImage(dir.file("photo.png"), image);
        ADD_FAILURE() << "a PNG name was read";
    } catch (const std::ios_base::failure& e) {
        EXPECT_NE(std::string(e.what()).find("Unsupported filetype for filename " + dir.file("photo.png")),
                  std::string::npos);
    }
}

TEST(ImageFile, AFileClaimingASizeAboveThePixelLimitIsRefusedAtItsHeader) {
    qvtest::TempDir dir;
    // 30 GB, and 3e13 bytes, claimed by files of a few dozen bytes; 2^28 pixels is the limit.
    for (const auto& [width, height] : std::vector<std::pair<unsigned long, unsigned long>>{
             {100000ul, 100000ul}, {1000000ul, 10000000ul}, {16385ul, 16384ul}, {1ul, 268435457ul}}) {
        SCOPED_TRACE(std::to_string(width) + " x " + std::to_string(height));
        const std::string bytes = hugeTiffHeader(width, height);
        ASSERT_LT(bytes.size(), 120u);
        writeBytes(dir.file("huge.tif"), bytes);
        Image image;
        try {
            readImage(dir.file("huge.tif"), image);
            ADD_FAILURE() << "read";
        } catch (const std::ios_base::failure& e) {
            EXPECT_NE(std::string(e.what()).find("above the limit of 268435456 pixels"), std::string::npos) << e.what();
        }
        EXPECT_EQ(image.width(), 0);
    }
}
