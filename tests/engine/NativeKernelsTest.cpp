// The native code of the shipped kernels computes what the kernel texts say: both paths render
// the same colours for the same arguments, and an edited resource falls back to the interpreter.
#include <gtest/gtest.h>

#include <cmath>
#include <fstream>

#include "EngineImages.h"
#include "common/TempDir.h"
#include "coreimage/ResourceText.h"
#include "engine/KernelResource.h"
#include "engine/NativeKernels.h"

namespace {

using qv::ci::Image;
using qv::ci::Kernel;
using qv::ci::KernelArgument;
using qv::ci::Sampler;

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

TEST_F(NativeKernels, VignettingMatchesTheInterpreter) {
    const Image photo = texturedPhoto();
    // Brighten, darken past black, and midpoints outside [0, 1].
    const double settings[][2] = {{0.5, 0.3}, {-1.7, 0.8}, {0.3, -2.0}, {2.0, 5.0}, {0, 0.5}};
    for (const auto& s : settings) {
        EXPECT_LE(nativeAgainstInterpreter("MyVignetting", photo, {Sampler(photo), qv::Vec2{70, 55}, s[0], s[1], 200.0}),
                  1e-5f)
            << s[0] << " " << s[1];
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

}  // namespace
