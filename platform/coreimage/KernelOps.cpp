// The kernel language's operations over arrays of points: one call handles a whole batch, so the
// cost of choosing the operation is paid once per batch rather than once per pixel.
#include <algorithm>
#include <cmath>
#include <type_traits>

#include "coreimage/KernelProgram.h"

namespace qv::ci::detail {

namespace {

// Calls f with the width w (1 to 4) as a compile-time constant, so that the channel loops unroll
// and the point loops vectorise.
template <class F>
void withWidth(int w, F&& f) {
    switch (w) {
    case 1: return f(std::integral_constant<int, 1>{});
    case 2: return f(std::integral_constant<int, 2>{});
    case 3: return f(std::integral_constant<int, 3>{});
    default: return f(std::integral_constant<int, 4>{});
    }
}

// Component c of point i of an argument of width w (1-wide arguments broadcast).
inline float at(const float* a, int w, int i, int c) { return a[i * w + (w == 1 ? 0 : c)]; }

template <class F>
void componentWise1(const float* a, int wa, int n, int w, float* out, F f) {
    if (wa == w) {
        for (int k = 0; k < n * w; ++k) out[k] = f(a[k]);
        return;
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < w; ++c) out[i * w + c] = f(at(a, wa, i, c));
}

template <class F>
void componentWise2(const float* const* args, const int* ws, int n, int w, float* out, F f) {
    const float *a = args[0], *b = args[1];
    if (ws[0] == w && ws[1] == w) {
        for (int k = 0; k < n * w; ++k) out[k] = f(a[k], b[k]);
        return;
    }
    // A vector with a scalar (an offset times a factor, a colour times a gain): the broadcast
    // chosen once per batch, the width known to the compiler.
    if (ws[0] == w && ws[1] == 1) {
        return withWidth(w, [&](auto width) {
            constexpr int W = decltype(width)::value;
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < W; ++c) out[i * W + c] = f(a[i * W + c], b[i]);
        });
    }
    if (ws[0] == 1 && ws[1] == w) {
        return withWidth(w, [&](auto width) {
            constexpr int W = decltype(width)::value;
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < W; ++c) out[i * W + c] = f(a[i], b[i * W + c]);
        });
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < w; ++c) out[i * w + c] = f(at(a, ws[0], i, c), at(b, ws[1], i, c));
}

template <class F>
void componentWise3(const float* const* args, const int* ws, int n, int w, float* out, F f) {
    if (ws[0] == w && ws[1] == w && ws[2] == w) {
        for (int k = 0; k < n * w; ++k) out[k] = f(args[0][k], args[1][k], args[2][k]);
        return;
    }
    for (int i = 0; i < n; ++i)
        for (int c = 0; c < w; ++c)
            out[i * w + c] = f(at(args[0], ws[0], i, c), at(args[1], ws[1], i, c), at(args[2], ws[2], i, c));
}

// The sum over the components of f(a, b) per point, for an argument width known at compile time.
template <class F>
void reduce2(const float* a, const float* b, int wa, int n, float* out, F f) {
    withWidth(wa, [&](auto width) {
        constexpr int W = decltype(width)::value;
        for (int i = 0; i < n; ++i) {
            float s = 0;
            for (int c = 0; c < W; ++c) s += f(a[i * W + c], b[i * W + c]);
            out[i] = s;
        }
    });
}

float smooth(float e0, float e1, float x) {
    const float t = std::clamp((x - e0) / (e1 - e0), 0.f, 1.f);
    return t * t * (3 - 2 * t);
}

void call(const IrNode& node, const float* const* args, const int* ws, int n, float* out) {
    const int w = node.width;
    const float* a = args[0];
    switch (node.fn) {
    case Fn::Length:
        reduce2(a, a, ws[0], n, out, [](float p, float) { return p * p; });
        for (int i = 0; i < n; ++i) out[i] = std::sqrt(out[i]);
        return;
    case Fn::Distance:
        reduce2(a, args[1], ws[0], n, out, [](float p, float q) { return (p - q) * (p - q); });
        for (int i = 0; i < n; ++i) out[i] = std::sqrt(out[i]);
        return;
    case Fn::Dot: return reduce2(a, args[1], ws[0], n, out, [](float p, float q) { return p * q; });
    case Fn::Normalize:
        for (int i = 0; i < n; ++i) {
            float s = 0;
            for (int c = 0; c < w; ++c) s += a[i * w + c] * a[i * w + c];
            const float inv = s > 0 ? 1.f / std::sqrt(s) : 0.f;
            for (int c = 0; c < w; ++c) out[i * w + c] = a[i * w + c] * inv;
        }
        return;
    case Fn::Premultiply:
    case Fn::Unpremultiply:
        for (int i = 0; i < n; ++i) {
            const float alpha = a[4 * i + 3];
            const float f = node.fn == Fn::Premultiply ? alpha : (alpha > 0 ? 1.f / alpha : 0.f);
            for (int c = 0; c < 3; ++c) out[4 * i + c] = a[4 * i + c] * f;
            out[4 * i + 3] = alpha;
        }
        return;
    case Fn::Sqrt: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::sqrt(std::max(x, 0.f)); });
    case Fn::Abs: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::fabs(x); });
    case Fn::Floor: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::floor(x); });
    case Fn::Fract: return componentWise1(a, ws[0], n, w, out, [](float x) { return x - std::floor(x); });
    case Fn::Sin: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::sin(x); });
    case Fn::Cos: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::cos(x); });
    case Fn::Tan: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::tan(x); });
    case Fn::Atan: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::atan(x); });
    case Fn::Exp: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::exp(x); });
    case Fn::Log: return componentWise1(a, ws[0], n, w, out, [](float x) { return std::log(x); });
    case Fn::Sign: return componentWise1(a, ws[0], n, w, out, [](float x) { return float((x > 0) - (x < 0)); });
    case Fn::Atan2: return componentWise2(args, ws, n, w, out, [](float y, float x) { return std::atan2(y, x); });
    case Fn::Pow: return componentWise2(args, ws, n, w, out, [](float x, float y) { return std::pow(x, y); });
    case Fn::Min: return componentWise2(args, ws, n, w, out, [](float x, float y) { return std::min(x, y); });
    case Fn::Max: return componentWise2(args, ws, n, w, out, [](float x, float y) { return std::max(x, y); });
    case Fn::Step: return componentWise2(args, ws, n, w, out, [](float e, float x) { return x < e ? 0.f : 1.f; });
    case Fn::Mod:
        return componentWise2(args, ws, n, w, out, [](float x, float y) { return x - y * std::floor(x / y); });
    case Fn::Clamp:
        return componentWise3(args, ws, n, w, out,
                              [](float x, float lo, float hi) { return std::min(std::max(x, lo), hi); });
    case Fn::Mix: return componentWise3(args, ws, n, w, out, [](float x, float y, float t) { return x + (y - x) * t; });
    case Fn::Smoothstep: return componentWise3(args, ws, n, w, out, smooth);
    case Fn::Compare: return componentWise3(args, ws, n, w, out, [](float x, float p, float q) { return x < 0 ? p : q; });
    }
}

}  // namespace

void evaluateOp(const IrNode& node, const float* const* args, const int* ws, int n, float* out) {
    const int w = node.width;
    switch (node.op) {
    case Op::Neg: return componentWise1(args[0], ws[0], n, w, out, [](float x) { return -x; });
    case Op::Add: return componentWise2(args, ws, n, w, out, [](float x, float y) { return x + y; });
    case Op::Sub: return componentWise2(args, ws, n, w, out, [](float x, float y) { return x - y; });
    case Op::Mul: return componentWise2(args, ws, n, w, out, [](float x, float y) { return x * y; });
    case Op::Div: return componentWise2(args, ws, n, w, out, [](float x, float y) { return x / y; });
    case Op::Swizzle: {
        const float* a = args[0];
        const int wa = ws[0];
        return withWidth(w, [&](auto width) {
            constexpr int W = decltype(width)::value;
            int sw[W];
            for (int c = 0; c < W; ++c) sw[c] = node.swizzle[c];
            for (int i = 0; i < n; ++i)
                for (int c = 0; c < W; ++c) out[i * W + c] = a[i * wa + sw[c]];
        });
    }
    case Op::Construct:
        for (int i = 0; i < n; ++i) {
            int c = 0;
            for (std::size_t k = 0; k < node.args.size(); ++k)
                for (int j = 0; j < ws[k]; ++j) out[i * w + c++] = args[k][i * ws[k] + j];
        }
        return;
    case Op::Call: return call(node, args, ws, n, out);
    default: return;  // leaves and samples are filled by the caller
    }
}

}  // namespace qv::ci::detail
