#pragma once
// Kernels written as text, and the samplers they read.
//
// THE KERNEL LANGUAGE
// A small C-like language for per-pixel image kernels. A text holds one or more kernels:
//
//     // comments run to the end of the line; /* block comments */ too
//     kernel vec4 radialWarp(sampler src, vec2 center, vec4 params, vec2 radius)
//     {
//         vec2 d = destCoord() - center;
//         float r = length(d) / radius.x;
//         float s = ((params.x * r + params.y) * r + params.z) * r + params.w;
//         return sample(src, samplerTransform(src, center + d * s));
//     }
//
// Types: float, vec2, vec3, vec4, and sampler (parameters only). `__color` is accepted as a
// parameter type and means vec4. A kernel returns vec4 (premultiplied RGBA).
// Body: a sequence of statements, then `return <expression>;` as the last statement.
//   - declarations with an initialiser: `float r = ...;`, `vec2 d = ...;` (`const` may precede)
//   - assignments to locals: `d = ...;`, `d += ...;`, `-=`, `*=`, `/=`
//   No if, loops, user functions or assignments to swizzles: the body is straight-line code.
// Expressions: literals (1, 1.0, .5, 2e-3), parameters, locals, parentheses, unary -, binary
//   + - * / (component-wise; a float operand is broadcast to the vector's size),
//   swizzles of 1 to 4 components from xyzw or rgba (p.a, d.yx, p.rgb),
//   constructors vec2(...), vec3(...), vec4(...) from floats and vectors whose components add up
//   to the size, or one float broadcast (vec4(0.0)).
// Functions (component-wise on vectors unless noted):
//   destCoord()                  the position of the pixel being computed (working space: origin
//                                bottom-left, y up, pixel centres at .5)
//   samplerCoord(s)              the position in sampler s that corresponds to destCoord()
//   samplerTransform(s, p)       the position in sampler s of the working-space point p
//   sample(s, p)                 the premultiplied colour of s at p (bilinear; transparent outside)
//   samplerExtent(s)             vec4 (x, y, width, height) of the sampler's extent
//   length(v), distance(a, b), dot(a, b) -> float;  normalize(v)
//   sqrt, abs, floor, fract, sin, cos, tan, atan, exp, log, sign
//   pow(x, y), min(a, b), max(a, b), step(edge, x), mod(a, b), atan(y, x)
//   clamp(x, lo, hi), mix(a, b, t), smoothstep(e0, e1, x), compare(x, a, b) (x < 0 ? a : b)
//   premultiply(c), unpremultiply(c)  on vec4 colours
// Samplers share the working space, so samplerCoord(s) is destCoord() and samplerTransform(s, p)
// is p; writing them keeps kernels portable.
// A text with a syntax or type error gives no kernel at all.
//
// HOW KERNELS RUN
// A kernel is not interpreted per pixel. When applied, its body is inlined into one expression
// with the argument values folded in, then split:
//   - what depends on the position only is evaluated over batches of points (a radial gain), or,
//     when it is long, calls transcendental functions or is a curved sample position, on a grid
//     every 8 pixels and interpolated bilinearly (sample positions affine in destCoord() are
//     always exact);
//   - a kernel that returns sample(s, P(destCoord())) is a pure warp and composes with affine and
//     perspective transforms like any geometric step (one bilinear fetch per output pixel for the
//     whole chain);
//   - what depends on sampled colours is evaluated per pixel, row by row, in float.
// A kernel the application ships may also carry native code (NativeKernel) that computes exactly
// what its text says; it is used only when the parsed text is the one the code was written for.
#include <functional>
#include <memory>
#include <string>
#include <variant>
#include <vector>

#include "coreimage/CIFilter.h"
#include "coreimage/CIImage.h"
#include "foundation/Geometry.h"

namespace qv::ci {

// What a kernel reads an image through.
class Sampler {
public:
    Sampler() = default;
    explicit Sampler(Image image) : m_image(std::move(image)) {}
    static Sampler samplerWithImage(Image image) { return Sampler(std::move(image)); }

    const Image& image() const { return m_image; }
    bool isNull() const { return m_image.isNull(); }
    Rect extent() const { return m_image.extent(); }
    // Where the sampler's image is defined (its extent): a kernel's usual domain of definition.
    Rect definition() const { return m_image.extent(); }

private:
    Image m_image;
};

// One argument of Kernel::apply, matched by position against the kernel's parameters: a Sampler
// for sampler, a number for float, Vec2 for vec2, Vec4 or Color for vec4 (vec3 takes a Vec4's
// first three components).
using KernelArgument = std::variant<Sampler, double, Vec2, Vec4, Color>;

// The region of sampler `samplerIndex` (0 for the first sampler parameter) that the kernel reads
// to produce destRect.
using RegionOfInterestFunction = std::function<Rect(int samplerIndex, const Rect& destRect)>;

enum class KernelParameterType { Float, Vec2, Vec3, Vec4, Sampler };

struct KernelParameter {
    std::string name;
    KernelParameterType type;
};

namespace detail {
struct KernelProgram;
}

// Reads the samplers of a kernel: the premultiplied colours (4 floats each) of sampler
// `samplerIndex` (0 for the first sampler parameter) at n points.
class KernelSamplerReader {
public:
    virtual void sample(int samplerIndex, const float* xs, const float* ys, int n, float* out) const = 0;

protected:
    ~KernelSamplerReader() = default;
};

// Native code for one kernel, bound to the argument values of one application.
class NativeKernelInstance {
public:
    static constexpr int kMaxPoints = 256;
    virtual ~NativeKernelInstance() = default;
    // The kernel's colours (premultiplied RGBA, 4 floats each) at the n points (xs[i], ys[i]);
    // n is at most kMaxPoints.
    virtual void evaluate(const float* xs, const float* ys, int n, float* out, const KernelSamplerReader& read) const = 0;
    // Whether each colour channel of the result depends only on the same channel and alpha of
    // what the kernel samples: a caller that keeps one channel may then have the samples read
    // for that channel alone.
    virtual bool keepsChannelsApart() const { return false; }
};

// Native code that computes what a kernel text computes, for speed.
class NativeKernel {
public:
    virtual ~NativeKernel() = default;
    // The text whose kernel this code implements.
    virtual const std::string& source() const = 0;
    // Binds the argument values (in parameter order, samplers included, already checked against
    // the parameters); null when the code cannot take them and the interpreter should run.
    virtual std::unique_ptr<NativeKernelInstance> instantiate(const std::vector<KernelArgument>& arguments) const = 0;
};

class Kernel {
public:
    // Every kernel of the text, in order; empty when the text has any error, which `reason` then
    // says ("line 3: expected ';'").
    static std::vector<std::shared_ptr<Kernel>> kernelsWithString(const std::string& source);
    static std::vector<std::shared_ptr<Kernel>> kernelsWithString(const std::string& source, std::string& reason);

    const std::string& name() const;
    const std::vector<KernelParameter>& parameters() const;
    // The kernel returns sample(s, P(destCoord())) with nothing else: a coordinate map.
    bool isWarp() const;

    // The image of the kernel over domainOfDefinition (transparent outside it). Null when an
    // argument is missing or of the wrong type, or a sampler's image is null. roi tells which part
    // of each sampler the kernel reads; when the coordinates it samples at depend on the position
    // only they are computed exactly from the grid and the larger of the two regions is used, so a
    // too-small region never loses pixels. Without roi, a kernel whose sample positions depend
    // on sampled colours reads the destination rectangle.
    Image apply(const Rect& domainOfDefinition, const std::vector<KernelArgument>& arguments,
                RegionOfInterestFunction roi = {}) const;

    // Lets native code compute this kernel when the code's text parses to this kernel's very
    // program (comments and layout aside); answers whether it was taken.
    bool attachNative(std::shared_ptr<const NativeKernel> native);
    bool hasNative() const { return m_native != nullptr; }

    explicit Kernel(std::shared_ptr<const detail::KernelProgram> program);

private:
    std::shared_ptr<const detail::KernelProgram> m_program;
    std::shared_ptr<const NativeKernel> m_native;
};

}  // namespace qv::ci
