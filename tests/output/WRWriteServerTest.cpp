// The write server: writes on threads of their own, started from several threads at once, each
// reporting how it ended; the start-up time limit; and the entry that writes encoded image data.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <set>
#include <thread>

#include "WriterFixture.h"
#include "foundation/Paths.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "output/QV16BitImageCreator.h"
#include "output/WRWriteServer.h"

namespace {

using psdtest::makeBitmap;
using qv::PixelFormat;
namespace fs = std::filesystem;

class WriteServer : public psdtest::WriterFixture {
protected:
    // Waits for `count` final statuses; the writes report from their own threads.
    bool waitForStatuses(std::size_t count) {
        for (int i = 0; i < 3000; ++i) {
            {
                std::lock_guard<std::mutex> guard(m_lock);
                if (m_statuses.size() >= count) return true;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return false;
    }

    static int runningWriterThreads() {
        std::lock_guard<std::mutex> guard(WRWriter::threadCountLock());
        return WRWriter::threadCount();
    }

    static bool waitForNoWriterThreads() {
        for (int i = 0; i < 3000 && runningWriterThreads() != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        return runningWriterThreads() == 0;
    }
};

qv::Bitmap pattern(int seed, int w, int h) {
    return makeBitmap(w, h, PixelFormat::RGB8, [=](int x, int y, int c) { return std::uint32_t((x * seed + y + c * 40 + 1) & 0xFF); });
}

TEST_F(WriteServer, WritesSeveralFilesFromSeveralThreadsAndReportsEachOne) {
    constexpr int kCallers = 6;
    std::vector<std::string> inputs;
    for (int i = 0; i < kCallers; ++i) inputs.push_back(input("in" + std::to_string(i) + ".tif", pattern(i + 2, 20 + i, 10 + 2 * i)));
    const std::string unreadable = file("unreadable.tif");
    std::ofstream(unreadable) << "no pixels here";

    std::vector<std::thread> callers;
    std::atomic<int> started{0};
    for (int i = 0; i < kCallers; ++i) {
        callers.emplace_back([&, i] {
            auto proxy = createPhotoshopWriteServer(delegate());
            if (!proxy) return;
            WRWriteRequest request;
            // The last caller sends an input that cannot be read, alongside a good one.
            request.files = i == kCallers - 1 ? std::vector<std::string>{inputs[0], unreadable}
                                              : std::vector<std::string>{inputs[std::size_t(i)], inputs[0]};
            request.photoshopFile = file("out" + std::to_string(i) + ".psd");
            request.info._depth = std::int16_t(1 + i % 2);
            if (proxy->writePhotoshopFile(request)) ++started;
        });  // the proxy goes at the end of the caller, after its write has finished
    }
    for (auto& t : callers) t.join();
    EXPECT_EQ(started.load(), kCallers);
    ASSERT_TRUE(waitForStatuses(kCallers));

    std::set<std::string> reported;
    for (const WRStatus& s : m_statuses) {
        EXPECT_TRUE(s.isFinal());
        reported.insert(s.photoshopFile);
        const bool bad = s.photoshopFile == file("out" + std::to_string(kCallers - 1) + ".psd");
        EXPECT_EQ(s.description, bad ? "Failed" : "File created") << s.photoshopFile << " " << s.reason;
    }
    EXPECT_EQ(reported.size(), std::size_t(kCallers));
    for (int i = 0; i < kCallers - 1; ++i) {
        const auto doc = read(file("out" + std::to_string(i) + ".psd"));
        EXPECT_EQ(doc.depth, 8 * (1 + i % 2));
        ASSERT_EQ(doc.layers.size(), 2u);
        EXPECT_EQ(doc.layers[0].name, "in" + std::to_string(i));
    }
    EXPECT_FALSE(fs::exists(file("out" + std::to_string(kCallers - 1) + ".psd")));
    EXPECT_EQ(runningWriterThreads(), 0);
}

TEST_F(WriteServer, GivesUpOnAWriterThatDoesNotStartInTime) {
    {
        // A writer thread counts itself in before it says it is ready; holding the lock stalls it.
        std::lock_guard<std::mutex> stall(WRWriter::threadCountLock());
        EXPECT_FALSE(createPhotoshopWriteServer(delegate(), std::chrono::milliseconds(50)));
    }
    // Released, the abandoned thread starts, finds nothing to write and ends without a word.
    EXPECT_TRUE(waitForNoWriterThreads());
    EXPECT_TRUE(m_statuses.empty());
}

TEST_F(WriteServer, AProxyServesOneWriteAndEndsItsThread) {
    const std::string in = input("one.tif", pattern(3, 8, 8));
    auto proxy = createPhotoshopWriteServer(delegate());
    ASSERT_TRUE(proxy);
    EXPECT_TRUE(proxy->writePhotoshopFile(WRWriteRequest{{in}, file("first.psd"), infoForOutput()}));
    EXPECT_FALSE(proxy->writePhotoshopFile(WRWriteRequest{{in}, file("second.psd"), infoForOutput()}));
    ASSERT_TRUE(waitForStatuses(1));
    EXPECT_TRUE(m_statuses[0].succeeded());
    proxy.reset();
    EXPECT_FALSE(fs::exists(file("second.psd")));

    auto idle = createPhotoshopWriteServer(delegate());
    ASSERT_TRUE(idle);
    idle.reset();  // never asked to write: its thread ends
    EXPECT_EQ(runningWriterThreads(), 0);
    EXPECT_EQ(m_statuses.size(), 1u);
}

std::vector<std::uint8_t> tiffBytes(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<std::uint8_t>((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

TEST_F(WriteServer, WritesEncodedImageDataAsASixteenBitDocument) {
    const auto profile = psdtest::makeProfile("Lino");
    const auto image = pattern(5, 16, 9);
    const auto data = tiffBytes(input("source.tif", image, profile));
    {
        QV16BitImageCreator creator(delegate());
        ASSERT_TRUE(creator.writePSD(data, file("out.psd")));
        ASSERT_TRUE(waitForStatuses(1));
    }
    EXPECT_TRUE(m_statuses[0].succeeded()) << m_statuses[0].reason;
    const auto doc = read(file("out.psd"));
    EXPECT_EQ(doc.depth, 16);
    ASSERT_EQ(doc.layers.size(), 1u);
    EXPECT_EQ(doc.layers[0].name, "temp");
    ASSERT_TRUE(doc.resource(1039));
    EXPECT_EQ(doc.resource(1039)->data, profile);
    EXPECT_EQ(doc.mergedPlanes[2][17], psdtest::sampleAt(image, 1, 1, 2) * 257u);
    // The scratch copy of the data is gone once the write has ended.
    EXPECT_TRUE(fs::is_empty(qv::paths::appendingPathComponent(qv::paths::temporaryFolder(), "QuorvelCI")));
}

TEST_F(WriteServer, WritesJpegDataWithThePixelsTheImageReaderDecodes) {
    qv::Data jpeg;
    {
        auto destination = qv::io::ImageDestination::createWithData(jpeg, "public.jpeg");
        ASSERT_TRUE(destination);
        destination->addImage(pattern(7, 24, 16), qv::Dictionary{});
        ASSERT_TRUE(destination->finalize());
    }
    const auto decoded = qv::io::ImageSource::createWithData(jpeg)->createImage();
    ASSERT_TRUE(decoded);
    {
        QV16BitImageCreator creator(delegate());
        ASSERT_TRUE(creator.writePSD(jpeg, file("photo.psd")));
    }
    ASSERT_EQ(m_statuses.size(), 1u);
    EXPECT_TRUE(m_statuses[0].succeeded()) << m_statuses[0].reason;
    const auto doc = read(file("photo.psd"));
    ASSERT_EQ(doc.width, 24);
    ASSERT_EQ(doc.height, 16);
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 24; ++x)
            for (int c = 0; c < 3; ++c)
                EXPECT_EQ(doc.mergedPlanes[std::size_t(c)][std::size_t(y * 24 + x)], psdtest::sampleAt(*decoded, x, y, c) * 257u);
}

TEST_F(WriteServer, WritesFromSeveralThreadsThroughOneEntryWithoutMixingInputs) {
    constexpr int kWrites = 5;
    std::vector<std::vector<std::uint8_t>> data;
    for (int i = 0; i < kWrites; ++i) data.push_back(tiffBytes(input("s" + std::to_string(i) + ".tif", pattern(i + 1, 10 + i, 6))));
    {
        QV16BitImageCreator creator(delegate());
        std::vector<std::thread> callers;
        for (int i = 0; i < kWrites; ++i)
            callers.emplace_back([&, i] { EXPECT_TRUE(creator.writePSD(data[std::size_t(i)], file("w" + std::to_string(i) + ".psd"))); });
        for (auto& t : callers) t.join();
    }  // the entry waits for its writes as it goes
    ASSERT_EQ(m_statuses.size(), std::size_t(kWrites));
    for (int i = 0; i < kWrites; ++i) {
        const auto doc = read(file("w" + std::to_string(i) + ".psd"));
        EXPECT_EQ(doc.width, 10 + i);
        EXPECT_EQ(doc.mergedPlanes[0][3], pattern(i + 1, 10 + i, 6).pixels[3 * 3] * 257u);
        EXPECT_TRUE(doc.resource(1000) && doc.resource(1005));
        EXPECT_FALSE(doc.resource(1039));  // the inputs carry no profile
    }
}

TEST_F(WriteServer, ReportsDataThatIsNoImageAsAFailure) {
    {
        QV16BitImageCreator creator(delegate());
        const std::string text = "plain text, not an image";
        ASSERT_TRUE(creator.writePSD(std::vector<std::uint8_t>(text.begin(), text.end()), file("out.psd")));
    }
    ASSERT_EQ(m_statuses.size(), 1u);
    EXPECT_EQ(m_statuses[0].description, "Failed");
    EXPECT_NE(m_statuses[0].reason.find("temp.jpg"), std::string::npos);
    EXPECT_FALSE(fs::exists(file("out.psd")));
}

}  // namespace
