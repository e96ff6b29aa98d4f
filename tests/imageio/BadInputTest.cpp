#include <gtest/gtest.h>

#include <sys/stat.h>
#include <fcntl.h>
#include <unistd.h>
#include <zlib.h>

#include <cstring>

#include "common/TempDir.h"
#include "TestImages.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/support/ByteOrder.h"

using namespace qv;
using namespace qv::io;

namespace {

// Opens and decodes; true only when a picture came out.
bool decodes(const Data& bytes, std::string* why = nullptr) {
    std::string error;
    auto source = ImageSource::createWithData(bytes, error);
    if (source) {
        auto bitmap = source->createImage(0, {}, error);
        if (bitmap) return true;
    }
    EXPECT_FALSE(error.empty()) << "a failure must say why";
    if (why) *why = error;
    return false;
}

struct Seed {
    const char* name;
    Data bytes;
};

std::vector<Seed> seeds() {
    const Dictionary metadata = qvtest::sampleMetadata(1);
    return {{"jpeg", qvtest::encodeWithLayer(ImageType::JPEG, 64, 48, false, metadata)},
            {"tiff", qvtest::encodeWithLayer(ImageType::TIFF, 64, 48, true, metadata)},
            {"png", qvtest::encodeWithLayer(ImageType::PNG, 64, 48, false, metadata)},
            {"psd", qvtest::encodeWithLayer(ImageType::PSD, 64, 48, true, metadata)},
            {"exr", qvtest::encodeWithLayer(ImageType::OpenEXR, 64, 48, true, metadata)}};
}

void putBE32(Data& d, std::size_t at, std::uint32_t v) { support::writeBE32(d.data() + at, v); }

}  // namespace

TEST(BadInput, EmptyFilesDirectoriesAndOtherFilesFailCleanly) {
    qvtest::TempDir dir;
    std::string error;
    qvtest::writeFile(dir.file("empty.jpg"), {});
    EXPECT_FALSE(ImageSource::createWithPath(dir.file("empty.jpg"), error));
    EXPECT_FALSE(error.empty());
    ASSERT_EQ(::mkdir(dir.file("folder.jpg").c_str(), 0755), 0);
    EXPECT_FALSE(ImageSource::createWithPath(dir.file("folder.jpg"), error));
    EXPECT_NE(error.find("not a regular file"), std::string::npos) << error;
    EXPECT_FALSE(ImageSource::createWithPath(dir.file("missing.jpg"), error));
    qvtest::writeFile(dir.file("text.jpg"), Data{'h', 'e', 'l', 'l', 'o', '\n'});
    EXPECT_FALSE(ImageSource::createWithPath(dir.file("text.jpg"), error));
    EXPECT_FALSE(ImageSource::createWithData(Data{0xFF, 0xD8, 0xFF}));
    EXPECT_FALSE(ImageSource::createWithPath("/dev/null"));
}

TEST(BadInput, TruncatedFilesOfEveryFormatFail) {
    for (const auto& seed : seeds()) {
        // Cut inside the header, in the middle of the pixels, and one byte short of the end (for
        // JPEG, before its end marker).
        for (double fraction : {0.02, 0.1, 0.5, 0.8}) {
            Data cut(seed.bytes.begin(), seed.bytes.begin() + long(seed.bytes.size() * fraction));
            EXPECT_FALSE(decodes(cut)) << seed.name << " cut at " << fraction;
        }
    }
    const Data jpeg = seeds()[0].bytes;
    EXPECT_FALSE(decodes(Data(jpeg.begin(), jpeg.end() - 40))) << "the JPEG scan ends early";
}

TEST(BadInput, CorruptedFilesNeverCrash) {
    for (const auto& seed : seeds()) {
        for (std::size_t step = 7; step < seed.bytes.size(); step += seed.bytes.size() / 23 + 1) {
            Data bytes = seed.bytes;
            for (std::size_t i = step; i < std::min(bytes.size(), step + 12); ++i) bytes[i] ^= 0xA5;
            decodes(bytes);  // either answer is fine; the sanitizers judge the rest
        }
    }
    SUCCEED();
}

TEST(BadInput, CameraRawTruncatedOrCorruptedNeverCrashes) {
    const Data dng = qvtest::makeDng(64, 48, "Testmaker", "Rawcam", 1);
    for (double fraction : {0.05, 0.3, 0.6, 0.95}) decodes(Data(dng.begin(), dng.begin() + long(dng.size() * fraction)));
    Data header = dng;
    for (std::size_t i = 8; i < 200 && i < header.size(); i += 3) header[i] = 0xFF;
    decodes(header);
    SUCCEED();
}

TEST(BadInput, HeadersThatLieAboutTheSizeAreNotBelieved) {
    std::string why;
    // JPEG: the frame header says 60000 x 60000.
    Data jpeg = seeds()[0].bytes;
    for (std::size_t i = 2; i + 9 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xC0) {
            jpeg[i + 5] = 0xEA, jpeg[i + 6] = 0x60, jpeg[i + 7] = 0xEA, jpeg[i + 8] = 0x60;
            break;
        }
    EXPECT_FALSE(decodes(jpeg, &why));
    EXPECT_NE(why.find("60000"), std::string::npos) << why;

    // PSD: 30000 x 30000 at 16 bits (5 GB decoded) in a file of a few kilobytes.
    Data psd = seeds()[3].bytes;
    putBE32(psd, 14, 30000);
    putBE32(psd, 18, 30000);
    EXPECT_FALSE(decodes(psd, &why));

    // PNG: a 1,000,000 x 1,000,000 header with a correct checksum.
    Data png = seeds()[2].bytes;
    putBE32(png, 16, 1000000);
    putBE32(png, 20, 1000000);
    putBE32(png, 29, std::uint32_t(crc32(0, png.data() + 12, 17)));
    EXPECT_FALSE(decodes(png, &why));

    // TIFF: width and height rewritten in the first directory.
    Data tiff = seeds()[1].bytes;
    const std::uint32_t ifd = std::uint32_t(tiff[4]) | (std::uint32_t(tiff[5]) << 8) | (std::uint32_t(tiff[6]) << 16) |
                              (std::uint32_t(tiff[7]) << 24);
    const unsigned count = unsigned(tiff[ifd]) | (unsigned(tiff[ifd + 1]) << 8);
    for (unsigned i = 0; i < count; ++i) {
        std::uint8_t* entry = tiff.data() + ifd + 2 + i * 12;
        const unsigned tag = unsigned(entry[0]) | (unsigned(entry[1]) << 8);
        if (tag == 256 || tag == 257) {
            entry[2] = 4, entry[3] = 0;  // LONG
            const std::uint32_t huge = 200000;
            std::memcpy(entry + 8, &huge, 4);
        }
    }
    EXPECT_FALSE(decodes(tiff, &why));

    // The caller's own limit holds too.
    auto source = ImageSource::createWithData(seeds()[0].bytes);
    DecodeOptions options;
    options.maxPixels = 1000;
    std::string error;
    EXPECT_FALSE(source->createImage(0, options, error));
    EXPECT_NE(error.find("too large"), std::string::npos) << error;
}

TEST(BadInput, TheCodecsNeverPrint) {
    // Standard output and error go to a file while damaged files of every format are read.
    qvtest::TempDir dir;
    const std::string log = dir.file("log");
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = ::dup(1), savedErr = ::dup(2);
    const int sink = ::open(log.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(sink, 1);
    ::dup2(sink, 2);
    int decoded = 0;
    std::vector<Data> inputs;
    for (const auto& seed : seeds()) inputs.push_back(seed.bytes);
    inputs.push_back(qvtest::makeDng(32, 32, "Testmaker", "Rawcam", 1));
    inputs.push_back(qvtest::makeCmykJpeg(16, 16));
    for (const Data& bytes : inputs) {
        for (std::size_t cut : {bytes.size() / 3, bytes.size() - 7}) {
            Data damaged(bytes.begin(), bytes.begin() + long(cut));
            for (std::size_t i = 40; i < damaged.size(); i += 97) damaged[i] ^= 0x5A;
            if (auto source = ImageSource::createWithData(damaged))
                decoded += source->createImage().has_value();
        }
    }
    std::fflush(stdout);
    std::fflush(stderr);
    ::dup2(savedOut, 1);
    ::dup2(savedErr, 2);
    ::close(savedOut);
    ::close(savedErr);
    ::close(sink);
    EXPECT_EQ(qvtest::readFile(log), Data{}) << std::string(qvtest::readFile(log).begin(), qvtest::readFile(log).end());
    EXPECT_LT(decoded, int(inputs.size()) * 2);
}
