// The 256-bit versions of the per-point loops against the baseline ones: the same points through
// both, with batch lengths that are not a multiple of eight, unaligned starts, points on and just
// past the edges, NaN and infinite coordinates.
#include <gtest/gtest.h>

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <vector>

#include "TestImages.h"
#include "coreimage/CIKernel.h"
#include "coreimage/CpuFeatures.h"
#include "coreimage/Node.h"
#include "coreimage/Operations.h"

using namespace qv;
using namespace qv::ci;
using namespace qv::ci::detail;

namespace {

constexpr int kLongestBatch = 37;
// The ys are read this far ahead of the xs, so that special xs meet special and ordinary ys.
constexpr int kPairing = 2;

// Answers each point with a colour made of its own coordinates, so that what a geometric node
// asked for can be read back: (x, y, x - y, 1), or with swapped set (y, x, y - x, 0.5).
class ProbeEvaluator final : public Evaluator {
public:
    explicit ProbeEvaluator(bool swapped) : m_swapped(swapped) {}
    void sample(const float* xs, const float* ys, int n, float* out, Arena&) const override {
        for (int i = 0; i < n; ++i) {
            const float a = m_swapped ? ys[i] : xs[i], b = m_swapped ? xs[i] : ys[i];
            out[4 * i] = a;
            out[4 * i + 1] = b;
            out[4 * i + 2] = a - b;
            out[4 * i + 3] = m_swapped ? 0.5f : 1.f;
        }
    }

private:
    bool m_swapped;
};

class ProbeNode final : public Node {
public:
    ProbeNode(Rect extent, bool swapped) : Node(extent), m_swapped(swapped) {}
    Rect regionOfInterest(std::size_t, const Rect&, const Prepared*) const override { return Rect::null(); }
    std::unique_ptr<Evaluator> makeEvaluator(const Rect&, std::unique_ptr<Prepared>, const std::vector<const Evaluator*>&,
                                             const RenderStatisticsSink&) const override {
        return std::make_unique<ProbeEvaluator>(m_swapped);
    }

private:
    bool m_swapped;
};

Image probe(Rect extent = Rect::infinite(), bool swapped = false) {
    return Image(std::make_shared<ProbeNode>(extent, swapped));
}

// Points spread over [lo, hi) and a little beyond, with the edges themselves, the floats next to
// them and the special values mixed in.
std::vector<float> coordinates(float lo, float hi, unsigned seed) {
    std::vector<float> v = {lo, std::nextafter(lo, -INFINITY), hi, std::nextafter(hi, -INFINITY), NAN, INFINITY,
                            -INFINITY, -0.f};
    unsigned state = seed;
    const float span = hi - lo;
    while (v.size() < 3 * kLongestBatch) {
        state = state * 1664525u + 1013904223u;
        const float t = float(state >> 8) / float(1u << 24);  // [0, 1)
        v.push_back(lo - span / 4 + t * span * 1.5f);
        if (v.size() % 11 == 0) v.push_back(v.size() % 2 ? lo : hi);
    }
    return v;
}

struct Points {
    std::vector<float> xs, ys;
};

Points pointsAround(const Rect& r, unsigned seed) {
    return {coordinates(float(r.minX()), float(r.maxX()), seed), coordinates(float(r.minY()), float(r.maxY()), seed + 7)};
}

// Runs f with the wide versions off, then turns them back on (which changes nothing where the
// processor has none) for the caller's second run.
template <class F>
void baselineThenWide(F f) {
    setWideVectorsForTesting(false);
    ASSERT_FALSE(wideVectors());
    f();
    setWideVectorsForTesting(true);
}

bool sameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

// For each batch length and a few starts within the points (so that loads are unaligned), the
// colours a node gives: with the wide versions off in results[0], on in results[1].
using Batch = std::function<void(const Evaluator&, const float* xs, const float* ys, int n, float* out, Arena&)>;

std::vector<float> allBatches(const Image& image, const Points& p, const Batch& run) {
    const RenderPlan plan(image.node(), Rect(-1e4, -1e4, 2e4, 2e4), RenderStatisticsSink{});
    Arena arena;
    std::vector<float> all;
    for (int start : {0, 1, 3})
        for (int n = 0; n <= kLongestBatch; ++n) {
            std::vector<float> out(4 * std::size_t(n) + 4, -7.f);  // one point more, to catch writes past the end
            run(plan.root(), p.xs.data() + start, p.ys.data() + start + kPairing, n, out.data(), arena);
            all.insert(all.end(), out.begin(), out.end());
        }
    return all;
}

void sampleBatch(const Evaluator& e, const float* xs, const float* ys, int n, float* out, Arena& arena) {
    e.sample(xs, ys, n, out, arena);
}

std::vector<std::vector<float>> baselineAndWide(const Image& image, const Points& p, const Batch& run = sampleBatch) {
    std::vector<std::vector<float>> results;
    baselineThenWide([&] { results.push_back(allBatches(image, p, run)); });
    results.push_back(allBatches(image, p, run));
    return results;
}

bool wideAvailable() {
    setWideVectorsForTesting(true);
    return wideVectors();
}

// Within tolerance * (1 + |a|), and NaN and infinities exactly where the other has them.
void expectClose(const std::vector<float>& base, const std::vector<float>& wide, float tolerance) {
    ASSERT_EQ(base.size(), wide.size());
    int reported = 0;
    for (std::size_t i = 0; i < base.size() && reported < 5; ++i) {
        const float a = base[i], b = wide[i];
        const bool agree = std::isfinite(a) ? std::fabs(a - b) <= tolerance * (1 + std::fabs(a))
                                            : (std::isnan(a) ? std::isnan(b) : a == b);
        if (!agree) {
            ADD_FAILURE() << "float " << i << ": baseline " << a << ", wide " << b;
            ++reported;
        }
    }
}

}  // namespace

// The mask against the double-precision test it stands for, on both paths; and the box of a
// batch, with the mask's verdict on it.
TEST(WideVectors, MaskOutsideMatchesTheExactTestOnBothPaths) {
    struct Case {
        Rect rect, around;  // the rectangle, and where to put the points
    };
    const Case cases[] = {
        {Rect(0, 0, 10, 10), Rect(0, 0, 10, 10)},
        {Rect(0.1, -2.7, 5.3, 3.3), Rect(0.1, -2.7, 5.3, 3.3)},                    // edges that are no float
        {Rect(16777216.5, -16777217, 3.25, 2), Rect(16777216, -16777218, 4, 4)},  // where floats are two apart
        {Rect(-1e300, -5, 2e300, 10), Rect(-5, -5, 10, 10)},  // edges past the float range, yet finite
        {Rect(3, 3, 0, 4), Rect(0, 0, 8, 8)},                 // empty
        {Rect::infinite(), Rect(-5, -5, 10, 10)},
    };
    for (const auto& [r, around] : cases) {
        const Points p = pointsAround(around, 1);
        std::vector<std::vector<float>> results;
        auto run = [&] {
            std::vector<float> all;
            for (int start : {0, 1, 3})
                for (int n = 0; n <= kLongestBatch; ++n) {
                    const float* xs = p.xs.data() + start;
                    const float* ys = p.ys.data() + start + kPairing;
                    std::vector<float> out(4 * std::size_t(n) + 4);
                    for (std::size_t k = 0; k < out.size(); ++k) out[k] = float(k + 1);
                    maskOutside(r, xs, ys, n, out.data());
                    for (int i = 0; i < n; ++i) {
                        const bool inside = r.isInfinite() || (double(xs[i]) >= r.minX() && double(xs[i]) < r.maxX() &&
                                                               double(ys[i]) >= r.minY() && double(ys[i]) < r.maxY());
                        for (int c = 0; c < 4; ++c)
                            ASSERT_EQ(out[4 * i + c], inside ? float(4 * i + c + 1) : 0.f)
                                << r << " point (" << xs[i] << ", " << ys[i] << "), batch of " << n;
                        if (std::isfinite(xs[i]) && std::isfinite(ys[i])) {
                            ASSERT_EQ(MaskRect(r).holds({xs[i], xs[i], ys[i], ys[i]}), inside)
                                << r << " point (" << xs[i] << ", " << ys[i] << ")";
                            ASSERT_EQ(MaskRect(r).excludes({xs[i], xs[i], ys[i], ys[i]}), !inside)
                                << r << " point (" << xs[i] << ", " << ys[i] << ")";
                        }
                    }
                    ASSERT_EQ(out[4 * n], float(4 * n + 1)) << "wrote past the batch";
                    // The run of points the mask keeps starts at the first kept one and ends after the last.
                    int begin = -1, end = -1, first = n, last = -1;
                    MaskRect(r).insideSpan(xs, ys, n, begin, end);
                    for (int i = 0; i < n; ++i)
                        if (out[4 * i + 3] != 0.f) first = std::min(first, i), last = i;
                    ASSERT_EQ(begin, last < 0 ? end : first) << r << ", batch of " << n;
                    if (last >= 0) {
                        ASSERT_EQ(end, last + 1) << r << ", batch of " << n;
                    }
                    all.insert(all.end(), out.begin(), out.end());
                    // The box of a batch: the points' extremes when all are finite, and a mask
                    // holds it exactly when it would clear none of them.
                    PointBounds box;
                    bool finite = n > 0, allInside = true;
                    float x0 = INFINITY, x1 = -INFINITY, y0 = INFINITY, y1 = -INFINITY;
                    for (int i = 0; i < n; ++i) {
                        finite = finite && std::isfinite(xs[i]) && std::isfinite(ys[i]);
                        allInside = allInside && out[4 * i] != 0.f;
                        x0 = std::min(x0, xs[i]), x1 = std::max(x1, xs[i]);
                        y0 = std::min(y0, ys[i]), y1 = std::max(y1, ys[i]);
                    }
                    ASSERT_EQ(finiteBounds(xs, ys, n, box), finite) << "batch of " << n;
                    if (!finite) continue;
                    ASSERT_EQ(box.x0, x0);
                    ASSERT_EQ(box.x1, x1);
                    ASSERT_EQ(box.y0, y0);
                    ASSERT_EQ(box.y1, y1);
                    ASSERT_EQ(MaskRect(r).holds(box), allInside) << r << ", batch of " << n;
                    if (MaskRect(r).excludes(box)) {
                        ASSERT_LT(last, 0) << r << " kept a point of a batch it excludes";
                    }
                }
            results.push_back(all);
        };
        baselineThenWide(run);
        run();
        EXPECT_TRUE(sameBits(results[0], results[1])) << r;
    }
}

TEST(WideVectors, RowPointsAreTheSameOnBothPaths) {
    for (double x0 : {0.0, -257.0, 1000003.0, 16777215.0, -30000001.0})
        for (double y : {0.0, -1.0, 12345.0}) {
            std::vector<std::vector<float>> results;
            auto run = [&] {
                std::vector<float> all;
                for (int n = 0; n <= kLongestBatch; ++n) {
                    std::vector<float> xs(std::size_t(n) + 1, -7.f), ys(std::size_t(n) + 1, -7.f);
                    rowPoints(x0, y, n, xs.data(), ys.data());
                    for (int i = 0; i < n; ++i) {
                        ASSERT_EQ(xs[i], float(x0 + i + 0.5)) << x0 << " + " << i;
                        ASSERT_EQ(ys[i], float(y + 0.5));
                    }
                    ASSERT_EQ(xs[n], -7.f);
                    ASSERT_EQ(ys[n], -7.f);
                    all.insert(all.end(), xs.begin(), xs.end());
                }
                results.push_back(all);
            };
            baselineThenWide(run);
            run();
            EXPECT_TRUE(sameBits(results[0], results[1])) << x0 << ", " << y;
        }
}

TEST(WideVectors, ColourGainsAndMaximumAreExactOnBothPaths) {
    if (!wideAvailable()) GTEST_SKIP() << "the processor has no 256-bit versions";
    const Points p = pointsAround(Rect(-20, -20, 40, 40), 3);
    const ColorMatrix channelExtraction = {{{1, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 1, 0}, {0, 0, 0, 1}}, {0, 0, 0, 0}};
    const ColorMatrix gains = {{{0.3f, 0, 0, 0}, {0, -2.5f, 0, 0}, {0, 0, 1.7f, 0}, {0, 0, 0, 1}}, {0, 0, 0, 0}};
    const Image images[] = {
        colorMatrixApplied(probe(), channelExtraction),
        colorMatrixApplied(probe(), gains),
        exposureAdjusted(probe(), 1.3),
        // x NaN and y not: one operand NaN and the other not, in both orders.
        maximumComposited(probe(), probe(Rect::infinite(), true)),
        maximumComposited(probe(Rect::infinite(), true), probe()),
    };
    for (const Image& image : images) {
        const auto results = baselineAndWide(image, p);
        EXPECT_TRUE(sameBits(results[0], results[1]));
    }
    // And what the baseline gives is right: a channel taken out is zero, the maximum is the larger.
    const auto extracted = baselineAndWide(images[0], p)[0];
    for (std::size_t i = 0; i + 3 < extracted.size(); i += 4)
        if (extracted[i + 3] == 1.f && !std::isnan(extracted[i + 1])) {
            EXPECT_EQ(extracted[i + 1], 0.f);
        }
    const auto maximum = baselineAndWide(images[3], p)[0];
    for (std::size_t i = 0; i + 3 < maximum.size(); i += 4)
        if (maximum[i + 3] == 1.f && std::isfinite(maximum[i]) && std::isfinite(maximum[i + 1])) {
            EXPECT_EQ(maximum[i], maximum[i + 1]);
        }
}

// The colour matrix that keeps one colour channel and alpha, as the chromatic aberration's
// channel images take them; and its moves of the red and blue channels about (20, 15).
ColorMatrix keepOnly(int channel) {
    ColorMatrix m{};
    m.rows[channel][channel] = 1;
    m.rows[3][3] = 1;
    return m;
}
const AffineTransform kGrow = AffineTransform::translation(-20, -15).scaled(1.0006, 1.0006).concat(AffineTransform::translation(20, 15));
const AffineTransform kShrink = AffineTransform::translation(-20, -15).scaled(0.9994, 0.9994).concat(AffineTransform::translation(20, 15));

// The chromatic aberration's pattern, max(b, max(g, r)) of channel extractions, two of them
// scaled about a centre, is combined in one pass: it gives the bits of the three channel images
// taken one by one and combined as the maximum composite combines them (the second operand where
// either is NaN), on both paths. The probes give NaN at NaN points, and differ in which coordinate
// a channel carries, so NaN meets numbers in both orders.
TEST(WideVectors, ChannelGainsUnderOneMaximumMatchTheStepByStepComposite) {
    const Image red = affineTransformed(colorMatrixApplied(probe(Rect(0, 0, 40, 30)), keepOnly(0)), kGrow);
    const Image green = colorMatrixApplied(probe(Rect(0, 0, 40, 30), true), keepOnly(1));
    const Image blue = affineTransformed(colorMatrixApplied(probe(Rect(0, 0, 40, 30)), keepOnly(2)), kShrink);
    const Image composite = maximumComposited(blue, maximumComposited(green, red));
    ASSERT_FALSE(composite.isNull());
    EXPECT_EQ(composite.extent(), blue.extent().unionWith(green.extent()).unionWith(red.extent()));
    const Points p = pointsAround(Rect(-5, -5, 50, 40), 19);
    auto larger = [](float a, float b) { return a > b ? a : b; };
    for (bool wide : {false, true}) {
        setWideVectorsForTesting(wide);
        const auto all = allBatches(composite, p, sampleBatch);
        const auto r = allBatches(red, p, sampleBatch), g = allBatches(green, p, sampleBatch), b = allBatches(blue, p, sampleBatch);
        std::vector<float> expected(all.size());
        for (std::size_t i = 0; i < all.size(); ++i) expected[i] = larger(b[i], larger(g[i], r[i]));
        // The float after each batch is the untouched -7, in every one of them.
        EXPECT_TRUE(sameBits(all, expected)) << (wide ? "wide" : "baseline");
    }
    setWideVectorsForTesting(true);
}

// Over the pixels of an 8-bit picture, the same composite has each channel image read for its own
// channel alone: red, green and blue still come out as those channels of full reads of the
// picture under the same moves, and alpha as the largest of the three, bit for bit on both paths,
// for points anywhere and for runs of interior points.
TEST(WideVectors, ChannelCompositeOfAnEightBitPictureKeepsTheBitsOfFullReads) {
    const Image picture = edgeScaled(Image::fromBitmap(citest::patternBitmap(40, 30)), 1.05, 1.05, Rect(0, 0, 42, 31));
    ASSERT_FALSE(picture.isNull());
    const Image composite = maximumComposited(affineTransformed(colorMatrixApplied(picture, keepOnly(2)), kShrink),
                                              maximumComposited(colorMatrixApplied(picture, keepOnly(1)),
                                                                affineTransformed(colorMatrixApplied(picture, keepOnly(0)), kGrow)));
    const Image reads[3] = {affineNodeOver(picture, kGrow), picture, affineNodeOver(picture, kShrink)};
    Points interior;
    for (int i = 0; i < 3 * kLongestBatch; ++i) {
        interior.xs.push_back(3.f + 0.31f * float(i));
        interior.ys.push_back(2.f + 0.17f * float(i));
    }
    for (const Points& p : {pointsAround(Rect(-5, -5, 52, 41), 23), interior}) {
        for (bool wide : {false, true}) {
            setWideVectorsForTesting(wide);
            const auto all = allBatches(composite, p, sampleBatch);
            std::vector<float> full[3];
            for (int k = 0; k < 3; ++k) full[k] = allBatches(reads[k], p, sampleBatch);
            std::vector<float> expected(all.size());
            for (std::size_t i = 0; i < all.size(); i += 4) {
                for (std::size_t k = 0; k < 3; ++k) expected[i + k] = full[k][i + k];
                expected[i + 3] = std::max({full[0][i + 3], full[1][i + 3], full[2][i + 3]});
            }
            EXPECT_TRUE(sameBits(all, expected)) << (wide ? "wide" : "baseline");
        }
    }
    setWideVectorsForTesting(true);
}

TEST(WideVectors, AffineMapAgreesWithinRoundingAndWholeShiftsStayExact) {
    if (!wideAvailable()) GTEST_SKIP() << "the processor has no 256-bit versions";
    const Points p = pointsAround(Rect(-300, -200, 600, 400), 5);
    const AffineTransform turn = AffineTransform::rotation(0.3).scaled(1.7, 0.6).concat(AffineTransform::translation(12.25, -7.5));
    auto row = [](const Evaluator& e, const float* xs, const float* ys, int n, float* out, Arena& arena) {
        // Whole-pixel rows taken from the points, so rows at and past the edges come up.
        const double x0 = std::isfinite(xs[0]) ? std::floor(xs[0]) : -3, y = std::isfinite(ys[0]) ? std::floor(ys[0]) : 2;
        e.sampleRow(x0, y, n, out, arena);
    };
    for (const Batch& run : {Batch(sampleBatch), Batch(row)}) {
        const auto turned = baselineAndWide(affineTransformed(probe(), turn), p, run);
        expectClose(turned[0], turned[1], 4e-6f);
        // Moves by whole pixels through the general map: the points come back exactly moved.
        const auto shifted = baselineAndWide(affineTransformed(probe(), AffineTransform::translation(5, -3)), p, run);
        EXPECT_TRUE(sameBits(shifted[0], shifted[1]));
    }
    // And the whole shift is exact: each point is read exactly 5 left and 3 up of where it was asked.
    const Image moved = affineTransformed(probe(), AffineTransform::translation(5, -3));
    const RenderPlan plan(moved.node(), Rect(-1e4, -1e4, 2e4, 2e4), RenderStatisticsSink{});
    Arena arena;
    std::vector<float> out(4 * p.xs.size());
    const int n = int(p.xs.size());
    baselineThenWide([&] {
        plan.root().sample(p.xs.data(), p.ys.data(), n, out.data(), arena);
        for (int i = 0; i < n; ++i)
            if (std::isfinite(p.xs[i]) && std::isfinite(p.ys[i])) {
                ASSERT_EQ(out[4 * i], p.xs[i] - 5.f);
                ASSERT_EQ(out[4 * i + 1], p.ys[i] + 3.f);
            }
    });
}

TEST(WideVectors, EdgeScaleIsExactOnBothPaths) {
    if (!wideAvailable()) GTEST_SKIP() << "the processor has no 256-bit versions";
    const Rect input(0, 0, 40, 30);
    for (double scale : {1.1, 0.9, 2.0}) {
        const Rect extent(0, 0, std::round(40 * scale), std::round(30 * scale));
        const Image scaled = edgeScaled(probe(input), scale, scale, extent);
        ASSERT_FALSE(scaled.isNull());
        const auto results = baselineAndWide(scaled, pointsAround(extent, 9));
        EXPECT_TRUE(sameBits(results[0], results[1])) << scale;
        // The positions read stay half a pixel inside the input.
        for (std::size_t i = 0; i + 3 < results[1].size(); i += 4)
            if (results[1][i + 3] == 1.f) {
                EXPECT_GE(results[1][i], 0.5f);
                EXPECT_LE(results[1][i], 39.5f);
                EXPECT_GE(results[1][i + 1], 0.5f);
                EXPECT_LE(results[1][i + 1], 29.5f);
            }
    }
}

TEST(WideVectors, PerspectiveMapAgreesWithinRoundingAndBeyondTheHorizonReadsNothing) {
    if (!wideAvailable()) GTEST_SKIP() << "the processor has no 256-bit versions";
    // The sides of this keystone meet at (50, 200): the horizon, beyond which nothing is read.
    const Image keystone = perspectiveTransformed(probe(Rect(0, 0, 100, 100)), {25, 100}, {75, 100}, {100, 0}, {0, 0});
    ASSERT_FALSE(keystone.isNull());
    Points p = pointsAround(Rect(-50, -50, 200, 160), 11);
    const Points far = pointsAround(Rect(-50, 300, 200, 200), 13);  // wholly beyond it
    for (std::size_t i = 8; i < p.xs.size(); i += 3) p.ys[i] = far.ys[i];
    const auto results = baselineAndWide(keystone, p);
    expectClose(results[0], results[1], 2e-5f);
    int beyond = 0;
    for (std::size_t i = 0; i + 3 < results[1].size(); i += 4) beyond += std::isnan(results[1][i]) && results[1][i + 3] == 1.f;
    EXPECT_GT(beyond, 100);
}

// An edge scale tells what it reads that its points lie inside its input, and the kernels below
// then skip clearing what lies outside their domains when the domain holds those points. Each
// batch is read as it is, and again with a NaN point added, which no box holds, so that every
// mask runs: the colours of the other points must be the same bits. One kernel's domain covers
// only part of what the scale reads: its colours are still cleared outside it.
// Samples a batch of finite points as it is, and again with a NaN point added, which no box holds,
// so that every mask runs: the two must give the same bits, and the NaN point must read nothing.
// The batch as sampled comes back, or nothing when the two differ.
std::vector<float> sampledAsIsAndWithEveryMask(const Evaluator& root, std::vector<float> xs, std::vector<float> ys,
                                               Arena& arena) {
    const int n = int(xs.size());
    std::vector<float> asIs(4 * std::size_t(n)), masked(4 * std::size_t(n) + 4);
    root.sample(xs.data(), ys.data(), n, asIs.data(), arena);
    xs.push_back(NAN), ys.push_back(0);
    root.sample(xs.data(), ys.data(), n + 1, masked.data(), arena);
    for (int c = 0; c < 4; ++c) EXPECT_EQ(masked[4 * std::size_t(n) + c], 0.f) << "the NaN point reads nothing";
    masked.resize(asIs.size());
    return sameBits(asIs, masked) ? asIs : std::vector<float>{};
}

TEST(WideVectors, PointsKnownInsideSkipOnlyMasksThatClearNothing) {
    const auto pass = Kernel::kernelsWithString("kernel vec4 pass(sampler s) { return sample(s, samplerCoord(s)); }");
    ASSERT_EQ(pass.size(), 1u);
    const Rect input(0, 0, 40, 30);
    const Image whole = pass[0]->apply(input, {Sampler(probe(input))});
    const Image part = pass[0]->apply(Rect(10, 5, 12, 9), {Sampler(probe(input, true))});
    const Rect extent(0, 0, 50, 38);
    const Image scaled = edgeScaled(maximumComposited(part, whole), 1.25, 1.25, extent);
    ASSERT_FALSE(scaled.isNull());
    const RenderPlan plan(scaled.node(), extent, RenderStatisticsSink{});
    const Points p = pointsAround(Rect(-5, -5, 60, 48), 17);
    const float perScale = float(1 / 1.25);
    int checked = 0;
    for (bool wide : {false, true}) {
        setWideVectorsForTesting(wide);
        Arena arena;
        for (int n = 1; n <= kLongestBatch; ++n) {
            std::vector<float> xs, ys;
            for (std::size_t i = 0; i < p.xs.size() && int(xs.size()) < n; ++i)
                if (std::isfinite(p.xs[i]) && std::isfinite(p.ys[i + kPairing])) {
                    xs.push_back(p.xs[i]);
                    ys.push_back(p.ys[i + kPairing]);
                }
            ASSERT_EQ(int(xs.size()), n);
            SCOPED_TRACE("batch of " + std::to_string(n) + (wide ? ", wide" : ""));
            const std::vector<float> asIs = sampledAsIsAndWithEveryMask(plan.root(), xs, ys, arena);
            ASSERT_FALSE(asIs.empty());
            for (int i = 0; i < n; ++i) {
                // Inside the scale's extent, outside the partial kernel's domain: the whole probe's
                // own colour (x, y, x - y, 1), not the larger of x and y that the swapped one adds.
                const float x = std::clamp(xs[i] * perScale, 0.5f, 39.5f), y = std::clamp(ys[i] * perScale, 0.5f, 29.5f);
                const bool inScale = xs[i] >= 0 && xs[i] < 50 && ys[i] >= 0 && ys[i] < 38;
                if (!inScale || (x >= 10 && x < 22 && y >= 5 && y < 14)) continue;
                EXPECT_EQ(asIs[4 * i], x);
                EXPECT_EQ(asIs[4 * i + 1], y);
                EXPECT_EQ(asIs[4 * i + 3], 1.f);
                checked += y > x;
            }
        }
    }
    setWideVectorsForTesting(true);
    EXPECT_GT(checked, 50);
    // A row of the partial kernel, across its domain's edges and wholly inside it: as its points
    // read with every mask run.
    const RenderPlan partPlan(part.node(), input, RenderStatisticsSink{});
    Arena arena;
    int inside = 0;
    for (double y : {-1.0, 4.0, 5.0, 9.0, 13.0, 14.0})
        for (double x0 : {-3.0, 8.0, 10.0, 15.0})
            for (int n : {1, 7, 12, 20}) {
                std::vector<float> row(4 * std::size_t(n)), masked(4 * std::size_t(n) + 4);
                partPlan.root().sampleRow(x0, y, n, row.data(), arena);
                std::vector<float> xs(std::size_t(n) + 1, NAN), ys(std::size_t(n) + 1, 0.f);
                rowPoints(x0, y, n, xs.data(), ys.data());
                partPlan.root().sample(xs.data(), ys.data(), n + 1, masked.data(), arena);
                masked.resize(row.size());
                ASSERT_TRUE(sameBits(row, masked)) << "row " << y << " from " << x0 << ", " << n << " long";
                inside += x0 >= 10 && x0 + n <= 22 && y >= 5 && y < 14;
            }
    EXPECT_GT(inside, 5);
}

// A maximum of channel gains works out the box of its points once and hands it through each
// channel's move (a scale about the centre, a turn, a mirror turn) to the edge scales and kernels
// below, which then skip only the masks that clear nothing: each batch of finite points gives the
// same bits as with a NaN point added, which no box holds, so that every mask runs.
TEST(WideVectors, ChannelMovesCarryTheBoxOfTheirPoints) {
    const auto pass = Kernel::kernelsWithString("kernel vec4 pass(sampler s) { return sample(s, samplerCoord(s)); }");
    ASSERT_EQ(pass.size(), 1u);
    const Rect input(0, 0, 40, 30), extent(0, 0, 50, 38);
    // Part of the input only, so that the kernel's own mask clears some of what the scale reads.
    const Image part = pass[0]->apply(Rect(6, 4, 30, 20), {Sampler(probe(input))});
    const Image scaled = edgeScaled(part, 1.25, 1.25, extent);
    const AffineTransform toCentre = AffineTransform::translation(-25, -19), back = AffineTransform::translation(25, 19);
    const AffineTransform moves[3] = {
        toCentre.concat(AffineTransform::scale(1.0006, 1.0006)).concat(back),
        toCentre.concat(AffineTransform::rotation(0.5)).concat(back),
        toCentre.concat(AffineTransform::scale(-1.1, 0.9)).concat(AffineTransform::rotation(-2)).concat(back),
    };
    Image channels[3];
    for (int c = 0; c < 3; ++c) channels[c] = affineTransformed(colorMatrixApplied(scaled, keepOnly(c)), moves[c]);
    const Image composite = maximumComposited(channels[2], maximumComposited(channels[1], channels[0]));
    ASSERT_FALSE(composite.isNull());
    const RenderPlan plan(composite.node(), Rect(-20, -20, 90, 80), RenderStatisticsSink{});
    ASSERT_TRUE(plan.root().gainsFromBounds());
    // Points around the composite, and points inside the edge scale's extent only: a batch of
    // those lies inside it before the moves, but the turns carry some of it outside.
    const Points p = pointsAround(Rect(-10, -10, 70, 58), 23);
    auto finite = [&](std::size_t i) { return std::isfinite(p.xs[i]) && std::isfinite(p.ys[i + kPairing]); };
    auto within = [&](std::size_t i) {
        return finite(i) && p.xs[i] >= 0 && p.xs[i] < 50 && p.ys[i + kPairing] >= 0 && p.ys[i + kPairing] < 38;
    };
    int cleared = 0, kept = 0;
    for (bool wide : {false, true}) {
        for (bool inside : {false, true}) {
            setWideVectorsForTesting(wide);
            Arena arena;
            for (int n = 1; n <= kLongestBatch; ++n) {
                std::vector<float> xs, ys;
                for (std::size_t i = 0; i + kPairing < p.ys.size() && int(xs.size()) < n; ++i)
                    if (inside ? within(i) : finite(i)) {
                        xs.push_back(p.xs[i]);
                        ys.push_back(p.ys[i + kPairing]);
                    }
                if (int(xs.size()) < n) break;
                SCOPED_TRACE("batch of " + std::to_string(n) + (wide ? ", wide" : ""));
                const std::vector<float> asIs = sampledAsIsAndWithEveryMask(plan.root(), xs, ys, arena);
                ASSERT_FALSE(asIs.empty());
                for (int i = 0; i < n; ++i) (asIs[4 * i + 3] == 0.f ? cleared : kept) += 1;
            }
        }
    }
    setWideVectorsForTesting(true);
    // Both kinds of point were met: some read nothing in every channel, others something.
    EXPECT_GT(cleared, 20);
    EXPECT_GT(kept, 100);
}

// A move over an edge scale, and an edge scale over a move, map their points through both in one
// pass when the points' box is known. That must give the bits of the two maps taken one after the
// other, which they take when no box is known (a NaN point among them), on both paths: points
// that the edge scale clears, all of a batch, some or none, included.
TEST(WideVectors, MovesAndEdgeScalesMapTogetherAsOneAfterTheOther) {
    const Rect input(0, 0, 40, 30), extent(0, 0, 50, 38);
    const AffineTransform turn = AffineTransform::translation(-25, -19)
                                     .concat(AffineTransform::rotation(0.4))
                                     .concat(AffineTransform::scale(1.3, 0.8))
                                     .concat(AffineTransform::translation(27, 17));
    const Image moveOverScale = affineNodeOver(edgeScaled(probe(input), 1.25, 1.25, extent), turn);
    const Image scaleOverMove = edgeScaled(affineNodeOver(probe(input), turn), 1.25, 1.25, extent);
    ASSERT_FALSE(moveOverScale.isNull());
    ASSERT_FALSE(scaleOverMove.isNull());
    // Points around both, near the middle only (their box inside the edge scale's extent, before
    // the move and after it) and far outside.
    const Rect nearTheMiddle(20, 15, 10, 8);
    const Points around = pointsAround(Rect(-40, -40, 130, 118), 29), middle = pointsAround(nearTheMiddle, 31),
                 far = pointsAround(Rect(300, 300, 50, 50), 37);
    int cleared = 0, kept = 0;
    for (const Image& image : {moveOverScale, scaleOverMove}) {
        const RenderPlan plan(image.node(), Rect(-100, -100, 300, 300), RenderStatisticsSink{});
        for (bool wide : {false, true}) {
            setWideVectorsForTesting(wide);
            Arena arena;
            for (int n = 1; n <= kLongestBatch; ++n)
                for (const Points* from : {&around, &middle, &far}) {
                    const Points& p = *from;
                    std::vector<float> xs, ys;
                    for (std::size_t i = 0; i + kPairing < p.ys.size() && int(xs.size()) < n; ++i)
                        if (std::isfinite(p.xs[i]) && std::isfinite(p.ys[i + kPairing]) &&
                            (from != &middle || nearTheMiddle.contains(Point{p.xs[i], p.ys[i + kPairing]}))) {
                            xs.push_back(p.xs[i]);
                            ys.push_back(p.ys[i + kPairing]);
                        }
                    ASSERT_EQ(int(xs.size()), n);
                    SCOPED_TRACE("batch of " + std::to_string(n) + (wide ? ", wide" : ""));
                    PointBounds box;
                    ASSERT_TRUE(finiteBounds(xs.data(), ys.data(), n, box));
                    std::vector<float> together(4 * std::size_t(n)), apart(4 * std::size_t(n) + 4);
                    plan.root().sampleInside(xs.data(), ys.data(), n, together.data(), arena, box);
                    xs.push_back(NAN), ys.push_back(0);
                    plan.root().sample(xs.data(), ys.data(), n + 1, apart.data(), arena);
                    apart.resize(together.size());
                    ASSERT_TRUE(sameBits(together, apart));
                    for (int i = 0; i < n; ++i) (together[4 * i + 3] == 0.f ? cleared : kept) += 1;
                }
        }
    }
    setWideVectorsForTesting(true);
    EXPECT_GT(cleared, 100);
    EXPECT_GT(kept, 100);
}

// A move over a perspective, and an edge scale over those, map their points through all of them
// in one pass: each point must read what the perspective alone reads at the position the move
// (and the scale) would hand it, on both paths. The positions come from the same moves over a
// probe; points past the horizon read nothing, and so do those the edge scale clears.
TEST(WideVectors, MovesOverAPerspectiveMapAsOneAfterTheOther) {
    const Image keystone = perspectiveTransformed(probe(Rect(0, 0, 100, 100)), {25, 100}, {75, 100}, {100, 0}, {0, 0});
    ASSERT_FALSE(keystone.isNull());
    const AffineTransform turn = AffineTransform::translation(-50, -50)
                                     .concat(AffineTransform::rotation(0.3))
                                     .concat(AffineTransform::translation(45, 120));
    const Rect extent(0, 0, 130, 170);
    const Image moved = affineNodeOver(keystone, turn), scaled = edgeScaled(moved, 1.2, 1.2, extent);
    // The positions each hands the perspective, as a probe in its place is asked for them.
    const Image movedProbe = affineNodeOver(probe(keystone.extent()), turn), scaledProbe = edgeScaled(movedProbe, 1.2, 1.2, extent);
    ASSERT_FALSE(scaled.isNull());
    ASSERT_FALSE(scaledProbe.isNull());
    const Rect everywhere(-1e4, -1e4, 2e4, 2e4);
    const RenderPlan keystonePlan(keystone.node(), everywhere, RenderStatisticsSink{});
    const RenderPlan movedPlan(moved.node(), everywhere, RenderStatisticsSink{}), scaledPlan(scaled.node(), everywhere, RenderStatisticsSink{});
    const RenderPlan movedProbePlan(movedProbe.node(), everywhere, RenderStatisticsSink{});
    const RenderPlan scaledProbePlan(scaledProbe.node(), everywhere, RenderStatisticsSink{});
    // What the perspective alone reads at the positions in `asked` (x, y, _, 1 each; alpha 0: none).
    Arena arena;
    auto expectedFrom = [&](const std::vector<float>& asked) {
        const int n = int(asked.size() / 4);
        std::vector<float> xs(std::size_t(n), 0.f), ys(std::size_t(n), 0.f), read(asked.size());
        for (int i = 0; i < n; ++i) xs[std::size_t(i)] = asked[4 * std::size_t(i)], ys[std::size_t(i)] = asked[4 * std::size_t(i) + 1];
        keystonePlan.root().sample(xs.data(), ys.data(), n, read.data(), arena);
        for (int i = 0; i < n; ++i)
            if (asked[4 * std::size_t(i) + 3] == 0.f) std::fill_n(read.begin() + 4 * i, 4, 0.f);
        return read;
    };
    const Points p = pointsAround(Rect(-20, -20, 170, 400), 41);
    int beyond = 0, cleared = 0, read = 0;
    for (bool wide : {false, true}) {
        setWideVectorsForTesting(wide);
        SCOPED_TRACE(wide ? "wide" : "baseline");
        // The move alone, at points anywhere.
        const int n = int(p.xs.size()) - kPairing;
        std::vector<float> got(4 * std::size_t(n)), asked(4 * std::size_t(n));
        movedPlan.root().sample(p.xs.data(), p.ys.data() + kPairing, n, got.data(), arena);
        movedProbePlan.root().sample(p.xs.data(), p.ys.data() + kPairing, n, asked.data(), arena);
        EXPECT_TRUE(sameBits(got, expectedFrom(asked)));
        for (int i = 0; i < n; ++i) beyond += std::isnan(got[4 * std::size_t(i)]) && got[4 * std::size_t(i) + 3] == 1.f;
        // The edge scale over it, along rows, which carry their box.
        for (double y : {-2.0, 10.0, 85.0, 160.0, 168.0})
            for (double x0 : {-5.0, 20.0, 110.0})
                for (int length : {1, 9, 33}) {
                    std::vector<float> row(4 * std::size_t(length)), probeRow(4 * std::size_t(length));
                    scaledPlan.root().sampleRow(x0, y, length, row.data(), arena);
                    scaledProbePlan.root().sampleRow(x0, y, length, probeRow.data(), arena);
                    ASSERT_TRUE(sameBits(row, expectedFrom(probeRow))) << "row " << y << " from " << x0 << ", " << length << " long";
                    for (int i = 0; i < length; ++i) (probeRow[4 * std::size_t(i) + 3] == 0.f ? cleared : read) += 1;
                }
    }
    setWideVectorsForTesting(true);
    EXPECT_GT(beyond, 10);
    EXPECT_GT(cleared, 20);
    EXPECT_GT(read, 100);
}
