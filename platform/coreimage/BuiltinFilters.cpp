#include "coreimage/BuiltinFilters.h"

#include "coreimage/Operations.h"

namespace qv::ci::detail {

namespace {

class BuiltinFilter;
using Build = Image (*)(const BuiltinFilter&);

struct Definition {
    const char* name;
    std::vector<InputSpec> inputs;
    Build build;
};

class BuiltinFilter final : public Filter {
public:
    BuiltinFilter(const Definition& d) : Filter(d.name, d.inputs), m_build(d.build) {}
    Image outputImage() override { return m_build(*this); }

    using Filter::colorInput;
    using Filter::imageInput;
    using Filter::numberInput;
    using Filter::transformInput;
    using Filter::vec2Input;
    using Filter::vec4Input;

private:
    Build m_build;
};

InputSpec imageSpec(const char* key) { return {key, InputType::Image, FilterValue(), ""}; }
InputSpec number(const char* key, double def) { return {key, InputType::Number, FilterValue(def), ""}; }
InputSpec vec2(const char* key, Vec2 def) { return {key, InputType::Vector2, FilterValue(def), ""}; }
InputSpec vec4(const char* key, Vec4 def) { return {key, InputType::Vector4, FilterValue(def), ""}; }
InputSpec color(const char* key, Color def) { return {key, InputType::Color, FilterValue(def), ""}; }

Point point(Vec2 v) { return {v.x, v.y}; }

const std::vector<Definition>& definitions() {
    constexpr double kHuge = 8.9884656743115785e307;
    static const std::vector<Definition> table = {
        {"CIAffineTransform",
         {imageSpec(kInputImage), {kInputTransform, InputType::Transform, FilterValue(AffineTransform{}), ""}},
         [](const BuiltinFilter& f) { return affineTransformed(f.imageInput(kInputImage), f.transformInput(kInputTransform)); }},
        {"CILanczosScaleTransform",
         {imageSpec(kInputImage), number(kInputScale, 1), number(kInputAspectRatio, 1)},
         [](const BuiltinFilter& f) {
             const double scale = f.numberInput(kInputScale), aspect = f.numberInput(kInputAspectRatio);
             return lanczosScaled(f.imageInput(kInputImage), scale * aspect, scale);
         }},
        {"CIColorMatrix",
         {imageSpec(kInputImage), vec4(kInputRVector, {1, 0, 0, 0}), vec4(kInputGVector, {0, 1, 0, 0}),
          vec4(kInputBVector, {0, 0, 1, 0}), vec4(kInputAVector, {0, 0, 0, 1}), vec4(kInputBiasVector, {0, 0, 0, 0})},
         [](const BuiltinFilter& f) {
             ColorMatrix m;
             const char* keys[4] = {kInputRVector, kInputGVector, kInputBVector, kInputAVector};
             for (int r = 0; r < 4; ++r) {
                 const Vec4 v = f.vec4Input(keys[r]);
                 for (int c = 0; c < 4; ++c) m.rows[r][c] = float(v[c]);
             }
             const Vec4 bias = f.vec4Input(kInputBiasVector);
             for (int c = 0; c < 4; ++c) m.bias[c] = float(bias[c]);
             return colorMatrixApplied(f.imageInput(kInputImage), m);
         }},
        {"CIMaximumCompositing",
         {imageSpec(kInputImage), imageSpec(kInputBackgroundImage)},
         [](const BuiltinFilter& f) {
             return maximumComposited(f.imageInput(kInputImage), f.imageInput(kInputBackgroundImage));
         }},
        {"CISourceAtopCompositing",
         {imageSpec(kInputImage), imageSpec(kInputBackgroundImage)},
         [](const BuiltinFilter& f) {
             return sourceAtopComposited(f.imageInput(kInputImage), f.imageInput(kInputBackgroundImage));
         }},
        {"CIPerspectiveTransform",
         {imageSpec(kInputImage), vec2(kInputTopLeft, {118, 484}), vec2(kInputTopRight, {646, 507}),
          vec2(kInputBottomRight, {548, 140}), vec2(kInputBottomLeft, {155, 153})},
         [](const BuiltinFilter& f) {
             return perspectiveTransformed(f.imageInput(kInputImage), point(f.vec2Input(kInputTopLeft)),
                                           point(f.vec2Input(kInputTopRight)), point(f.vec2Input(kInputBottomRight)),
                                           point(f.vec2Input(kInputBottomLeft)));
         }},
        {"CICrop",
         {imageSpec(kInputImage), vec4(kInputRectangle, {-kHuge, -kHuge, 2 * kHuge, 2 * kHuge})},
         [](const BuiltinFilter& f) {
             const Vec4 r = f.vec4Input(kInputRectangle);
             return cropped(f.imageInput(kInputImage), Rect(r.x, r.y, r.z, r.w));
         }},
        {"CIExposureAdjust",
         {imageSpec(kInputImage), number(kInputEV, 0.5)},
         [](const BuiltinFilter& f) { return exposureAdjusted(f.imageInput(kInputImage), f.numberInput(kInputEV)); }},
        {"CIRadialGradient",
         {vec2(kInputCenter, {150, 150}), number(kInputRadius0, 5), number(kInputRadius1, 100),
          color(kInputColor0, {1, 1, 1, 1}), color(kInputColor1, {0, 0, 0, 1})},
         [](const BuiltinFilter& f) {
             return radialGradient(point(f.vec2Input(kInputCenter)), f.numberInput(kInputRadius0),
                                   f.numberInput(kInputRadius1), f.colorInput(kInputColor0), f.colorInput(kInputColor1));
         }},
    };
    return table;
}

}  // namespace

std::shared_ptr<Filter> makeBuiltinFilter(const std::string& name) {
    for (const auto& d : definitions())
        if (name == d.name) return std::make_shared<BuiltinFilter>(d);
    return nullptr;
}

std::vector<std::string> builtinFilterNames() {
    std::vector<std::string> names;
    for (const auto& d : definitions()) names.emplace_back(d.name);
    return names;
}

}  // namespace qv::ci::detail
