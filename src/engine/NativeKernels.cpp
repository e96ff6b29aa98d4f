#include "engine/NativeKernels.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <variant>

#include "coreimage/CpuFeatures.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif
#if QV_HAS_WIDE_BUILD
#include <immintrin.h>
#endif

namespace {

using qv::ci::KernelArgument;
using qv::ci::KernelSamplerReader;
using qv::ci::NativeKernel;
using qv::ci::NativeKernelInstance;

constexpr int kMaxBatch = NativeKernelInstance::kMaxPoints;

// The same text as the resource, comments aside.
const char* const kRadialSource = R"(
kernel vec4 radialDistortion(sampler src, vec2 center, vec4 params, vec2 radius)
{
    vec2 offset = destCoord() - center;
    float r = length(offset) / radius.x;
    float s = ((params.x * r + params.y) * r + params.z) * r + params.w;
    return sample(src, samplerTransform(src, center + offset * s));
}
)";

const char* const kVignettingSource = R"(
kernel vec4 vignetting(sampler src, vec2 center, float amount, float midpoint, float diagonal)
{
    float r = distance(destCoord(), center) / (0.5 * diagonal);
    float start = 0.9 * clamp(midpoint, 0.0, 1.0);
    float gain = max(1.0 + amount * smoothstep(start, 1.0, r), 0.0);
    vec4 color = sample(src, samplerCoord(src));
    return vec4(min(color.rgb * gain, vec3(color.a)), color.a);
}
)";

// Whether the arguments hold these alternatives of KernelArgument, in order.
bool holdsTypes(const std::vector<KernelArgument>& args, std::initializer_list<std::size_t> types) {
    if (args.size() != types.size()) return false;
    std::size_t i = 0;
    for (std::size_t t : types)
        if (args[i++].index() != t) return false;
    return true;
}
constexpr std::size_t kSampler = 0, kNumber = 1, kVec2 = 2, kVec4 = 3;
float number(const KernelArgument& a) { return float(std::get<double>(a)); }
qv::Vec2 vector2(const KernelArgument& a) { return std::get<qv::Vec2>(a); }

// The baseline loops compute in single precision in the interpreter's order of operations, so
// they give the interpreter's colours; the wide ones (fused multiply-adds, reciprocals for the
// divisions) agree with them within float rounding.
class RadialInstance final : public NativeKernelInstance {
public:
    static bool takes(const std::vector<KernelArgument>& args) { return holdsTypes(args, {kSampler, kVec2, kVec4, kVec2}); }
    explicit RadialInstance(const std::vector<KernelArgument>& args) {
        const qv::Vec2 c = vector2(args[1]);
        const qv::Vec4 p = std::get<qv::Vec4>(args[2]);
        m_cx = float(c.x), m_cy = float(c.y);
        m_a = float(p.x), m_b = float(p.y), m_c = float(p.z), m_d = float(p.w);
        m_radius = float(vector2(args[3]).x);
    }
    void evaluate(const float* xs, const float* ys, int n, float* out, const KernelSamplerReader& read) const override {
        alignas(64) float mx[kMaxBatch], my[kMaxBatch];
        const float cx = m_cx, cy = m_cy, a = m_a, b = m_b, c = m_c, d = m_d, radius = m_radius;
        int i = 0;
#if QV_HAS_WIDE_BUILD
        if (qv::ci::detail::wideVectors()) i = positionsWide(xs, ys, n, mx, my);
#endif
        for (; i < n; ++i) {
            const float dx = xs[i] - cx, dy = ys[i] - cy;
            const float r = std::sqrt(dx * dx + dy * dy) / radius;
            const float s = ((a * r + b) * r + c) * r + d;
            mx[i] = cx + dx * s;
            my[i] = cy + dy * s;
        }
        read.sample(0, mx, my, n, out);
    }
    // The sample comes back as it is.
    bool keepsChannelsApart() const override { return true; }

private:
#if QV_HAS_WIDE_BUILD
    // The sample positions of the points eight at a time, while eight remain; answers how many
    // it placed. The arithmetic of the loop above with fused multiply-adds, and a multiplication
    // by the reciprocal for the division: the divider is what limits this loop.
    QV_TARGET_WIDE int positionsWide(const float* xs, const float* ys, int n, float* mx, float* my) const {
        const __m256 cx = _mm256_set1_ps(m_cx), cy = _mm256_set1_ps(m_cy), perRadius = _mm256_set1_ps(1.f / m_radius);
        const __m256 a = _mm256_set1_ps(m_a), b = _mm256_set1_ps(m_b), c = _mm256_set1_ps(m_c), d = _mm256_set1_ps(m_d);
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 dx = _mm256_sub_ps(_mm256_loadu_ps(xs + i), cx), dy = _mm256_sub_ps(_mm256_loadu_ps(ys + i), cy);
            const __m256 r = _mm256_mul_ps(_mm256_sqrt_ps(_mm256_fmadd_ps(dx, dx, _mm256_mul_ps(dy, dy))), perRadius);
            const __m256 s = _mm256_fmadd_ps(_mm256_fmadd_ps(_mm256_fmadd_ps(a, r, b), r, c), r, d);
            _mm256_store_ps(mx + i, _mm256_fmadd_ps(dx, s, cx));
            _mm256_store_ps(my + i, _mm256_fmadd_ps(dy, s, cy));
        }
        return i;
    }
#endif

    float m_cx, m_cy, m_a, m_b, m_c, m_d, m_radius;
};

class VignettingInstance final : public NativeKernelInstance {
public:
    static bool takes(const std::vector<KernelArgument>& args) {
        return holdsTypes(args, {kSampler, kVec2, kNumber, kNumber, kNumber});
    }
    explicit VignettingInstance(const std::vector<KernelArgument>& args) {
        const qv::Vec2 c = vector2(args[1]);
        m_cx = float(c.x), m_cy = float(c.y);
        m_amount = number(args[2]);
        m_start = 0.9f * std::clamp(number(args[3]), 0.f, 1.f);
        m_halfDiagonal = 0.5f * number(args[4]);
    }
    // min(colour * gain, alpha) takes each channel with alpha alone.
    bool keepsChannelsApart() const override { return true; }
    void evaluate(const float* xs, const float* ys, int n, float* out, const KernelSamplerReader& read) const override {
        read.sample(0, xs, ys, n, out);
        int first = 0;
#if QV_HAS_WIDE_BUILD
        if (qv::ci::detail::wideVectors()) first = shadeWide(xs, ys, n, out);
#endif
        // The points left: the gains first, four at a time; then the colours.
        alignas(64) float gains[kMaxBatch];
        const float cx = m_cx, cy = m_cy, amount = m_amount, start = m_start, half = m_halfDiagonal;
        const float width = 1.f - start;
        int i = first;
#if defined(__SSE2__)
        // The clamps as the kernel's min, max and clamp take them, a NaN passing through: SSE's
        // max(a, b) answers b when either is NaN.
        const __m128 vcx = _mm_set1_ps(cx), vcy = _mm_set1_ps(cy), vstart = _mm_set1_ps(start);
        const __m128 vwidth = _mm_set1_ps(width), vhalf = _mm_set1_ps(half), vamount = _mm_set1_ps(amount);
        const __m128 zero = _mm_setzero_ps(), one = _mm_set1_ps(1.f), three = _mm_set1_ps(3.f), two = _mm_set1_ps(2.f);
        for (; i + 4 <= n; i += 4) {
            const __m128 dx = _mm_sub_ps(_mm_loadu_ps(xs + i), vcx), dy = _mm_sub_ps(_mm_loadu_ps(ys + i), vcy);
            const __m128 r = _mm_div_ps(_mm_sqrt_ps(_mm_add_ps(_mm_mul_ps(dx, dx), _mm_mul_ps(dy, dy))), vhalf);
            const __m128 t = _mm_min_ps(one, _mm_max_ps(zero, _mm_div_ps(_mm_sub_ps(r, vstart), vwidth)));
            const __m128 smooth = _mm_mul_ps(_mm_mul_ps(t, t), _mm_sub_ps(three, _mm_mul_ps(two, t)));
            _mm_store_ps(gains + i, _mm_max_ps(zero, _mm_add_ps(one, _mm_mul_ps(vamount, smooth))));
        }
#endif
        for (; i < n; ++i) {
            const float dx = xs[i] - cx, dy = ys[i] - cy;
            const float r = std::sqrt(dx * dx + dy * dy) / half;
            float t = (r - start) / width;
            t = t < 0.f ? 0.f : t > 1.f ? 1.f : t;
            const float gain = 1.f + amount * (t * t * (3 - 2 * t));
            gains[i] = gain < 0.f ? 0.f : gain;  // as max(gain, 0.0) does, NaN included
        }
        for (i = first; i < n; ++i) {
            float* p = out + 4 * i;
#if defined(__SSE2__)
            // min(colour * gain, alpha) on r, g, b; alpha itself is multiplied by 1 and kept.
            const __m128 colour = _mm_loadu_ps(p);
            const __m128 alpha = _mm_shuffle_ps(colour, colour, _MM_SHUFFLE(3, 3, 3, 3));
            const __m128 gain = _mm_setr_ps(gains[i], gains[i], gains[i], 1.f);
            _mm_storeu_ps(p, _mm_min_ps(alpha, _mm_mul_ps(colour, gain)));
#else
            const float alpha = p[3], gain = gains[i];
            for (int k = 0; k < 3; ++k) {
                const float c = p[k] * gain;
                p[k] = alpha < c ? alpha : c;
            }
#endif
        }
    }

private:
#if QV_HAS_WIDE_BUILD
    // The gains and colours of the points eight at a time, while eight remain; answers how many
    // it shaded. The arithmetic and the NaN handling of the loops above, with fused multiply-adds
    // and multiplications by reciprocals for the divisions.
    QV_TARGET_WIDE int shadeWide(const float* xs, const float* ys, int n, float* out) const {
        const __m256 cx = _mm256_set1_ps(m_cx), cy = _mm256_set1_ps(m_cy), start = _mm256_set1_ps(m_start);
        const __m256 perWidth = _mm256_set1_ps(1.f / (1.f - m_start)), perHalf = _mm256_set1_ps(1.f / m_halfDiagonal);
        const __m256 amount = _mm256_set1_ps(m_amount);
        const __m256 zero = _mm256_setzero_ps(), one = _mm256_set1_ps(1.f), three = _mm256_set1_ps(3.f);
        const __m256 minusTwo = _mm256_set1_ps(-2.f);
        int i = 0;
        for (; i + 8 <= n; i += 8) {
            const __m256 dx = _mm256_sub_ps(_mm256_loadu_ps(xs + i), cx), dy = _mm256_sub_ps(_mm256_loadu_ps(ys + i), cy);
            const __m256 r = _mm256_mul_ps(_mm256_sqrt_ps(_mm256_fmadd_ps(dx, dx, _mm256_mul_ps(dy, dy))), perHalf);
            const __m256 t = _mm256_min_ps(one, _mm256_max_ps(zero, _mm256_mul_ps(_mm256_sub_ps(r, start), perWidth)));
            const __m256 smooth = _mm256_mul_ps(_mm256_mul_ps(t, t), _mm256_fmadd_ps(minusTwo, t, three));
            const __m256 gains = _mm256_max_ps(zero, _mm256_fmadd_ps(amount, smooth, one));
            // Two pixels a register: each one's gain on r, g, b and 1 on alpha.
            for (int k = 0; k < 4; ++k) {
                const __m256i which = _mm256_setr_epi32(2 * k, 2 * k, 2 * k, 2 * k, 2 * k + 1, 2 * k + 1, 2 * k + 1, 2 * k + 1);
                const __m256 gain = _mm256_blend_ps(_mm256_permutevar8x32_ps(gains, which), one, 0x88);
                float* p = out + 4 * (i + 2 * k);
                const __m256 colour = _mm256_loadu_ps(p);
                const __m256 alpha = _mm256_permute_ps(colour, _MM_SHUFFLE(3, 3, 3, 3));
                _mm256_storeu_ps(p, _mm256_min_ps(alpha, _mm256_mul_ps(colour, gain)));
            }
        }
        return i;
    }
#endif

    float m_cx, m_cy, m_amount, m_start, m_halfDiagonal;
};

template <class Instance>
class Native final : public NativeKernel {
public:
    explicit Native(const char* source) : m_source(source) {}
    const std::string& source() const override { return m_source; }
    std::unique_ptr<NativeKernelInstance> instantiate(const std::vector<KernelArgument>& arguments) const override {
        if (!Instance::takes(arguments)) return nullptr;
        return std::make_unique<Instance>(arguments);
    }

private:
    std::string m_source;
};

}  // namespace

std::shared_ptr<const NativeKernel> nativeKernelForResource(const std::string& resourceName) {
    if (resourceName == "MyRadialDistortion") return std::make_shared<Native<RadialInstance>>(kRadialSource);
    if (resourceName == "MyVignetting") return std::make_shared<Native<VignettingInstance>>(kVignettingSource);
    return nullptr;
}
