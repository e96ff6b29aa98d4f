// The layered PSD writer on a photo-sized picture: packing one plane, and whole documents written
// to the temporary folder at 8 and 16 bits (the decode is left out: the writer gets a ready bitmap).
#include <cstdlib>
#include <filesystem>
#include <memory>

#include "common/BenchCommon.h"
#include "output/RLE.h"
#include "output/WRWriter.h"

namespace {

std::shared_ptr<const qv::Bitmap> photo(qv::PixelFormat format) {
    auto b = std::make_shared<qv::Bitmap>(qv::Bitmap::make(qvbench::kPhotoWidth, qvbench::kPhotoHeight, format));
    // Smooth areas with noise, as in a photo: runs are short but not absent.
    std::uint32_t state = 12345;
    for (std::size_t i = 0; i < b->pixels.size(); ++i) {
        state = state * 1664525u + 1013904223u;
        b->pixels[i] = static_cast<std::uint8_t>((i / 97) % 200 + ((state >> 24) & 7));
    }
    return b;
}

void BM_PackPlane(benchmark::State& state) {
    const auto b = photo(qv::PixelFormat::RGB8);
    const std::size_t width = std::size_t(b->width);
    WRPackedPlane plane;
    for (auto _ : state) {
        // The green plane, gathered from the interleaved rows as the writer does.
        packPlane(b->height, width,
                  [&](int y, std::uint8_t* scratch) {
                      const std::uint8_t* row = b->row(y) + 1;
                      for (std::size_t x = 0; x < width; ++x) scratch[x] = row[3 * x];
                      return scratch;
                  },
                  plane);
        benchmark::DoNotOptimize(plane.data.data());
    }
    state.SetItemsProcessed(state.iterations() * qvbench::kPhotoPixels);
    state.counters["ratio"] = double(plane.data.size()) / double(qvbench::kPhotoPixels);
}
BENCHMARK(BM_PackPlane)->Unit(benchmark::kMillisecond)->UseRealTime();

// One layer of the given format written as a document of `depth` bytes per sample.
void writeDocument(benchmark::State& state, qv::PixelFormat format, int depth, int compression) {
    const auto b = photo(format);
    WRWriterDelegate delegate;
    delegate.bitmapOfFile = [&](const std::string&) { return b; };
    const std::string out = (std::filesystem::temp_directory_path() / "bench_output.psd").string();
    WRWriteRequest request{{"photo.tif"}, out, infoForOutput()};
    request.info._depth = std::int16_t(depth);
    request.info._compression = std::int16_t(compression);
    request.info._colorProfile = 0;
    for (auto _ : state) {
        WRWriter writer(delegate);
        if (!writer.writePhotoshopFile(request)) state.SkipWithError("write failed");
    }
    std::filesystem::remove(out);
    state.SetItemsProcessed(state.iterations() * qvbench::kPhotoPixels);
}

void BM_WriteRGBA8Raw8(benchmark::State& s) { writeDocument(s, qv::PixelFormat::RGBA8, 1, kWRCompressionRaw); }
void BM_WriteRGBA8Packed8(benchmark::State& s) { writeDocument(s, qv::PixelFormat::RGBA8, 1, kWRCompressionRLE); }
void BM_WriteRGB16Raw16(benchmark::State& s) { writeDocument(s, qv::PixelFormat::RGB16, 2, kWRCompressionRaw); }
BENCHMARK(BM_WriteRGBA8Raw8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteRGBA8Packed8)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WriteRGB16Raw16)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
