#pragma once
// How an unwrap is cut into band tasks: horizontal bands of output rows, each filled by one task with
// its own warp grid and a shared, read-only sampler table.
#include "unwrap/Image.h"
#include "unwrap/SamplerLUT.h"

#include <cstddef>
#include <memory>
#include <vector>

namespace unwrap {

// Output rows [first, end).
struct RowBand {
    int first;
    int end;
};

// The bands for `threads` workers over `height` rows: one band for 0 threads (the calling thread) or
// 1; otherwise many bands, long ones first and ever shorter ones after, which the workers take in
// turn, so that a worker slowed by the rest of the machine does not hold up the others. Every band
// starts on a warp grid row. The bands cover every row exactly once, in order, and none is empty.
std::vector<RowBand> bandRows(int height, unsigned long threads);

// Workers worth starting for `threads` asked and `bands` bands.
std::size_t workerCount(unsigned long threads, std::size_t bands);

// One band task.
class unwrapper {
public:
    unwrapper(const ConstImageView& src, const ImageView& dst, float inputFOV, float outputFOV, int rowStart,
              int rowEnd, int samplerType, std::shared_ptr<const SamplerLUT> lut);

    // Fills the band's rows of the destination; std::bad_cast when the views differ in pixel type.
    void operator()() const;

private:
    ConstImageView m_src;
    ImageView m_dst;
    float m_inputFOV;
    float m_outputFOV;
    int m_rowStart;
    int m_rowEnd;
    int m_samplerType;
    std::shared_ptr<const SamplerLUT> m_lut;  // null for bilinear
};

}  // namespace unwrap
