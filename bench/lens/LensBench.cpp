// Reading a lens database of a large catalogue's size and the queries the lens choice runs on it.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <string>

#include <unistd.h>

#include "lens/DatWriter.h"
#include "lens/QVDatabaseLoader.h"

namespace {

constexpr int kGroups = 200;
constexpr int kCamerasPerGroup = 8;
constexpr int kLensesPerGroup = 30;
constexpr int kCalibrationsPerLens = 5;

// A synthetic catalogue: 200 groups, 1600 cameras, 6000 lenses, 30000 calibration records.
DATDatabase catalogue() {
    DATDatabase db;
    for (int g = 0; g < kGroups; ++g) {
        const std::string group = "Group " + std::to_string(g);
        db.groups.push_back({-1, group});
        for (int c = 0; c < kCamerasPerGroup; ++c) {
            DATCamera camera;
            camera.group = g;
            camera.menuMake = "Make " + std::to_string(g % 12);
            camera.menuModel = "Model " + std::to_string(g) + "-" + std::to_string(c);
            camera.exifMake = "MAKE " + std::to_string(g % 12);
            camera.exifModel = "MODEL " + std::to_string(g) + "-" + std::to_string(c);
            camera.multiplier = 1.5f;
            db.cameras.push_back(camera);
        }
        for (int l = 0; l < kLensesPerGroup; ++l) {
            DATLens lens;
            lens.group = group;
            lens.name = "Lens " + std::to_string(l) + " of " + group;
            lens.multiplier = 1.5f;
            lens.minFocalLength = 10;
            lens.maxFocalLength = 10 + 10 * (kCalibrationsPerLens - 1);
            lens.firstCalibration = std::int32_t(db.calibrations.size());
            for (int k = 0; k < kCalibrationsPerLens; ++k)
                db.calibrations.push_back({10.0f + 10 * k, 0.001f * k, -0.01f + 0.002f * k, 0});
            lens.lastCalibration = std::int32_t(db.calibrations.size() - 1);
            db.lenses.push_back(lens);
        }
    }
    return db;
}

// The catalogue written once per run into the temporary folder, removed at exit.
struct CatalogueFile {
    std::string path = std::string(P_tmpdir) + "/qv-bench-lens-" + std::to_string(::getpid()) + ".dat";
    CatalogueFile() {
        std::string error;
        if (!lensdb::writeDatabaseFile(catalogue(), path, error)) std::fprintf(stderr, "%s\n", error.c_str());
    }
    ~CatalogueFile() { std::remove(path.c_str()); }
};

const std::string& cataloguePath() {
    static const CatalogueFile file;
    return file.path;
}

class Controller : public QVDatabaseLoaderClient {
public:
    double focalLength() const override { return 27.5; }
    bool showsOnlyMatchingLenses() const override { return false; }
};

void BM_ReadDatabase(benchmark::State& state) {
    const std::string& path = cataloguePath();
    for (auto _ : state) {
        QVDatabaseLoader loader;
        benchmark::DoNotOptimize(loader.loadPTLensDatabase(path));
    }
    state.SetItemsProcessed(state.iterations() * kGroups * kLensesPerGroup);
}
BENCHMARK(BM_ReadDatabase)->Unit(benchmark::kMillisecond);

void BM_LensArrayForCamGroup(benchmark::State& state) {
    Controller controller;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    loader.loadPTLensDatabase(cataloguePath());
    const std::vector<std::string> groups = {"Group 17", "Group 150"};
    for (auto _ : state) benchmark::DoNotOptimize(loader.lensArrayForCamGroup(groups));
    state.SetItemsProcessed(state.iterations() * 2 * kLensesPerGroup);
}
BENCHMARK(BM_LensArrayForCamGroup)->Unit(benchmark::kMicrosecond);

void BM_CorrectionValuesForIndex(benchmark::State& state) {
    Controller controller;
    QVDatabaseLoader loader;
    loader.setController(&controller);
    loader.setMultiplier(1.0);
    loader.loadPTLensDatabase(cataloguePath());
    std::int64_t lens = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(loader.correctionValuesForIndex(lens));
        lens = (lens + 7919) % (kGroups * kLensesPerGroup);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_CorrectionValuesForIndex);

}  // namespace
