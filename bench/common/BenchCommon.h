#pragma once
// What every benchmark program shares: the size of the test photo, and the memory-copy floor
// (BM_MemoryCopy, registered by the shared main) against which each figure is read.
#include <benchmark/benchmark.h>

#include <cstddef>
#include <cstdint>

namespace qvbench {

constexpr int kPhotoWidth = 6000;
constexpr int kPhotoHeight = 4000;
constexpr std::int64_t kPhotoPixels = std::int64_t(kPhotoWidth) * kPhotoHeight;

// Copies size bytes from source to target, split in contiguous slices over every hardware thread.
void parallelCopy(const std::uint8_t* source, std::uint8_t* target, std::size_t size);

// The best time, in seconds, of a few parallel copies of a 6000 x 4000 RGB photo (BM_MemoryCopy's
// work), measured on the first call: a benchmark divides its own time by it to give its ratio to
// the memory copy in the same run.
double memoryCopySeconds();

}  // namespace qvbench
