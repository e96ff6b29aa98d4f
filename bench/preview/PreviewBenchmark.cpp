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
#include "common/CorrectionScene.h"
#include "coreimage/CIImageUnit.h"
#include "engine/LensFilter.h"
#include "engine/QVDisplayView.h"
#include "foundation/Files.h"
#include "imageio/ImageDestination.h"

namespace {

constexpr int kViewWidth = 1200;
constexpr int kViewHeight = 800;

struct Setup {
    FakeDisplayController controller;
    std::shared_ptr<QVDisplayView> view;
    qv::ui::Canvas canvas{kViewWidth, kViewHeight};
    bool loaded = false;

    Setup() {
        setenv("QV_RESOURCE_DIR", QV_BENCH_RESOURCE_DIR, 0);
        LensFilter::installImageUnit();
        qv::ci::loadPlugIn("LensFilter");
        qvbench::everyCorrectionOn(controller.p, FakeParameters::Crop::Inside);
        controller.grid = true;
        view = std::make_shared<QVDisplayView>(qv::Rect(0, 0, kViewWidth, kViewHeight));
        view->setController(&controller);
        // The photo goes through a file, as an opened photo does.
        const char* tmp = std::getenv("TMPDIR");
        const std::string path = std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_preview_" + std::to_string(getpid()) + ".jpg";
        auto out = qv::io::ImageDestination::createWithPath(path, "public.jpeg");
        if (out) {
            out->addImage(qvbench::makeTexturedPhoto(qvbench::kPhotoWidth, qvbench::kPhotoHeight, qv::PixelFormat::RGB8), {});
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
