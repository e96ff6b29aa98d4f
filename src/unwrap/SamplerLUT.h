#pragma once
// Tabulated separable filters. A kernel is sampled once per unwrap into a table of normalised tap
// weights for `resolution` sub-pixel phases, one table along x and one along y, each stretched by its
// own scale so that the filter widens where the mapping shrinks the picture. Sampling a pixel then costs
// two table look-ups and a weighted sum; no kernel is evaluated per pixel.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace unwrap {

// floor(v) as an int, for |v| well inside the int range.
inline int floorToInt(float v) {
    const int truncated = int(v);
    return truncated - (v < float(truncated) ? 1 : 0);
}

// One phase of a table: `size()` tap weights summing to 1, the first tap `start` pixels from the
// integer part of the sampled coordinate. A line that was never filled has no taps.
class SamplerLine {
public:
    SamplerLine() = default;
    SamplerLine(const float* weights, int size, int start) : start(start), m_weights(weights), m_size(size) {}

    float operator[](int i) const { return m_weights[i]; }
    int size() const { return m_size; }
    const float* weights() const { return m_weights; }

    int start = 0;

private:
    const float* m_weights = nullptr;
    int m_size = 0;
};

// Where a coordinate's footprint lies: its nearest phase and the index of the source pixel under the
// phase's first tap.
struct SamplerFootprint {
    int phase;
    int first;
};

// A sampler table's contents as the per-pixel code reads them: plain pointers and counts. A band
// takes its own copy, which the compiler can keep in registers across the pixel stores (stores of
// 8-bit channels may alias anything that lives in memory).
struct SamplerTables {
    const float* xWeights;
    const int* xStarts;
    int xTaps;
    const float* yWeights;  // the fixed-step weights for 8-bit channels when there are some
    const int* yStarts;
    int yTaps;
    const std::int16_t* pairedRows;  // null when the table has no fixed-step weights
    std::ptrdiff_t pairStride;
    int phaseCount;
    float phases;

    // The footprint of a coordinate, rounded to the nearest phase. A coordinate within half a phase
    // below an integer takes phase 0 of that integer rather than the last phase of the pixel before.
    SamplerFootprint locate(bool yTable, float coordinate) const {
        int first = floorToInt(coordinate);
        int phase = int((coordinate - float(first)) * phases + 0.5f);
        if (phase >= phaseCount) {
            phase -= phaseCount;
            ++first;
        }
        return {phase, first + (yTable ? yStarts : xStarts)[phase]};
    }
    const float* columnWeights(int phase) const { return xWeights + std::ptrdiff_t(phase) * xTaps; }
    const float* rowWeights(int phase) const { return yWeights + std::ptrdiff_t(phase) * yTaps; }
    const std::int16_t* pairedRowWeights(int phase) const {
        return pairedRows ? pairedRows + std::ptrdiff_t(phase) * pairStride : nullptr;
    }
};

class SamplerLUT {
public:
    // The widest scale a table is built for; past it the footprint would cost more than it can add.
    static constexpr float kMaxScale = 256.0f;
    // The most phases a table is built with.
    static constexpr unsigned long kMaxResolution = 4096;
    // Row weights of footprints up to this many taps are also kept in steps of 1 / kFixedOne, so that
    // 8-bit columns can be summed in integers with the very result the float sum gives (every product
    // and partial sum of such weights and 8-bit channels is exact in single precision).
    static constexpr int kMaxFixedTaps = 8;
    static constexpr int kFixedOne = 16384;

    // Scales below 1 (and non-finite ones) count as 1, above kMaxScale as kMaxScale. A sampler type
    // without a kernel (bilinear, or unknown) is reported on the standard error stream and leaves the
    // tables without taps, so that every sample sums to black.
    SamplerLUT(int samplerType, unsigned long resolution, float xScale, float yScale);

    unsigned long resolution() const { return m_resolution; }
    bool empty() const { return m_x.stride == 0 || m_y.stride == 0; }

    // Phase `phase` (of resolution()) of the x table, or of the y table when yTable is true.
    SamplerLine line(bool yTable, unsigned long phase) const;

    // Taps per line of a table: the widest line's count; narrower lines are padded with weight 0.
    int taps(bool yTable) const { return table(yTable).stride; }

    // The tables for sampling channels of the given type: for 8-bit channels the row weights in
    // fixed steps when the table has them. The tables must not be empty.
    template <typename Channel>
    SamplerTables tables() const {
        const bool fixed = sizeof(Channel) == 1 && !m_fixedRows.empty();
        return {m_x.weights.data(),
                m_x.starts.data(),
                m_x.stride,
                (fixed ? m_fixedRows : m_y.weights).data(),
                m_y.starts.data(),
                m_y.stride,
                fixed ? m_pairedRows.data() : nullptr,
                m_pairStride,
                m_phaseCount,
                m_phases};
    }

    SamplerFootprint locate(bool yTable, float coordinate) const {
        return tables<float>().locate(yTable, coordinate);
    }
    const float* columnWeights(int phase) const { return tables<float>().columnWeights(phase); }
    template <typename Channel>
    const float* rowWeights(int phase) const {
        return tables<Channel>().rowWeights(phase);
    }
    const std::int16_t* pairedRowWeights(int phase) const {
        return tables<std::uint8_t>().pairedRowWeights(phase);
    }

private:
    struct Table {
        int stride = 0;
        std::vector<float> weights;  // resolution lines of `stride` weights
        std::vector<int> starts;
        std::vector<int> sizes;
    };

    const Table& table(bool yTable) const { return yTable ? m_y : m_x; }
    template <typename Kernel>
    void fillLUT(Table& table, const Kernel& kernel, float scale) const;
    template <typename Kernel>
    void fillLUTs(const Kernel& kernel, float xScale, float yScale);
    void setup(int samplerType, float xScale, float yScale);
    void fillFixedRows();

    unsigned long m_resolution;
    int m_phaseCount;  // the resolution as an int
    float m_phases;    // and as a float
    Table m_x, m_y;
    std::vector<float> m_fixedRows;         // the y weights rounded to steps of 1 / kFixedOne
    std::vector<std::int16_t> m_pairedRows;  // the same in kFixedOne units, paired for 16-bit multiply-adds
    std::ptrdiff_t m_pairStride = 0;        // numbers a phase in m_pairedRows
};

}  // namespace unwrap
