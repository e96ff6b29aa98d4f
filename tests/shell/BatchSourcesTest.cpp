// The batch's sources and their expansion, the progress timer's arithmetic, and the source
// list's image-and-text cell.
#include <gtest/gtest.h>

#include <cmath>

#include "common/TempDir.h"
#include "coreimage/CIContext.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"
#include "shell/batch/BatchPipeline.h"
#include "shell/batch/BatchProgress.h"
#include "shell/batch/BatchSources.h"
#include "shell/batch/ImageAndTextCell.h"

using namespace batch;

namespace {

void touch(const std::string& path) { ASSERT_TRUE(qv::files::writeWhole(path, std::string_view("x"))); }

// in/a.jpg, in/B.JPG, in/notes.txt, in/sub/c.tif, in/sub/deeper/d.NEF
class BatchSourcesTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(qv::files::createFolder(dir.file("in/sub/deeper"), true));
        for (const char* name : {"in/a.jpg", "in/B.JPG", "in/notes.txt", "in/sub/c.tif", "in/sub/deeper/d.NEF"})
            touch(dir.file(name));
    }
    qvtest::TempDir dir;
};

}  // namespace

TEST_F(BatchSourcesTest, AFolderGivesItsOwnPhotosOrThoseAtEveryDepthInAnyLetterCase) {
    SourceList list;
    list.add({dir.file("in")});
    EXPECT_EQ(readFilesFromSources(list), (std::vector<std::string>{dir.file("in/B.JPG"), dir.file("in/a.jpg")}));
    list.subFolders[0] = true;
    EXPECT_EQ(readFilesFromSources(list),
              (std::vector<std::string>{dir.file("in/B.JPG"), dir.file("in/a.jpg"), dir.file("in/sub/c.tif"),
                                        dir.file("in/sub/deeper/d.NEF")}));
}

TEST_F(BatchSourcesTest, APlainFileIsTakenWhateverItsExtension) {
    SourceList list;
    list.add({dir.file("in/notes.txt"), dir.file("missing.raw")});
    EXPECT_EQ(readFilesFromSources(list), (std::vector<std::string>{dir.file("in/notes.txt"), dir.file("missing.raw")}));
}

TEST_F(BatchSourcesTest, TheSameFolderTwiceKeepsOneFlagPerRowAlsoAfterARemoval) {
    SourceList list;
    list.add({dir.file("in/a.jpg"), dir.file("in/sub"), dir.file("in/sub")});
    list.subFolders[2] = true;
    EXPECT_EQ(readFilesFromSources(list).size(), 1u + 1u + 2u);
    list.remove(0);
    ASSERT_EQ(list.size(), 2u);
    EXPECT_EQ(list.subFolders, (std::vector<bool>{false, true}));
    EXPECT_EQ(readFilesFromSources(list),
              (std::vector<std::string>{dir.file("in/sub/c.tif"), dir.file("in/sub/c.tif"),
                                        dir.file("in/sub/deeper/d.NEF")}));
    list.remove(7);
    list.remove(-1);
    EXPECT_EQ(list.size(), 2u);
    EXPECT_TRUE(list.isFolderRow(0));
}

TEST_F(BatchSourcesTest, ADropKeepsFoldersAndPhotosAndAFolderNamedLikeAPhotoTwice) {
    ASSERT_TRUE(qv::files::createFolder(dir.file("x.jpg")));
    const std::vector<std::string> kept = validImageFilesFromArray(
        {dir.file("in"), dir.file("in/notes.txt"), dir.file("x.jpg"), dir.file("in/B.JPG"), dir.file("gone.cr2")});
    EXPECT_EQ(kept, (std::vector<std::string>{dir.file("in"), dir.file("x.jpg"), dir.file("x.jpg"), dir.file("in/B.JPG"),
                                              dir.file("gone.cr2")}));
}

TEST(BatchProgress, OnePhotoFillsTheBarAtTheFirstTickAndHoldsItBeforeCompleting) {
    ProgressTick first = progressTick(1, 0, false, false, 0);
    EXPECT_EQ(first.bar, 100);
    EXPECT_FALSE(first.complete);
    ProgressTick last = progressTick(1, 0, false, true, first.bar);
    EXPECT_EQ(last.bar, 100);
    EXPECT_TRUE(last.complete);
    EXPECT_TRUE(last.holdsBeforeCompleting);
}

TEST(BatchProgress, FourPhotosStepByAQuarterAndTheBarNeverMovesBack) {
    double bar = 0;
    const std::vector<std::pair<int, double>> ticks = {{0, 25}, {0, 25}, {1, 25}, {2, 50}, {3, 75}, {1, 75}};
    for (const auto& [index, expected] : ticks) {
        const ProgressTick tick = progressTick(4, index, false, false, bar);
        EXPECT_EQ(tick.bar, expected) << "index " << index;
        EXPECT_FALSE(tick.showsCanceled);
        bar = tick.bar;
    }
    EXPECT_EQ(progressTick(4, 3, false, true, bar).bar, 100);
}

TEST(BatchProgress, ACancelledRunShowsCanceledAndCompletesOnlyOnceFinished) {
    const ProgressTick running = progressTick(4, 2, true, false, 50);
    EXPECT_TRUE(running.showsCanceled);
    EXPECT_EQ(running.bar, 50);
    EXPECT_FALSE(running.complete);
    const ProgressTick done = progressTick(4, 2, true, true, 50);
    EXPECT_TRUE(done.complete);
    EXPECT_FALSE(done.holdsBeforeCompleting);
    EXPECT_EQ(done.bar, 50);
}

TEST(ImageAndTextCellTest, TheIconSitsLeftAndCentredAndTheTextTakesTheRest) {
    ImageAndTextCell cell;
    const qv::Rect frame(10, 20, 200, 21);
    EXPECT_TRUE(cell.imageFrameForCellFrame(frame).isEmpty());
    EXPECT_EQ(cell.textFrameForCellFrame(frame), frame);
    EXPECT_EQ(cell.cellSize({50, 17}), (qv::Size{53, 17}));
    auto icon = std::make_shared<qv::ui::Image>(qv::Bitmap::make(32, 32, qv::PixelFormat::RGBA8));
    icon->setSize({16, 16});
    cell.setImage(icon);
    EXPECT_EQ(cell.imageFrameForCellFrame(frame), qv::Rect(13, 23, 16, 16));  // ceil((21 - 16) / 2) = 3
    EXPECT_EQ(cell.textFrameForCellFrame(frame), qv::Rect(29, 20, 181, 21));
    EXPECT_EQ(cell.cellSize({50, 17}), (qv::Size{69, 17}));
    const auto copied = cell.copy();
    EXPECT_EQ(copied->image(), icon);
}

TEST(ImageAndTextCellTest, DrawingFillsTheStripAndPutsTheIconInItsFrame) {
    ImageAndTextCell cell;
    qv::ui::Canvas canvas(60, 30);
    EXPECT_FALSE(cell.drawWithFrame(canvas, qv::Rect(0, 0, 60, 30), nullptr));
    qv::Bitmap red = qv::Bitmap::make(4, 4, qv::PixelFormat::RGBA8);
    for (std::size_t i = 0; i < red.pixels.size(); i += 4) red.pixels[i] = red.pixels[i + 3] = 255;
    cell.setImage(std::make_shared<qv::ui::Image>(std::move(red)));
    const qv::ui::Color white = qv::ui::Color::whiteColor();
    ASSERT_TRUE(cell.drawWithFrame(canvas, qv::Rect(0, 0, 60, 30), &white));
    // The icon at x 3..7, y 13..17 from the bottom (rows 13..16 from the top); the strip is white.
    EXPECT_EQ(canvas.pixel(4, 14)[0], 255);
    EXPECT_EQ(canvas.pixel(4, 14)[1], 0);
    EXPECT_EQ(canvas.pixel(1, 14)[1], 255);
    EXPECT_EQ(canvas.pixel(20, 14)[3], 0);  // the text's part is left to the text
}

TEST(BatchOutputRect, CropInsideAboveFullScaleKeepsTheSourceSizeCentredAndClipped) {
    const qv::Rect extent(0, 0, 150, 90), source(0, 0, 100, 60);
    EXPECT_EQ(effectiveRectForImage(extent, source, true, 150), qv::Rect(25, 15, 100, 60));
    // A source larger than the extent is clipped to it.
    EXPECT_EQ(effectiveRectForImage(qv::Rect(0, 0, 80, 50), source, true, 150), qv::Rect(0, 0, 80, 50));
    EXPECT_EQ(effectiveRectForImage(extent, source, true, 100), extent);
    EXPECT_EQ(effectiveRectForImage(extent, source, true, 80), extent);
}

TEST(BatchOutputRect, OtherCropsCentreTheSourceSizeAndFollowANegativeOrigin) {
    const qv::Rect source(0, 0, 100, 60);
    EXPECT_EQ(effectiveRectForImage(qv::Rect(-20, 0, 140, 60), source, false, 100), qv::Rect(0, 0, 100, 60));
    EXPECT_EQ(effectiveRectForImage(qv::Rect(20, 0, 140, 60), source, false, 100), qv::Rect(20, 0, 100, 60));
    EXPECT_EQ(effectiveRectForImage(qv::Rect(0, -10, 100, 80), source, false, 150), qv::Rect(0, 0, 100, 60));
}

// The batch renders band by band into the encoder: every type and depth gives the file a render
// of the whole rectangle at once gives, opaque or with transparent corners.
TEST(BatchEncoding, BandsGiveTheBytesOfAWholeRenderForEveryTypeAndDepth) {
    // Taller than one band at either depth, and turned so that its corners are transparent.
    qv::Bitmap pattern = qv::Bitmap::make(2000, 1300, qv::PixelFormat::RGB8);
    for (int y = 0; y < pattern.height; ++y)
        for (int x = 0; x < pattern.width; ++x)
            for (int c = 0; c < 3; ++c) pattern.row(y)[3 * x + c] = std::uint8_t((x * (c + 1) + y * 7) % 251);
    const qv::ci::Image image =
        qv::ci::Image::fromBitmap(std::move(pattern)).imageByApplyingTransform(qv::AffineTransform::rotation(0.03));
    const qv::io::ColorSpace colorSpace = qv::io::ColorSpace::deviceRGB();
    for (const int depth : {8, 16}) {
        qv::Dictionary metadata;
        metadata["Depth"] = depth;
        const qv::PixelFormat format = depth == 16 ? qv::PixelFormat::RGBA16 : qv::PixelFormat::ARGB8;
        for (const qv::Rect& rect : {qv::Rect(300, 250, 1400, 800), image.extent()}) {
            for (const QVOutputType::Type type : {QVOutputType::Type::JPEG, QVOutputType::Type::TIFF,
                                                  QVOutputType::Type::PSD, QVOutputType::Type::OpenEXR}) {
                SCOPED_TRACE(std::to_string(depth) + " bits, type " + std::to_string(int(type)) + ", " +
                             std::to_string(rect.width()) + " wide");
                const std::optional<qv::Data> banded = dataFromImage(image, rect, type, metadata, colorSpace);
                ASSERT_TRUE(banded);
                const qv::Rect whole(std::round(rect.minX()), std::round(rect.minY()), std::round(rect.width()),
                                     std::round(rect.height()));
                qv::ci::Context context(qv::ci::ContextOptions{});
                qv::Bitmap pixels = context.createBitmap(image, whole, format);
                qv::Data expected;
                auto destination = qv::io::ImageDestination::createWithData(expected, QVOutputType::typeIdentifier(type), 1);
                ASSERT_TRUE(destination);
                destination->addImage(std::move(pixels), metadata, colorSpace);
                ASSERT_TRUE(destination->finalize());
                EXPECT_TRUE(*banded == expected) << banded->size() << " bytes against " << expected.size();
            }
        }
    }
}
