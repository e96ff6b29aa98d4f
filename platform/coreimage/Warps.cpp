// Geometric nodes: an affine transform, an edge scale and a perspective (projective) transform.
// Each maps the points it is asked for back into its input and asks the input there, so a chain
// of them costs at most one coordinate map each (neighbours often share one pass, see below) and a
// single interpolation at the end.
#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>

#include "coreimage/CpuFeatures.h"
#include "coreimage/Node.h"
#include "coreimage/Operations.h"
#include "coreimage/Raster.h"
#include "coreimage/SimdTypes.h"
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif

namespace qv::ci::detail {

namespace {

// The affine map in float, (a x + c y + tx, b x + d y + ty), a point at a time or eight at a time.
struct AffineMap {
    float a, b, c, d, tx, ty;
    void apply(float& x, float& y) const {
        const float X = a * x + c * y + tx, Y = b * x + d * y + ty;
        x = X, y = Y;
    }
#if QV_HAS_WIDE_BUILD
    QV_TARGET_WIDE __attribute__((always_inline)) void apply8(__m256& x, __m256& y) const {
        const __m256 X = _mm256_fmadd_ps(_mm256_set1_ps(a), x, _mm256_mul_ps(_mm256_set1_ps(c), y));
        const __m256 Y = _mm256_fmadd_ps(_mm256_set1_ps(b), x, _mm256_mul_ps(_mm256_set1_ps(d), y));
        x = _mm256_add_ps(X, _mm256_set1_ps(tx));
        y = _mm256_add_ps(Y, _mm256_set1_ps(ty));
    }
#endif
};

// A scale about the origin, then a clamp to [x0, x1] x [y0, y1]; a NaN stays NaN.
struct ClampedScaleMap {
    float isx, isy, x0, x1, y0, y1;
    void apply(float& x, float& y) const {
        x = std::min(std::max(x * isx, x0), x1);
        y = std::min(std::max(y * isy, y0), y1);
    }
#if QV_HAS_WIDE_BUILD
    QV_TARGET_WIDE __attribute__((always_inline)) void apply8(__m256& x, __m256& y) const {
        // max(lo, v) and min(hi, v) give v when v is NaN, as std::max(v, lo) and std::min(v, hi) do.
        x = _mm256_min_ps(_mm256_set1_ps(x1), _mm256_max_ps(_mm256_set1_ps(x0), _mm256_mul_ps(x, _mm256_set1_ps(isx))));
        y = _mm256_min_ps(_mm256_set1_ps(y1), _mm256_max_ps(_mm256_set1_ps(y0), _mm256_mul_ps(y, _mm256_set1_ps(isy))));
    }
#endif
};

// The 3 x 3 projective map (x, y, 1) -> (X / W, Y / W) in float; where W is not on the picture's
// side of the horizon (sign * W > 0), the point goes to NaN.
struct ProjectiveMap {
    float m[9];  // row-major
    float sign;
    void apply(float& x, float& y) const {
        const float w = m[6] * x + m[7] * y + m[8];
        const float inv = (w * sign > 0) ? 1.f / w : NAN;
        const float X = (m[0] * x + m[1] * y + m[2]) * inv, Y = (m[3] * x + m[4] * y + m[5]) * inv;
        x = X, y = Y;
    }
#if QV_HAS_WIDE_BUILD
    // Row k of the matrix applied to (x, y, 1).
    QV_TARGET_WIDE __attribute__((always_inline)) __m256 row(int k, __m256 x, __m256 y) const {
        return _mm256_add_ps(_mm256_fmadd_ps(_mm256_set1_ps(m[k]), x, _mm256_mul_ps(_mm256_set1_ps(m[k + 1]), y)),
                             _mm256_set1_ps(m[k + 2]));
    }
    QV_TARGET_WIDE __attribute__((always_inline)) void apply8(__m256& x, __m256& y) const {
        const __m256 w = row(6, x, y);
        const __m256 ahead = _mm256_cmp_ps(_mm256_mul_ps(w, _mm256_set1_ps(sign)), _mm256_setzero_ps(), _CMP_GT_OQ);
        const __m256 inv = _mm256_blendv_ps(_mm256_set1_ps(NAN), _mm256_div_ps(_mm256_set1_ps(1.f), w), ahead);
        const __m256 X = _mm256_mul_ps(row(0, x, y), inv), Y = _mm256_mul_ps(row(3, x, y), inv);
        x = X, y = Y;
    }
#endif
};

// First's map, then second's, in one pass: each point comes out as the two passes give it.
template <class First, class Second>
struct MapThen {
    First first;
    Second second;
    void apply(float& x, float& y) const {
        first.apply(x, y);
        second.apply(x, y);
    }
#if QV_HAS_WIDE_BUILD
    QV_TARGET_WIDE __attribute__((always_inline)) void apply8(__m256& x, __m256& y) const {
        first.apply8(x, y);
        second.apply8(x, y);
    }
#endif
};

#if QV_HAS_WIDE_BUILD
// Maps the n points eight at a time with map.apply8. The last few points go through a padded
// copy, so that every point takes the same arithmetic wherever it lies in a batch.
template <class Map>
QV_TARGET_WIDE void mapWide(Map map, const float* xs, const float* ys, int n, float* mx, float* my) {
    // map is a copy, which the stores cannot reach: its coefficients stay in registers.
    auto mapEight = [&](const float* x8, const float* y8, float* mx8, float* my8) QV_TARGET_WIDE {
        __m256 x = _mm256_loadu_ps(x8), y = _mm256_loadu_ps(y8);
        map.apply8(x, y);
        _mm256_storeu_ps(mx8, x);
        _mm256_storeu_ps(my8, y);
    };
    int i = 0;
    for (; i + 8 <= n; i += 8) mapEight(xs + i, ys + i, mx + i, my + i);
    if (i == n) return;
    const std::size_t bytes = sizeof(float) * std::size_t(n - i);
    float x[8] = {}, y[8] = {}, X[8], Y[8];
    std::memcpy(x, xs + i, bytes);
    std::memcpy(y, ys + i, bytes);
    mapEight(x, y, X, Y);
    std::memcpy(mx + i, X, bytes);
    std::memcpy(my + i, Y, bytes);
}

// The box of the four corners of box under map, mapped in registers with the arithmetic of
// mapWide, so that they come out as points there would; false when a corner is not finite.
template <class Map>
QV_TARGET_WIDE bool mappedCornersWide(const Map& map, const PointBounds& box, PointBounds& mapped) {
    __m256 x = _mm256_setr_ps(box.x0, box.x1, box.x0, box.x1, box.x0, box.x0, box.x0, box.x0);
    __m256 y = _mm256_setr_ps(box.y0, box.y0, box.y1, box.y1, box.y0, box.y0, box.y0, box.y0);
    map.apply8(x, y);
    const __m128 cx = _mm256_castps256_ps128(x), cy = _mm256_castps256_ps128(y);
    // x - x is 0 for a finite x, NaN for the others.
    const __m128 zero = _mm_setzero_ps();
    if (_mm_movemask_ps(_mm_cmpneq_ps(_mm_add_ps(_mm_sub_ps(cx, cx), _mm_sub_ps(cy, cy)), zero)) != 0) return false;
    const auto lowest = [](__m128 v) QV_TARGET_WIDE {
        v = _mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(_mm_min_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2))));
    };
    const auto highest = [](__m128 v) QV_TARGET_WIDE {
        v = _mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(2, 3, 0, 1)));
        return _mm_cvtss_f32(_mm_max_ps(v, _mm_shuffle_ps(v, v, _MM_SHUFFLE(1, 0, 3, 2))));
    };
    mapped = {lowest(cx), highest(cx), lowest(cy), highest(cy)};
    return true;
}
#endif

// Points [first, n) through map into (mx, my) one at a time.
template <class Map>
void mapOneByOne(const Map& map, const float* xs, const float* ys, int first, int n, float* mx, float* my) {
    for (int i = first; i < n; ++i) {
        float x = xs[i], y = ys[i];
        map.apply(x, y);
        mx[i] = x, my[i] = y;
    }
}

// The n points through map into (mx, my), which may be (xs, ys).
template <class Map>
void mapPoints(const Map& map, const float* xs, const float* ys, int n, float* mx, float* my) {
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) return mapWide(map, xs, ys, n, mx, my);
#endif
    mapOneByOne(map, xs, ys, 0, n, mx, my);
}

// The 3 x 3 projective map (x, y, 1) -> (X / W, Y / W) used backwards: output to input.
struct Homography {
    double m[9];  // row-major
    Point apply(double x, double y, double* w = nullptr) const {
        double W = m[6] * x + m[7] * y + m[8];
        if (w) *w = W;
        return {(m[0] * x + m[1] * y + m[2]) / W, (m[3] * x + m[4] * y + m[5]) / W};
    }
};

class WarpEvaluator : public Evaluator {
public:
    explicit WarpEvaluator(const Evaluator* input) : m_input(input) {}
    void sample(const float* xs, const float* ys, int n, float* out, Arena& arena) const override {
        withMapped(xs, ys, n, arena, [&](const float* mx, const float* my) { m_input->sample(mx, my, n, out, arena); });
    }

protected:
    // Maps the points into two arrays of the arena and hands them to `read` while they last.
    template <class Read>
    void withMapped(const float* xs, const float* ys, int n, Arena& arena, Read read) const {
        ArenaScope scope(arena);
        float* mx = arena.alloc(std::size_t(n));
        float* my = arena.alloc(std::size_t(n));
        map(xs, ys, n, mx, my);
        read(mx, my);
    }
    // The same through `through` (maps handed down, with this one's own) instead of map().
    template <class Map, class Read>
    void withMapped(const Map& through, const float* xs, const float* ys, int n, Arena& arena, Read read) const {
        ArenaScope scope(arena);
        float* mx = arena.alloc(std::size_t(n));
        float* my = arena.alloc(std::size_t(n));
        mapPoints(through, xs, ys, n, mx, my);
        read(mx, my);
    }
    virtual void map(const float* xs, const float* ys, int n, float* mx, float* my) const = 0;
    const Evaluator* m_input;
};

// The perspective's map of each point, its homography used backwards (see Homography); points
// beyond the horizon, which would fold back onto the picture, go to NaN and read nothing.
class PerspectiveEvaluator final : public WarpEvaluator {
public:
    PerspectiveEvaluator(const Evaluator* input, const Homography& h, double sign) : WarpEvaluator(input) {
        for (int i = 0; i < 9; ++i) m_map.m[i] = float(h.m[i]);
        m_map.sign = float(sign);
    }
    // What sample gives at the points `first` maps xs, ys to.
    template <class First>
    void sampleAfter(const First& first, const float* xs, const float* ys, int n, float* out, Arena& arena) const {
        withMapped(MapThen<First, ProjectiveMap>{first, m_map}, xs, ys, n, arena,
                   [&](const float* mx, const float* my) { m_input->sample(mx, my, n, out, arena); });
    }

private:
    void map(const float* xs, const float* ys, int n, float* mx, float* my) const override {
#if QV_HAS_WIDE_BUILD
        if (wideVectors()) return mapWide(m_map, xs, ys, n, mx, my);
#endif
        int i = 0;
#if defined(__SSE2__)
        {
            // The arithmetic of ProjectiveMap::apply, four points at a time.
            const float* m = m_map.m;
            __m128 c[9];
            for (int k = 0; k < 9; ++k) c[k] = _mm_set1_ps(m[k]);
            const __m128 sign = _mm_set1_ps(m_map.sign), one = _mm_set1_ps(1.f), nan = _mm_set1_ps(NAN);
            for (; i + 4 <= n; i += 4) {
                const __m128 x = _mm_loadu_ps(xs + i), y = _mm_loadu_ps(ys + i);
                const __m128 w = _mm_add_ps(_mm_add_ps(_mm_mul_ps(c[6], x), _mm_mul_ps(c[7], y)), c[8]);
                const __m128 ahead = _mm_cmpgt_ps(_mm_mul_ps(w, sign), _mm_setzero_ps());
                const __m128 inv = _mm_or_ps(_mm_and_ps(ahead, _mm_div_ps(one, w)), _mm_andnot_ps(ahead, nan));
                const __m128 X = _mm_add_ps(_mm_add_ps(_mm_mul_ps(c[0], x), _mm_mul_ps(c[1], y)), c[2]);
                const __m128 Y = _mm_add_ps(_mm_add_ps(_mm_mul_ps(c[3], x), _mm_mul_ps(c[4], y)), c[5]);
                _mm_storeu_ps(mx + i, _mm_mul_ps(X, inv));
                _mm_storeu_ps(my + i, _mm_mul_ps(Y, inv));
            }
        }
#endif
        mapOneByOne(m_map, xs, ys, i, n, mx, my);
    }
    ProjectiveMap m_map;
};

// An affine transform over an edge scale, or an edge scale over an affine transform, maps the
// points through both in one pass: the upper one hands its map to the lower one, which applies
// the two together, whenever the points' box shows that the upper one has nothing to clear. An
// affine transform over a perspective hands its map (and any it was handed) on in the same way.
class EdgeScaleEvaluator;

class AffineEvaluator final : public ReadsThroughChannels<WarpEvaluator> {
public:
    AffineEvaluator(const Evaluator* input, const AffineTransform& inverse);

    bool gainsFromBounds() const override { return m_input->gainsFromBounds(); }
    void sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena, const PointBounds* box,
                       int channel) const override;
    // sampleChannel at the points `first` maps xs, ys to, which lie in firstBox.
    void sampleChannelAfter(const ClampedScaleMap& first, const float* xs, const float* ys, int n, float* out,
                            Arena& arena, const PointBounds& firstBox, int channel) const;

    void sampleRow(double x0, double y, int n, float* out, Arena& arena) const override {
        // A translation by whole pixels keeps the row on pixel centres: let the input take the
        // row as a row (a raster copies it without interpolating).
        if (m_inv.a == 1 && m_inv.b == 0 && m_inv.c == 0 && m_inv.d == 1 && m_inv.tx == std::floor(m_inv.tx) &&
            m_inv.ty == std::floor(m_inv.ty)) {
            m_input->sampleRow(x0 + m_inv.tx, y + m_inv.ty, n, out, arena);
            return;
        }
        // The row's pixel centres, mapped in place.
        ArenaScope scope(arena);
        float* mx = arena.alloc(std::size_t(n));
        float* my = arena.alloc(std::size_t(n));
        rowPoints(x0, y, n, mx, my);
        map(mx, my, n, mx, my);
        m_input->sample(mx, my, n, out, arena);
    }

private:
    AffineMap floatMap() const {
        return {float(m_inv.a), float(m_inv.b), float(m_inv.c), float(m_inv.d), float(m_inv.tx), float(m_inv.ty)};
    }
    void map(const float* xs, const float* ys, int n, float* mx, float* my) const override {
        mapPoints(floatMap(), xs, ys, n, mx, my);
    }
    // The box maps to the box of its four mapped corners: each mapped coordinate is computed by
    // roundings that never decrease as x or y grows (or never increase), so the mapped points lie
    // within the corners' extremes, bit for bit. The corners go through the same map as the
    // points. A coordinate beyond the float range leaves the box unbounded: false then.
    bool mappedBox(const PointBounds& box, PointBounds& mapped) const {
#if QV_HAS_WIDE_BUILD
        if (wideVectors()) return mappedCornersWide(floatMap(), box, mapped);
#endif
        float cx[4] = {box.x0, box.x1, box.x0, box.x1};
        float cy[4] = {box.y0, box.y0, box.y1, box.y1};
        for (int i = 0; i < 4; ++i) floatMap().apply(cx[i], cy[i]);
        for (int i = 0; i < 4; ++i)
            if (!std::isfinite(cx[i]) || !std::isfinite(cy[i])) return false;
        mapped = {std::min(std::min(cx[0], cx[1]), std::min(cx[2], cx[3])), std::max(std::max(cx[0], cx[1]), std::max(cx[2], cx[3])),
                  std::min(std::min(cy[0], cy[1]), std::min(cy[2], cy[3])), std::max(std::max(cy[0], cy[1]), std::max(cy[2], cy[3]))};
        return true;
    }
    AffineTransform m_inv;
    const EdgeScaleEvaluator* m_edgeScaleBelow;
    const PerspectiveEvaluator* m_perspectiveBelow;
};

class AffineNode final : public Node {
public:
    AffineNode(std::shared_ptr<const Node> input, const AffineTransform& t)
        : Node(t.apply(input->extent())), m_transform(t), m_inverse(t.inverted()) {
        m_inputs.push_back(std::move(input));
    }
    const AffineTransform& transform() const { return m_transform; }

    Rect regionOfInterest(std::size_t, const Rect& roi, const Prepared*) const override {
        return grownIntegral(m_inverse.apply(roi), 1);
    }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<AffineEvaluator>(inputs[0], m_inverse);
    }

private:
    AffineTransform m_transform, m_inverse;
};

// A scale about the origin that reads its input's edge pixels in full up to the edge: positions
// are clamped half a pixel inside the input, as a resampling filter renormalised at the edges
// would weigh them, and nothing is read outside the node's own extent.
class EdgeScaleEvaluator final : public ReadsThroughChannels<WarpEvaluator> {
public:
    EdgeScaleEvaluator(const Evaluator* input, double sx, double sy, const Rect& inputExtent, const Rect& extent)
        : ReadsThroughChannels<WarpEvaluator>(input),
          m_isx(float(1 / sx)),
          m_isy(float(1 / sy)),
          m_mask(extent),
          m_affineBelow(dynamic_cast<const AffineEvaluator*>(input)) {
        m_lo[0] = float(inputExtent.minX() + 0.5), m_hi[0] = float(inputExtent.maxX() - 0.5);
        m_lo[1] = float(inputExtent.minY() + 0.5), m_hi[1] = float(inputExtent.maxY() - 0.5);
        for (int k = 0; k < 2; ++k)
            if (m_hi[k] < m_lo[k]) m_lo[k] = m_hi[k] = (m_lo[k] + m_hi[k]) / 2;
    }
    bool gainsFromBounds() const override { return true; }
    // Finite points map to positions inside the clamp, and the input is told so: a kernel below
    // whose domain holds the input's pixels then clears nothing. Points inside the extent need no
    // clearing here either.
    void sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena, const PointBounds* box,
                       int channel) const override {
        PointBounds found;
        if (!box && finiteBounds(xs, ys, n, found)) box = &found;
        // Points that all lie outside the extent are all cleared: nothing to read.
        if (box && m_mask.excludes(*box)) return std::fill(out, out + 4 * std::size_t(n), 0.f);
        if (box && m_affineBelow && m_mask.holds(*box))
            return m_affineBelow->sampleChannelAfter(clampedScale(), xs, ys, n, out, arena, clampBox(), channel);
        const PointBounds clamp = clampBox();
        withMapped(xs, ys, n, arena, [&](const float* mx, const float* my) {
            m_input->sampleChannel(mx, my, n, out, arena, box ? &clamp : nullptr, channel);
        });
        if (!box || !m_mask.holds(*box)) m_mask.apply(xs, ys, n, out);
    }
    // sampleChannel at the points `first` maps xs, ys to, which lie in firstBox.
    void sampleChannelAfter(const AffineMap& first, const float* xs, const float* ys, int n, float* out, Arena& arena,
                            const PointBounds& firstBox, int channel) const {
        if (m_mask.excludes(firstBox)) return std::fill(out, out + 4 * std::size_t(n), 0.f);
        if (!m_mask.holds(firstBox)) {
            // Some points may need clearing, which takes them as first gives them.
            return withMapped(first, xs, ys, n, arena, [&](const float* mx, const float* my) {
                sampleChannel(mx, my, n, out, arena, &firstBox, channel);
            });
        }
        const PointBounds clamp = clampBox();
        withMapped(MapThen<AffineMap, ClampedScaleMap>{first, clampedScale()}, xs, ys, n, arena,
                   [&](const float* mx, const float* my) { m_input->sampleChannel(mx, my, n, out, arena, &clamp, channel); });
    }

private:
    ClampedScaleMap clampedScale() const { return {m_isx, m_isy, m_lo[0], m_hi[0], m_lo[1], m_hi[1]}; }
    PointBounds clampBox() const { return {m_lo[0], m_hi[0], m_lo[1], m_hi[1]}; }
    void map(const float* xs, const float* ys, int n, float* mx, float* my) const override {
        mapPoints(clampedScale(), xs, ys, n, mx, my);
    }
    float m_isx, m_isy;
    float m_lo[2], m_hi[2];
    MaskRect m_mask;
    const AffineEvaluator* m_affineBelow;
};

AffineEvaluator::AffineEvaluator(const Evaluator* input, const AffineTransform& inverse)
    : ReadsThroughChannels<WarpEvaluator>(input),
      m_inv(inverse),
      m_edgeScaleBelow(dynamic_cast<const EdgeScaleEvaluator*>(input)),
      m_perspectiveBelow(dynamic_cast<const PerspectiveEvaluator*>(input)) {}

void AffineEvaluator::sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena,
                                    const PointBounds* box, int channel) const {
    // A perspective reads its input in full at every point, whatever box or channel it is told
    // of: it takes this map along with its own.
    if (m_perspectiveBelow) return m_perspectiveBelow->sampleAfter(floatMap(), xs, ys, n, out, arena);
    PointBounds mapped;
    const bool bounded = box && mappedBox(*box, mapped);
    if (bounded && m_edgeScaleBelow)
        return m_edgeScaleBelow->sampleChannelAfter(floatMap(), xs, ys, n, out, arena, mapped, channel);
    withMapped(xs, ys, n, arena, [&](const float* mx, const float* my) {
        m_input->sampleChannel(mx, my, n, out, arena, bounded ? &mapped : nullptr, channel);
    });
}

void AffineEvaluator::sampleChannelAfter(const ClampedScaleMap& first, const float* xs, const float* ys, int n,
                                         float* out, Arena& arena, const PointBounds& firstBox, int channel) const {
    const MapThen<ClampedScaleMap, AffineMap> both{first, floatMap()};
    if (m_perspectiveBelow) return m_perspectiveBelow->sampleAfter(both, xs, ys, n, out, arena);
    PointBounds mapped;
    const bool bounded = mappedBox(firstBox, mapped);
    withMapped(both, xs, ys, n, arena, [&](const float* mx, const float* my) {
        m_input->sampleChannel(mx, my, n, out, arena, bounded ? &mapped : nullptr, channel);
    });
}

class EdgeScaleNode final : public Node {
public:
    EdgeScaleNode(std::shared_ptr<const Node> input, double sx, double sy, const Rect& extent)
        : Node(extent), m_sx(sx), m_sy(sy) {
        m_inputs.push_back(std::move(input));
    }
    Rect regionOfInterest(std::size_t, const Rect& roi, const Prepared*) const override {
        if (roi.isInfinite()) return m_inputs[0]->extent();
        const Rect r = roi.intersection(m_extent);
        if (r.isEmpty()) return Rect::null();
        return grownIntegral(AffineTransform::scale(1 / m_sx, 1 / m_sy).apply(r), 1);
    }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<EdgeScaleEvaluator>(inputs[0], m_sx, m_sy, m_inputs[0]->extent(), m_extent);
    }

private:
    double m_sx, m_sy;
};

class PerspectiveNode final : public Node {
public:
    PerspectiveNode(std::shared_ptr<const Node> input, const Rect& extent, const Homography& backward, double sign)
        : Node(extent), m_backward(backward), m_sign(sign) {
        m_inputs.push_back(std::move(input));
    }

    Rect regionOfInterest(std::size_t, const Rect& roi, const Prepared*) const override {
        if (roi.isInfinite()) return m_inputs[0]->extent();
        const double xs[4] = {roi.minX(), roi.maxX(), roi.maxX(), roi.minX()};
        const double ys[4] = {roi.minY(), roi.minY(), roi.maxY(), roi.maxY()};
        Rect r = Rect::null();
        for (int i = 0; i < 4; ++i) {
            double w;
            Point p = m_backward.apply(xs[i], ys[i], &w);
            // A region reaching past the horizon maps onto an unbounded area: read the whole input.
            if (!(w * m_sign > 0) || !std::isfinite(p.x) || !std::isfinite(p.y)) return m_inputs[0]->extent();
            r = r.unionWith(Rect(p.x, p.y, 0, 0));
        }
        return grownIntegral(r, 1);
    }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<PerspectiveEvaluator>(inputs[0], m_backward, m_sign);
    }

private:
    Homography m_backward;
    double m_sign;
};

bool invert3(const double* m, double* out) {
    const double c0 = m[4] * m[8] - m[5] * m[7], c1 = m[5] * m[6] - m[3] * m[8], c2 = m[3] * m[7] - m[4] * m[6];
    const double det = m[0] * c0 + m[1] * c1 + m[2] * c2;
    if (!std::isfinite(det) || std::fabs(det) < 1e-300) return false;
    const double inv[9] = {c0,
                           m[2] * m[7] - m[1] * m[8],
                           m[1] * m[5] - m[2] * m[4],
                           c1,
                           m[0] * m[8] - m[2] * m[6],
                           m[2] * m[3] - m[0] * m[5],
                           c2,
                           m[1] * m[6] - m[0] * m[7],
                           m[0] * m[4] - m[1] * m[3]};
    for (int i = 0; i < 9; ++i) {
        out[i] = inv[i] / det;
        if (!std::isfinite(out[i])) return false;
    }
    return true;
}

void multiply3(const double* a, const double* b, double* out) {
    for (int r = 0; r < 3; ++r)
        for (int c = 0; c < 3; ++c) out[3 * r + c] = a[3 * r] * b[c] + a[3 * r + 1] * b[3 + c] + a[3 * r + 2] * b[6 + c];
}

// A convex quadrilateral with its corners in turning order and a real area.
bool isProperQuad(const std::array<Point, 4>& q) {
    double sign = 0, area = 0;
    for (int i = 0; i < 4; ++i) {
        const Point& a = q[i];
        const Point& b = q[(i + 1) % 4];
        const Point& c = q[(i + 2) % 4];
        if (!std::isfinite(a.x) || !std::isfinite(a.y)) return false;
        const double cross = (b.x - a.x) * (c.y - b.y) - (b.y - a.y) * (c.x - b.x);
        if (cross == 0 || (sign != 0 && (cross > 0) != (sign > 0))) return false;
        sign = cross;
        area += a.x * b.y - b.x * a.y;
    }
    // Below a thousandth of a square pixel the quad has collapsed.
    return std::fabs(area) / 2 > 1e-3;
}

}  // namespace

Image affineTransformed(const Image& image, const AffineTransform& t) {
    if (image.isNull() || !t.isInvertible()) return Image();
    if (t.isIdentity()) return image;
    const auto& node = image.node();
    if (auto inner = dynamic_cast<const AffineNode*>(node.get())) {
        return affineTransformed(Image(inner->inputs()[0]), inner->transform().concat(t));
    }
    if (auto raster = dynamic_cast<const RasterNode*>(node.get())) {
        // A move by whole pixels keeps the pixels where they are: only the origin changes.
        if (t.a == 1 && t.b == 0 && t.c == 0 && t.d == 1 && t.tx == std::floor(t.tx) && t.ty == std::floor(t.ty)) {
            return Image(std::make_shared<RasterNode>(raster->bitmap(), raster->originX() + t.tx,
                                                      raster->originY() + t.ty));
        }
    }
    return Image(std::make_shared<AffineNode>(node, t));
}

bool affineParts(const Image& image, Image& input, AffineTransform& transform) {
    const auto* node = dynamic_cast<const AffineNode*>(image.node().get());
    if (!node) return false;
    input = Image(node->inputs()[0]);
    transform = node->transform();
    return true;
}

Image affineNodeOver(const Image& image, const AffineTransform& transform) {
    return Image(std::make_shared<AffineNode>(image.node(), transform));
}

Image edgeScaled(const Image& image, double sx, double sy, const Rect& extent) {
    if (image.isNull() || !(sx > 0) || !(sy > 0) || !image.extent().isFinite() || image.extent().isEmpty()) {
        return Image();
    }
    return Image(std::make_shared<EdgeScaleNode>(image.node(), sx, sy, extent));
}

Image perspectiveTransformed(const Image& image, Point tl, Point tr, Point br, Point bl) {
    if (image.isNull()) return Image();
    const Rect e = image.extent();
    if (!e.isFinite() || e.isEmpty() || !isProperQuad({bl, br, tr, tl})) return Image();

    // Unit square to quad (bottom-left, bottom-right, top-right, top-left at (0,0) (1,0) (1,1) (0,1)).
    double sq[9];
    const double sx = bl.x - br.x + tr.x - tl.x, sy = bl.y - br.y + tr.y - tl.y;
    if (sx == 0 && sy == 0) {
        const double m[9] = {br.x - bl.x, tl.x - bl.x, bl.x, br.y - bl.y, tl.y - bl.y, bl.y, 0, 0, 1};
        std::copy(m, m + 9, sq);
    } else {
        const double dx1 = br.x - tr.x, dx2 = tl.x - tr.x, dy1 = br.y - tr.y, dy2 = tl.y - tr.y;
        const double den = dx1 * dy2 - dx2 * dy1;
        if (den == 0) return Image();
        const double g = (sx * dy2 - dx2 * sy) / den, h = (dx1 * sy - sx * dy1) / den;
        const double m[9] = {br.x - bl.x + g * br.x, tl.x - bl.x + h * tl.x, bl.x,
                             br.y - bl.y + g * br.y, tl.y - bl.y + h * tl.y, bl.y,
                             g,                      h,                      1};
        std::copy(m, m + 9, sq);
    }
    // Input extent to unit square, then to the quad.
    const double norm[9] = {1 / e.width(), 0, -e.minX() / e.width(), 0, 1 / e.height(), -e.minY() / e.height(), 0, 0, 1};
    double forward[9], backward[9];
    multiply3(sq, norm, forward);
    if (!invert3(forward, backward)) return Image();
    Homography h;
    std::copy(backward, backward + 9, h.m);
    // The side of the horizon the picture lies on, seen from the quad's centre.
    double w;
    h.apply((tl.x + tr.x + br.x + bl.x) / 4, (tl.y + tr.y + br.y + bl.y) / 4, &w);
    if (!std::isfinite(w) || w == 0) return Image();
    Rect extent = Rect(tl.x, tl.y, 0, 0)
                      .unionWith(Rect(tr.x, tr.y, 0, 0))
                      .unionWith(Rect(br.x, br.y, 0, 0))
                      .unionWith(Rect(bl.x, bl.y, 0, 0));
    return Image(std::make_shared<PerspectiveNode>(image.node(), extent, h, w > 0 ? 1.0 : -1.0));
}

}  // namespace qv::ci::detail
