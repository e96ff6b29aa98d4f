// Unwrap of a 6000 x 4000 equidistant 180-degree fisheye photo, generated in memory, into a 4000 x 3000
// rectilinear 90-degree view: every sampler at 1 and at 8 threads, no file I/O. Items are output pixels.
#include "common/BenchCommon.h"

#include "unwrap/Unwrap.h"

#include <boost/gil/image_view_factory.hpp>

#include <cstdint>
#include <stdexcept>

namespace {

constexpr int kOutputWidth = 4000;
constexpr int kOutputHeight = 3000;

// A photo-like source: smooth gradients with fine detail, so that no sampler meets flat memory.
const unwrap::Image& fisheyePhoto() {
    static const unwrap::Image photo = [] {
        unwrap::Image image;
        image.emplace<boost::gil::rgb8_image_t>(qvbench::kPhotoWidth, qvbench::kPhotoHeight);
        auto view = boost::gil::view(boost::variant2::get<boost::gil::rgb8_image_t>(image));
        std::uint32_t noise = 12345;
        for (int y = 0; y < view.height(); ++y) {
            auto* row = view.row_begin(y);
            for (int x = 0; x < view.width(); ++x) {
                noise = noise * 1664525u + 1013904223u;
                row[x] = boost::gil::rgb8_pixel_t(std::uint8_t(x * 255 / view.width()), std::uint8_t((x ^ y) & 0xff),
                                                  std::uint8_t(noise >> 24));
            }
        }
        return image;
    }();
    return photo;
}

void BM_Unwrap(benchmark::State& state) {
    const int sampler = int(state.range(0));
    const unsigned long threads = (unsigned long)state.range(1);
    const unwrap::Image& photo = fisheyePhoto();
    unwrap::Image output;
    output.emplace<boost::gil::rgb8_image_t>(kOutputWidth, kOutputHeight);
    const unwrap::ConstImageView source = boost::gil::const_view(photo);
    const unwrap::ImageView target = boost::gil::view(output);
    for (auto _ : state) {
        if (unwrap::unwrapImage(source, target, 180.0f, 90.0f, sampler, threads) != 0)
            throw std::runtime_error("unwrap failed");
        benchmark::ClobberMemory();
    }
    static const char* const kNames[] = {"bilinear", "gaussian", "mitchell", "lanczos2", "lanczos3", "bspline"};
    state.SetLabel(kNames[sampler]);
    state.SetItemsProcessed(state.iterations() * std::int64_t(kOutputWidth) * kOutputHeight);
}

void samplersAndThreads(benchmark::internal::Benchmark* benchmark) {
    benchmark->ArgNames({"sampler", "threads"});
    for (int sampler = 0; sampler < 6; ++sampler)
        for (int threads : {1, 8}) benchmark->Args({sampler, threads});
}

}  // namespace

BENCHMARK(BM_Unwrap)->Apply(samplersAndThreads)->Unit(benchmark::kMillisecond)->UseRealTime();
