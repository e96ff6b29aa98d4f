// The canvas's direct paths (unturned rectangles, images copied one pixel for one) give exactly
// the pixels of the general rasterizing and resampling paths.
#include <gtest/gtest.h>

#include "appkit/Canvas.h"
#include "appkit/Path.h"

using namespace qv;
using namespace qv::ui;

namespace {

Canvas patterned(int w, int h) {
    Canvas canvas(w, h);
    canvas.clear(Color::rgb(0.2, 0.6, 0.9));
    canvas.setFillColor(Color::rgb(0.9, 0.1, 0.3, 0.7));
    canvas.fillPath(Path::rect(Rect(3, 2, 11, 7)));
    return canvas;
}

int differences(const Canvas& a, const Canvas& b) {
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < a.width(); ++x) count += a.pixel(x, y) != b.pixel(x, y);
    return count;
}

// A premultiplied picture with opaque, translucent and clear pixels, in the given layout.
Bitmap picture(PixelFormat format) {
    Bitmap image = Bitmap::make(7, 5, format, true);
    for (int y = 0; y < 5; ++y)
        for (int x = 0; x < 7; ++x) {
            const std::uint8_t a = std::uint8_t((x * 5 + y * 3) % 4 == 0 ? 0 : (x + y) % 3 == 0 ? 255 : 40 * (x + 1));
            const std::uint8_t rgba[4] = {std::uint8_t(a * x / 7), std::uint8_t(a * y / 5), std::uint8_t(a / 2), a};
            std::uint8_t* p = image.row(y) + 4 * x;
            if (format == PixelFormat::ARGB8)
                p[0] = rgba[3], p[1] = rgba[0], p[2] = rgba[1], p[3] = rgba[2];
            else
                std::copy(rgba, rgba + 4, p);
        }
    return image;
}

}  // namespace

TEST(CanvasDirectPaths, UnturnedRectanglesFillAsTheRasterizerDoes) {
    const Rect rects[] = {Rect(2, 3, 10, 6), Rect(1.3, 2.6, 9.45, 5.2), Rect(-4.5, -1.25, 30, 8.5), Rect(5.2, 4.1, 0.4, 0.3)};
    const Color colours[] = {Color::blackColor(), Color::rgb(0.1, 0.8, 0.4, 0.35)};
    for (bool antialias : {true, false})
        for (const Rect& r : rects)
            for (const Color& c : colours) {
                Canvas direct = patterned(20, 12), general = patterned(20, 12);
                for (Canvas* canvas : {&direct, &general}) {
                    canvas->setShouldAntialias(antialias);
                    canvas->translate(1, -0.5);
                    canvas->clipToRect(Rect(0, 0, 16, 10));
                    canvas->setFillColor(c);
                }
                direct.fillRect(r);
                general.fillPath(Path::rect(r));
                EXPECT_EQ(differences(direct, general), 0) << r << " antialias " << antialias << " alpha " << c.alpha;
            }
}

TEST(CanvasDirectPaths, ImagesCopiedPixelForPixelMatchTheResampledDrawing) {
    // RGBA8 goes the direct way; the same pixels as ARGB8 are resampled exactly at texel centres.
    const Bitmap rgba = picture(PixelFormat::RGBA8), argb = picture(PixelFormat::ARGB8);
    const std::pair<Rect, Rect> placements[] = {{Rect(2, 3, 7, 5), Rect(0, 0, 7, 5)},
                                                {Rect(-2, 8, 4, 3), Rect(3, 1, 4, 3)},
                                                {Rect(15, 1, 7, 5), Rect(0, 0, 7, 5)}};
    for (const auto& [into, from] : placements) {
        Canvas direct = patterned(20, 12), general = patterned(20, 12);
        for (Canvas* canvas : {&direct, &general}) {
            canvas->translate(1, 0);
            canvas->clipToRect(Rect(0, 0, 17, 11));
        }
        EXPECT_TRUE(direct.drawImage(rgba, into, from));
        EXPECT_TRUE(general.drawImage(argb, into, from));
        EXPECT_EQ(differences(direct, general), 0) << into << " from " << from;
    }
}
