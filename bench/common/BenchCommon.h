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

}  // namespace qvbench
