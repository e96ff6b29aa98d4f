#include "DisplayViewFixtures.h"

#include <cstdlib>

#include "EngineImages.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"

namespace viewtest {

qv::Bitmap makePicture(int width, int height, const std::function<Rgb(int x, int y)>& colour) {
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, qv::PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.row(y);
        for (int x = 0; x < width; ++x) {
            const Rgb c = colour(x, y);
            row[3 * x] = c[0], row[3 * x + 1] = c[1], row[3 * x + 2] = c[2];
        }
    }
    return bitmap;
}

std::string writePhoto(const std::string& path, const qv::Bitmap& picture, const qv::Dictionary& properties) {
    std::unique_ptr<qv::io::ImageDestination> destination = qv::io::ImageDestination::createWithPath(path, "public.tiff");
    if (!destination) return "";
    destination->addImage(picture, properties);
    return destination->finalize() ? path : "";
}

Rgb sampleColour(int x, int yUp, int width, int height) {
    return {std::uint8_t(x * 255 / std::max(1, width - 1)), std::uint8_t(yUp * 255 / std::max(1, height - 1)),
            std::uint8_t(((x / 8 + yUp / 8) % 2) ? 200 : 40)};
}

std::string writeSamplePhoto(const std::string& path, int width, int height) {
    return writePhoto(path, makePicture(width, height, [&](int x, int y) {
                          return sampleColour(x, height - 1 - y, width, height);
                      }));
}

ViewSetup::ViewSetup(double width, double height) {
    enginetest::useBundleResources();
    view = std::make_shared<QVDisplayView>(qv::Rect(0, 0, width, height));
    view->setController(&controller);
}

Picture::Picture(QVDisplayView& view, const std::string& pngPath) {
    const qv::ui::Canvas canvas = view.renderToCanvas();
    if (!canvas.writePNG(pngPath)) return;
    // QV_VIEW_PICTURES names a folder that keeps a copy of every drawn view, to look at.
    if (const char* keep = std::getenv("QV_VIEW_PICTURES"))
        qv::files::copyItem(pngPath, std::string(keep) + "/" + qv::paths::lastPathComponent(pngPath));
    std::shared_ptr<qv::io::ImageSource> source = qv::io::ImageSource::createWithPath(pngPath);
    if (!source) return;
    std::optional<qv::Bitmap> pixels = source->createImage();
    if (!pixels || pixels->format != qv::PixelFormat::RGBA8) return;
    m_pixels = std::move(*pixels);
}

std::array<int, 4> Picture::at(int x, int yUp) const {
    if (x < 0 || yUp < 0 || x >= m_pixels.width || yUp >= m_pixels.height) return {-1, -1, -1, -1};
    const std::uint8_t* p = m_pixels.row(m_pixels.height - 1 - yUp) + 4 * std::size_t(x);
    return {p[0], p[1], p[2], p[3]};
}

bool near(const std::array<int, 4>& pixel, const Rgb& expected, int tolerance) {
    for (int k = 0; k < 3; ++k)
        if (std::abs(pixel[k] - expected[k]) > tolerance) return false;
    return true;
}

}  // namespace viewtest
