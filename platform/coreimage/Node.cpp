#include "coreimage/Node.h"

#include <algorithm>
#include <cmath>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#include <unordered_map>

namespace qv::ci::detail {

float* Arena::alloc(std::size_t floats) {
    floats = (floats + 15) & ~std::size_t(15);  // keep every buffer 64-byte aligned within its block
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

void Evaluator::sampleRow(double x0, double y, int n, float* out, Arena& arena) const {
    ArenaScope scope(arena);
    float* xs = arena.alloc(std::size_t(n));
    float* ys = arena.alloc(std::size_t(n));
    rowPoints(x0, y, n, xs, ys);
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

void maskOutside(const Rect& rect, const float* xs, const float* ys, int n, float* out) {
    if (rect.isInfinite()) return;
    if (rect.isEmpty()) {
        std::fill(out, out + 4 * std::size_t(n), 0.f);
        return;
    }
    const double x0 = rect.minX(), x1 = rect.maxX(), y0 = rect.minY(), y1 = rect.maxY();
    // Nearly every batch lies wholly inside: find that out in one branch-free pass in float, with
    // the bounds rounded inwards so that a point passing it is inside for certain.
    auto inward = [](double bound, bool lower) {
        float f = float(bound);
        if (lower ? double(f) < bound : double(f) > bound) f = std::nextafter(f, lower ? INFINITY : -INFINITY);
        return f;
    };
    const float fx0 = inward(x0, true), fx1 = inward(x1, false), fy0 = inward(y0, true), fy1 = inward(y1, false);
    int i = 0;
    bool anyOutside = false;
#if defined(__SSE2__)
    // Four lanes at a time; a NaN fails every comparison and so counts as outside.
    {
        const __m128 lx = _mm_set1_ps(fx0), hx = _mm_set1_ps(fx1), ly = _mm_set1_ps(fy0), hy = _mm_set1_ps(fy1);
        __m128 inside = _mm_castsi128_ps(_mm_set1_epi32(-1));
        for (; i + 4 <= n; i += 4) {
            const __m128 x = _mm_loadu_ps(xs + i), y = _mm_loadu_ps(ys + i);
            inside = _mm_and_ps(inside, _mm_and_ps(_mm_and_ps(_mm_cmpge_ps(x, lx), _mm_cmplt_ps(x, hx)),
                                                   _mm_and_ps(_mm_cmpge_ps(y, ly), _mm_cmplt_ps(y, hy))));
        }
        anyOutside = _mm_movemask_ps(inside) != 0xf;
    }
#endif
    for (; i < n; ++i) anyOutside |= !((xs[i] >= fx0) & (xs[i] < fx1) & (ys[i] >= fy0) & (ys[i] < fy1));
    if (!anyOutside) return;
    for (i = 0; i < n; ++i) {
        if (!(xs[i] >= x0 && xs[i] < x1 && ys[i] >= y0 && ys[i] < y1)) {
            out[4 * i] = out[4 * i + 1] = out[4 * i + 2] = out[4 * i + 3] = 0.f;
        }
    }
}

void rowPoints(double x0, double y, int n, float* xs, float* ys) {
    // Each coordinate from the absolute pixel index, so a pixel's value never depends on where the
    // tile or row chunk it belongs to starts.
    const float yc = float(y + 0.5);
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
