// Point nodes: colour matrix, maximum and source-atop compositing, exposure, crop, and the radial
// gradient generator. They ask their inputs for the same points (a row stays a row, so a raster
// below keeps its fast path) and combine the colours in place, four floats per point.
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "coreimage/CpuFeatures.h"
#include "coreimage/Node.h"
#include "coreimage/Operations.h"
#include "coreimage/SimdTypes.h"
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif

namespace qv::ci::detail {

namespace {

// The most inputs a point node combines.
constexpr int kMaxPointInputs = 8;

// The per-point loops of the hot point nodes, two points at a time where the processor allows.
#if QV_HAS_WIDE_BUILD
// maximumOfGains over count inputs; the common counts come as compile-time constants, so that the
// loop over the inputs unrolls.
template <class Count>
QV_TARGET_WIDE void maximumOfGainsWide(float* out, const float* const* in, const v4f* gains, Count count, int n) {
    __m256 g[kMaxPointInputs];
    for (int j = 0; j < int(count); ++j) g[j] = _mm256_set_m128((__m128)gains[j], (__m128)gains[j]);
    const int last = int(count) - 1;
    int i = 0;
    for (; i + 8 <= 4 * n; i += 8) {
        __m256 acc = _mm256_mul_ps(_mm256_loadu_ps(in[last] + i), g[last]);
        for (int j = last - 1; j >= 0; --j) acc = _mm256_max_ps(_mm256_mul_ps(_mm256_loadu_ps(in[j] + i), g[j]), acc);
        _mm256_storeu_ps(out + i, acc);
    }
    if (i < 4 * n) {
        __m128 acc = _mm_mul_ps(_mm_loadu_ps(in[last] + i), (__m128)gains[last]);
        for (int j = last - 1; j >= 0; --j) acc = _mm_max_ps(_mm_mul_ps(_mm_loadu_ps(in[j] + i), (__m128)gains[j]), acc);
        _mm_storeu_ps(out + i, acc);
    }
}

QV_TARGET_WIDE void maximumWide(float* out, const float* other, int n) {
    int i = 0;
    for (; i + 8 <= 4 * n; i += 8)
        _mm256_storeu_ps(out + i, _mm256_max_ps(_mm256_loadu_ps(out + i), _mm256_loadu_ps(other + i)));
    if (i < 4 * n) _mm_storeu_ps(out + i, _mm_max_ps(_mm_loadu_ps(out + i), _mm_loadu_ps(other + i)));
}
#endif

// Input j's colours times gains[j], channel by channel, and the maximum of those products taken
// from the last input to the first: max(in0 g0, max(in1 g1, ...)), as nested maximum composites
// of channel gains give it. Input 0 arrives in out, the others in others; one input only scales.
// Where a channel is NaN, the later inputs' maximum wins.
void maximumOfGains(float* out, const float* const* others, const v4f* gains, int count, int n) {
    const float* in[kMaxPointInputs] = {out};
    std::copy(others, others + count - 1, in + 1);
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) {
        using One = std::integral_constant<int, 1>;
        using Three = std::integral_constant<int, 3>;
        if (count == 1) return maximumOfGainsWide(out, in, gains, One{}, n);
        if (count == 3) return maximumOfGainsWide(out, in, gains, Three{}, n);
        return maximumOfGainsWide(out, in, gains, count, n);
    }
#endif
    for (int i = 0; i < 4 * n; i += 4) {
        v4f acc = load4(in[count - 1] + i) * gains[count - 1];
        for (int j = count - 2; j >= 0; --j) acc = vmax(load4(in[j] + i) * gains[j], acc);
        store4(out + i, acc);
    }
}

// The per-channel maximum of out and other, into out. Where a channel is NaN, other's wins.
void maximumInPlace(float* out, const float* other, int n) {
#if QV_HAS_WIDE_BUILD
    if (wideVectors()) return maximumWide(out, other, n);
#endif
    for (int i = 0; i < 4 * n; i += 4) store4(out + i, vmax(load4(out + i), load4(other + i)));
}

// Combines the colours of its inputs at each point. The first input's colours arrive in out and
// the others in buffers; combine() works in place.
class PointEvaluator : public Evaluator {
public:
    // channels: for each input, the one colour channel (besides alpha) that combine() uses of
    // it, or kAllChannels.
    PointEvaluator(std::vector<const Evaluator*> inputs, std::vector<int> channels)
        : m_inputs(std::move(inputs)), m_channels(std::move(channels)) {
        for (const Evaluator* e : m_inputs) m_inputsGainFromBounds = m_inputsGainFromBounds || e->gainsFromBounds();
    }

    // The box of the points is worked out once here for all the inputs (the chromatic
    // aberration's three channels each read under a move and an edge scale), rather than by each.
    void sample(const float* xs, const float* ys, int n, float* out, Arena& arena) const override {
        PointBounds box;
        sampleInputs(xs, ys, n, out, arena, m_inputsGainFromBounds && finiteBounds(xs, ys, n, box) ? &box : nullptr);
    }
    bool gainsFromBounds() const override { return m_inputsGainFromBounds; }
    void sampleInside(const float* xs, const float* ys, int n, float* out, Arena& arena,
                      const PointBounds& box) const override {
        sampleInputs(xs, ys, n, out, arena, &box);
    }
    void sampleRow(double x0, double y, int n, float* out, Arena& arena) const override {
        gather(out, n, arena, [&](std::size_t k, float* dst) { m_inputs[k]->sampleRow(x0, y, n, dst, arena); });
    }

protected:
    virtual void combine(float* out, const float* const* others, int n) const = 0;
    std::vector<const Evaluator*> m_inputs;
    std::vector<int> m_channels;
    bool m_inputsGainFromBounds = false;

private:
    // Each input read at the points for the channel the combination uses of it; box, when known,
    // holds the points.
    void sampleInputs(const float* xs, const float* ys, int n, float* out, Arena& arena, const PointBounds* box) const {
        gather(out, n, arena, [&](std::size_t k, float* dst) {
            m_inputs[k]->sampleChannel(xs, ys, n, dst, arena, box, m_channels[k]);
        });
    }
    template <class Fetch>
    void gather(float* out, int n, Arena& arena, Fetch fetch) const {
        ArenaScope scope(arena);
        const float* others[kMaxPointInputs - 1] = {};
        fetch(0, out);
        for (std::size_t k = 1; k < m_inputs.size(); ++k) {
            float* buffer = arena.alloc(4 * std::size_t(n));
            fetch(k, buffer);
            others[k - 1] = buffer;
        }
        combine(out, others, n);
    }
};

// The channel of each input a combination uses alone (see PointEvaluator): none, unless the
// combination says otherwise.
template <class Combine>
std::vector<int> channelsUsedAlone(const Combine&, std::size_t inputs) {
    return std::vector<int>(inputs, Evaluator::kAllChannels);
}

template <class Combine>
class LambdaPointEvaluator final : public PointEvaluator {
public:
    LambdaPointEvaluator(std::vector<const Evaluator*> inputs, Combine c)
        : PointEvaluator(inputs, channelsUsedAlone(c, inputs.size())), m_c(c) {}

private:
    void combine(float* out, const float* const* others, int n) const override { m_c(out, others, n); }
    Combine m_c;
};

// A node whose output at a point depends only on its inputs' colours at that point.
template <class Combine>
class PointNode final : public Node {
public:
    PointNode(Rect extent, std::vector<std::shared_ptr<const Node>> inputs, Combine c) : Node(extent), m_c(c) {
        m_inputs = std::move(inputs);
    }
    Rect regionOfInterest(std::size_t, const Rect& roi, const Prepared*) const override { return roi; }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<LambdaPointEvaluator<Combine>>(inputs, m_c);
    }
    const Combine& combination() const { return m_c; }

private:
    Combine m_c;
};

template <class Combine>
Image pointImage(Rect extent, std::vector<std::shared_ptr<const Node>> inputs, Combine c) {
    return Image(std::make_shared<PointNode<Combine>>(extent, std::move(inputs), c));
}

// Channel gains on each input and the maximum of the products (see maximumOfGains): a colour
// matrix that only scales channels is one input of it, and a maximum composite of such images
// (each maybe moved by an affine transform) is one node of them all, so that the chromatic
// aberration's three channels combine in one pass instead of five.
struct GainsMaximum {
    v4f gains[kMaxPointInputs];
    int count;
    void operator()(float* out, const float* const* others, int n) const { maximumOfGains(out, others, gains, count, n); }
};
using GainsMaximumNode = PointNode<GainsMaximum>;

// An input whose gains keep one colour channel (and maybe alpha) is used for that channel alone:
// the others are multiplied by 0.
template <>
std::vector<int> channelsUsedAlone(const GainsMaximum& g, std::size_t inputs) {
    std::vector<int> channels(inputs, Evaluator::kAllChannels);
    for (std::size_t j = 0; j < inputs && j < std::size_t(g.count); ++j) {
        int kept = 0, channel = Evaluator::kAllChannels;
        for (int k = 0; k < 3; ++k)
            if (g.gains[j][k] != 0.f) ++kept, channel = k;
        if (kept == 1) channels[j] = channel;
    }
    return channels;
}

// The inputs and gains of an image that is channel gains, or channel gains moved by an affine
// transform (the transform then goes under the gains: it only moves the points they are read at).
bool gainTerms(const Image& image, std::vector<std::shared_ptr<const Node>>& inputs, std::vector<v4f>& gains,
               bool single) {
    Image under;
    AffineTransform t;
    const bool moved = affineParts(image, under, t);
    const auto* node = dynamic_cast<const GainsMaximumNode*>((moved ? under : image).node().get());
    // A transform goes under one input's gains only; the outer operand of a nesting has one input.
    if (!node || ((moved || single) && node->combination().count != 1)) return false;
    const GainsMaximum& g = node->combination();
    for (int j = 0; j < g.count; ++j) {
        const Image input(node->inputs()[std::size_t(j)]);
        inputs.push_back(moved ? affineNodeOver(input, t).node() : input.node());
        gains.push_back(g.gains[j]);
    }
    return true;
}

// Evaluators that need the positions themselves: a crop and a generator.
class CropEvaluator final : public Evaluator {
public:
    CropEvaluator(const Evaluator* input, Rect rect) : m_input(input), m_rect(rect) {}
    void sample(const float* xs, const float* ys, int n, float* out, Arena& arena) const override {
        m_input->sample(xs, ys, n, out, arena);
        m_rect.apply(xs, ys, n, out);
    }
    void sampleRow(double x0, double y, int n, float* out, Arena& arena) const override {
        m_input->sampleRow(x0, y, n, out, arena);
        ArenaScope scope(arena);
        float* xs = arena.alloc(std::size_t(n));
        float* ys = arena.alloc(std::size_t(n));
        rowPoints(x0, y, n, xs, ys);
        m_rect.apply(xs, ys, n, out);
    }

private:
    const Evaluator* m_input;
    MaskRect m_rect;
};

class CropNode final : public Node {
public:
    CropNode(std::shared_ptr<const Node> input, const Rect& rect) : Node(input->extent().intersection(rect)) {
        m_inputs.push_back(std::move(input));
    }
    Rect regionOfInterest(std::size_t, const Rect& roi, const Prepared*) const override { return roi; }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<CropEvaluator>(inputs[0], m_extent);
    }
};

class GradientEvaluator final : public Evaluator {
public:
    GradientEvaluator(Point c, double r0, double r1, v4f c0, v4f c1) : m_c(c), m_r0(r0), m_r1(r1), m_c0(c0), m_c1(c1) {}
    void sample(const float* xs, const float* ys, int n, float* out, Arena&) const override {
        const float cx = float(m_c.x), cy = float(m_c.y), r0 = float(m_r0);
        const float span = float(m_r1 - m_r0);
        for (int i = 0; i < n; ++i) {
            const float dx = xs[i] - cx, dy = ys[i] - cy;
            const float d = std::sqrt(dx * dx + dy * dy);
            float t = span != 0 ? (d - r0) / span : (d < r0 ? 0.f : 1.f);
            t = std::clamp(t, 0.f, 1.f);
            store4(out + 4 * i, m_c0 + (m_c1 - m_c0) * t);
        }
    }

private:
    Point m_c;
    double m_r0, m_r1;
    v4f m_c0, m_c1;
};

class GradientNode final : public Node {
public:
    GradientNode(Point c, double r0, double r1, Color c0, Color c1)
        : Node(Rect::infinite()), m_c(c), m_r0(r0), m_r1(r1), m_c0(premultiplied(c0)), m_c1(premultiplied(c1)) {}
    Rect regionOfInterest(std::size_t, const Rect&, const Prepared*) const override { return Rect::null(); }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>, const std::vector<const Evaluator*>&,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<GradientEvaluator>(m_c, m_r0, m_r1, m_c0, m_c1);
    }

private:
    static v4f premultiplied(Color c) {
        const float a = float(std::clamp(c.a, 0.0, 1.0));
        return v4f{float(c.r) * a, float(c.g) * a, float(c.b) * a, a};
    }
    Point m_c;
    double m_r0, m_r1;
    v4f m_c0, m_c1;
};

}  // namespace

Image colorMatrixApplied(const Image& image, const ColorMatrix& m) {
    if (image.isNull()) return Image();
    // When the alpha row keeps alpha as it is, the matrix can work on premultiplied colours
    // directly (no division per pixel): c' = M c + (M_alpha a + bias) a.
    const bool keepsAlpha = m.rows[3][0] == 0 && m.rows[3][1] == 0 && m.rows[3][2] == 0 && m.rows[3][3] == 1 &&
                            m.bias[3] == 0;
    const bool diagonal = keepsAlpha && m.rows[0][1] == 0 && m.rows[0][2] == 0 && m.rows[0][3] == 0 &&
                          m.rows[1][0] == 0 && m.rows[1][2] == 0 && m.rows[1][3] == 0 && m.rows[2][0] == 0 &&
                          m.rows[2][1] == 0 && m.rows[2][3] == 0 && m.bias[0] == 0 && m.bias[1] == 0 && m.bias[2] == 0;
    if (diagonal) {
        // Channel extraction and per-channel gains: one multiply per pixel.
        return pointImage(image.extent(), {image.node()}, GainsMaximum{{{m.rows[0][0], m.rows[1][1], m.rows[2][2], 1.f}}, 1});
    }
    if (keepsAlpha) {
        return pointImage(image.extent(), {image.node()}, [m](float* out, const float* const*, int n) {
            for (int i = 0; i < n; ++i) {
                float* p = out + 4 * i;
                const float r = p[0], g = p[1], b = p[2], a = p[3];
                for (int k = 0; k < 3; ++k) {
                    const float* row = m.rows[k];
                    p[k] = row[0] * r + row[1] * g + row[2] * b + (row[3] * a + m.bias[k]) * a;
                }
            }
        });
    }
    return pointImage(image.extent(), {image.node()}, [m](float* out, const float* const*, int n) {
        for (int i = 0; i < n; ++i) {
            float* p = out + 4 * i;
            const float a = p[3];
            const float inv = a > 0 ? 1.f / a : 0.f;
            const float c[4] = {p[0] * inv, p[1] * inv, p[2] * inv, a};
            float o[4];
            for (int k = 0; k < 4; ++k) {
                const float* row = m.rows[k];
                o[k] = row[0] * c[0] + row[1] * c[1] + row[2] * c[2] + row[3] * c[3] + m.bias[k];
            }
            // Colours outside the image stay transparent: a bias does not spread over the plane.
            const float alpha = a > 0 ? std::clamp(o[3], 0.f, 1.f) : 0.f;
            p[0] = o[0] * alpha;
            p[1] = o[1] * alpha;
            p[2] = o[2] * alpha;
            p[3] = alpha;
        }
    });
}

Image maximumComposited(const Image& image, const Image& background) {
    if (image.isNull()) return background;
    if (background.isNull()) return image;
    std::vector<std::shared_ptr<const Node>> inputs;
    std::vector<v4f> gains;
    // max(a, max(b, c)) with gains on a, b and c is one node; max(max(a, b), c) nests the other way.
    if (gainTerms(image, inputs, gains, true) && gainTerms(background, inputs, gains, false) &&
        inputs.size() <= std::size_t(kMaxPointInputs)) {
        GainsMaximum combined{{}, int(gains.size())};
        std::copy(gains.begin(), gains.end(), combined.gains);
        return pointImage(image.extent().unionWith(background.extent()), std::move(inputs), combined);
    }
    return pointImage(image.extent().unionWith(background.extent()), {image.node(), background.node()},
                      [](float* out, const float* const* others, int n) { maximumInPlace(out, others[0], n); });
}

Image sourceAtopComposited(const Image& image, const Image& background) {
    if (image.isNull() || background.isNull()) return Image();
    return pointImage(background.extent(), {image.node(), background.node()},
                      [](float* out, const float* const* others, int n) {
                          const float* b = others[0];
                          for (int i = 0; i < 4 * n; i += 4) {
                              const v4f s = load4(out + i), d = load4(b + i);
                              v4f r = s * d[3] + d * (1.f - s[3]);
                              r[3] = d[3];
                              store4(out + i, r);
                          }
                      });
}

Image exposureAdjusted(const Image& image, double ev) {
    if (image.isNull()) return Image();
    const float gain = float(std::exp2(ev));
    if (gain == 1.f) return image;
    return pointImage(image.extent(), {image.node()}, GainsMaximum{{{gain, gain, gain, 1.f}}, 1});
}

Image cropped(const Image& image, const Rect& rect) {
    if (image.isNull()) return Image();
    if (rect.isInfinite() || rect.contains(image.extent())) return image;
    return Image(std::make_shared<CropNode>(image.node(), rect.standardized()));
}

Image radialGradient(Point center, double radius0, double radius1, Color color0, Color color1) {
    return Image(std::make_shared<GradientNode>(center, radius0, radius1, color0, color1));
}

}  // namespace qv::ci::detail
