// The shipped lens database (converted from the installed lens calibration data): reading it, and
// the lens choice for a photo as the application runs it after an open, for a camera and lens the
// database knows and for a camera it does not know (the search widened over every camera's lenses).
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include <unistd.h>

#include "foundation/Bundle.h"
#include "imageio/ImageProperties.h"
#include "lens/QVDatabaseLoader.h"
#include "shell/controller/QVApplicationMain.h"
#include "shell/controller/QVController.h"
#include "shell/nib/QVMainNib.h"

namespace {

std::string shippedDatabase() { return qv::Bundle::main().pathForResource("PTLens", "dat").value_or(""); }

void BM_ReadShippedDatabase(benchmark::State& state) {
    const std::string path = shippedDatabase();
    std::size_t lenses = 0;
    for (auto _ : state) {
        QVDatabaseLoader loader;
        if (!loader.loadPTLensDatabase(path)) state.SkipWithError("the bundle's PTLens.dat cannot be read");
        lenses = loader.database() ? loader.database()->lenses.size() : 0;
    }
    state.counters["lens records"] = double(lenses);
}
BENCHMARK(BM_ReadShippedDatabase)->Unit(benchmark::kMillisecond);

// The application launched once in a home folder of its own, with the shipped database loaded.
struct LaunchedApplication {
    std::string home;
    QVMainNib nib;
    LaunchedApplication() {
        home = (std::filesystem::temp_directory_path() / ("qv-bench-home-" + std::to_string(::getpid()))).string();
        std::filesystem::create_directories(home);
        setenv("HOME", home.c_str(), 1);
        nib = QVLaunchApplication();
    }
    ~LaunchedApplication() {
        std::error_code ignored;
        std::filesystem::remove_all(home, ignored);
    }
};

QVController& launchedController() {
    static LaunchedApplication application;
    return *application.nib.controller;
}

// The photo's EXIF and lens information as the open step leaves them.
void showPhoto(QVController& c, const char* make, const char* model, double focal, double aperture, float min,
               float max) {
    qv::Value metadata{qv::Dictionary()};
    metadata[qv::io::kCGImagePropertyTIFFDictionary]["Make"] = make;
    metadata[qv::io::kCGImagePropertyTIFFDictionary]["Model"] = model;
    metadata[qv::io::kCGImagePropertyExifDictionary][qv::io::kCGImagePropertyExifFocalLength] = focal;
    metadata[qv::io::kCGImagePropertyExifDictionary][qv::io::kCGImagePropertyExifMaxApertureValue] = aperture;
    c.mainWindow().m_pDisplayView->setImageMetadata(metadata);
    c.setMinFocalLengthFromImage(min);
    c.setMaxFocalLengthFromImage(max);
}

void choose(benchmark::State& state, const char* make, const char* model) {
    QVController& c = launchedController();
    showPhoto(c, make, model, 24, 4.0, 24, 105);
    bool found = false;
    for (auto _ : state) {
        c.setLensProperties();
        found = c.autoselectionForLens();
    }
    if (!found) state.SkipWithError("no lens chosen");
}

void BM_LensChoiceKnownCamera(benchmark::State& state) { choose(state, "Canon", "Canon EOS 5D Mark II"); }
BENCHMARK(BM_LensChoiceKnownCamera)->Unit(benchmark::kMillisecond);

void BM_LensChoiceUnknownCamera(benchmark::State& state) { choose(state, "Zenith", "Zenith Imaginary 9"); }
BENCHMARK(BM_LensChoiceUnknownCamera)->Unit(benchmark::kMillisecond);

}  // namespace
