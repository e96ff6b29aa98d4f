// Applying a kernel: the program is specialised for its argument values, split into what is
// constant, what depends on the position only and what depends on sampled colours, and run over
// batches of points. Position-only expressions that feed the rest are computed exactly, or, when
// they are costly, interpolated from a grid evaluated every 8 pixels.
#include <tbb/parallel_for.h>

#include <algorithm>
#include <cmath>
#include <type_traits>

#include "coreimage/CIKernel.h"
#include "coreimage/KernelProgram.h"
#include "coreimage/Node.h"
#include "coreimage/SimdTypes.h"
#include "foundation/Bitmap.h"

namespace qv::ci {

namespace detail {

namespace {

constexpr int kChunk = 128;
constexpr double kGridStep = 8;

enum class Cls : std::uint8_t { Const, Pos, Pixel };

struct Step {
    int node;
    bool interpolate;  // fill from the grid instead of evaluating
};

// The program with its argument values folded in, and the evaluation plans derived from it.
struct Specialized {
    std::vector<IrNode> nodes;
    std::vector<Cls> cls;
    std::vector<std::size_t> offset;  // per-batch buffer of each non-constant node
    std::size_t batchFloats = 0;
    std::vector<float> constants;  // kChunk copies of each constant node's value
    std::vector<std::size_t> constOffset;
    int result = -1;
    std::vector<Step> pixelSteps;    // per batch of output points
    std::vector<int> gridSteps;      // per batch of grid points
    std::vector<int> gridTargets;    // nodes whose grid values are kept
    std::vector<int> samplerSlot;    // parameter index -> input index (-1: not a sampler)
    std::vector<int> samplerOfSample;  // per node: input index of a Sample node

    const float* constant(int k) const { return constants.data() + constOffset[std::size_t(k)]; }
};

bool isAffine(const std::vector<IrNode>& nodes, const std::vector<Cls>& cls, std::vector<int>& memo, int k) {
    if (memo[std::size_t(k)] >= 0) return memo[std::size_t(k)] != 0;
    const IrNode& n = nodes[std::size_t(k)];
    auto aff = [&](int a) { return isAffine(nodes, cls, memo, a); };
    auto isConst = [&](int a) { return cls[std::size_t(a)] == Cls::Const; };
    bool r = false;
    switch (n.op) {
    case Op::Const:
    case Op::DestCoord: r = true; break;
    case Op::Neg:
    case Op::Swizzle: r = aff(n.args[0]); break;
    case Op::Add:
    case Op::Sub: r = aff(n.args[0]) && aff(n.args[1]); break;
    case Op::Mul: r = (isConst(n.args[0]) && aff(n.args[1])) || (isConst(n.args[1]) && aff(n.args[0])); break;
    case Op::Div: r = isConst(n.args[1]) && aff(n.args[0]); break;
    case Op::Construct: r = std::all_of(n.args.begin(), n.args.end(), aff); break;
    default: r = cls[std::size_t(k)] == Cls::Const;
    }
    memo[std::size_t(k)] = r ? 1 : 0;
    return r;
}

// Marks k and the non-constant nodes below it.
void collect(const std::vector<IrNode>& nodes, const std::vector<Cls>& cls, int k, std::vector<char>& mark) {
    if (mark[std::size_t(k)] || cls[std::size_t(k)] == Cls::Const) return;
    mark[std::size_t(k)] = 1;
    for (int a : nodes[std::size_t(k)].args) collect(nodes, cls, a, mark);
}

// Whether evaluating k and everything below it costs more per point than a grid interpolation:
// more than a dozen operations, a transcendental function counting for several.
bool isCostly(const std::vector<IrNode>& nodes, const std::vector<Cls>& cls, int k) {
    std::vector<char> below(nodes.size(), 0);
    collect(nodes, cls, k, below);
    int cost = 0;
    for (std::size_t j = 0; j < nodes.size(); ++j) {
        if (!below[j]) continue;
        const IrNode& n = nodes[j];
        const bool transcendental =
            n.op == Op::Call && (n.fn == Fn::Sin || n.fn == Fn::Cos || n.fn == Fn::Tan || n.fn == Fn::Atan ||
                                 n.fn == Fn::Atan2 || n.fn == Fn::Exp || n.fn == Fn::Log || n.fn == Fn::Pow);
        cost += transcendental ? 8 : n.op == Op::Swizzle || n.op == Op::Construct ? 0 : n.width;
    }
    return cost > 24;
}

std::shared_ptr<const Specialized> specialize(const KernelProgram& program, const std::vector<KernelArgument>& args,
                                              const std::vector<Rect>& samplerExtents) {
    auto s = std::make_shared<Specialized>();
    s->nodes = program.nodes;
    s->result = program.result;
    const std::size_t count = s->nodes.size();
    s->cls.assign(count, Cls::Const);
    s->samplerSlot.assign(program.params.size(), -1);
    s->samplerOfSample.assign(count, -1);
    {
        int slot = 0;
        for (std::size_t p = 0; p < program.params.size(); ++p)
            if (program.params[p].type == KernelParameterType::Sampler) s->samplerSlot[p] = slot++;
    }

    // Classify and fold constants (nodes come after their arguments).
    for (std::size_t k = 0; k < count; ++k) {
        IrNode& n = s->nodes[k];
        switch (n.op) {
        case Op::Const: break;
        case Op::Param: {
            const KernelArgument& a = args[std::size_t(n.param)];
            if (auto d = std::get_if<double>(&a)) n.value[0] = float(*d);
            else if (auto v = std::get_if<Vec2>(&a)) n.value[0] = float(v->x), n.value[1] = float(v->y);
            else if (auto v4 = std::get_if<Vec4>(&a))
                for (int c = 0; c < 4; ++c) n.value[c] = float((*v4)[c]);
            else if (auto col = std::get_if<Color>(&a)) {
                n.value[0] = float(col->r), n.value[1] = float(col->g), n.value[2] = float(col->b), n.value[3] = float(col->a);
            }
            n.op = Op::Const;
            break;
        }
        case Op::SamplerExtent: {
            const Rect& e = samplerExtents[std::size_t(s->samplerSlot[std::size_t(n.param)])];
            const double v[4] = {e.minX(), e.minY(), e.width(), e.height()};
            for (int c = 0; c < 4; ++c) n.value[c] = float(v[c]);
            n.op = Op::Const;
            break;
        }
        case Op::DestCoord: s->cls[k] = Cls::Pos; break;
        case Op::Sample:
            s->cls[k] = Cls::Pixel;
            s->samplerOfSample[k] = s->samplerSlot[std::size_t(n.param)];
            break;
        default: {
            Cls c = Cls::Const;
            for (int a : n.args) c = std::max(c, s->cls[std::size_t(a)]);
            s->cls[k] = c;
            if (c == Cls::Const) {
                const float* argv[4];
                int ws[4];
                for (std::size_t j = 0; j < n.args.size() && j < 4; ++j) {
                    argv[j] = s->nodes[std::size_t(n.args[j])].value;
                    ws[j] = s->nodes[std::size_t(n.args[j])].width;
                }
                float out[4];
                evaluateOp(n, argv, ws, 1, out);
                for (int c2 = 0; c2 < n.width; ++c2) n.value[c2] = out[c2];
                n.op = Op::Const;
                n.args.clear();
            }
        }
        }
    }

    // Position-only expressions that feed colour work, sample positions or the result.
    std::vector<int> affineMemo(count, -1);
    std::vector<char> boundary(count, 0), sampleCoord(count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        if (s->cls[k] != Cls::Pixel) continue;
        for (int a : s->nodes[k].args)
            if (s->cls[std::size_t(a)] == Cls::Pos) boundary[std::size_t(a)] = 1;
        if (s->nodes[k].op == Op::Sample && s->cls[std::size_t(s->nodes[k].args[0])] == Cls::Pos)
            sampleCoord[std::size_t(s->nodes[k].args[0])] = 1;
    }
    std::vector<char> exactMark(count, 0), gridMark(count, 0), interpolated(count, 0);
    if (s->cls[std::size_t(s->result)] == Cls::Pos) collect(s->nodes, s->cls, s->result, exactMark);
    for (std::size_t k = 0; k < count; ++k) {
        if (!boundary[k]) continue;
        // A short expression costs less per pixel, evaluated over a batch, than interpolating it
        // from the grid (a gather of four neighbours per point); only costly ones are interpolated.
        // Curved sample positions are always interpolated: they then stay within the bounds of
        // the grid's values, which is the region the render plans to read.
        const bool exact = isAffine(s->nodes, s->cls, affineMemo, int(k)) ||
                           (!sampleCoord[k] && !isCostly(s->nodes, s->cls, int(k)));
        if (exact) {
            collect(s->nodes, s->cls, int(k), exactMark);
        } else {
            interpolated[k] = 1;
        }
        // The grid also bounds where the samples are taken, for the region of interest.
        if (interpolated[k] || sampleCoord[k]) {
            collect(s->nodes, s->cls, int(k), gridMark);
            s->gridTargets.push_back(int(k));
        }
    }
    for (std::size_t k = 0; k < count; ++k) {
        if (gridMark[k]) s->gridSteps.push_back(int(k));
        if (interpolated[k] && !exactMark[k]) s->pixelSteps.push_back({int(k), true});
    }
    // A value needed exactly by a cheap expression is computed exactly even where it is also a
    // grid value of its own.
    for (std::size_t k = 0; k < count; ++k)
        if (exactMark[k]) s->pixelSteps.push_back({int(k), false});
    for (std::size_t k = 0; k < count; ++k)
        if (s->cls[k] == Cls::Pixel) s->pixelSteps.push_back({int(k), false});
    // Interpolated values first, then exact positions, then colours: each step's arguments are
    // ready before it (whatever an exact node reads is exact itself).

    s->offset.assign(count, 0);
    s->constOffset.assign(count, 0);
    for (std::size_t k = 0; k < count; ++k) {
        const int w = s->nodes[k].width;
        if (s->cls[k] == Cls::Const) {
            s->constOffset[k] = s->constants.size();
            for (int i = 0; i < kChunk; ++i)
                for (int c = 0; c < w; ++c) s->constants.push_back(s->nodes[k].value[c]);
        } else {
            s->offset[k] = s->batchFloats;
            s->batchFloats += std::size_t(kChunk * w + 16);
        }
    }
    return s;
}

// The grid of position-only values over a kernel node's region of interest.
// The box of the finite points of a stretch of 2-wide grid values, and whether any was not finite.
struct GridBox {
    float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
    bool nonFinite = false;
    void add(const float* g, std::size_t floats) {
        std::size_t i = 0;
#if defined(__SSE2__)
        // Two points at a time, without branches: a point with a coordinate that is not finite
        // (v - v is then not 0) takes part as +inf in the minimum and -inf in the maximum.
        const __m128 zero = _mm_setzero_ps(), inf = _mm_set1_ps(INFINITY), minusInf = _mm_set1_ps(-INFINITY);
        __m128 lo = inf, hi = minusInf, anyNonFinite = zero;
        for (; i + 4 <= floats; i += 4) {
            const __m128 v = _mm_loadu_ps(g + i);
            const __m128 finite = _mm_cmpeq_ps(_mm_sub_ps(v, v), zero);
            // Both coordinates of each point: x's test and y's test together.
            const __m128 both = _mm_and_ps(finite, _mm_shuffle_ps(finite, finite, _MM_SHUFFLE(2, 3, 0, 1)));
            anyNonFinite = _mm_or_ps(anyNonFinite, _mm_xor_ps(both, _mm_cmpeq_ps(zero, zero)));
            lo = _mm_min_ps(lo, _mm_or_ps(_mm_and_ps(both, v), _mm_andnot_ps(both, inf)));
            hi = _mm_max_ps(hi, _mm_or_ps(_mm_and_ps(both, v), _mm_andnot_ps(both, minusInf)));
        }
        alignas(16) float l[4], h[4];
        _mm_store_ps(l, lo);
        _mm_store_ps(h, hi);
        x0 = std::min(x0, std::min(l[0], l[2])), y0 = std::min(y0, std::min(l[1], l[3]));
        x1 = std::max(x1, std::max(h[0], h[2])), y1 = std::max(y1, std::max(h[1], h[3]));
        nonFinite = nonFinite || _mm_movemask_ps(anyNonFinite) != 0;
#endif
        for (; i + 1 < floats; i += 2) {
            if (!std::isfinite(g[i]) || !std::isfinite(g[i + 1])) {
                nonFinite = true;
                continue;
            }
            x0 = std::min(x0, g[i]), x1 = std::max(x1, g[i]);
            y0 = std::min(y0, g[i + 1]), y1 = std::max(y1, g[i + 1]);
        }
    }
    void add(const GridBox& b) {
        x0 = std::min(x0, b.x0), x1 = std::max(x1, b.x1);
        y0 = std::min(y0, b.y0), y1 = std::max(y1, b.y1);
        nonFinite = nonFinite || b.nonFinite;
    }
};

struct KernelGrid final : Prepared {
    double x0 = 0, y0 = 0;
    int nx = 0, ny = 0;
    // Per grid target: ny * nx * width, left unzeroed when made: the threads that compute the rows
    // write every value and, writing first, take the new pages' faults side by side.
    std::vector<std::vector<float, DefaultInitAllocator<float>>> values;
    // Per grid target of width 2 (a sample position), the box of each grid row's values, found
    // on the threads that compute the rows: the region of interest then joins rows, not points.
    std::vector<std::vector<GridBox>> rowBoxes;
    bool empty() const { return nx == 0; }
};

// Runs steps over n points (n <= kChunk) with buffers at base.
void runSteps(const Specialized& s, const std::vector<Step>& steps, const float* xs, const float* ys, int n, float* base,
              const std::vector<const Evaluator*>& inputs, const KernelGrid* grid, Arena& arena) {
    auto buffer = [&](int k) -> const float* {
        return s.cls[std::size_t(k)] == Cls::Const ? s.constant(k) : base + s.offset[std::size_t(k)];
    };
    // Grid cell and weights of each point, shared by every interpolated value.
    float *cell = nullptr, *fx = nullptr, *fy = nullptr;
    for (const Step& step : steps) {
        const IrNode& node = s.nodes[std::size_t(step.node)];
        float* out = base + s.offset[std::size_t(step.node)];
        const int w = node.width;
        if (step.interpolate) {
            const std::size_t target = std::size_t(
                std::find(s.gridTargets.begin(), s.gridTargets.end(), step.node) - s.gridTargets.begin());
            const auto& g = grid->values[target];
            if (!cell) {
                cell = arena.alloc(std::size_t(n));
                fx = arena.alloc(std::size_t(n));
                fy = arena.alloc(std::size_t(n));
                const float gx0 = float(grid->x0), gy0 = float(grid->y0), inv = float(1 / kGridStep);
                const float gxMax = float(grid->nx - 1), gyMax = float(grid->ny - 1);
                const int cxMax = grid->nx - 2, cyMax = grid->ny - 2;
                for (int i = 0; i < n; ++i) {
                    // NaN positions land on the first cell, as the clamp leaves them to.
                    const float gx = std::min(std::max(0.f, (xs[i] - gx0) * inv), gxMax);
                    const float gy = std::min(std::max(0.f, (ys[i] - gy0) * inv), gyMax);
                    const int cx = std::min(int(gx), cxMax), cy = std::min(int(gy), cyMax);
                    cell[i] = float(cy * grid->nx + cx);
                    fx[i] = gx - float(cx);
                    fy[i] = gy - float(cy);
                }
            }
            const std::size_t row = std::size_t(grid->nx) * std::size_t(w);
            // The common widths spelled out, so the compiler unrolls the channel loop.
            auto interpolate = [&](auto width) {
                constexpr int W = decltype(width)::value;
                for (int i = 0; i < n; ++i) {
                    const float* p = g.data() + std::size_t(cell[i]) * std::size_t(W);
                    for (int c = 0; c < W; ++c) {
                        const float top = p[c] + (p[W + c] - p[c]) * fx[i];
                        const float bottom = p[row + c] + (p[row + W + c] - p[row + c]) * fx[i];
                        out[i * W + c] = top + (bottom - top) * fy[i];
                    }
                }
            };
            switch (w) {
            case 1: interpolate(std::integral_constant<int, 1>{}); break;
            case 2: interpolate(std::integral_constant<int, 2>{}); break;
            case 3: interpolate(std::integral_constant<int, 3>{}); break;
            default: interpolate(std::integral_constant<int, 4>{}); break;
            }
            continue;
        }
        switch (node.op) {
        case Op::DestCoord:
            for (int i = 0; i < n; ++i) out[2 * i] = xs[i], out[2 * i + 1] = ys[i];
            break;
        case Op::Sample: {
            ArenaScope scope(arena);
            const float* p = buffer(node.args[0]);
            float* sx = arena.alloc(std::size_t(n));
            float* sy = arena.alloc(std::size_t(n));
            const bool constant = s.cls[std::size_t(node.args[0])] == Cls::Const;
            for (int i = 0; i < n; ++i) {
                sx[i] = constant ? p[0] : p[2 * i];
                sy[i] = constant ? p[1] : p[2 * i + 1];
            }
            inputs[std::size_t(s.samplerOfSample[std::size_t(step.node)])]->sample(sx, sy, n, out, arena);
            break;
        }
        default: {
            const float* argv[8];
            int ws[8];
            const std::size_t argc = std::min<std::size_t>(node.args.size(), 8);
            for (std::size_t j = 0; j < argc; ++j) {
                const int a = node.args[j];
                argv[j] = buffer(a);
                ws[j] = s.nodes[std::size_t(a)].width;
                // Constants are stored kChunk times; read them point by point like the others.
            }
            evaluateOp(node, argv, ws, n, out);
        }
        }
    }
}

// Native code's access to the evaluators of the kernel's samplers.
// When the kernel knows the box of its own points, a read at those very points (the same arrays,
// as a kernel that samples at its destination makes) tells the input that box.
class InputReader final : public KernelSamplerReader {
public:
    // channel: the one colour channel (besides alpha) the caller keeps, or kAllChannels.
    InputReader(const std::vector<const Evaluator*>& inputs, Arena& arena, const float* xs, const float* ys, int n,
                const PointBounds* box, int channel)
        : m_inputs(inputs), m_arena(arena), m_xs(xs), m_ys(ys), m_n(n), m_box(box), m_channel(channel) {}
    void sample(int samplerIndex, const float* xs, const float* ys, int n, float* out) const override {
        if (samplerIndex < 0 || std::size_t(samplerIndex) >= m_inputs.size()) {
            std::fill(out, out + 4 * std::size_t(n), 0.f);
            return;
        }
        const Evaluator* input = m_inputs[std::size_t(samplerIndex)];
        const bool atOwnPoints = m_box && xs == m_xs && ys == m_ys && n <= m_n;
        input->sampleChannel(xs, ys, n, out, m_arena, atOwnPoints ? m_box : nullptr, m_channel);
    }

private:
    const std::vector<const Evaluator*>& m_inputs;
    Arena& m_arena;
    const float *m_xs, *m_ys;
    int m_n;
    const PointBounds* m_box;
    int m_channel;
};

class KernelEvaluator final : public ReadsThroughChannels<Evaluator> {
public:
    KernelEvaluator(std::shared_ptr<const Specialized> spec, std::shared_ptr<const NativeKernelInstance> native,
                    std::unique_ptr<Prepared> grid, std::vector<const Evaluator*> inputs, Rect dod)
        : m_spec(std::move(spec)), m_native(std::move(native)), m_grid(std::move(grid)), m_inputs(std::move(inputs)),
          m_dod(dod) {
        for (const Step& step : m_spec->pixelSteps) m_needsGrid = m_needsGrid || step.interpolate;
    }

    // Native code works out the box of its points (a point beyond the render's reach, such as
    // one beyond a perspective's horizon, leaves it unknown): the mask then runs only where the
    // domain does not hold the box, and the inputs read at the same points learn it too.
    void sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena, const PointBounds* box,
                       int channel) const override {
        PointBounds found;
        if (!box && m_native && finiteBounds(xs, ys, n, found)) box = &found;
        if (!m_native || !m_native->keepsChannelsApart()) channel = kAllChannels;
        if (!box) {
            evaluate(xs, ys, n, out, arena, nullptr, channel);
            return m_dod.apply(xs, ys, n, out);
        }
        if (m_dod.holds(*box)) return evaluate(xs, ys, n, out, arena, box, channel);
        // Points outside the domain are cleared: only the run from the first point inside to the
        // last is evaluated, widened to whole groups of eight from the start of the batch, so that
        // each point takes the same arithmetic as in the whole batch.
        int begin = 0, end = 0;
        if (!m_dod.excludes(*box)) m_dod.insideSpan(xs, ys, n, begin, end);
        if (begin < end) begin &= ~7, end = std::min(n, (end + 7) & ~7);
        std::fill(out, out + 4 * std::size_t(begin), 0.f);
        std::fill(out + 4 * std::size_t(end), out + 4 * std::size_t(n), 0.f);
        if (begin == end) return;
        evaluate(xs + begin, ys + begin, end - begin, out + 4 * begin, arena, box, channel);
        m_dod.apply(xs + begin, ys + begin, end - begin, out + 4 * begin);
    }
    bool gainsFromBounds() const override { return true; }

private:
    // The kernel's colours at the points, outside its domain of definition too; box, when
    // known, holds the points. channel: as sampleChannel takes it, for native code only.
    void evaluate(const float* xs, const float* ys, int n, float* out, Arena& arena, const PointBounds* box,
                  int channel) const {
        if (m_native) {
            for (int start = 0; start < n; start += NativeKernelInstance::kMaxPoints) {
                const int m = std::min(NativeKernelInstance::kMaxPoints, n - start);
                const InputReader reader(m_inputs, arena, xs + start, ys + start, m, box, channel);
                m_native->evaluate(xs + start, ys + start, m, out + 4 * start, reader);
            }
            return;
        }
        const Specialized& s = *m_spec;
        const auto* grid = static_cast<const KernelGrid*>(m_grid.get());
        // No grid: the render planned nothing of this image, so nothing of it is asked for.
        if (m_needsGrid && (!grid || grid->empty())) {
            std::fill(out, out + 4 * std::size_t(n), 0.f);
            return;
        }
        for (int start = 0; start < n; start += kChunk) {
            const int m = std::min(kChunk, n - start);
            ArenaScope scope(arena);
            float* base = arena.alloc(s.batchFloats);
            runSteps(s, s.pixelSteps, xs + start, ys + start, m, base, m_inputs, grid, arena);
            const float* result = s.cls[std::size_t(s.result)] == Cls::Const ? s.constant(s.result)
                                                                             : base + s.offset[std::size_t(s.result)];
            std::copy(result, result + 4 * m, out + 4 * start);
        }
    }

    std::shared_ptr<const Specialized> m_spec;
    std::shared_ptr<const NativeKernelInstance> m_native;
    std::unique_ptr<Prepared> m_grid;
    std::vector<const Evaluator*> m_inputs;
    MaskRect m_dod;
    bool m_needsGrid = false;
};

class KernelNode final : public Node {
public:
    KernelNode(std::shared_ptr<const Specialized> spec, std::shared_ptr<const NativeKernelInstance> native,
               const Rect& dod, std::vector<std::shared_ptr<const Node>> samplers, RegionOfInterestFunction roi)
        : Node(dod), m_spec(std::move(spec)), m_native(std::move(native)), m_roi(std::move(roi)) {
        m_inputs = std::move(samplers);
    }

    std::unique_ptr<Prepared> prepare(const Rect& roi, const RenderStatisticsSink& sink) const override {
        auto grid = std::make_unique<KernelGrid>();
        const Specialized& s = *m_spec;
        if (roi.isEmpty() || s.gridTargets.empty() || !roi.isFinite()) return grid;
        const Rect r = roi.integral();
        grid->x0 = r.minX();
        grid->y0 = r.minY();
        grid->nx = int(std::ceil(r.width() / kGridStep)) + 1;
        grid->ny = int(std::ceil(r.height() / kGridStep)) + 1;
        const std::size_t points = std::size_t(grid->nx) * std::size_t(grid->ny);
        sink.addGridPoints(points);
        // A native kernel computes its own positions per pixel: its grid only bounds where it
        // samples, so only the boxes of its rows are kept, not the values.
        const bool keepValues = !m_native;
        for (int t : s.gridTargets) {
            const int w = s.nodes[std::size_t(t)].width;
            grid->values.emplace_back(keepValues ? points * std::size_t(w) : 0);
            grid->rowBoxes.emplace_back(w == 2 ? std::size_t(grid->ny) : 0);
        }
        std::vector<Step> steps;
        for (int k : s.gridSteps) steps.push_back({k, false});
        tbb::parallel_for(tbb::blocked_range<int>(0, grid->ny), [&](const tbb::blocked_range<int>& rows) {
            Arena arena;
            float xs[kChunk], ys[kChunk];
            for (int j = rows.begin(); j < rows.end(); ++j) {
                for (int i0 = 0; i0 < grid->nx; i0 += kChunk) {
                    const int m = std::min(kChunk, grid->nx - i0);
                    for (int i = 0; i < m; ++i) {
                        xs[i] = float(grid->x0 + kGridStep * (i0 + i));
                        ys[i] = float(grid->y0 + kGridStep * j);
                    }
                    ArenaScope scope(arena);
                    float* base = arena.alloc(s.batchFloats);
                    runSteps(s, steps, xs, ys, m, base, {}, nullptr, arena);
                    for (std::size_t t = 0; t < s.gridTargets.size(); ++t) {
                        const int k = s.gridTargets[t];
                        const std::size_t w = std::size_t(s.nodes[std::size_t(k)].width);
                        const float* src = base + s.offset[std::size_t(k)];
                        if (!grid->rowBoxes[t].empty()) grid->rowBoxes[t][std::size_t(j)].add(src, std::size_t(m) * w);
                        if (keepValues)
                            std::copy(src, src + std::size_t(m) * w,
                                      grid->values[t].data() + (std::size_t(j) * std::size_t(grid->nx) + std::size_t(i0)) * w);
                    }
                }
            }
        });
        return grid;
    }

    Rect regionOfInterest(std::size_t input, const Rect& roi, const Prepared* prepared) const override {
        const Specialized& s = *m_spec;
        const auto* grid = static_cast<const KernelGrid*>(prepared);
        Rect need = Rect::null();
        bool unknown = false;
        for (std::size_t k = 0; k < s.nodes.size(); ++k) {
            if (s.nodes[k].op != Op::Sample || s.samplerOfSample[k] != int(input)) continue;
            const int coord = s.nodes[k].args[0];
            switch (s.cls[std::size_t(coord)]) {
            case Cls::Const: {
                const float* v = s.constant(coord);
                need = need.unionWith(Rect(v[0], v[1], 0, 0));
                break;
            }
            case Cls::Pos: {
                const auto t = std::find(s.gridTargets.begin(), s.gridTargets.end(), coord) - s.gridTargets.begin();
                if (!grid || grid->empty()) {
                    unknown = true;
                    break;
                }
                const auto& g = grid->values[std::size_t(t)];
                GridBox box;
                if (!grid->rowBoxes[std::size_t(t)].empty()) {
                    for (const GridBox& row : grid->rowBoxes[std::size_t(t)]) box.add(row);
                } else {
                    box.add(g.data(), g.size());
                }
                Rect b = Rect::null();
                if (box.x0 <= box.x1) b = Rect(box.x0, box.y0, double(box.x1) - box.x0, double(box.y1) - box.y0);
                need = need.unionWith(b);
                if (box.nonFinite) unknown = true;
                break;
            }
            case Cls::Pixel: unknown = true; break;
            }
        }
        need = grownIntegral(need, 1);
        if (m_roi) need = need.unionWith(m_roi(int(input), roi));
        else if (unknown) need = need.unionWith(roi);
        return need;
    }

    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared> prepared,
                                             const std::vector<const Evaluator*>& inputs,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<KernelEvaluator>(m_spec, m_native, std::move(prepared), inputs, m_extent);
    }

private:
    std::shared_ptr<const Specialized> m_spec;
    std::shared_ptr<const NativeKernelInstance> m_native;
    RegionOfInterestFunction m_roi;
};

bool argumentFits(KernelParameterType type, const KernelArgument& a) {
    switch (type) {
    case KernelParameterType::Sampler: return std::holds_alternative<Sampler>(a);
    case KernelParameterType::Float: return std::holds_alternative<double>(a);
    case KernelParameterType::Vec2: return std::holds_alternative<Vec2>(a) || std::holds_alternative<Vec4>(a);
    case KernelParameterType::Vec3:
    case KernelParameterType::Vec4: return std::holds_alternative<Vec4>(a) || std::holds_alternative<Color>(a);
    }
    return false;
}

}  // namespace

}  // namespace detail

Kernel::Kernel(std::shared_ptr<const detail::KernelProgram> program) : m_program(std::move(program)) {}

std::vector<std::shared_ptr<Kernel>> Kernel::kernelsWithString(const std::string& source) {
    std::string unused;
    return kernelsWithString(source, unused);
}

std::vector<std::shared_ptr<Kernel>> Kernel::kernelsWithString(const std::string& source, std::string& reason) {
    std::vector<std::shared_ptr<Kernel>> out;
    for (auto& p : detail::parseKernels(source, reason)) out.push_back(std::make_shared<Kernel>(p));
    return out;
}

bool Kernel::attachNative(std::shared_ptr<const NativeKernel> native) {
    if (!native) return false;
    std::string unused;
    const auto programs = detail::parseKernels(native->source(), unused);
    if (programs.size() != 1 || !detail::sameProgram(*programs.front(), *m_program)) return false;
    m_native = std::move(native);
    return true;
}

const std::string& Kernel::name() const { return m_program->name; }
const std::vector<KernelParameter>& Kernel::parameters() const { return m_program->params; }

bool Kernel::isWarp() const {
    const auto& nodes = m_program->nodes;
    const detail::IrNode& r = nodes[std::size_t(m_program->result)];
    if (r.op != detail::Op::Sample) return false;
    // Nothing below the sample position may itself be a sample.
    std::vector<int> stack{r.args[0]};
    while (!stack.empty()) {
        const detail::IrNode& n = nodes[std::size_t(stack.back())];
        stack.pop_back();
        if (n.op == detail::Op::Sample) return false;
        for (int a : n.args) stack.push_back(a);
    }
    return true;
}

Image Kernel::apply(const Rect& domainOfDefinition, const std::vector<KernelArgument>& arguments,
                    RegionOfInterestFunction roi) const {
    const auto& params = m_program->params;
    if (arguments.size() != params.size() || domainOfDefinition.isEmpty()) return Image();
    std::vector<std::shared_ptr<const detail::Node>> samplers;
    std::vector<Rect> extents;
    std::vector<KernelArgument> args = arguments;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (!detail::argumentFits(params[i].type, args[i])) return Image();
        if (auto s = std::get_if<Sampler>(&args[i])) {
            if (s->isNull()) return Image();
            samplers.push_back(s->image().node());
            extents.push_back(s->extent());
        }
        if (params[i].type == KernelParameterType::Vec2) {
            if (auto v = std::get_if<Vec4>(&args[i])) args[i] = Vec2{v->x, v->y};
        }
    }
    auto spec = detail::specialize(*m_program, args, extents);
    std::shared_ptr<const NativeKernelInstance> native;
    if (m_native) native = m_native->instantiate(args);
    return Image(std::make_shared<detail::KernelNode>(std::move(spec), std::move(native),
                                                      domainOfDefinition.standardized(), std::move(samplers),
                                                      std::move(roi)));
}

}  // namespace qv::ci
