// The bilinear read of pixel buffers, asked directly at awkward points: both builds of the 8-bit
// read (the baseline one and the 256-bit one where the processor has it) must give the same
// colours, and those colours must be the bilinear blend of the right four pixels.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <vector>

#include "TestImages.h"
#include "coreimage/CpuFeatures.h"
#include "coreimage/Raster.h"

namespace {

using qv::ci::detail::Arena;
using qv::ci::detail::Evaluator;

constexpr int kWidth = 23, kHeight = 17;
constexpr double kOriginX = -5, kOriginY = 3;

struct Points {
    std::vector<float> xs, ys;
    void add(double x, double y) {
        xs.push_back(float(x));
        ys.push_back(float(y));
    }
    int size() const { return int(xs.size()); }
};

// Points inside, on and past every edge, far away, and not numbers at all; an odd count so that
// every batch width leaves a remainder.
Points awkwardPoints() {
    Points p;
    std::mt19937 random(7);
    std::uniform_real_distribution<double> x(kOriginX - 3, kOriginX + kWidth + 3), y(kOriginY - 3, kOriginY + kHeight + 3);
    for (int i = 0; i < 200; ++i) p.add(x(random), y(random));
    for (int i = 0; i < 40; ++i) p.add(kOriginX + 2 + i * 0.37, kOriginY + 5.25);  // a run of interior points
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const double edges[][2] = {{kOriginX, kOriginY},
                               {kOriginX + 0.5, kOriginY + 0.5},
                               {kOriginX + kWidth - 0.5, kOriginY + kHeight - 0.5},
                               {kOriginX + kWidth, kOriginY + kHeight},
                               {kOriginX - 0.5, kOriginY + 4},
                               {kOriginX + 4, kOriginY + kHeight + 0.49},
                               {nan, kOriginY + 4},
                               {kOriginX + 4, nan},
                               {inf, kOriginY + 4},
                               {kOriginX + 4, -inf},
                               {1e30, -1e30},
                               {-3e9, 2.5e9}};
    for (const auto& e : edges) p.add(e[0], e[1]);
    return p;
}

// An 8-bit value as the renderer scales it.
float unit(int value) { return float(value) * (1.f / 255.f); }

std::vector<float> read(const Evaluator& evaluator, const Points& p) {
    std::vector<float> out(4 * std::size_t(p.size()), -1.f);
    Arena arena;
    evaluator.sample(p.xs.data(), p.ys.data(), p.size(), out.data(), arena);
    return out;
}

// The bilinear blend in doubles: pixel (c, r) has its centre at (originX + c + 0.5, originY +
// height - r - 0.5); pixels outside the buffer are transparent.
std::array<double, 4> expectedAt(const qv::Bitmap& b, double x, double y) {
    std::array<double, 4> sum{0, 0, 0, 0};
    if (!std::isfinite(x) || !std::isfinite(y) || std::fabs(x) > 1e6 || std::fabs(y) > 1e6) return sum;
    const double u = x - kOriginX - 0.5, v = kOriginY + kHeight - y - 0.5;
    const double c0 = std::floor(u), r0 = std::floor(v);
    for (int dr = 0; dr < 2; ++dr)
        for (int dc = 0; dc < 2; ++dc) {
            const int c = int(c0) + dc, r = int(r0) + dr;
            if (c < 0 || c >= b.width || r < 0 || r >= b.height) continue;
            const double w = (dc ? u - c0 : 1 - (u - c0)) * (dr ? v - r0 : 1 - (v - r0));
            for (int k = 0; k < 4; ++k) sum[std::size_t(k)] += w * b.row(r)[4 * c + k] / 255.0;
        }
    return sum;
}

class RasterRead : public ::testing::Test {
protected:
    void TearDown() override { qv::ci::detail::setWideVectorsForTesting(true); }

    std::shared_ptr<const qv::Bitmap> bitmap = std::make_shared<const qv::Bitmap>(citest::patternBitmap(kWidth, kHeight));
    std::unique_ptr<Evaluator> evaluator = qv::ci::detail::makeRasterEvaluator(
        bitmap, kOriginX, kOriginY, qv::Rect(kOriginX, kOriginY, kWidth, kHeight), {});
};

TEST_F(RasterRead, EightBitBlendIsTheBilinearBlendOfTheRightPixels) {
    const Points p = awkwardPoints();
    for (bool wide : {false, true}) {
        qv::ci::detail::setWideVectorsForTesting(wide);
        const std::vector<float> got = read(*evaluator, p);
        for (int i = 0; i < p.size(); ++i) {
            const auto want = expectedAt(*bitmap, p.xs[std::size_t(i)], p.ys[std::size_t(i)]);
            for (int k = 0; k < 4; ++k)
                ASSERT_NEAR(got[4 * std::size_t(i) + std::size_t(k)], want[std::size_t(k)], 2e-4)
                    << "point " << i << " (" << p.xs[std::size_t(i)] << ", " << p.ys[std::size_t(i)] << ") channel " << k
                    << (wide ? " wide" : " baseline");
        }
    }
}

TEST_F(RasterRead, BothBuildsGiveIdenticalColours) {
    const Points p = awkwardPoints();
    qv::ci::detail::setWideVectorsForTesting(false);
    const std::vector<float> baseline = read(*evaluator, p);
    qv::ci::detail::setWideVectorsForTesting(true);
    const std::vector<float> wide = read(*evaluator, p);
    ASSERT_EQ(baseline.size(), wide.size());
    EXPECT_EQ(0, std::memcmp(baseline.data(), wide.data(), baseline.size() * sizeof(float)));
}

TEST_F(RasterRead, PixelCentresAndFlatAreasStayExact) {
    // At a pixel centre only one pixel counts, so the 8-bit value comes back exactly.
    Points p;
    for (int r = 0; r < kHeight - 1; ++r)
        for (int c = 0; c < kWidth - 1; ++c) p.add(kOriginX + c + 0.5, kOriginY + kHeight - r - 0.5);
    for (bool wide : {false, true}) {
        qv::ci::detail::setWideVectorsForTesting(wide);
        const std::vector<float> got = read(*evaluator, p);
        for (int i = 0; i < p.size(); ++i) {
            const int c = i % (kWidth - 1), r = i / (kWidth - 1);
            for (int k = 0; k < 4; ++k)
                ASSERT_EQ(got[4 * std::size_t(i) + std::size_t(k)], unit(bitmap->row(r)[4 * c + k]))
                    << "pixel " << c << "," << r << (wide ? " wide" : " baseline");
        }
    }
    // Anywhere in a flat picture, the weights sum to exactly one.
    auto flat = std::make_shared<const qv::Bitmap>(
        qv::ci::detail::toStorageFormat(citest::constantBitmap(kWidth, kHeight, 200, 17, 255)));
    const auto flatReader =
        qv::ci::detail::makeRasterEvaluator(flat, kOriginX, kOriginY, qv::Rect(kOriginX, kOriginY, kWidth, kHeight), {});
    Points inner;
    for (int i = 0; i < 64; ++i) inner.add(kOriginX + 1 + i * 0.3113, kOriginY + 1 + i * 0.2371);
    for (bool wide : {false, true}) {
        qv::ci::detail::setWideVectorsForTesting(wide);
        const std::vector<float> got = read(*flatReader, inner);
        for (int i = 0; i < inner.size(); ++i) {
            EXPECT_EQ(got[4 * std::size_t(i)], unit(200));
            EXPECT_EQ(got[4 * std::size_t(i) + 1], unit(17));
            EXPECT_EQ(got[4 * std::size_t(i) + 3], 1.f);
        }
    }
}

// A caller that keeps one colour channel and alpha gets exactly those of the full read; the
// 256-bit read then blends only those two, and leaves values in [0, 1] in the others. Runs of
// interior points long enough for that read are mixed with the awkward ones.
TEST_F(RasterRead, OneChannelReadGivesThatChannelAndAlphaOfTheFullRead) {
    Points p = awkwardPoints();
    for (int i = 0; i < 64; ++i) p.add(kOriginX + 1.2 + i * 0.29, kOriginY + 1.7 + i * 0.21);
    for (bool wide : {false, true}) {
        qv::ci::detail::setWideVectorsForTesting(wide);
        const std::vector<float> full = read(*evaluator, p);
        for (int channel = 0; channel < 3; ++channel) {
            std::vector<float> one(full.size(), -1.f);
            Arena arena;
            evaluator->sampleChannel(p.xs.data(), p.ys.data(), p.size(), one.data(), arena, nullptr, channel);
            for (std::size_t i = 0; i < std::size_t(p.size()); ++i) {
                for (int k = 0; k < 4; ++k) {
                    const float got = one[4 * i + std::size_t(k)], want = full[4 * i + std::size_t(k)];
                    if (k == channel || k == 3)
                        ASSERT_EQ(0, std::memcmp(&got, &want, sizeof got))
                            << "point " << i << " channel " << k << " asked " << channel << (wide ? " wide" : " baseline");
                    else
                        ASSERT_TRUE(got >= 0.f && got <= 1.f) << "point " << i << " channel " << k << " holds " << got;
                }
            }
        }
    }
}

}  // namespace
