#include "engine/QVCIFilters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <thread>
#include <vector>

#include "EngineImages.h"
#include "common/TempDir.h"
#include "coreimage/CIFilter.h"
#include "engine/KernelResource.h"
#include "engine/RadialDistortion.h"
#include "engine/Vignetting.h"

using enginetest::Rendered;
using enginetest::Rgba;
using qv::ci::Image;

namespace {

class FilterHolder : public testing::Test {
protected:
    void SetUp() override { enginetest::useBundleResources(); }

    static qv::Vec2 vec2Of(const std::shared_ptr<qv::ci::Filter>& filter, const char* key) {
        const qv::ci::FilterValue value = filter->valueForKey(key);
        return value.vec2() ? *value.vec2() : qv::Vec2{NAN, NAN};
    }
    static double numberOf(const std::shared_ptr<qv::ci::Filter>& filter, const char* key) {
        const qv::ci::FilterValue value = filter->valueForKey(key);
        return value.number() ? *value.number() : NAN;
    }

    QVCIFilters holder;
};

TEST_F(FilterHolder, DistortionCentreAndRadiusComeFromTheImageSize) {
    struct Case {
        int width, height;
        double radius;
    };
    for (const Case& c : {Case{1000, 1000, 500}, Case{3000, 2000, 1000}, Case{2000, 3000, 1000}}) {
        const Image out = holder.createDistortedImage(enginetest::uniformImage(c.width, c.height, {1, 1, 1, 1}), {0.01, -0.02, 0.005, 0});
        ASSERT_FALSE(out.isNull());
        const auto& filter = holder.radialDistortionFilter();
        EXPECT_EQ(vec2Of(filter, "inputCenter").x, c.width / 2.0);
        EXPECT_EQ(vec2Of(filter, "inputCenter").y, c.height / 2.0);
        EXPECT_EQ(vec2Of(filter, "inputCorrectionRadiusVector").x, c.radius);
        EXPECT_EQ(vec2Of(filter, "inputCorrectionRadiusVector").y, 0);
        EXPECT_EQ(out.extent(), qv::Rect(0, 0, c.width, c.height));
    }
}

TEST_F(FilterHolder, DistortionRecomputesTheFourthCoefficient) {
    holder.createDistortedImage(enginetest::uniformImage(10, 10, {1, 1, 1, 1}), {0.01, -0.02, 0.005, 42});
    const qv::ci::FilterValue params = holder.radialDistortionFilter()->valueForKey("inputParams");
    ASSERT_NE(params.vec4(), nullptr);
    EXPECT_FLOAT_EQ(params.vec4()->x, 0.01f);
    EXPECT_FLOAT_EQ(params.vec4()->y, -0.02f);
    EXPECT_FLOAT_EQ(params.vec4()->z, 0.005f);
    EXPECT_FLOAT_EQ(params.vec4()->w, 1.005f);
}

TEST_F(FilterHolder, VignettingInputsAreScaledFromTheControls) {
    ASSERT_FALSE(holder.vignetteCorrectedImage(enginetest::uniformImage(3000, 4000, {1, 1, 1, 1}), 30, 0).isNull());
    const auto& filter = holder.vignetteFilter();
    EXPECT_DOUBLE_EQ(numberOf(filter, "inputBrightness"), 0.3);
    EXPECT_DOUBLE_EQ(numberOf(filter, "inputVigMidpoint"), 0.5);
    EXPECT_DOUBLE_EQ(numberOf(filter, "inputDiagonal"), 5000);
    EXPECT_EQ(vec2Of(filter, "inputCenter").x, 1500);
    EXPECT_EQ(vec2Of(filter, "inputCenter").y, 2000);
}

TEST_F(FilterHolder, OwnFiltersAreRegisteredWithTheirDisplayNames) {
    EXPECT_TRUE(qv::ci::Filter::isRegistered("MyVignetting"));
    RadialDistortion::initialize();
    for (auto [name, display] : {std::pair{"MyRadialDistortion", "Radial Distortion"}, std::pair{"MyVignetting", "Vignette Filter"}}) {
        const auto filter = qv::ci::Filter::filterWithName(name);
        ASSERT_TRUE(filter) << name;
        const qv::Value attributes = filter->attributes();
        const qv::Value* shown = attributes.dictionary() ? &attributes.dictionary()->at("CIAttributeFilterDisplayName") : nullptr;
        ASSERT_TRUE(shown && shown->string());
        EXPECT_EQ(*shown->string(), display);
    }
}

TEST_F(FilterHolder, ColourMatrixKeepsTheChosenChannels) {
    const Image colour = enginetest::uniformImage(4, 4, {0.2f, 0.5f, 0.8f, 1});
    const Rendered greenOnly(holder.imageWithR(0, 1, 0, 1, colour), {0, 0, 4, 4});
    ASSERT_TRUE(greenOnly.isValid());
    const Rgba g = greenOnly.at(1, 1);
    EXPECT_NEAR(g[0], 0, 1e-6);
    EXPECT_NEAR(g[1], 0.5, 1e-5);
    EXPECT_NEAR(g[2], 0, 1e-6);
    EXPECT_NEAR(g[3], 1, 1e-6);
    const Rendered noAlpha(holder.imageWithR(1, 1, 1, 0, colour), {0, 0, 4, 4});
    EXPECT_NEAR(noAlpha.at(2, 2)[3], 0, 1e-6);
}

TEST_F(FilterHolder, ScalingChangesTheExtent) {
    const Image photo = enginetest::uniformImage(600, 400, {1, 1, 1, 1});
    EXPECT_EQ(holder.createScaledImage(photo, 0.5).extent(), qv::Rect(0, 0, 300, 200));
    const qv::Rect lanczos = holder.createQualityScaledImage(photo, 1.5, 1.25).extent();
    EXPECT_NEAR(lanczos.width(), 600 * 1.5 * 1.25, 1);
    EXPECT_NEAR(lanczos.height(), 400 * 1.5, 1);
}

TEST_F(FilterHolder, NullImagesPassThroughAsNull) {
    EXPECT_TRUE(holder.createScaledImage(Image(), 2).isNull());
    EXPECT_TRUE(holder.createQualityScaledImage(Image(), 2, 1).isNull());
    EXPECT_TRUE(holder.imageWithR(1, 1, 1, 1, Image()).isNull());
    EXPECT_TRUE(holder.createDistortedImage(Image(), {0.1, 0, 0, 0}).isNull());
    EXPECT_TRUE(holder.vignetteCorrectedImage(Image(), 10, 0).isNull());
    holder.lensFilter(Image());
}

// --- The radial distortion kernel ------------------------------------------------------------

constexpr int kGridWidth = 600, kGridHeight = 400;
constexpr double kA = 0.02, kB = 0.03, kC = -0.06, kD = 1 - (kA + kB + kC);
constexpr double kCentreX = kGridWidth / 2.0, kCentreY = kGridHeight / 2.0, kRadius = kGridHeight / 2.0;
const double kHorizontalLines[] = {80, 320};
const double kVerticalLines[] = {80, 520};

// The radius (in units of the radius) whose corrected radius r·(a r³ + b r² + c r + d) is rho.
double undistortedRadius(double rho) {
    double r = rho;
    for (int i = 0; i < 30; ++i) {
        const double f = ((kA * r + kB) * r + kC) * r * r + kD * r - rho;
        const double df = ((4 * kA * r + 3 * kB) * r + 2 * kC) * r + kD;
        r -= f / df;
    }
    return r;
}

// A grid of thin dark lines as the lens would show it: the picture that the correction with the
// coefficients above straightens.
Image distortedGrid() {
    return enginetest::drawImage(kGridWidth, kGridHeight, [](int x, int y) {
        const double qx = x + 0.5 - kCentreX, qy = y + 0.5 - kCentreY;
        const double rho = std::hypot(qx, qy) / kRadius;
        const double s = rho > 0 ? undistortedRadius(rho) / rho : 1;
        const double px = kCentreX + qx * s, py = kCentreY + qy * s;
        double ink = 0;
        for (double line : kHorizontalLines) ink = std::max(ink, std::exp(-std::pow((py - line) / 1.2, 2)));
        for (double line : kVerticalLines) ink = std::max(ink, std::exp(-std::pow((px - line) / 1.2, 2)));
        const float v = float(1 - ink);
        return Rgba{v, v, v, 1};
    });
}

// Where a horizontal line crosses column x: the ink-weighted centroid of a window around it.
double lineCentre(const Rendered& picture, int x, double expected) {
    double weight = 0, sum = 0;
    for (int y = int(expected) - 7; y <= int(expected) + 7; ++y) {
        const double ink = std::max(0.0f, 1 - picture.channel(x, y, 1));
        weight += ink;
        sum += ink * (y + 0.5);
    }
    return sum / weight;
}

// The spread (max - min) and mean deviation of a horizontal line over the columns clear of the
// vertical lines.
std::pair<double, double> horizontalLineBow(const Rendered& picture, double line) {
    double lowest = 1e9, highest = -1e9, meanError = 0;
    int count = 0;
    for (int x = 60; x < 540; ++x) {
        if (std::abs(x - 80) < 12 || std::abs(x - 520) < 12) continue;
        const double y = lineCentre(picture, x, line);
        lowest = std::min(lowest, y);
        highest = std::max(highest, y);
        meanError += y - line;
        ++count;
    }
    return {highest - lowest, meanError / count};
}

TEST_F(FilterHolder, DistortionStepStraightensAGridDistortedWithTheSamePolynomial) {
    const Image grid = distortedGrid();
    const Rendered before(grid, {0, 0, kGridWidth, kGridHeight});
    ASSERT_TRUE(before.isValid());
    // The lens bends the lines by several pixels.
    EXPECT_GT(horizontalLineBow(before, 80).first, 3);

    const Rendered after(holder.createDistortedImage(grid, {kA, kB, kC, 0}), {0, 0, kGridWidth, kGridHeight});
    ASSERT_TRUE(after.isValid());
    for (double line : kHorizontalLines) {
        const auto [spread, offset] = horizontalLineBow(after, line);
        EXPECT_LT(spread, 0.5) << "line " << line;
        EXPECT_LT(std::abs(offset), 0.5) << "line " << line;
    }
    // The vertical lines too, read along rows.
    for (double line : kVerticalLines) {
        double lowest = 1e9, highest = -1e9;
        for (int y = 40; y < 360; ++y) {
            if (std::abs(y - 80) < 12 || std::abs(y - 320) < 12) continue;
            double weight = 0, sum = 0;
            for (int x = int(line) - 7; x <= int(line) + 7; ++x) {
                const double ink = std::max(0.0f, 1 - after.channel(x, y, 1));
                weight += ink;
                sum += ink * (x + 0.5);
            }
            lowest = std::min(lowest, sum / weight);
            highest = std::max(highest, sum / weight);
        }
        EXPECT_LT(highest - lowest, 0.5) << "line " << line;
        EXPECT_NEAR((highest + lowest) / 2, line, 0.5);
    }
}

// --- The vignetting kernel -------------------------------------------------------------------

TEST_F(FilterHolder, VignettingGainIsOneAtTheCentreAndOnePlusTheAmountAtTheCorners) {
    const Image grey = enginetest::uniformImage(600, 400, {0.4f, 0.4f, 0.4f, 1});
    const Rendered brighter(holder.vignetteCorrectedImage(grey, 50, 0), {0, 0, 600, 400});
    ASSERT_TRUE(brighter.isValid());
    EXPECT_NEAR(brighter.channel(300, 200, 0), 0.4, 1e-4);
    EXPECT_NEAR(brighter.channel(0, 0, 0), 0.6, 0.003);
    EXPECT_NEAR(brighter.channel(599, 399, 2), 0.6, 0.003);
    EXPECT_NEAR(brighter.channel(0, 0, 3), 1, 1e-6);  // alpha kept
    // Smooth and monotone from the centre out along the diagonal.
    double previous = brighter.channel(300, 200, 1);
    for (int i = 1; i <= 100; ++i) {
        const double value = brighter.channel(300 - 3 * i, 200 - 2 * i, 1);
        EXPECT_GE(value, previous - 1e-4) << i;
        EXPECT_LT(value - previous, 0.02) << i;
        previous = value;
    }
    const Rendered darker(holder.vignetteCorrectedImage(grey, -50, 0), {0, 0, 600, 400});
    EXPECT_NEAR(darker.channel(300, 200, 0), 0.4, 1e-4);
    EXPECT_NEAR(darker.channel(0, 0, 0), 0.2, 0.003);
    const Rendered none(holder.vignetteCorrectedImage(grey, 0, 20), {0, 0, 600, 400});
    EXPECT_NEAR(none.channel(0, 0, 0), 0.4, 1e-5);
    EXPECT_NEAR(none.channel(150, 300, 0), 0.4, 1e-5);
}

TEST_F(FilterHolder, VignettingMidpointMovesWhereTheRiseBegins) {
    const Image grey = enginetest::uniformImage(600, 400, {0.4f, 0.4f, 0.4f, 1});
    // Halfway to the corner: 0.5 of the half-diagonal.
    const int x = 300 - 75, y = 200 - 50;
    const Rendered early(holder.vignetteCorrectedImage(grey, 50, -50), {0, 0, 600, 400});
    const Rendered middle(holder.vignetteCorrectedImage(grey, 50, 0), {0, 0, 600, 400});
    const Rendered late(holder.vignetteCorrectedImage(grey, 50, 50), {0, 0, 600, 400});
    EXPECT_GT(early.channel(x, y, 0), middle.channel(x, y, 0) + 0.01);
    EXPECT_GT(middle.channel(x, y, 0), 0.4);
    EXPECT_NEAR(late.channel(x, y, 0), 0.4, 1e-4);
    // Every midpoint reaches the same gain at the corner.
    EXPECT_NEAR(late.channel(0, 0, 0), early.channel(0, 0, 0), 0.01);
}

TEST_F(FilterHolder, VignettingNeverPushesColourAboveAlpha) {
    const Image bright = enginetest::uniformImage(60, 40, {0.9f, 0.9f, 0.9f, 1});
    const Rendered out(holder.vignetteCorrectedImage(bright, 100, 0), {0, 0, 60, 40});
    EXPECT_LE(out.channel(0, 0, 0), 1.0f);
}

// --- Kernel loading --------------------------------------------------------------------------

TEST(KernelLoading, AFailedLoadIsTriedAgainOnTheNextRequest) {
    qvtest::TempDir broken;
    std::ofstream(broken.file("MyRadialDistortion.cikernel")) << "kernel vec4 broken( {";
    setenv("QV_RESOURCE_DIR", broken.path().c_str(), 1);
    KernelResource resource("MyRadialDistortion");
    EXPECT_EQ(resource.kernel(), nullptr);
    enginetest::useBundleResources();
    const auto loaded = resource.kernel();
    ASSERT_NE(loaded, nullptr);
    EXPECT_TRUE(loaded->isWarp());
    // Loaded once, then kept even when the resource goes away.
    setenv("QV_RESOURCE_DIR", broken.path().c_str(), 1);
    EXPECT_EQ(resource.kernel(), loaded);
}

TEST(KernelLoading, FirstRequestsOnManyThreadsShareOneKernel) {
    enginetest::useBundleResources();
    KernelResource resource("MyVignetting");
    std::vector<std::shared_ptr<const qv::ci::Kernel>> seen(16);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) threads.emplace_back([&, i] { seen[i] = resource.kernel(); });
    for (std::thread& t : threads) t.join();
    ASSERT_NE(seen[0], nullptr);
    for (const auto& kernel : seen) EXPECT_EQ(kernel, seen[0]);
}

}  // namespace
