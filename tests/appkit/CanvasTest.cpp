#include <gtest/gtest.h>

#include <set>

#include "PngReader.h"
#include "common/TempDir.h"
#include "appkit/Canvas.h"

using namespace qv;
using namespace qv::ui;

namespace {

using Pixel = std::array<std::uint8_t, 4>;
const Pixel kWhite{255, 255, 255, 255};
const Pixel kBlack{0, 0, 0, 255};
const Pixel kRed{255, 0, 0, 255};

qvtest::PngImage roundTrip(const Canvas& canvas) {
    qvtest::TempDir dir;
    std::string error;
    EXPECT_TRUE(canvas.writePNG(dir.file("canvas.png"), error)) << error;
    return qvtest::readPng(dir.file("canvas.png"));
}

Canvas whiteCanvas(int w, int h) {
    Canvas canvas(w, h);
    canvas.clear(Color::whiteColor());
    canvas.setShouldAntialias(false);
    return canvas;
}

// A 2 x 2 opaque picture, premultiplied ARGB, rows top-down: red green / blue white.
Bitmap fourColours() {
    Bitmap image = Bitmap::make(2, 2, PixelFormat::ARGB8, true);
    const std::uint8_t argb[4][4] = {{255, 255, 0, 0}, {255, 0, 255, 0}, {255, 0, 0, 255}, {255, 255, 255, 255}};
    for (int i = 0; i < 4; ++i) std::copy(argb[i], argb[i] + 4, image.row(i / 2) + (i % 2) * 4);
    return image;
}

}  // namespace

TEST(Canvas, FilledRectangleLandsOnTheRightPixelsInThePng) {
    Canvas canvas = whiteCanvas(20, 10);
    canvas.setFillColor(Color::redColor());
    canvas.fillRect(Rect(2, 3, 5, 4));  // x 2..7, y 3..7 from the bottom: rows 3..6 from the top
    auto png = roundTrip(canvas);
    ASSERT_EQ(png.width, 20);
    ASSERT_EQ(png.height, 10);
    for (int y = 3; y <= 6; ++y)
        for (int x = 2; x <= 6; ++x) EXPECT_EQ(png.at(x, y), kRed) << x << "," << y;
    EXPECT_EQ(png.at(1, 4), kWhite);
    EXPECT_EQ(png.at(7, 4), kWhite);
    EXPECT_EQ(png.at(3, 2), kWhite);
    EXPECT_EQ(png.at(3, 7), kWhite);
}

TEST(Canvas, StrokedRectangleIsCentredOnItsEdgesWithFilledCorners) {
    Canvas canvas = whiteCanvas(20, 12);
    canvas.setStrokeColor(Color::blackColor());
    canvas.strokeRect(Rect(5.5, 2.5, 10, 5), 1.0);  // edges on pixel centres: columns 5 and 15, rows 4 and 9
    auto png = roundTrip(canvas);
    for (int x = 5; x <= 15; ++x) {
        EXPECT_EQ(png.at(x, 4), kBlack) << x;
        EXPECT_EQ(png.at(x, 9), kBlack) << x;
    }
    for (int y = 4; y <= 9; ++y) {
        EXPECT_EQ(png.at(5, y), kBlack) << y;
        EXPECT_EQ(png.at(15, y), kBlack) << y;
    }
    EXPECT_EQ(png.at(10, 6), kWhite);  // inside stays empty
    EXPECT_EQ(png.at(4, 6), kWhite);
    EXPECT_EQ(png.at(16, 6), kWhite);
    EXPECT_EQ(png.at(10, 3), kWhite);
}

TEST(Canvas, LinesFollowTheTransformAndTheirWidth) {
    Canvas canvas = whiteCanvas(20, 12);
    canvas.setStrokeColor(Color::blackColor());
    canvas.translate(2, 0);
    Path line;
    line.moveTo({0, 5});
    line.lineTo({10, 5});
    line.setLineWidth(2);  // y 4..6, x 2..12 after the move: rows 6 and 7
    canvas.strokePath(line);
    EXPECT_EQ(canvas.pixel(2, 6), kBlack);
    EXPECT_EQ(canvas.pixel(11, 7), kBlack);
    EXPECT_EQ(canvas.pixel(12, 6), kWhite);
    EXPECT_EQ(canvas.pixel(1, 6), kWhite);
    EXPECT_EQ(canvas.pixel(5, 5), kWhite);
    EXPECT_EQ(canvas.pixel(5, 8), kWhite);

    // A scale widens the line with the coordinates.
    Canvas scaled = whiteCanvas(20, 12);
    scaled.scale(2, 2);
    Path thin;
    thin.moveTo({1, 3});
    thin.lineTo({5, 3});  // width 1 becomes 2: y 5..7 on the device, x 2..10
    scaled.strokePath(thin);
    EXPECT_EQ(scaled.pixel(2, 5), kBlack);
    EXPECT_EQ(scaled.pixel(9, 6), kBlack);
    EXPECT_EQ(scaled.pixel(10, 6), kWhite);
    EXPECT_EQ(scaled.pixel(5, 4), kWhite);
    EXPECT_EQ(scaled.pixel(5, 7), kWhite);
}

TEST(Canvas, AntialiasSwitchDecidesBetweenPartialAndAllOrNothingCoverage) {
    auto greysOfDiagonal = [](bool antialias) {
        Canvas canvas = whiteCanvas(16, 16);
        canvas.setShouldAntialias(antialias);
        Path diagonal;
        diagonal.moveTo({1, 1});
        diagonal.lineTo({15, 12});
        canvas.strokePath(diagonal);
        std::set<int> greys;
        for (int y = 0; y < 16; ++y)
            for (int x = 0; x < 16; ++x) greys.insert(canvas.pixel(x, y)[0]);
        return greys;
    };
    EXPECT_EQ(greysOfDiagonal(false), (std::set<int>{0, 255}));
    EXPECT_GT(greysOfDiagonal(true).size(), 3u);

    Canvas half = whiteCanvas(4, 4);
    half.setShouldAntialias(true);
    half.fillRect(Rect(0, 0, 0.5, 1));
    EXPECT_NEAR(half.pixel(0, 3)[0], 128, 1);
}

TEST(Canvas, ImageIsScaledIntoItsRectangleWithSourceOverAtAnOpacity) {
    Canvas canvas = whiteCanvas(8, 8);
    ASSERT_TRUE(canvas.drawImage(fourColours(), Rect(0, 0, 8, 8), Rect(0, 0, 2, 2)));
    auto png = roundTrip(canvas);
    EXPECT_EQ(png.at(0, 0), kRed);
    EXPECT_EQ(png.at(7, 0), (Pixel{0, 255, 0, 255}));
    EXPECT_EQ(png.at(0, 7), (Pixel{0, 0, 255, 255}));
    EXPECT_EQ(png.at(7, 7), kWhite);
    // Between the four pixels the colours blend.
    auto middle = png.at(3, 3);
    EXPECT_GT(middle[0], 60);
    EXPECT_GT(middle[1], 60);

    Canvas faded = whiteCanvas(8, 8);
    faded.drawImage(fourColours(), Rect(2, 2, 4, 4), Rect(0, 1, 1, 1), 0.5);  // the red pixel at half
    EXPECT_EQ(faded.pixel(3, 3), (Pixel{255, 128, 128, 255}));
    EXPECT_EQ(faded.pixel(1, 3), kWhite);  // outside the rectangle nothing is drawn
    EXPECT_EQ(faded.pixel(6, 3), kWhite);
}

TEST(Canvas, TranslucentImagePixelsCompositeOverWhatIsThere) {
    Bitmap image = Bitmap::make(1, 1, PixelFormat::ARGB8, true);
    const std::uint8_t halfRed[4] = {128, 128, 0, 0};  // premultiplied: half-transparent pure red
    std::copy(halfRed, halfRed + 4, image.row(0));
    Canvas canvas = whiteCanvas(2, 2);
    canvas.drawImage(image, Rect(0, 0, 2, 2), Rect(0, 0, 1, 1));
    auto p = canvas.pixel(0, 0);
    EXPECT_EQ(p[0], 255);
    EXPECT_NEAR(p[1], 127, 1);
    EXPECT_NEAR(p[2], 127, 1);

    Bitmap unsupported = Bitmap::make(1, 1, PixelFormat::RGBA16);
    EXPECT_FALSE(canvas.drawImage(unsupported, Rect(0, 0, 1, 1), Rect(0, 0, 1, 1)));
}

TEST(Canvas, PngKeepsTranslucencyUnpremultipliedAndReportsWriteFailures) {
    Canvas canvas(3, 3);
    canvas.setFillColor(Color::rgb(1, 0, 0, 0.5));
    canvas.fillRect(Rect(0, 0, 3, 3));
    auto png = roundTrip(canvas);
    auto p = png.at(1, 1);
    EXPECT_EQ(p[0], 255);
    EXPECT_EQ(p[1], 0);
    EXPECT_NEAR(p[3], 128, 1);

    std::string error;
    EXPECT_FALSE(canvas.writePNG("/nonexistent-folder/x.png", error));
    EXPECT_FALSE(error.empty());
    EXPECT_FALSE(Canvas(0, 5).writePNG("/tmp/never.png"));
}

// libpng's own failures, a full disk and a picture wider than libpng writes, are the call's reason;
// libpng prints nothing, neither its error nor the warning that comes before the second.
TEST(Canvas, PngEncoderFailuresAreTheReasonAndNothingIsPrinted) {
    // Noise, so that the compressed picture overflows the file's buffer and libpng's own write fails.
    Bitmap noise = Bitmap::make(256, 256, PixelFormat::RGBA8);
    std::uint32_t state = 12345;
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256 * 4; ++x)
            noise.row(y)[x] = x % 4 == 3 ? 255 : std::uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    Canvas noisy(256, 256);
    ASSERT_TRUE(noisy.drawImage(noise, Rect(0, 0, 256, 256), Rect(0, 0, 256, 256)));
    const Canvas tooWide(1000001, 1);
    qvtest::TempDir dir;
    struct Case {
        const Canvas& canvas;
        std::string path;
        const char* libpngSays;
    };
    for (const Case& c :
         {Case{noisy, "/dev/full", "Write Error"}, Case{tooWide, dir.file("wide.png"), "Invalid IHDR data"}}) {
        SCOPED_TRACE(c.path);
        std::string reason;
        testing::internal::CaptureStderr();
        const bool written = c.canvas.writePNG(c.path, reason);
        const std::string printed = testing::internal::GetCapturedStderr();
        EXPECT_FALSE(written);
        EXPECT_NE(reason.find(c.path), std::string::npos) << reason;
        EXPECT_NE(reason.find(c.libpngSays), std::string::npos) << reason;
        EXPECT_EQ(printed, "");
    }
}

TEST(Canvas, ClipAndSavedStateBoundDrawing) {
    Canvas canvas = whiteCanvas(10, 10);
    canvas.saveState();
    canvas.clipToRect(Rect(0, 0, 5, 10));
    canvas.setFillColor(Color::redColor());
    canvas.fillRect(Rect(0, 0, 10, 10));
    canvas.restoreState();
    EXPECT_EQ(canvas.pixel(4, 5), kRed);
    EXPECT_EQ(canvas.pixel(5, 5), kWhite);
    canvas.fillRect(Rect(5, 0, 5, 10));  // clip and colour are back to the saved ones
    EXPECT_EQ(canvas.pixel(7, 5), kBlack);
}

#include "appkit/Window.h"

namespace {
// A view that fills its bounds grey and frames them in black, as a preview background does.
struct FramedView : View {
    using View::View;
    int draws = 0;
    void drawRect(const Rect&) override {
        ++draws;
        Canvas* canvas = Canvas::current();
        ASSERT_NE(canvas, nullptr);
        canvas->setShouldAntialias(false);
        canvas->setFillColor(Color::grayColor());
        canvas->fillRect(bounds());
        canvas->strokeRect(bounds().insetBy(0.5, 0.5));
    }
};
}  // namespace

TEST(View, WindowsDrawTheirViewsInPlaceAndOnlyWhenMarked) {
    Window window(Rect(0, 0, 40, 30));
    auto view = std::make_shared<FramedView>(Rect(10, 5, 20, 10));  // rows 15..24 from the top
    window.contentView()->addSubview(view);
    window.displayIfNeeded();
    EXPECT_EQ(view->draws, 1);
    const Canvas& canvas = window.canvas();
    EXPECT_EQ(canvas.pixel(10, 15), kBlack);  // the frame's corner
    EXPECT_EQ(canvas.pixel(29, 24), kBlack);
    EXPECT_EQ(canvas.pixel(15, 20)[0], 128);  // grey inside
    EXPECT_NE(canvas.pixel(9, 20), kBlack);   // outside the view: the window's background
    EXPECT_EQ(Canvas::current(), nullptr);    // current only while drawing

    window.displayIfNeeded();
    EXPECT_EQ(view->draws, 1);
    view->setNeedsDisplayInRect(Rect(0, 0, 2, 2));
    EXPECT_TRUE(window.viewsNeedDisplay());
    window.displayIfNeeded();
    EXPECT_EQ(view->draws, 2);

    view->setHidden(true);
    window.display();
    EXPECT_EQ(view->draws, 2);
    EXPECT_NE(window.canvas().pixel(10, 15), kBlack);

    view->setHidden(false);
    Canvas alone = view->renderToCanvas();
    EXPECT_EQ(alone.width(), 20);
    EXPECT_EQ(alone.pixel(0, 0), kBlack);
    EXPECT_EQ(view->convertPointFromWindow({15, 10}), (Point{5, 5}));
}

TEST(View, AWindowOnAScreenOfTwoPixelsPerPointDrawsEveryPointWithFourPixels) {
    Window window(Rect(0, 0, 40, 30));
    auto view = std::make_shared<FramedView>(Rect(10, 5, 20, 10));
    window.contentView()->addSubview(view);
    window.display();
    EXPECT_EQ(window.canvas().width(), 40);
    window.setBackingScaleFactor(2);
    EXPECT_TRUE(window.viewsNeedDisplay()) << "a new scale redraws the window";
    window.displayIfNeeded();
    const Canvas& canvas = window.canvas();
    ASSERT_EQ(canvas.width(), 80);
    ASSERT_EQ(canvas.height(), 60);
    EXPECT_DOUBLE_EQ(canvas.backingScale(), 2.0);
    // The view's frame (rows 15..24 of points from the top) covers rows 30..49 of pixels; its
    // one-point frame line is two pixels wide.
    EXPECT_EQ(canvas.pixel(20, 30), kBlack);
    EXPECT_EQ(canvas.pixel(21, 31), kBlack);
    EXPECT_EQ(canvas.pixel(22, 32)[0], 128);
    EXPECT_EQ(canvas.pixel(59, 49), kBlack);
    EXPECT_NE(canvas.pixel(19, 40), kBlack);
    window.setBackingScaleFactor(0);  // not a scale: ignored
    EXPECT_DOUBLE_EQ(window.backingScaleFactor(), 2.0);
}

TEST(Canvas, AtTwoPixelsPerPointAnImageOfTwiceThePixelsIsCopiedPixelForPixel) {
    Canvas canvas(2, 2, 2);
    ASSERT_EQ(canvas.width(), 4);
    // A 4 × 4 picture into the canvas's 2 × 2 points: each of its pixels lands on one of the canvas's.
    Bitmap image = Bitmap::make(4, 4, PixelFormat::RGBA8, true);
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) {
            const std::uint8_t v = (x + y) % 2 ? 255 : 0;
            const std::uint8_t px[4] = {v, v, v, 255};
            std::copy(px, px + 4, image.row(y) + x * 4);
        }
    ASSERT_TRUE(canvas.drawImage(image, Rect(0, 0, 2, 2), Rect(0, 0, 4, 4)));
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x) EXPECT_EQ(canvas.pixel(x, y), (x + y) % 2 ? kWhite : kBlack) << x << ", " << y;
}
