#include "EngineImages.h"

#include <cstdlib>
#include <cstring>

#include "common/TempDir.h"

namespace enginetest {

void useBundleResources() {
    setenv("QV_RESOURCE_DIR", (qvtest::sourceDir() + "/resources").c_str(), 1);
}

qv::ci::Image drawImage(int width, int height, const std::function<Rgba(int x, int y)>& colour) {
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, qv::PixelFormat::RGBAf, true);
    for (int row = 0; row < height; ++row) {
        float* pixels = reinterpret_cast<float*>(bitmap.row(row));
        const int y = height - 1 - row;
        for (int x = 0; x < width; ++x) {
            const Rgba c = colour(x, y);
            for (int k = 0; k < 4; ++k) pixels[4 * x + k] = c[k];
        }
    }
    return qv::ci::Image::fromBitmap(std::move(bitmap));
}

qv::ci::Image uniformImage(int width, int height, Rgba colour) {
    return drawImage(width, height, [colour](int, int) { return colour; });
}

Rendered::Rendered(const qv::ci::Image& image, const qv::Rect& rect) {
    qv::ci::Context context;
    m_bitmap = context.createBitmap(image, rect, qv::PixelFormat::RGBAf);
}

Rgba Rendered::at(int x, int y) const {
    Rgba result{0, 0, 0, 0};
    if (x < 0 || y < 0 || x >= m_bitmap.width || y >= m_bitmap.height) return result;
    const float* pixels = reinterpret_cast<const float*>(m_bitmap.row(m_bitmap.height - 1 - y));
    std::memcpy(result.data(), pixels + 4 * x, sizeof result);
    return result;
}

}  // namespace enginetest
