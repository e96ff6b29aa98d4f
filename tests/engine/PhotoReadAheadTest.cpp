// Reading the photo ahead for the save: taken once, for its own file only, and never when the
// file is no longer the one that was read.
#include <gtest/gtest.h>

#include <atomic>
#include <fstream>
#include <thread>

#include "common/TempDir.h"
#include "engine/PhotoReadAhead.h"
#include "foundation/Threads.h"

namespace {

void writeText(const std::string& path, const std::string& text) { std::ofstream(path, std::ios::trunc) << text; }

// A reader that stands for the decoder: a picture as wide as the file's first byte says, read
// as slowly as `delay` asks; it counts its calls.
struct FakeReader {
    std::shared_ptr<std::atomic<int>> calls = std::make_shared<std::atomic<int>>(0);
    std::chrono::milliseconds delay{0};
    QVPhotoReadAhead::Reader reader() const {
        return [calls = calls, delay = delay](const std::string& path) {
            ++*calls;
            std::this_thread::sleep_for(delay);
            std::ifstream in(path);
            const int width = in.get() - '0';
            if (width <= 0) return qv::ci::Image();
            return qv::ci::Image::fromBitmap(qv::Bitmap::make(width, 1, qv::PixelFormat::RGBA8));
        };
    }
};

class PhotoReadAheadTest : public ::testing::Test {
protected:
    void TearDown() override {
        QVPhotoReadAhead::drop();
        qv::waitForDetachedThreads(10);
    }
    qvtest::TempDir dir;
};

}  // namespace

TEST_F(PhotoReadAheadTest, TheSaveTakesWhatWasReadOnceAndOnlyForItsOwnFile) {
    const std::string photo = dir.file("a.jpg"), other = dir.file("b.jpg");
    writeText(photo, "5");
    writeText(other, "7");
    FakeReader fake;
    fake.delay = std::chrono::milliseconds(50);  // still reading when the save asks: it waits
    QVPhotoReadAhead::start(photo, fake.reader());
    EXPECT_TRUE(QVPhotoReadAhead::take(other).isNull()) << "another photo is read from its file";
    EXPECT_EQ(QVPhotoReadAhead::peek(photo).extent().width(), 5) << "the working copy looks without taking";
    const qv::ci::Image taken = QVPhotoReadAhead::take(photo);
    ASSERT_FALSE(taken.isNull());
    EXPECT_EQ(taken.extent().width(), 5);
    EXPECT_TRUE(QVPhotoReadAhead::take(photo).isNull()) << "a second save reads the file again";
    EXPECT_EQ(*fake.calls, 1);
}

TEST_F(PhotoReadAheadTest, AFileChangedSinceItWasReadIsReadAgain) {
    const std::string photo = dir.file("a.jpg");
    writeText(photo, "5");
    FakeReader fake;
    QVPhotoReadAhead::start(photo, fake.reader());
    qv::waitForDetachedThreads(10);
    // Another program writes the photo anew (a rename over it gives another file as well).
    writeText(dir.file("new.jpg"), "9");
    ASSERT_EQ(std::rename(dir.file("new.jpg").c_str(), photo.c_str()), 0);
    EXPECT_TRUE(QVPhotoReadAhead::take(photo).isNull());

    writeText(photo, "5");
    QVPhotoReadAhead::start(photo, fake.reader());
    qv::waitForDetachedThreads(10);
    writeText(photo, "55");  // rewritten in place: another size and time
    EXPECT_TRUE(QVPhotoReadAhead::take(photo).isNull());
}

TEST_F(PhotoReadAheadTest, ADroppedOrReplacedReadingIsNeverTaken) {
    const std::string first = dir.file("a.jpg"), second = dir.file("b.jpg");
    writeText(first, "5");
    writeText(second, "7");
    FakeReader fake;
    QVPhotoReadAhead::start(first, fake.reader());
    QVPhotoReadAhead::drop();
    EXPECT_TRUE(QVPhotoReadAhead::take(first).isNull());

    QVPhotoReadAhead::start(first, fake.reader());
    QVPhotoReadAhead::start(second, fake.reader());  // the next photo opened
    EXPECT_TRUE(QVPhotoReadAhead::take(first).isNull());
    EXPECT_EQ(QVPhotoReadAhead::take(second).extent().width(), 7);
}

TEST_F(PhotoReadAheadTest, NothingIsReadForAMissingFileAndAFailedReadGivesNothing) {
    FakeReader fake;
    QVPhotoReadAhead::start(dir.file("missing.jpg"), fake.reader());
    EXPECT_TRUE(QVPhotoReadAhead::take(dir.file("missing.jpg")).isNull());
    qv::waitForDetachedThreads(10);
    EXPECT_EQ(*fake.calls, 0);

    const std::string unreadable = dir.file("bad.jpg");
    writeText(unreadable, "-");  // the fake reader makes nothing of it
    QVPhotoReadAhead::start(unreadable, fake.reader());
    EXPECT_TRUE(QVPhotoReadAhead::take(unreadable).isNull());
}
