#include "coreimage/Node.h"

#include "coreimage/CpuFeatures.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif
#include <unordered_map>

namespace qv::ci::detail {

float* Arena::allocInNextBlock(std::size_t floats) {
    // floats is already rounded up by alloc.
    while (true) {
        if (m_block < m_blocks.size()) {
            if (m_used + floats <= m_sizes[m_block]) {
                float* p = m_blocks[m_block].get() + m_used;
                m_used += floats;
                return p;
            }
            ++m_block;
            m_used = 0;
            continue;
        }
        std::size_t size = std::max(kBlockFloats, floats);
        m_blocks.emplace_back(new float[size]);
        m_sizes.push_back(size);
        m_block = m_blocks.size() - 1;
        m_used = 0;
    }
}

void Evaluator::sampleInside(const float* xs, const float* ys, int n, float* out, Arena& arena,
                             const PointBounds&) const {
    sample(xs, ys, n, out, arena);
}

void Evaluator::sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena,
                              const PointBounds* bounds, int) const {
    if (bounds) return sampleInside(xs, ys, n, out, arena, *bounds);
    sample(xs, ys, n, out, arena);
}

void Evaluator::sampleRow(double x0, double y, int n, float* out, Arena& arena) const {
    ArenaScope scope(arena);
    float* xs = arena.alloc(std::size_t(n));
    float* ys = arena.alloc(std::size_t(n));
    rowPoints(x0, y, n, xs, ys);
    // The centres grow along the row: its box is its first and last centres.
    const PointBounds box = n > 0 ? PointBounds{xs[0], xs[n - 1], ys[0], ys[0]} : PointBounds{};
    if (n > 0 && std::isfinite(box.x0) && std::isfinite(box.x1) && std::isfinite(box.y0))
        return sampleInside(xs, ys, n, out, arena, box);
    sample(xs, ys, n, out, arena);
}

void RenderStatisticsSink::addRasterRows(std::size_t rows, std::size_t pixels) const {
    if (!stats) return;
    stats->rasterRowsFetched += rows;
    stats->rasterPixelsFetched += pixels;
}
void RenderStatisticsSink::addGridPoints(std::size_t points) const {
    if (stats) stats->kernelGridPoints += points;
}
void RenderStatisticsSink::addTiles(std::size_t tiles) const {
    if (stats) stats->tiles += tiles;
}

std::unique_ptr<Prepared> Node::prepare(const Rect&, const RenderStatisticsSink&) const { return nullptr; }

RenderPlan::RenderPlan(const std::shared_ptr<const Node>& root, const Rect& roi, const RenderStatisticsSink& sink) {
    // Order the graph so that every node comes before its inputs (a node shared by several
    // consumers gets one evaluator, planned for the union of what they read).
    std::vector<const Node*> order;
    std::unordered_map<const Node*, std::size_t> index;
    {
        std::vector<std::pair<const Node*, std::size_t>> stack{{root.get(), 0}};
        std::unordered_map<const Node*, bool> seen{{root.get(), true}};
        std::vector<const Node*> postorder;
        while (!stack.empty()) {
            auto& [node, next] = stack.back();
            if (next < node->inputs().size()) {
                const Node* child = node->inputs()[next++].get();
                if (!seen[child]) {
                    seen[child] = true;
                    stack.push_back({child, 0});
                }
            } else {
                postorder.push_back(node);
                stack.pop_back();
            }
        }
        order.assign(postorder.rbegin(), postorder.rend());
        for (std::size_t i = 0; i < order.size(); ++i) index[order[i]] = i;
    }

    std::vector<Rect> rois(order.size(), Rect::null());
    std::vector<std::unique_ptr<Prepared>> prepared(order.size());
    rois[0] = roi.intersection(root->extent());
    for (std::size_t i = 0; i < order.size(); ++i) {
        const Node* node = order[i];
        prepared[i] = node->prepare(rois[i], sink);
        for (std::size_t k = 0; k < node->inputs().size(); ++k) {
            const Node* child = node->inputs()[k].get();
            Rect need = rois[i].isEmpty() ? Rect::null() : node->regionOfInterest(k, rois[i], prepared[i].get());
            need = need.intersection(child->extent());
            std::size_t c = index[child];
            rois[c] = rois[c].unionWith(need);
        }
    }

    std::vector<const Evaluator*> built(order.size(), nullptr);
    m_evaluators.resize(order.size());
    for (std::size_t i = order.size(); i-- > 0;) {
        const Node* node = order[i];
        std::vector<const Evaluator*> inputs;
        for (const auto& child : node->inputs()) inputs.push_back(built[index[child.get()]]);
        m_evaluators[i] = node->makeEvaluator(rois[i], std::move(prepared[i]), inputs, sink);
        built[i] = m_evaluators[i].get();
    }
    m_root = built[0];
}

namespace {

// The smallest float at or above bound. For any float x, x >= bound and x < bound come out as
// x >= f and x < f do, so points are tested in float exactly as against the double rectangle.
float floatAtOrAbove(double bound) {
    if (std::fabs(bound) <= double(FLT_MAX)) {
        const float f = float(bound);
        return double(f) < bound ? std::nextafter(f, INFINITY) : f;
    }
    if (std::isnan(bound)) return NAN;
    if (bound > 0) return INFINITY;
    return std::isinf(bound) ? -INFINITY : -FLT_MAX;
}

struct FloatRect {
    float x0, x1, y0, y1;
    // A NaN coordinate fails every comparison and so lies outside.
    bool contains(float x, float y) const { return (x >= x0) & (x < x1) & (y >= y0) & (y < y1); }
};

void clearPoint(float* out, int i) { std::fill(out + 4 * i, out + 4 * i + 4, 0.f); }

// Clears the points first + k whose bit k is set.
void clearPoints(float* out, int first, unsigned outsideBits) {
    for (; outsideBits != 0; outsideBits &= outsideBits - 1) clearPoint(out, first + __builtin_ctz(outsideBits));
}

// Nearly every block of points lies wholly inside: one test per block, and only a block with a
// point outside looks at its points one by one.
void maskOutsideBaseline(const FloatRect& r, const float* xs, const float* ys, int n, float* out) {
    int i = 0;
#if defined(__SSE2__)
    const __m128 lx = _mm_set1_ps(r.x0), hx = _mm_set1_ps(r.x1), ly = _mm_set1_ps(r.y0), hy = _mm_set1_ps(r.y1);
    for (; i + 4 <= n; i += 4) {
        const __m128 x = _mm_loadu_ps(xs + i), y = _mm_loadu_ps(ys + i);
        const __m128 inside = _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(x, lx), _mm_cmplt_ps(x, hx)),
                                         _mm_and_ps(_mm_cmpge_ps(y, ly), _mm_cmplt_ps(y, hy)));
        const unsigned outside = ~unsigned(_mm_movemask_ps(inside)) & 0xfu;
        if (outside != 0) clearPoints(out, i, outside);
    }
#endif
    for (; i < n; ++i)
        if (!r.contains(xs[i], ys[i])) clearPoint(out, i);
}

#if QV_HAS_WIDE_BUILD
QV_TARGET_WIDE void maskOutsideWide(const FloatRect& r, const float* xs, const float* ys, int n, float* out) {
    int i = 0;
    const __m256 lx = _mm256_set1_ps(r.x0), hx = _mm256_set1_ps(r.x1), ly = _mm256_set1_ps(r.y0),
                 hy = _mm256_set1_ps(r.y1);
    const __m256 allInside = _mm256_castsi256_ps(_mm256_set1_epi32(-1));
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(xs + i), y = _mm256_loadu_ps(ys + i);
        const __m256 inside =
            _mm256_and_ps(_mm256_and_ps(_mm256_cmp_ps(x, lx, _CMP_GE_OQ), _mm256_cmp_ps(x, hx, _CMP_LT_OQ)),
                          _mm256_and_ps(_mm256_cmp_ps(y, ly, _CMP_GE_OQ), _mm256_cmp_ps(y, hy, _CMP_LT_OQ)));
        if (!_mm256_testc_ps(inside, allInside)) clearPoints(out, i, ~unsigned(_mm256_movemask_ps(inside)) & 0xffu);
    }
    for (; i < n; ++i)
        if (!r.contains(xs[i], ys[i])) clearPoint(out, i);
}

// The box of the points eight at a time while eight remain; answers how many it took in. A NaN
// is seen by the unordered comparison, an infinity by the final finiteness test.
QV_TARGET_WIDE int finiteBoundsWide(const float* xs, const float* ys, int n, PointBounds& box, bool& nan) {
    if (n < 8) return 0;
    __m256 lx = _mm256_loadu_ps(xs), hx = lx, ly = _mm256_loadu_ps(ys), hy = ly;
    __m256 unordered = _mm256_cmp_ps(lx, ly, _CMP_UNORD_Q);
    int i = 8;
    for (; i + 8 <= n; i += 8) {
        const __m256 x = _mm256_loadu_ps(xs + i), y = _mm256_loadu_ps(ys + i);
        lx = _mm256_min_ps(lx, x), hx = _mm256_max_ps(hx, x);
        ly = _mm256_min_ps(ly, y), hy = _mm256_max_ps(hy, y);
        unordered = _mm256_or_ps(unordered, _mm256_cmp_ps(x, y, _CMP_UNORD_Q));
    }
    alignas(32) float v[4][8];
    _mm256_store_ps(v[0], lx), _mm256_store_ps(v[1], hx), _mm256_store_ps(v[2], ly), _mm256_store_ps(v[3], hy);
    box = {v[0][0], v[1][0], v[2][0], v[3][0]};
    for (int k = 1; k < 8; ++k) {
        box.x0 = std::min(box.x0, v[0][k]), box.x1 = std::max(box.x1, v[1][k]);
        box.y0 = std::min(box.y0, v[2][k]), box.y1 = std::max(box.y1, v[3][k]);
    }
    nan = _mm256_movemask_ps(unordered) != 0;
    return i;
}

QV_TARGET_WIDE void rowPointsWide(double x0, float yc, int n, float* xs, float* ys) {
    // The same double sums as the baseline, four at a time, then rounded to float.
    const __m256d start = _mm256_set1_pd(x0), half = _mm256_set1_pd(0.5), eight = _mm256_set1_pd(8);
    __m256d lo = _mm256_setr_pd(0, 1, 2, 3), hi = _mm256_setr_pd(4, 5, 6, 7);
    const __m256 y = _mm256_set1_ps(yc);
    int i = 0;
    for (; i + 8 <= n; i += 8) {
        const __m128 a = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(start, lo), half));
        const __m128 b = _mm256_cvtpd_ps(_mm256_add_pd(_mm256_add_pd(start, hi), half));
        _mm256_storeu_ps(xs + i, _mm256_set_m128(b, a));
        _mm256_storeu_ps(ys + i, y);
        lo = _mm256_add_pd(lo, eight);
        hi = _mm256_add_pd(hi, eight);
    }
    for (; i < n; ++i) {
        xs[i] = float(x0 + i + 0.5);
        ys[i] = yc;
    }
}
#endif

}  // namespace

MaskRect::MaskRect(const Rect& rect) {
    if (rect.isInfinite()) {
        m_kind = Kind::Everything;
    } else if (rect.isEmpty()) {
        m_kind = Kind::Nothing;
    } else {
        m_x0 = floatAtOrAbove(rect.minX()), m_x1 = floatAtOrAbove(rect.maxX());
        m_y0 = floatAtOrAbove(rect.minY()), m_y1 = floatAtOrAbove(rect.maxY());
    }
}

void MaskRect::apply(const float* xs, const float* ys, int n, float* out) const {
    if (m_kind == Kind::Everything) return;
    if (m_kind == Kind::Nothing) {
        std::fill(out, out + 4 * std::size_t(n), 0.f);
        return;
    }
    const FloatRect r{m_x0, m_x1, m_y0, m_y1};
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) return maskOutsideWide(r, xs, ys, n, out);
#endif
    maskOutsideBaseline(r, xs, ys, n, out);
}

bool MaskRect::holds(const PointBounds& box) const {
    if (m_kind != Kind::Test) return m_kind == Kind::Everything;
    return box.x0 >= m_x0 && box.x1 < m_x1 && box.y0 >= m_y0 && box.y1 < m_y1;
}

void MaskRect::insideSpan(const float* xs, const float* ys, int n, int& begin, int& end) const {
    if (m_kind != Kind::Test) {
        begin = 0, end = m_kind == Kind::Everything ? n : 0;
        return;
    }
    const FloatRect r{m_x0, m_x1, m_y0, m_y1};
    for (begin = 0; begin < n && !r.contains(xs[begin], ys[begin]);) ++begin;
    for (end = n; end > begin && !r.contains(xs[end - 1], ys[end - 1]);) --end;
}

bool MaskRect::excludes(const PointBounds& box) const {
    if (m_kind != Kind::Test) return m_kind == Kind::Nothing;
    return box.x1 < m_x0 || box.x0 >= m_x1 || box.y1 < m_y0 || box.y0 >= m_y1;
}

void maskOutside(const Rect& rect, const float* xs, const float* ys, int n, float* out) {
    MaskRect(rect).apply(xs, ys, n, out);
}

bool finiteBounds(const float* xs, const float* ys, int n, PointBounds& box) {
    if (n <= 0) return false;
    bool nan = false;
    int i = 0;
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) i = finiteBoundsWide(xs, ys, n, box, nan);
#endif
    if (i == 0) box = {xs[0], xs[0], ys[0], ys[0]};
    for (; i < n; ++i) {
        const float x = xs[i], y = ys[i];
        nan = nan || x != x || y != y;
        box.x0 = std::min(box.x0, x), box.x1 = std::max(box.x1, x);
        box.y0 = std::min(box.y0, y), box.y1 = std::max(box.y1, y);
    }
    return !nan && std::isfinite(box.x0) && std::isfinite(box.x1) && std::isfinite(box.y0) && std::isfinite(box.y1);
}

void rowPoints(double x0, double y, int n, float* xs, float* ys) {
    // Each coordinate from the absolute pixel index, so a pixel's value never depends on where the
    // tile or row chunk it belongs to starts.
    const float yc = float(y + 0.5);
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) return rowPointsWide(x0, yc, n, xs, ys);
#endif
    for (int i = 0; i < n; ++i) {
        xs[i] = float(x0 + i + 0.5);
        ys[i] = yc;
    }
}

Rect grownIntegral(const Rect& r, double margin) {
    if (r.isNull() || r.isInfinite()) return r;
    return r.insetBy(-margin, -margin).integral();
}

Rect boundsOfPoints(const float* xs, const float* ys, std::size_t n) {
    float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    for (std::size_t i = 0; i < n; ++i) {
        if (!std::isfinite(xs[i]) || !std::isfinite(ys[i])) continue;
        x0 = std::min(x0, xs[i]);
        x1 = std::max(x1, xs[i]);
        y0 = std::min(y0, ys[i]);
        y1 = std::max(y1, ys[i]);
    }
    if (!(x0 <= x1)) return Rect::null();
    return Rect(x0, y0, double(x1) - x0, double(y1) - y0);
}

}  // namespace qv::ci::detail
