// Image-resource blocks and the search for the first input's ICC profile.
#include <gtest/gtest.h>

#include <cstring>
#include <fstream>
#include <iterator>

#include "common/TempDir.h"
#include "TestImages.h"
#include "output/WRImageResource1005.h"
#include "output/WRImageResource1039.h"
#include "output/WROutputStream.h"

namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes readFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

Bytes bytesOf(const char* text) { return Bytes(text, text + std::strlen(text)); }

Bytes withProfileAt(std::size_t offset, const Bytes& profile, std::size_t trailing = 16) {
    Bytes data(offset, 'x');
    data.insert(data.end(), profile.begin(), profile.end());
    data.insert(data.end(), trailing, 'y');
    return data;
}

TEST(ProfileSearch, FindsTheProfileInsideATiffFile) {
    qvtest::TempDir dir;
    const Bytes profile = psdtest::makeProfile("Lino");
    const auto image = psdtest::makeBitmap(8, 8, qv::PixelFormat::RGB8, [](int x, int, int) { return unsigned(x); });
    psdtest::writeTiff(dir.file("p.tif"), image, profile);
    const auto resource = WRImageResource1039::initWithTIFFFile(dir.file("p.tif"));
    ASSERT_TRUE(resource);
    EXPECT_EQ(resource->profile(), profile);
    EXPECT_EQ(resource->ident(), 1039);
}

TEST(ProfileSearch, RecognisesEachSignatureItLooksFor) {
    for (const char* cmm : {"ADBE", "Lino"}) {
        const Bytes data = withProfileAt(37, psdtest::makeProfile(cmm));
        const auto found = WRImageResource1039::readProfileFromFile(data.data(), data.size());
        ASSERT_TRUE(found) << cmm;
        EXPECT_EQ(found->offset, 37u);
        EXPECT_EQ(found->size, data.size() - 37 - 16);
    }
    Bytes apple = psdtest::makeProfile("appl");
    std::memcpy(apple.data() + 40, "APPL", 4);
    const Bytes data = withProfileAt(5, apple);
    const auto found = WRImageResource1039::readProfileFromFile(data.data(), data.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, 5u);
    EXPECT_EQ(found->size, apple.size());
}

TEST(ProfileSearch, FindsNothingInAFileWithoutAProfile) {
    qvtest::TempDir dir;
    const auto image = psdtest::makeBitmap(8, 8, qv::PixelFormat::RGB8, [](int x, int, int) { return unsigned(x); });
    psdtest::writeTiff(dir.file("plain.tif"), image);
    EXPECT_FALSE(WRImageResource1039::initWithTIFFFile(dir.file("plain.tif")));
    EXPECT_FALSE(WRImageResource1039::initWithTIFFFile(dir.file("missing.tif")));
    // An "lcms" profile is not one of the kinds searched for.
    const Bytes data = withProfileAt(10, psdtest::makeProfile("lcms"));
    EXPECT_FALSE(WRImageResource1039::readProfileFromFile(data.data(), data.size()));
}

TEST(ProfileSearch, StaysInsideTheData) {
    // Signatures so near the start that the header they belong to would begin before the data.
    for (const char* text : {"ADBE and more text past the signature", "xLino", "...acspAPPL"}) {
        const Bytes data = bytesOf(text);
        EXPECT_FALSE(WRImageResource1039::readProfileFromFile(data.data(), data.size())) << text;
    }
    // Signatures at the very end, with no room for the rest of a header.
    for (const char* text : {"0123ADBE", "0123456789012345678901234567890123456789acsp"}) {
        const Bytes data = bytesOf(text);
        EXPECT_FALSE(WRImageResource1039::readProfileFromFile(data.data(), data.size())) << text;
    }
    // A profile cut short by the end of the file.
    const Bytes profile = psdtest::makeProfile("ADBE");
    Bytes truncated = withProfileAt(3, profile, 0);
    truncated.resize(truncated.size() - 1);
    EXPECT_FALSE(WRImageResource1039::readProfileFromFile(truncated.data(), truncated.size()));
}

TEST(ProfileSearch, PassesOverACandidateThatIsNoProfile) {
    // "ADBE" inside text, with a size field pointing far past the data, comes before the real profile.
    Bytes data = bytesOf("\x7f\xff\xff\xff" "ADBE in some metadata");
    const Bytes profile = psdtest::makeProfile("ADBE");
    data.insert(data.end(), profile.begin(), profile.end());
    const auto found = WRImageResource1039::readProfileFromFile(data.data(), data.size());
    ASSERT_TRUE(found);
    EXPECT_EQ(found->offset, data.size() - profile.size());
}

// A block with data of any length, to check the block framing.
class OddResource : public WRImageResource {
public:
    OddResource(std::string name, Bytes data) : WRImageResource(4000, std::move(name)), m_data(std::move(data)) {}

protected:
    std::uint32_t dataLength() const override { return std::uint32_t(m_data.size()); }
    void writeData(WROutputStream& stream) const override { stream.writeBytes(m_data.data(), m_data.size()); }

private:
    Bytes m_data;
};

Bytes written(const WRImageResource& resource) {
    qvtest::TempDir dir;
    WROutputStream stream(dir.file("block"));
    resource.writeImageResourceToStream(stream);
    EXPECT_TRUE(stream.commit());
    const Bytes bytes = readFile(dir.file("block"));
    EXPECT_EQ(bytes.size(), resource.length());
    return bytes;
}

TEST(ImageResource, ResolutionBlockHoldsSeventyFivePixelsPerInch) {
    const Bytes bytes = written(WRImageResource1005(WRResolutionInfo::fromOutputInfo(infoForOutput())));
    const Bytes expected = {'8', 'B', 'I', 'M', 0x03, 0xED, 0, 0, 0, 0, 0, 16,    0, 75, 0, 0,
                            0,   1,   0,   1,   0,    75,   0, 0, 0, 1, 0, 1};
    EXPECT_EQ(bytes, expected);
}

TEST(ImageResource, NamesAndOddDataArePaddedToEvenLengths) {
    const Bytes odd = written(OddResource("", Bytes{1, 2, 3}));
    EXPECT_EQ(odd, (Bytes{'8', 'B', 'I', 'M', 0x0F, 0xA0, 0, 0, 0, 0, 0, 3, 1, 2, 3, 0}));
    const Bytes named = written(OddResource("ab", Bytes{9, 9}));
    EXPECT_EQ(named, (Bytes{'8', 'B', 'I', 'M', 0x0F, 0xA0, 2, 'a', 'b', 0, 0, 0, 0, 2, 9, 9}));
    const Bytes evenName = written(OddResource("abc", Bytes{}));
    EXPECT_EQ(evenName, (Bytes{'8', 'B', 'I', 'M', 0x0F, 0xA0, 3, 'a', 'b', 'c', 0, 0, 0, 0}));
}

}  // namespace
