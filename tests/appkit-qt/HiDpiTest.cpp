// On a screen of two pixels per point the window draws with the screen's pixels: the preview shows
// the photo's own pixels rather than a picture of one pixel per point enlarged, and the controls
// keep their places in points.
#include <QPixmap>
#include <QSlider>
#include <QWidget>
#include <cstdlib>
#include <gtest/gtest.h>

#include "DisplayViewFixtures.h"
#include "QtTestSupport.h"
#include "appkit-qt/WindowPeer.h"
#include "appkit/Window.h"
#include "common/TempDir.h"

using namespace qv;
using qttest::backend;
using qttest::widgetOf;

namespace {

// Before Qt starts: every test of this program runs on a screen of two pixels per point.
[[maybe_unused]] const int kTwoPixelsPerPoint = setenv("QT_SCALE_FACTOR", "2", 1);

int luminance(QRgb c) { return (qRed(c) * 3 + qGreen(c) * 6 + qBlue(c)) / 10; }

// The share of horizontally neighbouring pixels in the rectangle that differ by more than half the
// range: 1 for a one-pixel checker shown pixel for pixel, 0 for a grey blur of it.
double checkerSharpness(const QImage& image, const QRect& area) {
    int sharp = 0, pairs = 0;
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x < area.right(); ++x, ++pairs)
            sharp += std::abs(luminance(image.pixel(x, y)) - luminance(image.pixel(x + 1, y))) > 128;
    return pairs ? double(sharp) / pairs : 0;
}

}  // namespace

TEST(HiDpi, ThePreviewIsRenderedAtTheScreensPixelsAndStaysSharp) {
    backend();
    qvtest::TempDir folder;
    // 900 × 600 photo pixels in a 450 × 300 point view: two photo pixels per point, one per
    // screen pixel.
    const Bitmap checker = viewtest::makePicture(900, 600, [](int x, int y) {
        return (x + y) % 2 ? viewtest::Rgb{255, 255, 255} : viewtest::Rgb{0, 0, 0};
    });
    const std::string photo = viewtest::writePhoto(folder.file("checker.tif"), checker);
    viewtest::ViewSetup setup(450, 300);
    ui::Window window(Rect(100, 100, 450, 300), "Checker");
    window.contentView()->addSubview(setup.view);
    ASSERT_TRUE(setup.view->setCIImageFromFile(photo));
    window.makeKeyAndOrderFront();
    backend().sync();

    QWidget* preview = widgetOf<QWidget>(*setup.view);
    ASSERT_NE(preview, nullptr);
    ASSERT_DOUBLE_EQ(preview->devicePixelRatioF(), 2.0) << "QT_SCALE_FACTOR did not reach the screen";
    EXPECT_EQ(preview->size(), QSize(450, 300)) << "sizes stay in points";
    EXPECT_DOUBLE_EQ(window.backingScaleFactor(), 2.0);
    EXPECT_EQ(window.canvas().width(), 900);
    EXPECT_EQ(window.canvas().height(), 600);

    const QImage shown = preview->grab().toImage();
    EXPECT_EQ(shown.size(), QSize(900, 600)) << "twice the pixels each way";
    EXPECT_DOUBLE_EQ(shown.devicePixelRatio(), 2.0);
    EXPECT_GT(checkerSharpness(shown, QRect(100, 100, 700, 400)), 0.95);
    window.orderOut();
    backend().sync();
}

TEST(HiDpi, TheMainWindowKeepsItsLayoutInPointsAndDrawsWithTwiceThePixels) {
    QVMainNib nib = qttest::launchApplication();
    const auto& m = nib.controller->mainWindow();
    backend().sync();
    qv::qt::WindowPeer* peer = backend().peerOf(*m.m_pWindow);
    ASSERT_NE(peer, nullptr);
    EXPECT_EQ(peer->widget()->centralWidget()->size(), QSize(1100, 760));
    auto* scale = widgetOf<QSlider>(*m.m_pScaleSlider);
    ASSERT_NE(scale, nullptr);
    const Rect frame = m.m_pScaleSlider->frame();
    EXPECT_EQ(scale->geometry(), QRect(int(frame.minX()), int(760 - frame.maxY()), int(frame.width()),
                                       int(frame.height())));
    EXPECT_EQ(m.m_pWindow->canvas().width(), 2200);
    EXPECT_EQ(m.m_pWindow->canvas().height(), 1520);
    // Text is laid out in points too: a button's title fits its button as it does at one pixel per point.
    auto* open = widgetOf<QWidget>(*m.m_pOpenButton);
    ASSERT_NE(open, nullptr);
    EXPECT_LE(open->fontMetrics().horizontalAdvance("Open"), open->width());
    EXPECT_LE(open->fontMetrics().height(), open->height());
    qttest::closeApplication();
}
