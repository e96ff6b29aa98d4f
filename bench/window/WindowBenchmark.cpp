// The window's responsiveness, on Qt's offscreen platform with the application's own main nib and
// a 6000 x 4000 photo (the sample photo's camera and lens data, so a lens is chosen and corrects).
// BM_SliderToScreen: the person moves the scale slider's widget; timed until the preview's widget
// has painted the new pixels (the model's action, the preview's chain, the window's drawing and
// the widget's paint). BM_EventsDuringSave: while a full-resolution save runs on its worker, a
// thread posts an event to the window system every 5 ms; the counters give the worst and the
// mean wait before the main thread served one.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <QSlider>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <unistd.h>

#include "appkit-qt/QtBackend.h"
#include "appkit-qt/ViewPeer.h"
#include "appkit/Application.h"
#include "common/BenchCommon.h"
#include "common/CorrectionScene.h"
#include "foundation/Bundle.h"
#include "foundation/Files.h"
#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "shell/controller/QVApplicationMain.h"

namespace {

using Clock = std::chrono::steady_clock;

std::string temporaryPath(const std::string& name) {
    const char* tmp = std::getenv("TMPDIR");
    return std::string(tmp && *tmp ? tmp : "/tmp") + "/bench_window_" + std::to_string(getpid()) + "_" + name;
}

struct Setup {
    std::unique_ptr<qv::qt::QtBackend> backend;
    QVMainNib nib;
    std::string photo = temporaryPath("photo.jpg");
    bool ready = false;

    Setup() {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // A home of its own: the first start's files, whatever the person running it keeps in theirs.
        std::string home = temporaryPath("home.XXXXXX");
        if (mkdtemp(home.data())) setenv("HOME", home.c_str(), 1);
        static int argc = 1;
        static char name[] = "bench_window";
        static char* argv[] = {name, nullptr};
        backend = std::make_unique<qv::qt::QtBackend>(argc, argv);
        qv::ui::Responder& responder = qv::ui::Application::shared().responder();
        // No one answers at this screen: every alert takes its first button, except the first
        // start's lens question, which is put off.
        responder.queueAlert({1, {}, qv::localizedString("Please tell Quorvel which lenses you own.")});
        responder.setAlertPolicy([](const qv::ui::AlertRequest&) { return qv::ui::AlertAnswer{}; });
        nib = QVLaunchApplication();

        auto sample = qv::io::ImageSource::createWithPath(QV_BENCH_SAMPLE_PHOTO);
        auto out = qv::io::ImageDestination::createWithPath(photo, "public.jpeg");
        if (!sample || !out) return;
        qv::Dictionary properties = sample->properties();
        properties.erase("PixelWidth");
        properties.erase("PixelHeight");
        out->addImage(qvbench::makeTexturedPhoto(qvbench::kPhotoWidth, qvbench::kPhotoHeight, qv::PixelFormat::RGB8),
                      properties);
        if (!out->finalize()) return;
        qv::ui::Application::shared().openFiles({photo});
        serve();
        ready = nib.controller->state().m_bImageLoaded;
    }
    ~Setup() {
        qv::waitForDetachedThreads(60);
        qv::files::removeItem(photo);
    }

    // Runs the main loop's queued work and the window system's events until nothing is left.
    void serve() {
        while (qv::RunLoop::main().runOnce(0) || qv::ui::Application::shared().dispatchQueuedEvents() > 0) {
        }
    }

    QWidget* widgetOf(const qv::ui::View& view) {
        backend->sync();
        qv::qt::ViewPeer* peer = backend->peerOf(view);
        return peer ? peer->widget() : nullptr;
    }
};

Setup& setup() {
    static Setup instance;
    return instance;
}

// The window's paints count as the widget's paint events.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint) ++paints;
        return false;
    }
};

void BM_SliderToScreen(benchmark::State& state) {
    Setup& s = setup();
    if (!s.ready) return state.SkipWithError("the photo did not open");
    auto* slider = qobject_cast<QSlider*>(s.widgetOf(*s.nib.controller->mainWindow().m_pScaleSlider));
    QWidget* preview = s.widgetOf(*s.nib.displayView);
    if (!slider || !preview) return state.SkipWithError("no peers for the slider and the preview");
    PaintCounter counter;
    preview->installEventFilter(&counter);
    int step = 0;
    for (auto _ : state) {
        const int before = counter.paints;
        // Between 90 and 110 per cent, a new value each time.
        slider->setValue(slider->maximum() * (40 + (step++ % 20)) / 100);
        while (counter.paints == before) {
            qv::RunLoop::main().runOnce(0);
            s.backend->sync();
            QApplication::processEvents();
        }
    }
    preview->removeEventFilter(&counter);
    state.SetItemsProcessed(state.iterations());
}

void BM_EventsDuringSave(benchmark::State& state) {
    Setup& s = setup();
    if (!s.ready) return state.SkipWithError("the photo did not open");
    double worst = 0, total = 0;
    long served = 0;
    for (auto _ : state) {
        const std::string out = temporaryPath("saved.jpg");
        qv::ui::Application::shared().responder().queuePanel({true, {out}});
        s.nib.controller->onSaveAs(nullptr);
        // The save starts from the panel's answer on the main queue.
        while (!s.nib.controller->state().mSaveInProgress.load()) qv::RunLoop::main().runOnce(0.001);
        std::atomic<bool> stop{false};
        std::thread poster([&] {
            while (!stop) {
                const auto posted = Clock::now();
                QMetaObject::invokeMethod(qApp, [posted, &worst, &total, &served] {
                    const double waited = std::chrono::duration<double>(Clock::now() - posted).count();
                    worst = std::max(worst, waited);
                    total += waited;
                    ++served;
                }, Qt::QueuedConnection);
                std::this_thread::sleep_for(std::chrono::milliseconds(5));
            }
        });
        // The application's own loop, as it runs while the person waits.
        while (s.nib.controller->state().mSaveInProgress.load()) {
            if (qv::ui::Application::shared().dispatchQueuedEvents() > 0) continue;
            qv::RunLoop::main().runOnce(0.05);
        }
        stop = true;
        poster.join();
        s.serve();
        const bool saved = qv::files::exists(out);
        qv::files::removeItem(out);
        if (!saved) return state.SkipWithError("the save wrote nothing");
    }
    state.counters["worst_wait_ms"] = worst * 1000;
    state.counters["mean_wait_ms"] = served ? total / served * 1000 : 0;
    state.counters["events"] = double(served);
}

}  // namespace

BENCHMARK(BM_SliderToScreen)->Unit(benchmark::kMillisecond)->UseRealTime()->MinTime(2);
BENCHMARK(BM_EventsDuringSave)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
