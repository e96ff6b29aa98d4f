// Rendering a 6000 x 4000 photo to 8-bit ARGB through the chains the correction engine builds:
// one affine transform, the chromatic-aberration pattern (three channel images, two of them
// scaled, recombined by maximum compositing), a perspective transform and a Lanczos reduction to
// the 900 x 600 preview size. Each figure is read against BM_MemoryCopy of the same run.
#include <tbb/parallel_for.h>

#include <cmath>

#include "common/BenchCommon.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"

using namespace qv;
using namespace qv::ci;

namespace {

// A decoded photo as the image reader gives it: 8-bit RGB with smooth gradients and some texture.
const Image& photo() {
    static const Image image = [] {
        Bitmap b = Bitmap::make(qvbench::kPhotoWidth, qvbench::kPhotoHeight, PixelFormat::RGB8);
        tbb::parallel_for(0, b.height, [&](int y) {
            std::uint8_t* row = b.row(y);
            for (int x = 0; x < b.width; ++x) {
                row[3 * x] = std::uint8_t(x * 255 / b.width);
                row[3 * x + 1] = std::uint8_t(y * 255 / b.height);
                row[3 * x + 2] = std::uint8_t((x ^ y) & 0xff);
            }
        });
        return Image::fromBitmap(std::move(b));
    }();
    return image;
}

Image output(const std::shared_ptr<Filter>& f) { return *f->valueForKey("outputImage").image(); }

Image channel(const Image& in, int which) {
    auto f = Filter::filterWithName("CIColorMatrix");
    f->setDefaults();
    f->setValue("inputImage", in);
    f->setValue("inputRVector", Vec4{which == 0 ? 1.0 : 0.0, 0, 0, 0});
    f->setValue("inputGVector", Vec4{0, which == 1 ? 1.0 : 0.0, 0, 0});
    f->setValue("inputBVector", Vec4{0, 0, which == 2 ? 1.0 : 0.0, 0});
    return output(f);
}

Image scaledAboutCentre(const Image& in, double f) {
    const Rect e = in.extent();
    return in.imageByApplyingTransform(
        AffineTransform{f, 0, 0, f, (e.width() - e.width() * f) / 2, (e.height() - e.height() * f) / 2});
}

Image maximum(const Image& a, const Image& b) {
    auto f = Filter::filterWithName("CIMaximumCompositing");
    f->setValue("inputImage", a);
    f->setValue("inputBackgroundImage", b);
    return output(f);
}

Image affineChain() {
    const Rect e = photo().extent();
    const AffineTransform t = AffineTransform::translation(-e.midX(), -e.midY())
                                  .concat(AffineTransform::rotation(0.02))
                                  .concat(AffineTransform::scale(1.03, 1.03))
                                  .concat(AffineTransform::translation(e.midX(), e.midY()));
    return photo().imageByApplyingTransform(t);
}

Image chromaticAberrationChain() {
    const Image& p = photo();
    Image red = scaledAboutCentre(channel(p, 0), 1.0008f);
    Image green = channel(p, 1);
    Image blue = scaledAboutCentre(channel(p, 2), 0.9992f);
    return maximum(blue, maximum(green, red));
}

Image perspectiveChain() {
    const Rect e = photo().extent();
    auto f = Filter::filterWithName("CIPerspectiveTransform");
    f->setValue("inputImage", photo());
    f->setValue("inputTopLeft", Vec2{e.minX() + 180, e.maxY() - 40});
    f->setValue("inputTopRight", Vec2{e.maxX() - 180, e.maxY() - 40});
    f->setValue("inputBottomRight", Vec2{e.maxX() + 60, e.minY()});
    f->setValue("inputBottomLeft", Vec2{e.minX() - 60, e.minY()});
    return output(f);
}

Image lanczosChain() {
    auto f = Filter::filterWithName("CILanczosScaleTransform");
    f->setDefaults();
    f->setValue("inputImage", photo());
    f->setValue("inputScale", 900.0 / qvbench::kPhotoWidth);
    return output(f);
}

// Renders the photo's own rectangle of the chain (the output size of the save path) into a bitmap
// kept between iterations, as a caller rendering repeatedly would.
void renderChain(benchmark::State& state, Image (*build)(), bool rebuildEachTime) {
    Image image = build();
    const Rect rect = rebuildEachTime ? image.extent() : photo().extent();
    Context context;
    Bitmap target = Bitmap::make(int(Context::renderBounds(rect).width()), int(Context::renderBounds(rect).height()),
                                 PixelFormat::ARGB8, true);
    for (auto _ : state) {
        // The Lanczos node keeps a small output once made: build it anew to measure the resample.
        if (rebuildEachTime) image = build();
        if (!context.render(image, target, rect)) state.SkipWithError("render failed");
        benchmark::DoNotOptimize(target.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * std::int64_t(target.width) * target.height);
}

}  // namespace

static void BM_RenderAffineARGB8(benchmark::State& state) { renderChain(state, affineChain, false); }
static void BM_RenderChromaticAberrationARGB8(benchmark::State& state) {
    renderChain(state, chromaticAberrationChain, false);
}
static void BM_RenderPerspectiveARGB8(benchmark::State& state) { renderChain(state, perspectiveChain, false); }
static void BM_RenderLanczosTo900x600ARGB8(benchmark::State& state) { renderChain(state, lanczosChain, true); }

BENCHMARK(BM_RenderAffineARGB8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderChromaticAberrationARGB8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderPerspectiveARGB8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_RenderLanczosTo900x600ARGB8)->Unit(benchmark::kMillisecond)->UseRealTime();
