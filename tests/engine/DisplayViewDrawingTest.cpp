// The drawn view, saved as PNG and read back: the background, the picture in its fitted
// rectangle, the grid where it belongs, the crop frames and the lens.
#include <gtest/gtest.h>

#include <set>

#include "DisplayViewFixtures.h"
#include "EngineImages.h"
#include "common/TempDir.h"
#include "coreimage/CIImageUnit.h"

using viewtest::Picture;
using viewtest::Rgb;
using viewtest::ViewSetup;

namespace {

constexpr int kLightGrey = 170;  // 2/3 white

// A smooth photo: red grows to the right, green upwards, blue fixed.
std::string writeGradientPhoto(const std::string& path, int w, int h) {
    return viewtest::writePhoto(path, viewtest::makePicture(w, h, [&](int x, int y) {
                                    return Rgb{std::uint8_t(x * 255 / (w - 1)), std::uint8_t((h - 1 - y) * 255 / (h - 1)), 128};
                                }));
}

// The columns of a row of a canvas drawn in the given colour.
std::set<int> columnsOf(const qv::ui::Canvas& canvas, int row, const std::array<std::uint8_t, 4>& colour) {
    std::set<int> columns;
    for (int x = 0; x < canvas.width(); ++x)
        if (canvas.pixel(x, row) == colour) columns.insert(x);
    return columns;
}

std::set<int> every(int step, int from, int to) {
    std::set<int> s;
    for (int x = from; x <= to; x += step) s.insert(x);
    return s;
}

}  // namespace

TEST(DisplayViewDrawing, ThePictureSitsInItsFittedRectangleOnTheGreyBackground) {
    qvtest::TempDir dir;
    ViewSetup s(600, 400);
    // A square photo in a 600 x 400 view: fitted 400 x 400, centred, grey on both sides.
    ASSERT_TRUE(s.view->setCIImageFromFile(writeGradientPhoto(dir.path() + "/square.tif", 300, 300)));
    s.view->applyCorrection();
    EXPECT_EQ(s.view->drawingRect(), qv::Rect(100, 0, 400, 400));
    const Picture picture(*s.view, dir.path() + "/view.png");
    ASSERT_TRUE(picture.isValid());
    ASSERT_EQ(picture.width(), 600);
    EXPECT_TRUE(viewtest::near(picture.at(40, 200), {kLightGrey, kLightGrey, kLightGrey}, 0));
    EXPECT_TRUE(viewtest::near(picture.at(560, 10), {kLightGrey, kLightGrey, kLightGrey}, 0));
    EXPECT_EQ(picture.at(40, 200)[3], 255);
    // Inside, the photo: view x 100 + 400 · t shows the photo's column 300 · t.
    for (auto [x, y] : {std::pair{110, 20}, {300, 200}, {480, 380}, {250, 333}}) {
        const double t = (x + 0.5 - 100) / 400, u = (y + 0.5) / 400;
        const Rgb expected{std::uint8_t(std::lround(255 * (300 * t - 0.5) / 299)),
                           std::uint8_t(std::lround(255 * (300 * u - 0.5) / 299)), 128};
        EXPECT_TRUE(viewtest::near(picture.at(x, y), expected, 3))
            << x << "," << y << ": " << picture.at(x, y)[0] << " " << picture.at(x, y)[1] << " " << picture.at(x, y)[2];
    }
}

TEST(DisplayViewDrawing, TheGridLinesLieWhereTheSpacingPutsThem) {
    ViewSetup s(720, 100);
    const std::array<std::uint8_t, 4> red{255, 0, 0, 255};
    auto verticalLines = [&](int spacing, double width) {
        qv::ui::Canvas canvas(int(width), 100);
        qv::ui::Canvas::CurrentScope scope(canvas);
        s.view->drawGridWithSpacing(spacing, qv::ui::Color::redColor(), qv::Rect(0, 0, width, 100));
        return columnsOf(canvas, 50, red);
    };
    // A one-point line on the pixel edge at x fills the column to its left, so the line at 0 lies
    // outside and the one at the far edge fills the last column.
    // 720 points at spacing 45: a line every 90 points, 8 cells; spacing 0 means 45.
    const std::set<int> at45 = verticalLines(45, 720);
    EXPECT_EQ(at45, every(90, 89, 719));
    EXPECT_EQ(verticalLines(0, 720), at45);
    // 300 points at spacing 45: lines every 37 points up to 222 and none to its right.
    EXPECT_EQ(verticalLines(45, 300), every(37, 36, 221));
}

TEST(DisplayViewDrawing, TheControllersGridIsDrawnOverThePicture) {
    qvtest::TempDir dir;
    ViewSetup s(600, 400);
    ASSERT_TRUE(s.view->setCIImageFromFile(writeGradientPhoto(dir.path() + "/photo.tif", 300, 200)));
    s.view->applyCorrection();
    s.controller.grid = true;
    s.controller.spacing = 90;
    s.controller.colour = qv::ui::Color::rgb(0, 0, 1);
    const Picture picture(*s.view, dir.path() + "/grid.png");
    ASSERT_TRUE(picture.isValid());
    // Spacing 90 in 600 x 400: vertical lines every 150 points, horizontal ones every 100.
    std::set<int> columns, rows;
    for (int x = 0; x < 600; ++x)
        if (viewtest::near(picture.at(x, 250), {0, 0, 255}, 0)) columns.insert(x);
    for (int y = 0; y < 400; ++y)
        if (viewtest::near(picture.at(75, y), {0, 0, 255}, 0)) rows.insert(y);
    EXPECT_EQ(columns, every(150, 149, 599));
    EXPECT_EQ(rows, every(100, 0, 399));
    s.controller.grid = false;
    const Picture plain(*s.view, dir.path() + "/plain.png");
    EXPECT_FALSE(viewtest::near(plain.at(150, 250), {0, 0, 255}, 0) && viewtest::near(plain.at(149, 250), {0, 0, 255}, 0));
}

TEST(DisplayViewDrawing, CropOutsideShowsWhereThePictureReachesBeyondTheFrame) {
    qvtest::TempDir dir;
    ViewSetup s(600, 400);
    ASSERT_TRUE(s.view->setCIImageFromFile(writeGradientPhoto(dir.path() + "/square.tif", 600, 600)));
    s.controller.p.crop = FakeParameters::Crop::Outside;
    s.controller.p.scale = 150;
    s.view->applyCorrection();
    // The picture is drawn inside the 400 x 400 drawing rectangle only; where the enlarged
    // picture reaches past it, dark grey stands for it.
    EXPECT_EQ(s.view->drawingRect(), qv::Rect(100, 0, 400, 400));
    const Picture picture(*s.view, dir.path() + "/outside.png");
    ASSERT_TRUE(picture.isValid());
    EXPECT_TRUE(viewtest::near(picture.at(40, 200), {85, 85, 85}, 0));
    EXPECT_TRUE(viewtest::near(picture.at(560, 300), {85, 85, 85}, 0));
    EXPECT_EQ(picture.at(300, 200)[2], 128) << "the picture in the middle";

    s.controller.p.crop = FakeParameters::Crop::None;
    const Picture none(*s.view, dir.path() + "/none.png");
    EXPECT_TRUE(viewtest::near(none.at(40, 200), {kLightGrey, kLightGrey, kLightGrey}, 0));
}

TEST(DisplayViewDrawing, TheCropInsideFrameMarksWhatIsFreeOfEmptyCorners) {
    qvtest::TempDir dir;
    ViewSetup s(600, 400);
    ASSERT_TRUE(s.view->setCIImageFromFile(writeGradientPhoto(dir.path() + "/photo.tif", 300, 200)));
    s.controller.p.crop = FakeParameters::Crop::Inside;
    s.view->applyCorrection();
    // Nothing turned: the whole picture is kept.
    const qv::Rect whole = s.view->cropInsideFrame();
    EXPECT_NEAR(whole.minX(), 0, 0.5);
    EXPECT_NEAR(whole.width(), 600, 0.5);
    EXPECT_NEAR(whole.height(), 400, 0.5);

    s.controller.p.rotation = 10;
    s.view->perspective();
    const qv::Rect kept = s.view->cropInsideFrame();
    ASSERT_FALSE(kept.isNull());
    // Inside the turned picture, with the photo's proportions, centred on the view.
    EXPECT_LT(kept.width(), 500);
    EXPECT_GT(kept.width(), 300);
    EXPECT_NEAR(kept.width() / kept.height(), 1.5, 1e-6);
    EXPECT_NEAR(kept.midX(), 300, 0.5);
    EXPECT_NEAR(kept.midY(), 200, 0.5);
    // Its corners show the picture, not the empty space around the turned outline.
    const Picture picture(*s.view, dir.path() + "/inside.png");
    ASSERT_TRUE(picture.isValid());
    const int left = int(std::lround(kept.minX())), bottom = int(std::lround(kept.minY()));
    bool framed = false;
    for (int x = left - 2; x <= left + 2; ++x) framed |= picture.at(x, 200)[2] > 200 && picture.at(x, 200)[0] < 60;
    EXPECT_TRUE(framed) << "the frame is drawn in blue";
    EXPECT_EQ(picture.at(left + 3, bottom + 3)[2], 128) << "inside the corner: the picture";
    // Outside the corner, towards the view's corner, the turned picture has left empty grey.
    EXPECT_TRUE(viewtest::near(picture.at(2, 2), {128, 128, 128}, 0));
}

TEST(DisplayViewDrawing, TheLensShowsMagnifiedPixels) {
    qvtest::TempDir dir;
    ViewSetup s(600, 400);
    qv::ci::loadPlugIn("LensFilter");
    // The photo is as big as the view, so 400 per cent magnify it 4 times.
    ASSERT_TRUE(s.view->setCIImageFromFile(writeGradientPhoto(dir.path() + "/photo.tif", 600, 400)));
    s.view->applyCorrection();
    s.view->setMagnification(400);
    s.view->showMagnifier(true);
    const Picture picture(*s.view, dir.path() + "/lens.png");
    ASSERT_TRUE(picture.isValid());
    auto red = [](double x) { return int(std::lround(255 * (x - 0.5) / 599)); };
    // 40 points right of the centre the lens shows the photo 10 pixels right of it.
    EXPECT_NEAR(picture.at(340, 200)[0], red(300 + 40.5 / 4), 2);
    EXPECT_NEAR(picture.at(260, 200)[0], red(300 - 39.5 / 4), 2);
    // Beyond the ring (radius 135) the photo at its own size.
    EXPECT_NEAR(picture.at(450, 200)[0], red(450.5), 2);
    // On the ring: grey.
    const auto ring = picture.at(430, 200);
    EXPECT_EQ(ring[0], ring[1]);
    EXPECT_EQ(ring[1], ring[2]);
}
