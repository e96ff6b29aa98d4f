#pragma once
// A parsed kernel: its parameters and its body inlined into one expression graph (the body is
// straight-line code, so every local is replaced by the expression last assigned to it).
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "coreimage/CIKernel.h"

namespace qv::ci::detail {

enum class Op : std::uint8_t {
    Const,          // value[0..width)
    Param,          // parameter `param` (not a sampler)
    DestCoord,      // the position being computed
    Sample,         // sample(sampler `param`, args[0])
    SamplerExtent,  // extent of sampler `param`
    Neg,
    Add,
    Sub,
    Mul,
    Div,
    Swizzle,    // components swizzle[0..width) of args[0]
    Construct,  // vecN(args...)
    Call,       // built-in function `fn`
};

enum class Fn : std::uint8_t {
    Length, Distance, Dot, Normalize, Sqrt, Abs, Floor, Fract, Sin, Cos, Tan, Atan, Atan2, Exp, Log, Sign,
    Pow, Min, Max, Step, Mod, Clamp, Mix, Smoothstep, Compare, Premultiply, Unpremultiply,
};

struct IrNode {
    Op op = Op::Const;
    Fn fn = Fn::Length;
    int width = 1;  // 1 to 4 floats
    std::vector<int> args;
    float value[4] = {0, 0, 0, 0};
    int param = -1;
    std::uint8_t swizzle[4] = {0, 0, 0, 0};
};

struct KernelProgram {
    std::string name;
    std::vector<KernelParameter> params;
    std::vector<IrNode> nodes;  // every node's arguments come before it
    int result = -1;
};

// Whether two programs compute the same thing: the same parameter types, nodes and result.
bool sameProgram(const KernelProgram& a, const KernelProgram& b);

// Every kernel of the text, or nothing on the first error; `reason` then says what it is.
std::vector<std::shared_ptr<const KernelProgram>> parseKernels(const std::string& source, std::string& reason);

// One operation (not Const, Param, DestCoord, Sample or SamplerExtent) over n points. args[k]
// holds n * width(args[k]) floats, point after point; a 1-wide argument of a wider operation is
// broadcast. out receives n * node.width floats.
void evaluateOp(const IrNode& node, const float* const* args, const int* argWidths, int n, float* out);

}  // namespace qv::ci::detail
