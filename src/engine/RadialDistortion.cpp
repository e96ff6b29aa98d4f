#include "engine/RadialDistortion.h"

#include <mutex>

#include "engine/KernelResource.h"

using qv::ci::Image;
using qv::ci::InputType;

namespace {

KernelResource& radialKernel() {
    static KernelResource resource(RadialDistortion::kName);
    return resource;
}

std::vector<qv::ci::InputSpec> radialInputs() {
    return {
        {"inputImage", InputType::Image, {}, "Image"},
        {"inputCenter", InputType::Vector2, qv::Vec2{0, 0}, "Center"},
        {"inputParams", InputType::Vector4, qv::Vec4{0, 0, 0, 1}, "Coefficients"},
        {"inputCorrectionRadiusVector", InputType::Vector2, qv::Vec2{1, 0}, "Correction Radius"},
    };
}

}  // namespace

void RadialDistortion::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        qv::ci::Filter::registerFilterName(kName, &RadialDistortion::filterWithName,
                                           qv::Value(qv::Dictionary{{"CIAttributeFilterDisplayName", "Radial Distortion"}}));
    });
}

std::shared_ptr<qv::ci::Filter> RadialDistortion::filterWithName(const std::string&) {
    return std::make_shared<RadialDistortion>();
}

RadialDistortion::RadialDistortion() : Filter(kName, radialInputs()), m_kernel(radialKernel().kernel()) {}

qv::Rect RadialDistortion::regionOf(int, const qv::Rect& destRect) {
    return destRect.insetBy(-kRegionMargin, -kRegionMargin);
}

Image RadialDistortion::outputImage() {
    const Image input = imageInput("inputImage");
    // A kernel that could not be loaded when this instance was made is tried again here.
    if (!m_kernel) m_kernel = radialKernel().kernel();
    if (!m_kernel || input.isNull()) return Image();
    const qv::ci::Sampler source(input);
    const qv::Rect domain = source.definition().unionWith(input.extent());
    return m_kernel->apply(domain,
                           {source, vec2Input("inputCenter"), vec4Input("inputParams"),
                            vec2Input("inputCorrectionRadiusVector")},
                           &RadialDistortion::regionOf);
}
