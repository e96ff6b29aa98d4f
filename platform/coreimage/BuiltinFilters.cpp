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
         {imageSpec("inputImage"), {"inputTransform", InputType::Transform, FilterValue(AffineTransform{}), ""}},
         [](const BuiltinFilter& f) { return affineTransformed(f.imageInput("inputImage"), f.transformInput("inputTransform")); }},
        {"CILanczosScaleTransform",
         {imageSpec("inputImage"), number("inputScale", 1), number("inputAspectRatio", 1)},
         [](const BuiltinFilter& f) {
             const double scale = f.numberInput("inputScale"), aspect = f.numberInput("inputAspectRatio");
             return lanczosScaled(f.imageInput("inputImage"), scale * aspect, scale);
         }},
        {"CIColorMatrix",
         {imageSpec("inputImage"), vec4("inputRVector", {1, 0, 0, 0}), vec4("inputGVector", {0, 1, 0, 0}),
          vec4("inputBVector", {0, 0, 1, 0}), vec4("inputAVector", {0, 0, 0, 1}), vec4("inputBiasVector", {0, 0, 0, 0})},
         [](const BuiltinFilter& f) {
             ColorMatrix m;
             const char* keys[4] = {"inputRVector", "inputGVector", "inputBVector", "inputAVector"};
             for (int r = 0; r < 4; ++r) {
                 const Vec4 v = f.vec4Input(keys[r]);
                 for (int c = 0; c < 4; ++c) m.rows[r][c] = float(v[c]);
             }
             const Vec4 bias = f.vec4Input("inputBiasVector");
             for (int c = 0; c < 4; ++c) m.bias[c] = float(bias[c]);
             return colorMatrixApplied(f.imageInput("inputImage"), m);
         }},
        {"CIMaximumCompositing",
         {imageSpec("inputImage"), imageSpec("inputBackgroundImage")},
         [](const BuiltinFilter& f) {
             return maximumComposited(f.imageInput("inputImage"), f.imageInput("inputBackgroundImage"));
         }},
        {"CISourceAtopCompositing",
         {imageSpec("inputImage"), imageSpec("inputBackgroundImage")},
         [](const BuiltinFilter& f) {
             return sourceAtopComposited(f.imageInput("inputImage"), f.imageInput("inputBackgroundImage"));
         }},
        {"CIPerspectiveTransform",
         {imageSpec("inputImage"), vec2("inputTopLeft", {118, 484}), vec2("inputTopRight", {646, 507}),
          vec2("inputBottomRight", {548, 140}), vec2("inputBottomLeft", {155, 153})},
         [](const BuiltinFilter& f) {
             return perspectiveTransformed(f.imageInput("inputImage"), point(f.vec2Input("inputTopLeft")),
                                           point(f.vec2Input("inputTopRight")), point(f.vec2Input("inputBottomRight")),
                                           point(f.vec2Input("inputBottomLeft")));
         }},
        {"CICrop",
         {imageSpec("inputImage"), vec4("inputRectangle", {-kHuge, -kHuge, 2 * kHuge, 2 * kHuge})},
         [](const BuiltinFilter& f) {
             const Vec4 r = f.vec4Input("inputRectangle");
             return cropped(f.imageInput("inputImage"), Rect(r.x, r.y, r.z, r.w));
         }},
        {"CIExposureAdjust",
         {imageSpec("inputImage"), number("inputEV", 0.5)},
         [](const BuiltinFilter& f) { return exposureAdjusted(f.imageInput("inputImage"), f.numberInput("inputEV")); }},
        {"CIRadialGradient",
         {vec2("inputCenter", {150, 150}), number("inputRadius0", 5), number("inputRadius1", 100),
          color("inputColor0", {1, 1, 1, 1}), color("inputColor1", {0, 0, 0, 1})},
         [](const BuiltinFilter& f) {
             return radialGradient(point(f.vec2Input("inputCenter")), f.numberInput("inputRadius0"),
                                   f.numberInput("inputRadius1"), f.colorInput("inputColor0"), f.colorInput("inputColor1"));
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
