// The correction chain with every correction on: the full-resolution chain of a 6000 x 4000 photo
// rendered to 8-bit ARGB and to 16-bit RGBA (what a save does), and the whole preview chain of its
// 900 x 600 proxy rendered to 8-bit (what every slider move does). The full-resolution figures
// carry x_memory_copy: their time per photo over that of a parallel copy of the photo's bytes.
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <cstring>

#include "common/BenchCommon.h"
#include "common/CorrectionScene.h"
#include "coreimage/CIContext.h"
#include "coreimage/CIImage.h"
#include "engine/QVViewChain.h"

namespace {

struct Setup {
    FakeParameters controller;
    QVViewChain view{&controller};
    qv::ci::Image photo;
    qv::ci::Image proxy;

    Setup() {
        setenv("QV_RESOURCE_DIR", QV_BENCH_RESOURCE_DIR, 0);
        qvbench::everyCorrectionOn(controller, FakeParameters::Crop::None);
        photo = qv::ci::Image::fromBitmap(
            qvbench::makeTexturedPhoto(qvbench::kPhotoWidth, qvbench::kPhotoHeight, qv::PixelFormat::RGBA8));
        // The proxy as the view keeps it, made into pixels once.
        qv::ci::Context context;
        QVCIFilters filters;
        const qv::ci::Image scaled = filters.createQualityScaledImage(photo, 0.15, 1.0);
        proxy = qv::ci::Image::fromBitmap(context.createBitmap(scaled, scaled.extent(), qv::PixelFormat::RGBA8));
        view.m_pImage = photo;
        view.m_pFixdSizeImage = proxy;
        view.setApplyFlagTo(true);
        view.setCorrectFlagTo(true);
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

void renderFullChain(benchmark::State& state, qv::PixelFormat format) {
    Setup& s = setup();
    qv::ci::Context context;
    std::size_t bytes = 0;
    const double copySeconds = qvbench::memoryCopySeconds();
    const auto start = std::chrono::steady_clock::now();
    for (auto _ : state) {
        const qv::ci::Image result = s.view.fullResolutionChain(s.photo, s.controller.correctionParameters());
        const qv::Bitmap bitmap = context.createBitmap(result, result.extent(), format);
        if (!bitmap.isValid()) {
            state.SkipWithError("the full-resolution chain did not render");
            return;
        }
        bytes = bitmap.pixels.size();
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    state.SetItemsProcessed(state.iterations() * qvbench::kPhotoPixels);
    state.counters["output_MB"] = double(bytes) / 1e6;
    state.counters["x_memory_copy"] = seconds / double(state.iterations()) / copySeconds;
}

void BM_FullChainTo8Bit(benchmark::State& state) {
    renderFullChain(state, qv::PixelFormat::ARGB8);
}

void BM_FullChainTo16Bit(benchmark::State& state) {
    renderFullChain(state, qv::PixelFormat::RGBA16);
}

void BM_PreviewChainOnProxy(benchmark::State& state) {
    Setup& s = setup();
    qv::ci::Context context;
    for (auto _ : state) {
        s.view.m_pCorrectedImage = s.view.correctedPreviewOf(s.view.previewSource());
        const qv::ci::Image shown = s.view.rerunFromCorrected();
        const qv::Bitmap bitmap = context.createBitmap(shown, shown.extent(), qv::PixelFormat::ARGB8);
        if (!bitmap.isValid()) {
            state.SkipWithError("the preview chain did not render");
            return;
        }
        benchmark::DoNotOptimize(bitmap.pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * 900 * 600);
}

}  // namespace

BENCHMARK(BM_FullChainTo8Bit)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_FullChainTo16Bit)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PreviewChainOnProxy)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
