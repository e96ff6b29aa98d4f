// The writer's output file: big-endian numbers, all-or-nothing replacement of the destination.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <iterator>

#include "common/TempDir.h"
#include "output/WROutputStream.h"

namespace {

namespace fs = std::filesystem;

std::string contents(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

std::size_t entries(const std::string& folder) {
    return std::size_t(std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

TEST(OutputStream, WritesBigEndianNumbersAndLargeRuns) {
    qvtest::TempDir dir;
    WROutputStream stream(dir.file("out"));
    stream.writeSignature("8BPS");
    stream.writeI16(-2);
    stream.writeU32(0x01020304);
    const std::string large(3 << 20, 'z');  // past the buffer
    stream.writeBytes(large.data(), large.size());
    stream.writeZeros(5);
    EXPECT_EQ(stream.position(), 4u + 2 + 4 + large.size() + 5);
    ASSERT_TRUE(stream.commit());
    const std::string bytes = contents(dir.file("out"));
    EXPECT_EQ(bytes.substr(0, 10), std::string("8BPS\xFF\xFE\x01\x02\x03\x04", 10));
    EXPECT_EQ(bytes.substr(10, large.size()), large);
    EXPECT_EQ(bytes.substr(10 + large.size()), std::string(5, '\0'));
}

TEST(OutputStream, LeavesTheEarlierFileAloneUntilCommitted) {
    qvtest::TempDir dir;
    std::ofstream(dir.file("out")) << "earlier";
    {
        WROutputStream abandoned(dir.file("out"));
        abandoned.writeBytes("half", 4);
    }
    EXPECT_EQ(contents(dir.file("out")), "earlier");
    EXPECT_EQ(entries(dir.path()), 1u);  // no temporary file left behind
}

TEST(OutputStream, KeepsPermissionsAndWritesThroughLinks) {
    qvtest::TempDir dir;
    std::ofstream(dir.file("real")) << "old";
    ASSERT_EQ(::chmod(dir.file("real").c_str(), 0640), 0);
    fs::create_symlink(dir.file("real"), dir.file("link"));
    WROutputStream stream(dir.file("link"));
    stream.writeBytes("new", 3);
    ASSERT_TRUE(stream.commit());
    EXPECT_TRUE(fs::is_symlink(dir.file("link")));
    EXPECT_EQ(contents(dir.file("real")), "new");
    struct stat st;
    ASSERT_EQ(::stat(dir.file("real").c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0640u);
}

TEST(OutputStream, RefusesToReplaceAFolder) {
    qvtest::TempDir dir;
    fs::create_directory(dir.file("folder"));
    WROutputStream stream(dir.file("folder"));
    stream.writeBytes("x", 1);
    EXPECT_FALSE(stream.commit());
    EXPECT_FALSE(stream.errorText().empty());
    EXPECT_TRUE(fs::is_directory(dir.file("folder")));
    EXPECT_EQ(entries(dir.path()), 1u);
}

}  // namespace
