// The Lanczos resample: a pixel-holding node. Its pixels are computed for the region a render
// needs, in bands of output rows in parallel: each band pulls the input rows it needs through the
// input's own evaluators (one row at a time), filters them horizontally, then vertically. Small
// outputs (a preview proxy) are computed whole once and kept, so every later render of them reads
// pixels that are already there.
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <mutex>

#include "coreimage/Node.h"
#include "coreimage/Operations.h"
#include "coreimage/Raster.h"
#include "coreimage/SimdTypes.h"

namespace qv::ci::detail {

namespace {

constexpr double kLobes = 3;
constexpr double kPi = 3.14159265358979323846;
constexpr double kCacheLimitPixels = 4.0 * 1024 * 1024;
constexpr double kFloatStorageLimitPixels = 8.0 * 1024 * 1024;
constexpr int kBandRows = 32;
constexpr int kFetchChunk = 1024;

double lanczos(double x) {
    x = std::fabs(x);
    if (x < 1e-12) return 1;
    if (x >= kLobes) return 0;
    const double px = kPi * x;
    return kLobes * std::sin(px) * std::sin(px / kLobes) / (px * px);
}

// For every output pixel along one axis, the input pixels it takes and their weights. Input pixel
// k (0-based from inStart) has its centre at inStart + k + 0.5; output pixel j at outStart + j + 0.5,
// which corresponds to input position (outStart + j + 0.5) / scale. Taps beyond the input's
// extent [extentLo, extentHi) are left out and the rest renormalised, so edges do not darken.
struct Taps {
    std::vector<int> first, count;
    std::vector<float> weights;  // count[j] weights starting at offset[j]
    std::vector<std::size_t> offset;
};

Taps makeTaps(long long outStart, int outCount, long long inStart, int inCount, double scale, double extentLo,
              double extentHi) {
    Taps t;
    const double stretch = std::min(1.0, scale);  // widen the kernel when reducing
    const double support = kLobes / stretch;
    for (int j = 0; j < outCount; ++j) {
        const double centre = (double(outStart) + j + 0.5) / scale;  // working space
        // Inputs whose centres lie within the reach, inside the extent and inside the fetched rows.
        const double lo = std::ceil(std::max({centre - support - 0.5, extentLo, double(inStart)}));
        const double hi = std::floor(std::min({centre + support - 0.5, extentHi - 1, double(inStart + inCount - 1)}));
        t.first.push_back(hi >= lo ? int(lo - double(inStart)) : 0);
        t.offset.push_back(t.weights.size());
        double sum = 0;
        std::vector<double> w;
        for (double k = lo; k <= hi; ++k) {
            const double v = lanczos((k + 0.5 - centre) * stretch);
            w.push_back(v);
            sum += v;
        }
        if (w.empty() || std::fabs(sum) < 1e-12) {
            t.count.push_back(0);
            continue;
        }
        t.count.push_back(int(w.size()));
        for (double v : w) t.weights.push_back(float(v / sum));
    }
    return t;
}

struct LanczosRaster final : Prepared {
    std::shared_ptr<const Bitmap> bitmap;
    double originX = 0, originY = 0;
};

class LanczosNode final : public Node {
public:
    LanczosNode(std::shared_ptr<const Node> source, double sx, double sy, Rect extent)
        : Node(extent), m_source(std::move(source)), m_sx(sx), m_sy(sy) {}

    std::unique_ptr<Prepared> prepare(const Rect& roi, const RenderStatisticsSink& sink) const override {
        auto out = std::make_unique<LanczosRaster>();
        if (roi.isEmpty()) return out;
        const bool cacheable = m_extent.isFinite() && m_extent.width() * m_extent.height() <= kCacheLimitPixels;
        if (cacheable) {
            std::lock_guard<std::mutex> lock(m_cacheMutex);
            if (!m_cache.bitmap) m_cache = materialise(m_extent.integral(), sink);
            *out = m_cache;
            return out;
        }
        *out = materialise(roi.integral().intersection(m_extent.integral()), sink);
        return out;
    }
    Rect regionOfInterest(std::size_t, const Rect&, const Prepared*) const override { return Rect::null(); }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect& roi, std::unique_ptr<Prepared> prepared,
                                             const std::vector<const Evaluator*>&,
                                             const RenderStatisticsSink&) const override {
        auto* raster = static_cast<LanczosRaster*>(prepared.get());
        if (!raster || !raster->bitmap) {
            static const auto empty = std::make_shared<const Bitmap>(Bitmap::make(1, 1, PixelFormat::RGBAf, true));
            return makeRasterEvaluator(empty, 0, 0, Rect::null(), RenderStatisticsSink{});
        }
        return makeRasterEvaluator(raster->bitmap, raster->originX, raster->originY, roi, RenderStatisticsSink{});
    }

private:
    LanczosRaster materialise(const Rect& out, const RenderStatisticsSink& sink) const;

    std::shared_ptr<const Node> m_source;
    double m_sx, m_sy;
    mutable std::mutex m_cacheMutex;
    mutable LanczosRaster m_cache;
};

LanczosRaster LanczosNode::materialise(const Rect& out, const RenderStatisticsSink& sink) const {
    LanczosRaster result;
    if (out.isEmpty() || !out.isFinite()) return result;
    const long long ox0 = (long long)out.minX(), oy0 = (long long)out.minY();
    const int ow = int(out.width()), oh = int(out.height());

    // The input pixels the output needs: the output mapped back, grown by the filter's reach.
    const Rect source = m_source->extent();
    const double reachX = kLobes / std::min(1.0, m_sx) + 1, reachY = kLobes / std::min(1.0, m_sy) + 1;
    const Rect need = Rect(out.minX() / m_sx - reachX, out.minY() / m_sy - reachY, out.width() / m_sx + 2 * reachX,
                           out.height() / m_sy + 2 * reachY)
                          .integral()
                          .intersection(source.integral());
    const PixelFormat format = double(ow) * oh <= kFloatStorageLimitPixels ? PixelFormat::RGBAf : PixelFormat::RGBA16;
    auto bitmap = std::make_shared<Bitmap>(Bitmap::make(ow, oh, format, true));
    if (!bitmap->isValid()) return result;
    result.originX = double(ox0);
    result.originY = double(oy0);
    if (need.isEmpty()) {
        result.bitmap = bitmap;
        return result;
    }
    const long long ix0 = (long long)need.minX(), iy0 = (long long)need.minY();
    const int iw = int(need.width()), ih = int(need.height());
    const Taps h = makeTaps(ox0, ow, ix0, iw, m_sx, source.minX(), source.maxX());
    const Taps v = makeTaps(oy0, oh, iy0, ih, m_sy, source.minY(), source.maxY());

    RenderPlan plan(m_source, need, sink);
    const Evaluator& input = plan.root();
    const int bands = (oh + kBandRows - 1) / kBandRows;
    tbb::parallel_for(0, bands, [&](int band) {
        Arena arena;
        const int j0 = band * kBandRows, j1 = std::min(oh, j0 + kBandRows);
        int r0 = ih, r1 = 0;  // input rows (from iy0, upwards) the band reads
        for (int j = j0; j < j1; ++j) {
            if (v.count[j] == 0) continue;
            r0 = std::min(r0, v.first[j]);
            r1 = std::max(r1, v.first[j] + v.count[j]);
        }
        std::vector<float> rowBuffer(4 * std::size_t(iw));
        std::vector<float> filtered(4 * std::size_t(ow) * std::size_t(std::max(0, r1 - r0)));
        for (int r = r0; r < r1; ++r) {
            for (int x = 0; x < iw; x += kFetchChunk) {
                const int n = std::min(kFetchChunk, iw - x);
                input.sampleRow(double(ix0 + x), double(iy0 + r), n, rowBuffer.data() + 4 * std::size_t(x), arena);
            }
            float* dst = filtered.data() + 4 * std::size_t(ow) * std::size_t(r - r0);
            for (int i = 0; i < ow; ++i) {
                const float* w = h.weights.data() + h.offset[i];
                const float* src = rowBuffer.data() + 4 * std::size_t(h.first[i]);
                v4f acc = {0, 0, 0, 0};
                for (int k = 0; k < h.count[i]; ++k) acc += load4(src + 4 * k) * w[k];
                store4(dst + 4 * i, acc);
            }
        }
        for (int j = j0; j < j1; ++j) {
            // Output row j counts from the bottom; the bitmap's rows run top-down.
            std::uint8_t* rowBytes = bitmap->row(oh - 1 - j);
            const float* w = v.weights.data() + v.offset[j];
            for (int i = 0; i < ow; ++i) {
                v4f acc = {0, 0, 0, 0};
                for (int k = 0; k < v.count[j]; ++k) {
                    acc += load4(filtered.data() + 4 * (std::size_t(ow) * std::size_t(v.first[j] + k - r0) + i)) * w[k];
                }
                if (format == PixelFormat::RGBAf) {
                    store4(reinterpret_cast<float*>(rowBytes) + 4 * i, acc);
                } else {
                    auto* p = reinterpret_cast<std::uint16_t*>(rowBytes) + 4 * i;
                    for (int c = 0; c < 4; ++c) p[c] = std::uint16_t(std::clamp(acc[c], 0.f, 1.f) * 65535.f + 0.5f);
                }
            }
        }
    });
    result.bitmap = bitmap;
    return result;
}

// Output edges: the scaled input edges rounded to whole pixels (6000 at 0.15 is 900).
bool scaledEdges(double lo, double hi, double scale, double& outLo, double& outHi) {
    outLo = std::round(lo * scale);
    outHi = std::round(hi * scale);
    if (outHi <= outLo) outHi = outLo + 1;
    return std::isfinite(outLo) && std::isfinite(outHi);
}

}  // namespace

Image lanczosScaled(const Image& image, double sx, double sy) {
    if (image.isNull()) return Image();
    if (!(sx > 0) || !(sy > 0) || !std::isfinite(sx) || !std::isfinite(sy)) return Image();
    const Rect e = image.extent();
    if (e.isEmpty()) return Image();
    if (sx == 1 && sy == 1 && e == e.integral()) return image;
    Rect extent = Rect::infinite();
    if (!e.isInfinite()) {
        double x0, x1, y0, y1;
        if (!scaledEdges(e.minX(), e.maxX(), sx, x0, x1) || !scaledEdges(e.minY(), e.maxY(), sy, y0, y1)) return Image();
        extent = Rect(x0, y0, x1 - x0, y1 - y0);
    }
    return Image(std::make_shared<LanczosNode>(image.node(), sx, sy, extent));
}

}  // namespace qv::ci::detail
