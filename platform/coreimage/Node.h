#pragma once
// The recipe graph behind Image, and the evaluators that one render builds from it.
//
// A Node is immutable and may be shared by many images and renders at once. A render walks the
// graph from its root, works out the region each node must deliver (its region of interest), lets
// each node prepare what it needs for that region (a kernel's warp grid, a resample's pixels) and
// then builds one Evaluator per node. Evaluators answer colours at lists of points, a row at a
// time: geometric evaluators map the points and ask their input, point evaluators combine the
// colours of their inputs at the same points, raster evaluators interpolate pixels. So a chain of
// transforms samples the pixels once per output pixel, whatever its length.
#include <cstddef>
#include <memory>
#include <vector>

#include "coreimage/CIContext.h"
#include "coreimage/CIImage.h"
#include "foundation/Geometry.h"

namespace qv::ci::detail {

// Scratch memory for one thread's evaluation of a row: a stack of float buffers that never moves
// once handed out. A Mark gives back everything allocated after it.
class Arena {
public:
    // Inline while the current block has room (every evaluator of every batch asks): the slow
    // path moves on to the next block or makes one.
    float* alloc(std::size_t floats) {
        floats = (floats + 15) & ~std::size_t(15);  // keep every buffer 64-byte aligned within its block
        if (m_block < m_sizes.size() && m_used + floats <= m_sizes[m_block]) {
            float* p = m_blocks[m_block].get() + m_used;
            m_used += floats;
            return p;
        }
        return allocInNextBlock(floats);
    }
    struct Mark {
        std::size_t block, used;
    };
    Mark mark() const { return {m_block, m_used}; }
    void release(Mark m) { m_block = m.block; m_used = m.used; }

private:
    float* allocInNextBlock(std::size_t floats);
    static constexpr std::size_t kBlockFloats = std::size_t(1) << 16;
    std::vector<std::unique_ptr<float[]>> m_blocks;
    std::vector<std::size_t> m_sizes;
    std::size_t m_block = 0, m_used = 0;
};

class ArenaScope {
public:
    explicit ArenaScope(Arena& arena) : m_arena(arena), m_mark(arena.mark()) {}
    ~ArenaScope() { m_arena.release(m_mark); }
    ArenaScope(const ArenaScope&) = delete;
    ArenaScope& operator=(const ArenaScope&) = delete;

private:
    Arena& m_arena;
    Arena::Mark m_mark;
};

// A closed box that a batch of points lies in, every coordinate finite.
struct PointBounds {
    float x0, x1, y0, y1;
};

class Evaluator {
public:
    virtual ~Evaluator() = default;
    // Premultiplied RGBA (4 floats per point) at the n points (xs[i], ys[i]) into out.
    virtual void sample(const float* xs, const float* ys, int n, float* out, Arena& arena) const = 0;
    // The same, for points the caller knows to be finite and inside bounds: an evaluator that
    // clears the points outside a rectangle holding bounds has nothing to clear.
    virtual void sampleInside(const float* xs, const float* ys, int n, float* out, Arena& arena,
                              const PointBounds& bounds) const;
    // Whether sampleInside does less work than sample when told the box: a caller that does not
    // know the box of its points works one out only for an input that gains by it.
    virtual bool gainsFromBounds() const { return false; }
    // The n pixel centres (x0 + i + 0.5, y + 0.5) of a row, x0 and y integers.
    virtual void sampleRow(double x0, double y, int n, float* out, Arena& arena) const;
    // sample (or sampleInside, when bounds is given) for a caller that keeps only colour channel
    // `channel` (0 red, 1 green, 2 blue) and alpha of each point: those come out exactly as sample
    // gives them; in the other colour channels, where sample gives a number this may give another
    // number. Evaluators that only move points pass the request on, so that a raster of bytes
    // reads two channels instead of four. kAllChannels asks for every channel.
    static constexpr int kAllChannels = -1;
    virtual void sampleChannel(const float* xs, const float* ys, int n, float* out, Arena& arena,
                               const PointBounds* bounds, int channel) const;
};

// An evaluator (derived from Base) whose reads all go through sampleChannel: a caller that asks
// for every channel is the case kAllChannels.
template <class Base>
class ReadsThroughChannels : public Base {
public:
    using Base::Base;
    void sample(const float* xs, const float* ys, int n, float* out, Arena& arena) const override {
        this->sampleChannel(xs, ys, n, out, arena, nullptr, Evaluator::kAllChannels);
    }
    void sampleInside(const float* xs, const float* ys, int n, float* out, Arena& arena,
                      const PointBounds& box) const override {
        this->sampleChannel(xs, ys, n, out, arena, &box, Evaluator::kAllChannels);
    }
};

// Per-render data a node prepares for its region of interest, before its inputs are planned.
struct Prepared {
    virtual ~Prepared() = default;
};

struct RenderStatisticsSink {
    RenderStatistics* stats = nullptr;
    void addRasterRows(std::size_t rows, std::size_t pixels) const;
    void addGridPoints(std::size_t points) const;
    void addTiles(std::size_t tiles) const;
};

class Node : public std::enable_shared_from_this<Node> {
public:
    explicit Node(Rect extent) : m_extent(extent) {}
    virtual ~Node() = default;

    const Rect& extent() const { return m_extent; }
    const std::vector<std::shared_ptr<const Node>>& inputs() const { return m_inputs; }

    // Work a render does once for this node's region of interest (may be null).
    virtual std::unique_ptr<Prepared> prepare(const Rect& roi, const RenderStatisticsSink& sink) const;
    // The region of input i that delivering roi of this node reads (null: none).
    virtual Rect regionOfInterest(std::size_t input, const Rect& roi, const Prepared* prepared) const = 0;
    // inputs: the evaluators of inputs(), in order; rois: their regions of interest.
    virtual std::unique_ptr<Evaluator> makeEvaluator(const Rect& roi, std::unique_ptr<Prepared> prepared,
                                                     const std::vector<const Evaluator*>& inputs,
                                                     const RenderStatisticsSink& sink) const = 0;

protected:
    Rect m_extent;
    std::vector<std::shared_ptr<const Node>> m_inputs;
};

// The evaluators of one render, built from a root node for a region.
class RenderPlan {
public:
    RenderPlan(const std::shared_ptr<const Node>& root, const Rect& roi, const RenderStatisticsSink& sink);
    const Evaluator& root() const { return *m_root; }

private:
    std::vector<std::unique_ptr<Evaluator>> m_evaluators;
    const Evaluator* m_root = nullptr;
};

// A rectangle's test of points, worked out once in float: for any float x, the tests against the
// float bounds come out as against the double rectangle.
class MaskRect {
public:
    explicit MaskRect(const Rect& rect);
    // Sets the colours of points outside the rectangle to transparent black.
    void apply(const float* xs, const float* ys, int n, float* out) const;
    // Whether every point of the box lies inside, so that apply would clear nothing.
    bool holds(const PointBounds& box) const;
    // Whether no point of the box lies inside, so that apply would clear every point.
    bool excludes(const PointBounds& box) const;
    // The shortest run [begin, end) of the n points that holds every point inside (begin == end
    // when none is).
    void insideSpan(const float* xs, const float* ys, int n, int& begin, int& end) const;

private:
    enum class Kind { Everything, Nothing, Test };
    Kind m_kind = Kind::Test;
    float m_x0 = 0, m_x1 = 0, m_y0 = 0, m_y1 = 0;
};

// Sets the colours of points outside rect to transparent black.
void maskOutside(const Rect& rect, const float* xs, const float* ys, int n, float* out);
// The box of the n points, when there are some and all are finite (NaN and infinities excluded).
bool finiteBounds(const float* xs, const float* ys, int n, PointBounds& box);
// Fills the pixel-centre coordinates of a row.
void rowPoints(double x0, double y, int n, float* xs, float* ys);
// Grows a region by a margin and makes it whole; null stays null, infinite stays infinite.
Rect grownIntegral(const Rect& r, double margin);
// The bounding box of finite points; null when there are none.
Rect boundsOfPoints(const float* xs, const float* ys, std::size_t n);

}  // namespace qv::ci::detail
