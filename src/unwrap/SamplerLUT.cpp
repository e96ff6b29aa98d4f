#include "unwrap/SamplerLUT.h"

#include "unwrap/Image.h"
#include "unwrap/Kernels.h"

#include <algorithm>
#include <iostream>

namespace unwrap {

namespace {

float usableScale(float scale) {
    if (!(scale >= 1.0f)) return 1.0f;  // NaN included
    return std::min(scale, SamplerLUT::kMaxScale);
}

}  // namespace

SamplerLUT::SamplerLUT(int samplerType, unsigned long resolution, float xScale, float yScale)
    : m_resolution(std::clamp(resolution, 1ul, kMaxResolution)),
      m_phaseCount(int(m_resolution)),
      m_phases(float(m_resolution)) {
    setup(samplerType, usableScale(xScale), usableScale(yScale));
}

SamplerLine SamplerLUT::line(bool yTable, unsigned long phase) const {
    const Table& t = table(yTable);
    if (t.stride == 0 || phase >= m_resolution) return SamplerLine();
    return SamplerLine(t.weights.data() + phase * std::size_t(t.stride), t.sizes[phase], t.starts[phase]);
}

void SamplerLUT::setup(int samplerType, float xScale, float yScale) {
    switch (samplerType) {
        case gaussian: fillLUTs(gaussian_kernel(), xScale, yScale); break;
        case mitchell: fillLUTs(mitchell_kernel(), xScale, yScale); break;
        case lanczos2: fillLUTs(lanczos_kernel<2>(), xScale, yScale); break;
        case lanczos3: fillLUTs(lanczos_kernel<3>(), xScale, yScale); break;
        case bspline: fillLUTs(bspline_kernel(), xScale, yScale); break;
        default: std::cerr << "SamplerLUT doesn't support this sampler" << std::endl; break;
    }
}

template <typename Kernel>
void SamplerLUT::fillLUTs(const Kernel& kernel, float xScale, float yScale) {
    fillLUT(m_x, kernel, xScale);
    fillLUT(m_y, kernel, yScale);
}

template <typename Kernel>
void SamplerLUT::fillLUT(Table& table, const Kernel& kernel, float scale) const {
    const float reach = kernel.support() * scale;
    const float phaseStep = 1.0f / m_phases;
    std::vector<std::vector<float>> lines(m_resolution);
    table.starts.assign(m_resolution, 0);
    table.sizes.assign(m_resolution, 0);
    for (unsigned long i = 0; i < m_resolution; ++i) {
        const float r = float(i) * phaseStep;
        const int start = int(std::ceil(r - reach));
        const int end = int(std::ceil(r + reach));
        std::vector<float>& weights = lines[i];
        float sum = 0.0f;
        float offset = float(start) - r;
        for (int k = start; k < end; ++k, offset += 1.0f) {
            const float w = kernel(offset / scale);
            weights.push_back(w);
            sum += w;
        }
        if (sum != 0.0f)
            for (float& w : weights) w /= sum;
        table.starts[i] = start;
        table.sizes[i] = int(weights.size());
        table.stride = std::max(table.stride, int(weights.size()));
    }
    table.weights.assign(m_resolution * std::size_t(table.stride), 0.0f);
    for (unsigned long i = 0; i < m_resolution; ++i)
        std::copy(lines[i].begin(), lines[i].end(), table.weights.begin() + std::ptrdiff_t(i * table.stride));
}

}  // namespace unwrap
