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
    if (m_y.stride <= kMaxFixedTaps) fillFixedRows();
}

void SamplerLUT::fillFixedRows() {
    const int stride = m_y.stride;
    if (stride == 0) return;
    const int pairs = (stride + 1) / 2;
    m_pairStride = std::ptrdiff_t(pairs) * 8;
    m_fixedRows.assign(m_y.weights.size(), 0.0f);
    m_pairedRows.assign(m_resolution * std::size_t(m_pairStride), 0);
    std::vector<int> units(std::size_t(2 * pairs));
    for (std::size_t phase = 0; phase < m_resolution; ++phase) {
        const float* weights = m_y.weights.data() + phase * std::size_t(stride);
        // Rounded down to units, then the units still missing to make exactly one go to the weights
        // that rounding down cut the most: each stays within a unit of its exact value, every phase
        // sums to exactly one, and a flat field stays exactly flat.
        std::vector<std::pair<double, int>> cut(static_cast<std::size_t>(stride));
        int sum = 0;
        for (int k = 0; k < stride; ++k) {
            const double exact = double(weights[k]) * kFixedOne;
            units[std::size_t(k)] = int(std::floor(exact));
            sum += units[std::size_t(k)];
            cut[std::size_t(k)] = {exact - std::floor(exact), k};
        }
        std::sort(cut.begin(), cut.end(), [](const auto& a, const auto& b) { return a.first > b.first; });
        for (int missing = kFixedOne - sum, i = 0; missing > 0 && i < stride; --missing, ++i)
            ++units[std::size_t(cut[std::size_t(i)].second)];
        for (int k = 0; k < stride; ++k)
            m_fixedRows[phase * std::size_t(stride) + std::size_t(k)] = float(units[std::size_t(k)]) / kFixedOne;
        std::int16_t* paired = m_pairedRows.data() + std::ptrdiff_t(phase) * m_pairStride;
        for (int pair = 0; pair < pairs; ++pair)
            for (int lane = 0; lane < 4; ++lane) {
                paired[8 * pair + 2 * lane] = std::int16_t(units[std::size_t(2 * pair)]);
                paired[8 * pair + 2 * lane + 1] = std::int16_t(units[std::size_t(2 * pair + 1)]);
            }
        std::fill(units.begin(), units.end(), 0);
    }
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
