#include "engine/RadialDistortion.h"

using qv::ci::Image;
using qv::ci::InputType;

void RadialDistortion::initialize() {
    registerOnce<RadialDistortion>("Radial Distortion");
}

RadialDistortion::RadialDistortion(const std::string& name)
    : KernelFilter(name, kName, {
                              {qv::ci::kInputImage, InputType::Image, {}, "Image"},
                              {qv::ci::kInputCenter, InputType::Vector2, qv::Vec2{0, 0}, "Center"},
                              {kInputParams, InputType::Vector4, qv::Vec4{0, 0, 0, 1}, "Coefficients"},
                              {kInputCorrectionRadiusVector, InputType::Vector2, qv::Vec2{1, 0}, "Correction Radius"},
                          }) {}

qv::Rect RadialDistortion::regionOf(int, const qv::Rect& destRect) {
    return destRect.insetBy(-kRegionMargin, -kRegionMargin);
}

Image RadialDistortion::outputImage() {
    const Image input = imageInput(qv::ci::kInputImage);
    const qv::ci::Kernel* radial = kernel();
    if (!radial || input.isNull()) return Image();
    const qv::ci::Sampler source(input);
    const qv::Rect domain = source.definition().unionWith(input.extent());
    return radial->apply(domain,
                         {source, vec2Input(qv::ci::kInputCenter), vec4Input(kInputParams), vec2Input(kInputCorrectionRadiusVector)},
                         &RadialDistortion::regionOf);
}
