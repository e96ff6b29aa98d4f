// Reading and writing a full-size photo in each format, and the pixel work around it (turning a
// render's premultiplied ARGB into stored RGB, turning a photo upright). Items are pixels.
#include <cmath>

#include "common/BenchCommon.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "imageio/Orientation.h"
#include "imageio/support/PixelLayout.h"

namespace {

using namespace qv;
using namespace qv::io;

// A photo-like picture: smooth gradients with fine texture, so that codecs work as on real photos.
Bitmap photo(PixelFormat format, bool premultiplied) {
    Bitmap b = Bitmap::make(qvbench::kPhotoWidth, qvbench::kPhotoHeight, PixelFormat::RGBA16);
    for (int y = 0; y < b.height; ++y) {
        auto* p = reinterpret_cast<std::uint16_t*>(b.row(y));
        for (int x = 0; x < b.width; ++x, p += 4) {
            const double t = std::sin(x * 0.05) * std::cos(y * 0.03);
            p[0] = std::uint16_t(65535.0 * x / b.width);
            p[1] = std::uint16_t(65535.0 * y / b.height);
            p[2] = std::uint16_t(32767.5 + 32767.0 * t);
            p[3] = 65535;
        }
    }
    Bitmap out = support::convertPixels(b, format);
    out.premultiplied = premultiplied;
    return out;
}

const Bitmap& render8() {
    static const Bitmap b = photo(PixelFormat::ARGB8, true);
    return b;
}
const Bitmap& render16() {
    static const Bitmap b = photo(PixelFormat::RGBA16, true);
    return b;
}

Data encode(const std::string& type, const Bitmap& pixels, const Dictionary& properties) {
    Data out;
    auto destination = ImageDestination::createWithData(out, type);
    destination->addImage(pixels, properties);
    destination->finalize();
    return out;
}

void setPixels(benchmark::State& state) { state.SetItemsProcessed(state.iterations() * qvbench::kPhotoPixels); }

// Fixtures are made before the timed loops start.
void BM_EncodeJpeg(benchmark::State& state) {
    render8();
    for (auto _ : state) benchmark::DoNotOptimize(encode(kUTTypeJPEG, render8(), {{kCGImageDestinationLossyCompressionQuality, 0.9}}));
    setPixels(state);
}

void BM_DecodeJpeg(benchmark::State& state) {
    const Data file = encode(kUTTypeJPEG, render8(), {});
    for (auto _ : state) benchmark::DoNotOptimize(ImageSource::createWithData(file)->createImage());
    setPixels(state);
}

void BM_EncodeTiff16(benchmark::State& state) {
    const Dictionary properties{{"{TIFF}", Dictionary{{"Compression", int(state.range(0))}}}};
    render16();
    for (auto _ : state) benchmark::DoNotOptimize(encode(kUTTypeTIFF, render16(), properties));
    setPixels(state);
}

void BM_DecodeTiff16(benchmark::State& state) {
    const Data file = encode(kUTTypeTIFF, render16(), {{"{TIFF}", Dictionary{{"Compression", int(state.range(0))}}}});
    for (auto _ : state) benchmark::DoNotOptimize(ImageSource::createWithData(file)->createImage());
    setPixels(state);
}

void BM_EncodePsd8(benchmark::State& state) {
    render8();
    for (auto _ : state) benchmark::DoNotOptimize(encode(kUTTypePSD, render8(), {}));
    setPixels(state);
}

void BM_DecodePsd8(benchmark::State& state) {
    const Data file = encode(kUTTypePSD, render8(), {});
    for (auto _ : state) benchmark::DoNotOptimize(ImageSource::createWithData(file)->createImage());
    setPixels(state);
}

void BM_EncodeExr(benchmark::State& state) {
    render16();
    for (auto _ : state) benchmark::DoNotOptimize(encode(kUTTypeOpenEXR, render16(), {}));
    setPixels(state);
}

void BM_DecodeExr(benchmark::State& state) {
    const Data file = encode(kUTTypeOpenEXR, render16(), {});
    for (auto _ : state) benchmark::DoNotOptimize(ImageSource::createWithData(file)->createImage());
    setPixels(state);
}

void BM_UnpremultiplyToRgb8(benchmark::State& state) {
    render8();
    for (auto _ : state) benchmark::DoNotOptimize(support::convertPixels(render8(), PixelFormat::RGB8));
    setPixels(state);
}

void BM_TurnUpright(benchmark::State& state) {
    static const Bitmap stored = support::convertPixels(render8(), PixelFormat::RGB8);
    for (auto _ : state) benchmark::DoNotOptimize(applyOrientation(stored, 6));
    setPixels(state);
}

}  // namespace

BENCHMARK(BM_EncodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeJpeg)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeTiff16)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeTiff16)->Arg(1)->Arg(5)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodePsd8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodePsd8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_EncodeExr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_DecodeExr)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UnpremultiplyToRgb8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TurnUpright)->Unit(benchmark::kMillisecond)->UseRealTime();
