// The native code of the shipped kernels computes what the kernel texts say: both paths render
// the same colours for the same arguments, and an edited resource falls back to the interpreter.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <fstream>
#include <limits>
#include <vector>

#include "EngineImages.h"
#include "common/TempDir.h"
#include "coreimage/CpuFeatures.h"
#include "coreimage/Node.h"
#include "coreimage/Operations.h"
#include "coreimage/ResourceText.h"
#include "engine/KernelResource.h"
#include "engine/NativeKernels.h"

namespace {

using qv::ci::Image;
using qv::ci::Kernel;
using qv::ci::KernelArgument;
using qv::ci::Sampler;

// Runs with the 256-bit versions on or off, and restores what the processor offers afterwards.
class WideVectors {
public:
    explicit WideVectors(bool enabled) { qv::ci::detail::setWideVectorsForTesting(enabled); }
    ~WideVectors() { qv::ci::detail::setWideVectorsForTesting(true); }
};

// The kernel of a resource as the interpreter alone runs it.
std::shared_ptr<Kernel> interpretedKernel(const std::string& resource) {
    const auto text = qv::ci::readResourceText(resource, "cikernel");
    if (!text) return nullptr;
    auto kernels = Kernel::kernelsWithString(*text);
    return kernels.empty() ? nullptr : kernels.front();
}

enginetest::Rgba texture(int x, int y) {
    const float a = (x * 7 + y * 3) % 5 == 0 ? 0.5f : 1.f;  // some translucent pixels
    return {a * float(x % 17) / 16, a * float(y % 13) / 12, a * float((x + y) % 11) / 10, a};
}
constexpr int kWidth = 160, kHeight = 120;

Image texturedPhoto() { return enginetest::drawImage(kWidth, kHeight, texture); }

// The texture's colour at a point, interpolated bilinearly between pixel centres, computed in
// double; pixels outside the photo are transparent.
enginetest::Rgba textureAt(double px, double py) {
    const double u = px - 0.5, v = py - 0.5;
    const int i = int(std::floor(u)), j = int(std::floor(v));
    const double fx = u - i, fy = v - j;
    auto pixel = [](int x, int y) {
        return x < 0 || y < 0 || x >= kWidth || y >= kHeight ? enginetest::Rgba{0, 0, 0, 0} : texture(x, y);
    };
    enginetest::Rgba out{};
    for (int c = 0; c < 4; ++c) {
        const double bottom = pixel(i, j)[c] * (1 - fx) + pixel(i + 1, j)[c] * fx;
        const double top = pixel(i, j + 1)[c] * (1 - fx) + pixel(i + 1, j + 1)[c] * fx;
        out[c] = float(bottom * (1 - fy) + top * fy);
    }
    return out;
}

// The largest channel difference between the two images over their common extent.
float largestDifference(const Image& a, const Image& b) {
    const enginetest::Rendered ra(a, a.extent()), rb(b, a.extent());
    EXPECT_TRUE(ra.isValid() && rb.isValid());
    float worst = 0;
    for (int y = 0; y < ra.height(); ++y)
        for (int x = 0; x < ra.width(); ++x)
            for (int c = 0; c < 4; ++c) worst = std::max(worst, std::fabs(ra.channel(x, y, c) - rb.channel(x, y, c)));
    return worst;
}

class NativeKernels : public ::testing::Test {
protected:
    void SetUp() override { enginetest::useBundleResources(); }

    // The largest channel difference between the resource's kernel as shipped (native) and as
    // the interpreter runs it, applied over the photo with the arguments.
    static float nativeAgainstInterpreter(const char* resource, const Image& photo,
                                          const std::vector<KernelArgument>& args) {
        KernelResource shipped(resource);
        const auto native = shipped.kernel();
        const auto interpreted = interpretedKernel(resource);
        if (!native || !interpreted) {
            ADD_FAILURE() << "no kernel " << resource;
            return INFINITY;
        }
        const Image a = native->apply(photo.extent(), args);
        EXPECT_FALSE(a.isNull());
        return largestDifference(a, interpreted->apply(photo.extent(), args));
    }
};

TEST_F(NativeKernels, TheShippedResourcesRunNatively) {
    for (const char* name : {"MyRadialDistortion", "MyVignetting"}) {
        KernelResource resource(name);
        const auto kernel = resource.kernel();
        ASSERT_NE(kernel, nullptr) << name;
        EXPECT_TRUE(kernel->hasNative()) << name;
        const auto interpreted = interpretedKernel(name);
        ASSERT_NE(interpreted, nullptr);
        EXPECT_FALSE(interpreted->hasNative());
    }
    EXPECT_EQ(nativeKernelForResource("NoSuchKernel"), nullptr);
}

TEST_F(NativeKernels, RadialDistortionSamplesWhereThePolynomialSays) {
    // The native code computes every sample position exactly (the interpreter would interpolate
    // these curved positions from a grid): each pixel must be the texture read at
    // centre + offset * (a r^3 + b r^2 + c r + d), r = |offset| / R.
    KernelResource resource("MyRadialDistortion");
    const auto native = resource.kernel();
    ASSERT_TRUE(native && native->hasNative());
    const Image photo = texturedPhoto();
    // Barrel, pincushion, a strong wave, and a centre off the middle.
    const qv::Vec4 params[] = {{0.01, -0.03, 0.02, 1.0}, {-0.05, 0.0, 0.08, 0.97}, {0.3, -0.6, 0.25, 1.05}, {0, 0, 0, 1}};
    const qv::Vec2 centres[] = {{80, 60}, {31.5, 97.25}};
    const double radius = 60;
    for (bool wide : {false, true}) {
        WideVectors mode(wide);
        SCOPED_TRACE(wide ? "wide" : "baseline");
        for (const qv::Vec4& p : params) {
            for (const qv::Vec2& c : centres) {
                const enginetest::Rendered out(native->apply(photo.extent(), {Sampler(photo), c, p, qv::Vec2{radius, 0}}),
                                               photo.extent());
                ASSERT_TRUE(out.isValid());
                float worst = 0;
                for (int y = 0; y < kHeight; ++y) {
                    for (int x = 0; x < kWidth; ++x) {
                        const double dx = x + 0.5 - c.x, dy = y + 0.5 - c.y;
                        const double r = std::hypot(dx, dy) / radius;
                        const double s = ((p.x * r + p.y) * r + p.z) * r + p.w;
                        const enginetest::Rgba expected = textureAt(c.x + dx * s, c.y + dy * s);
                        for (int k = 0; k < 4; ++k) worst = std::max(worst, std::fabs(out.channel(x, y, k) - expected[k]));
                    }
                }
                EXPECT_LE(worst, 2e-4f) << p.x << " " << p.y << " " << p.z << " " << p.w << " at " << c.x << ", " << c.y;
            }
        }
    }
}

TEST_F(NativeKernels, VignettingMatchesTheInterpreter) {
    const Image photo = texturedPhoto();
    // Brighten, darken past black, and midpoints outside [0, 1].
    const double settings[][2] = {{0.5, 0.3}, {-1.7, 0.8}, {0.3, -2.0}, {2.0, 5.0}, {0, 0.5}};
    for (bool wide : {false, true}) {
        WideVectors mode(wide);
        for (const auto& s : settings) {
            EXPECT_LE(nativeAgainstInterpreter("MyVignetting", photo, {Sampler(photo), qv::Vec2{70, 55}, s[0], s[1], 200.0}),
                      1e-5f)
                << s[0] << " " << s[1] << (wide ? " wide" : " baseline");
        }
    }
}

TEST_F(NativeKernels, AnEditedResourceRunsInTheInterpreter) {
    qvtest::TempDir edited;
    // Same parameters, different arithmetic: the native code must not claim it.
    std::ofstream(edited.file("MyRadialDistortion.cikernel"))
        << "kernel vec4 radialDistortion(sampler src, vec2 center, vec4 params, vec2 radius)\n"
           "{ vec2 offset = destCoord() - center; float r = length(offset) / radius.y;\n"
           "  float s = ((params.x * r + params.y) * r + params.z) * r + params.w;\n"
           "  return sample(src, samplerTransform(src, center + offset * s)); }\n";
    // Only comments and layout changed: still the same program.
    std::ofstream(edited.file("MyVignetting.cikernel"))
        << "/* reformatted */ kernel vec4 vignetting(sampler src, vec2 center, float amount, float midpoint,"
           " float diagonal) { float r = distance(destCoord(), center) / (0.5 * diagonal);"
           " float start = 0.9 * clamp(midpoint, 0.0, 1.0);"
           " float gain = max(1.0 + amount * smoothstep(start, 1.0, r), 0.0);"
           " vec4 color = sample(src, samplerCoord(src)); // the input\n"
           " return vec4(min(color.rgb * gain, vec3(color.a)), color.a); }";
    setenv("QV_RESOURCE_DIR", edited.path().c_str(), 1);
    KernelResource radial("MyRadialDistortion"), vignetting("MyVignetting");
    ASSERT_NE(radial.kernel(), nullptr);
    ASSERT_NE(vignetting.kernel(), nullptr);
    EXPECT_FALSE(radial.kernel()->hasNative());
    EXPECT_TRUE(vignetting.kernel()->hasNative());
}

TEST_F(NativeKernels, ArgumentsOfAnotherFormRunInTheInterpreter) {
    const Image photo = texturedPhoto();
    // Coefficients given as a colour: the kernel accepts them, the native code does not.
    const std::vector<KernelArgument> args{Sampler(photo), qv::Vec2{80, 60}, qv::ci::Color{0.02, -0.01, 0.0, 0.99},
                                           qv::Vec2{60, 0}};
    EXPECT_LE(nativeAgainstInterpreter("MyRadialDistortion", photo, args), 1e-6f);
}

// The 256-bit versions against the baseline, point by point: every length up to 40 (groups of
// eight and the rest) and whole batches, from unaligned arrays, with points at the centre, past
// the photo's edges, far away, and not numbers at all.

// A reader whose colour at a point is the point itself (x, y, 0, 1): it shows where the kernel sampled.
class PositionsAsColours final : public qv::ci::KernelSamplerReader {
public:
    void sample(int, const float* xs, const float* ys, int n, float* out) const override {
        for (int i = 0; i < n; ++i) {
            out[4 * i] = xs[i], out[4 * i + 1] = ys[i], out[4 * i + 2] = 0, out[4 * i + 3] = 1;
        }
    }
};

// A reader that answers the listed colours in turn, wherever the points lie.
class ListedColours final : public qv::ci::KernelSamplerReader {
public:
    explicit ListedColours(std::vector<float> colours) : m_colours(std::move(colours)) {}
    void sample(int, const float*, const float*, int n, float* out) const override {
        for (int i = 0; i < 4 * n; ++i) out[i] = m_colours[std::size_t(i) % m_colours.size()];
    }

private:
    std::vector<float> m_colours;
};

struct Points {
    std::vector<float> xs, ys;
};

// n points around the centre out to reach, with every fifth one taken from the awkward cases.
Points probePoints(int n, qv::Vec2 centre, double reach) {
    const float inf = std::numeric_limits<float>::infinity(), nan = std::nanf("");
    const float cx = float(centre.x), cy = float(centre.y);
    const float awkward[][2] = {{cx, cy},   {nan, 10},     {10, nan},         {inf, 5},    {-inf, -inf},
                                {inf, -inf}, {1e6f, -1e6f}, {-0.5f, 120.5f}, {160, 0}, {cx + float(reach), cy}};
    constexpr int kAwkward = sizeof awkward / sizeof awkward[0];
    // One spare element in front, so that odd lengths start off the arrays' alignment.
    Points p{std::vector<float>(std::size_t(n) + 1), std::vector<float>(std::size_t(n) + 1)};
    for (int i = 0; i < n; ++i) {
        float x, y;
        if (i % 5 == 3) {
            x = awkward[(i / 5) % kAwkward][0], y = awkward[(i / 5) % kAwkward][1];
        } else {
            const double r = reach * (i % 37) / 30.0, angle = 0.7 * i;
            x = float(centre.x + r * std::cos(angle)), y = float(centre.y + r * std::sin(angle));
        }
        p.xs[std::size_t(i + n % 2)] = x, p.ys[std::size_t(i + n % 2)] = y;
    }
    return p;
}

std::vector<int> probeLengths() {
    std::vector<int> lengths;
    for (int n = 1; n <= 40; ++n) lengths.push_back(n);
    lengths.insert(lengths.end(), {255, qv::ci::NativeKernelInstance::kMaxPoints});
    return lengths;
}

// The colours of the instance at the points, with the wide versions on or off.
std::vector<float> evaluated(const qv::ci::NativeKernelInstance& instance, const Points& p, int n,
                             const qv::ci::KernelSamplerReader& reader, bool wide) {
    WideVectors mode(wide);
    std::vector<float> out(4 * std::size_t(n));
    const std::size_t first = std::size_t(n % 2);
    instance.evaluate(p.xs.data() + first, p.ys.data() + first, n, out.data(), reader);
    return out;
}

// Whether two results agree: both not numbers, the same infinity, or within tolerance.
bool agree(float a, float b, double tolerance) {
    if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
    if (std::isinf(a) || std::isinf(b)) return a == b;
    return std::fabs(double(a) - double(b)) <= tolerance;
}

TEST_F(NativeKernels, WideRadialDistortionSamplesWhereTheBaselineDoes) {
    const Image photo = texturedPhoto();
    const auto kernel = nativeKernelForResource("MyRadialDistortion");
    ASSERT_NE(kernel, nullptr);
    const qv::Vec4 params[] = {{0.01, -0.03, 0.02, 1.0}, {0.3, -0.6, 0.25, 1.05}, {0, 0, 0, 1}, {-0.05, 0.0, 0.08, 0.97}};
    const qv::Vec2 centre{31.5, 97.25};
    const double radius = 60;
    const PositionsAsColours positions;
    for (const qv::Vec4& k : params) {
        const auto instance = kernel->instantiate({Sampler(photo), centre, k, qv::Vec2{radius, 0}});
        ASSERT_NE(instance, nullptr);
        for (int n : probeLengths()) {
            const Points p = probePoints(n, centre, 2 * radius);
            const std::vector<float> base = evaluated(*instance, p, n, positions, false);
            const std::vector<float> wide = evaluated(*instance, p, n, positions, true);
            for (int i = 0; i < n; ++i) {
                // Fused multiply-adds and a reciprocal change the last bits of each step: allow
                // a few float steps of the largest term of the position.
                const std::size_t at = std::size_t(i + n % 2);
                const double dx = double(p.xs[at]) - centre.x, dy = double(p.ys[at]) - centre.y;
                const double r = std::hypot(dx, dy) / radius;
                const double terms = ((std::fabs(k.x) * r + std::fabs(k.y)) * r + std::fabs(k.z)) * r + std::fabs(k.w);
                const double tolerance[] = {1e-6 * (std::fabs(centre.x) + std::fabs(dx) * terms),
                                            1e-6 * (std::fabs(centre.y) + std::fabs(dy) * terms)};
                for (int c = 0; c < 2; ++c) {
                    const float a = base[std::size_t(4 * i + c)], b = wide[std::size_t(4 * i + c)];
                    EXPECT_TRUE(agree(a, b, tolerance[c]))
                        << a << " against " << b << " at point " << i << " of " << n << " (" << p.xs[at] << ", "
                        << p.ys[at] << "), coefficients " << k.x << " " << k.y << " " << k.z << " " << k.w;
                }
            }
        }
    }
}

TEST_F(NativeKernels, WideVignettingShadesAsTheBaselineDoes) {
    const Image photo = texturedPhoto();
    const auto kernel = nativeKernelForResource("MyVignetting");
    ASSERT_NE(kernel, nullptr);
    const float nan = std::nanf(""), inf = std::numeric_limits<float>::infinity();
    // Ordinary premultiplied colours, colours above their alpha, clear pixels, colours out of
    // range and not numbers, in alpha too. Seven colours, so that each meets every lane.
    const ListedColours colours({0.2f, 0.4f, 0.6f, 0.8f, 0.9f, 0.3f, 0.7f, 0.5f, 0, 0, 0, 0, nan, 0.5f, -0.25f, 1,
                                 0.5f, 0.5f, 0.5f, nan, 2.f, inf, -inf, 1, 1e-20f, 3.f, 0.25f, 1.f});
    const qv::Vec2 centre{70, 55};
    const double diagonal = 200;
    const double settings[][2] = {{0.5, 0.3}, {-1.7, 0.8}, {2.0, 5.0}, {0, 0.5}, {0.8, 0.0}};
    for (const auto& s : settings) {
        const auto instance = kernel->instantiate({Sampler(photo), centre, s[0], s[1], diagonal});
        ASSERT_NE(instance, nullptr);
        for (int n : probeLengths()) {
            const Points p = probePoints(n, centre, diagonal / 2);
            const std::vector<float> base = evaluated(*instance, p, n, colours, false);
            const std::vector<float> wide = evaluated(*instance, p, n, colours, true);
            for (std::size_t i = 0; i < base.size(); ++i) {
                // The gain differs by a few float steps at most; alpha is kept exactly.
                const double tolerance = i % 4 == 3 ? 0 : 1e-6 * (1 + std::fabs(double(base[i])));
                EXPECT_TRUE(agree(base[i], wide[i], tolerance))
                    << base[i] << " against " << wide[i] << " at sample " << i << " of " << n << " points, amount "
                    << s[0] << ", midpoint " << s[1];
            }
        }
    }
}

}  // namespace

// The vignetting, as the chain runs it: over a maximum of the three channels, each moved about
// the centre and scaled up to the photo's edges. Told nothing, it works out the box of its points
// and hands it to the channels it reads at the same points; every mask it and the steps below
// then skip must have cleared nothing. Batches of finite points, near and across the photo's
// edges, give the same bits as with NaN points added, which no box holds, so that every mask runs.
// (Batches are whole eights, and eight NaN points are added, so that the 256-bit loops, which
// round differently from the baseline ones, take the same points in both reads.)
TEST_F(NativeKernels, VignettingTellsTheChannelsBelowTheBoxOfItsPoints) {
    using namespace qv::ci::detail;
    KernelResource resource("MyVignetting");
    const auto vignetting = resource.kernel();
    ASSERT_TRUE(vignetting && vignetting->hasNative());
    const Image photo = texturedPhoto();
    const qv::Rect extent(0, 0, kWidth * 1.05, kHeight * 1.05);
    const Image scaled = edgeScaled(photo, 1.05, 1.05, extent);
    Image channels[3];
    const double factors[3] = {1.02, 1, 0.98};
    for (int c = 0; c < 3; ++c) {
        ColorMatrix keep{{{0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 0}, {0, 0, 0, 1}}, {0, 0, 0, 0}};
        keep.rows[c][c] = 1;
        const qv::AffineTransform move = qv::AffineTransform::translation(-extent.midX(), -extent.midY())
                                             .concat(qv::AffineTransform::scale(factors[c], factors[c]))
                                             .concat(qv::AffineTransform::translation(extent.midX(), extent.midY()));
        channels[c] = affineTransformed(colorMatrixApplied(scaled, keep), move);
    }
    const Image composite = maximumComposited(channels[2], maximumComposited(channels[1], channels[0]));
    // A domain short of the composite's extent, so that the vignetting's own mask clears something.
    const Image shaded = vignetting->apply(composite.extent().insetBy(15, 12), {Sampler(composite), qv::Vec2{extent.midX(), extent.midY()},
                                                               0.4, 0.6, std::hypot(extent.width(), extent.height())});
    ASSERT_FALSE(shaded.isNull());
    const RenderPlan plan(shaded.node(), composite.extent().insetBy(-20, -20), RenderStatisticsSink{});
    int checked = 0, outside = 0;
    for (bool wide : {false, true}) {
        WideVectors mode(wide);
        Arena arena;
        // Rows of points across the whole picture and a little beyond, slanted as a perspective
        // makes them; and short batches wholly inside.
        for (int batch = 0; batch < 400; ++batch) {
            const int n = 8 * (1 + batch % 5);
            const float x0 = -12.f + float((batch * 37) % 200), y0 = -10.f + float((batch * 53) % 150);
            std::vector<float> xs, ys;
            for (int i = 0; i < n; ++i) {
                xs.push_back(x0 + 0.93f * float(i) + 0.25f);
                ys.push_back(y0 + 0.07f * float(i) + 0.5f);
            }
            std::vector<float> asIs(4 * std::size_t(n)), masked(4 * std::size_t(n + 8));
            plan.root().sample(xs.data(), ys.data(), n, asIs.data(), arena);
            xs.resize(std::size_t(n + 8), NAN), ys.resize(std::size_t(n + 8), 0.f);
            plan.root().sample(xs.data(), ys.data(), n + 8, masked.data(), arena);
            for (std::size_t c = asIs.size(); c < masked.size(); ++c) EXPECT_EQ(masked[c], 0.f) << "NaN points read nothing";
            masked.resize(asIs.size());
            ASSERT_EQ(0, std::memcmp(asIs.data(), masked.data(), asIs.size() * sizeof(float)))
                << "batch " << batch << (wide ? ", wide" : "");
            for (int i = 0; i < n; ++i) (asIs[4 * std::size_t(i) + 3] == 0.f ? outside : checked) += 1;
        }
    }
    EXPECT_GT(outside, 100);
    EXPECT_GT(checked, 1000);
}
