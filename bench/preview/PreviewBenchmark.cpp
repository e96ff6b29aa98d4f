// The preview as a user sees it: a 6000 x 4000 photo loaded into a 1200 x 800 view, every
// correction on. BM_ApplyCorrection runs the whole preview chain on the proxy and draws the view
// (what choosing a lens does); BM_PerspectiveChange re-runs from the kept distortion-corrected
// image and draws (what every perspective slider move does); BM_LensDrag moves the magnifier's
// lens 30 points over the full-resolution chain and draws (what every mouse-dragged event does).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <string>
#include <unistd.h>

#include "FakeDisplayController.h"
#include "appkit/Application.h"
#include "appkit/Canvas.h"
#include "common/BenchCommon.h"
#include "coreimage/CIImageUnit.h"
#include "engine/LensFilter.h"
#include "engine/QVDisplayView.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"

namespace {

constexpr int kViewWidth = 1200;
constexpr int kViewHeight = 800;

// A photo-like picture: smooth gradients with a fine texture, so that no step can skip work.
qv::Bitmap makePhoto(int width, int height) {
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, qv::PixelFormat::RGB8);
    for (int y = 0; y < height; ++y) {
        std::uint8_t* row = bitmap.row(y);
        for (int x = 0; x < width; ++x) {
            row[3 * x + 0] = std::uint8_t((x * 255) / width);
            row[3 * x + 1] = std::uint8_t((y * 255) / height);
            row[3 * x + 2] = std::uint8_t(((x ^ y) & 0x3f) + 96);
        }
    }
    return bitmap;
}

void everyCorrectionOn(FakeParameters& p) {
    p.coefficients = {0.01, -0.03, 0.02, 1.0};
    p.scale = 105;
    p.red = 1.0006;
    p.blue = 0.9994;
    p.vignetAmount = 30;
    p.vignetMid = 10;
    p.yawAngle = 3;
    p.pitchAngle = -2;
    p.rotation = 1.5;
    p.angleOfView = 60;
    p.crop = FakeParameters::Crop::Inside;
}

struct Setup {
    FakeDisplayController controller;
    std::shared_ptr<QVDisplayView> view;
    qv::ui::Canvas canvas{kViewWidth, kViewHeight};
    bool loaded = false;

    Setup() {
        setenv("QV_RESOURCE_DIR", QV_BENCH_RESOURCE_DIR, 0);
        LensFilter::installImageUnit();
        qv::ci::loadPlugIn("LensFilter");
        everyCorrectionOn(controller.p);
        controller.grid = true;
        view = std::make_shared<QVDisplayView>(qv::Rect(0, 0, kViewWidth, kViewHeight));
        view->setController(&controller);
        // The photo goes through a file, as an opened photo does.
        const char* tmp = std::getenv("TMPDIR");
        const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_preview_" + std::to_string(getpid()) + ".jpg";
        auto out = qv::io::ImageDestination::createWithPath(path, "public.jpeg");
        if (out) {
            out->addImage(makePhoto(qvbench::kPhotoWidth, qvbench::kPhotoHeight), {});
            loaded = out->finalize() && view->setCIImageFromFile(path);
        }
        qv::files::removeItem(path);
    }

    void draw() { view->drawHierarchy(canvas); }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

bool ready(benchmark::State& state) {
    if (setup().loaded) return true;
    state.SkipWithError("the photo could not be written and loaded");
    return false;
}

void BM_ApplyCorrection(benchmark::State& state) {
    if (!ready(state)) return;
    Setup& s = setup();
    s.view->showMagnifier(false);
    for (auto _ : state) {
        s.view->applyCorrection();
        s.draw();
        benchmark::DoNotOptimize(s.canvas.bitmap().pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kViewWidth * kViewHeight);
}

void BM_PerspectiveChange(benchmark::State& state) {
    if (!ready(state)) return;
    Setup& s = setup();
    s.view->showMagnifier(false);
    s.view->applyCorrection();
    double yaw = 3;
    for (auto _ : state) {
        yaw = yaw == 3 ? 4 : 3;
        s.controller.p.yawAngle = yaw;
        s.view->perspective();
        s.draw();
        benchmark::DoNotOptimize(s.canvas.bitmap().pixels.data());
    }
    state.SetItemsProcessed(state.iterations() * kViewWidth * kViewHeight);
}

void BM_LensDrag(benchmark::State& state) {
    if (!ready(state)) return;
    Setup& s = setup();
    s.view->applyCorrection();
    s.view->setMagnification(100);
    s.view->showMagnifier(true);
    s.draw();
    qv::ui::Application& application = qv::ui::Application::shared();
    double x = 500;
    for (auto _ : state) {
        x = x == 500 ? 530 : 500;
        application.postEvent(qv::ui::Event::mouse(qv::ui::EventType::LeftMouseDragged, {x, 400}));
        application.postEvent(qv::ui::Event::mouse(qv::ui::EventType::LeftMouseUp, {x, 400}));
        s.view->mouseDown(qv::ui::Event::mouse(qv::ui::EventType::LeftMouseDown, {x, 400}));
        s.draw();
        benchmark::DoNotOptimize(s.canvas.bitmap().pixels.data());
    }
    s.view->showMagnifier(false);
    state.SetItemsProcessed(state.iterations() * kViewWidth * kViewHeight);
}

}  // namespace

BENCHMARK(BM_ApplyCorrection)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_PerspectiveChange)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
BENCHMARK(BM_LensDrag)->Unit(benchmark::kMillisecond)->UseRealTime()->Repetitions(5)->ReportAggregatesOnly(true);
