#include "Fixtures.h"
#include "common/TempDir.h"

#include "unwrap/ImageFile.h"
#include "unwrap/UnwrapData.h"

#include <gtest/gtest.h>

#include <sys/resource.h>

#include <algorithm>

#include <cmath>
#include <filesystem>
#include <fstream>

using namespace unwrap;
using namespace unwraptest;
namespace fs = std::filesystem;

extern "C" int unwrapFromC(const char* input, const char* output);

namespace {

class UnwrapDataTest : public testing::Test {
protected:
    void SetUp() override {
        m_jpeg = m_dir.file("fish.jpg");
        m_tiff16 = m_dir.file("fish16.tif");
        writeImage(m_jpeg, noiseImage<std::uint8_t>(120, 80, 1));
        writeImage(m_tiff16, noiseImage<std::uint16_t>(120, 80, 2));
    }

    // UnwrapData with the reasons it writes kept out of the test's output.
    int quietly(const char* in, const char* out, float w, float h, int inFOV, int outFOV, int sampler,
                unsigned long threads) {
        testing::internal::CaptureStderr();
        const int result = UnwrapData(in, out, w, h, inFOV, outFOV, sampler, threads);
        m_errors = testing::internal::GetCapturedStderr();
        return result;
    }

    Image read(const std::string& path) {
        Image image;
        readImage(path, image);
        return image;
    }

    qvtest::TempDir m_dir;
    std::string m_jpeg, m_tiff16, m_errors;
};

}  // namespace

TEST_F(UnwrapDataTest, ZeroSizeTakesTheInputsSizeAndOtherSizesAreTruncated) {
    const std::string out = m_dir.file("out.jpg");
    ASSERT_EQ(UnwrapData(m_jpeg.c_str(), out.c_str(), 0.0f, 0.0f, 180, 90, lanczos2, 4), 0);
    EXPECT_EQ(read(out).width(), 120);
    EXPECT_EQ(read(out).height(), 80);
    ASSERT_EQ(UnwrapData(m_jpeg.c_str(), out.c_str(), 100.9f, 70.2f, 180, 90, bilinear, 2), 0);
    EXPECT_EQ(read(out).width(), 100);
    EXPECT_EQ(read(out).height(), 70);
    ASSERT_EQ(UnwrapData(m_jpeg.c_str(), out.c_str(), 0.0f, 50.0f, 180, 90, bspline, 1), 0);
    EXPECT_EQ(read(out).width(), 120);
    EXPECT_EQ(read(out).height(), 80);
}

TEST_F(UnwrapDataTest, SixteenBitTiffStaysSixteenBitAndCannotBecomeJpeg) {
    const std::string tiff = m_dir.file("out.tif"), jpeg = m_dir.file("out.jpg");
    ASSERT_EQ(UnwrapData(m_tiff16.c_str(), tiff.c_str(), 0.0f, 0.0f, 180, 90, lanczos3, 4), 0);
    const Image result = read(tiff);
    EXPECT_TRUE(is16Bit(result));
    EXPECT_EQ(result.width(), 120);
    EXPECT_EQ(quietly(m_tiff16.c_str(), jpeg.c_str(), 0.0f, 0.0f, 180, 90, lanczos3, 4), -1);
    EXPECT_FALSE(fs::exists(jpeg));
}

TEST_F(UnwrapDataTest, EightBitJpegBecomesJpegOrTiff) {
    const std::string tiff = m_dir.file("out.tiff"), jpeg = m_dir.file("out.JPEG");
    ASSERT_EQ(UnwrapData(m_jpeg.c_str(), tiff.c_str(), 60.0f, 40.0f, 170, 100, gaussian, 0), 0);
    ASSERT_EQ(UnwrapData(m_jpeg.c_str(), jpeg.c_str(), 60.0f, 40.0f, 170, 100, gaussian, 3), 0);
    EXPECT_FALSE(is16Bit(read(tiff)));
    EXPECT_LE(maxDifference(read(tiff), read(jpeg)), 128u);  // the same picture, through JPEG at quality 50
}

TEST_F(UnwrapDataTest, TheResultDoesNotDependOnTheThreadCount) {
    const std::string reference = m_dir.file("reference.tif"), other = m_dir.file("other.tif");
    ASSERT_EQ(UnwrapData(m_tiff16.c_str(), reference.c_str(), 50.0f, 30.0f, 180, 120, mitchell, 0), 0);
    for (unsigned long threads : {1ul, 2ul, 7ul, 31ul, 100ul}) {
        ASSERT_EQ(UnwrapData(m_tiff16.c_str(), other.c_str(), 50.0f, 30.0f, 180, 120, mitchell, threads), 0);
        EXPECT_TRUE(sameImage(read(other), read(reference))) << threads;
    }
}

TEST_F(UnwrapDataTest, ArgumentsThatCannotBeUsedAreRefusedAndWriteNothing) {
    const std::string out = m_dir.file("refused.tif");
    const char* in = m_jpeg.c_str();
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 0, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, -30, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 0, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, -5, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 180, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 250, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), -1.0f, 10.0f, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 10.0f, -1.0f, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), NAN, 10.0f, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 10.0f, INFINITY, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0.5f, 10.0f, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 3e9f, 10.0f, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 90, -1, 2), -1);
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 90, 6, 2), -1);
    EXPECT_NE(m_errors.find("sampler"), std::string::npos);
    EXPECT_EQ(quietly(nullptr, out.c_str(), 0, 0, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(in, nullptr, 0, 0, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly("", out.c_str(), 0, 0, 180, 90, 0, 2), -1);
    EXPECT_FALSE(fs::exists(out));
    EXPECT_EQ(quietly(in, out.c_str(), 0, 0, 180, 179, 5, 2), 0);  // the bounds themselves are fine
}

TEST_F(UnwrapDataTest, UnreadableInputGivesMinusOne) {
    const std::string out = m_dir.file("out.tif");
    EXPECT_EQ(quietly(m_dir.file("absent.jpg").c_str(), out.c_str(), 0, 0, 180, 90, 0, 2), -1);
    std::ofstream(m_dir.file("broken.tif")) << "not a TIFF file at all";
    EXPECT_EQ(quietly(m_dir.file("broken.tif").c_str(), out.c_str(), 0, 0, 180, 90, 0, 2), -1);
    fs::copy_file(m_jpeg, m_dir.file("fish.png"));
    EXPECT_EQ(quietly(m_dir.file("fish.png").c_str(), out.c_str(), 0, 0, 180, 90, 0, 2), -1);
    EXPECT_NE(m_errors.find("Unsupported filetype for filename "), std::string::npos);
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(UnwrapDataTest, UnwritableOutputGivesMinusOneAndLeavesNothing) {
    EXPECT_EQ(quietly(m_jpeg.c_str(), m_dir.file("no/such/folder/out.tif").c_str(), 0, 0, 180, 90, 0, 2), -1);
    EXPECT_EQ(quietly(m_jpeg.c_str(), m_dir.file("out.png").c_str(), 0, 0, 180, 90, 0, 2), -1);
    fs::create_directory(m_dir.file("taken.jpg"));
    EXPECT_EQ(quietly(m_jpeg.c_str(), m_dir.file("taken.jpg").c_str(), 0, 0, 180, 90, 0, 2), -1);
    std::size_t entries = 0;
    for (const auto& entry : fs::directory_iterator(m_dir.path())) entries += entry.path().filename() != "" ? 1 : 0;
    EXPECT_EQ(entries, 3u);  // the two inputs and the folder
}

TEST_F(UnwrapDataTest, AnImageTooLargeForMemoryGivesMinusOne) {
    const std::string out = m_dir.file("huge.tif");
    // Past what any allocation may address: refused before the allocator is asked.
    EXPECT_EQ(quietly(m_jpeg.c_str(), out.c_str(), 2000000000.0f, 2000000000.0f, 180, 90, 0, 2), -1);
    EXPECT_NE(m_errors.find("memory"), std::string::npos);
#if !defined(QV_SANITIZED)  // the sanitizer's allocator stops the program instead of failing
    // 270 GB: the allocator itself fails, with the address space capped so that it must.
    rlimit previous;
    ASSERT_EQ(getrlimit(RLIMIT_AS, &previous), 0);
    rlimit capped = previous;
    capped.rlim_cur = std::min<rlim_t>(previous.rlim_cur, rlim_t(16) << 30);
    ASSERT_EQ(setrlimit(RLIMIT_AS, &capped), 0);
    const int result = quietly(m_jpeg.c_str(), out.c_str(), 300000.0f, 300000.0f, 180, 90, 0, 2);
    setrlimit(RLIMIT_AS, &previous);
    EXPECT_EQ(result, -1);
    EXPECT_NE(m_errors.find("memory"), std::string::npos);
#endif
    EXPECT_FALSE(fs::exists(out));
}

TEST_F(UnwrapDataTest, TheHeaderIsUsableFromC) {
    const std::string out = m_dir.file("from_c.tif");
    EXPECT_EQ(unwrapFromC(m_jpeg.c_str(), out.c_str()), 0);
    EXPECT_EQ(read(out).width(), 120);
}
