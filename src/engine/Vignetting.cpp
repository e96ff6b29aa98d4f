#include "engine/Vignetting.h"

using qv::ci::Image;
using qv::ci::InputType;

void Vignetting::initialize() {
    registerOnce<Vignetting>("Vignette Filter");
}

Vignetting::Vignetting(const std::string& name)
    : KernelFilter(name, kName, {
                              {"inputImage", InputType::Image, {}, "Image"},
                              {"inputCenter", InputType::Vector2, qv::Vec2{0, 0}, "Center"},
                              {"inputBrightness", InputType::Number, 0.0, "Amount"},
                              {"inputVigMidpoint", InputType::Number, 0.5, "Midpoint"},
                              {"inputDiagonal", InputType::Number, 1.0, "Diagonal"},
                          }) {}

Image Vignetting::outputImage() {
    const Image input = imageInput("inputImage");
    const qv::ci::Kernel* gain = kernel();
    if (!gain || input.isNull()) return Image();
    const qv::ci::Sampler source(input);
    return gain->apply(source.definition(), {source, vec2Input("inputCenter"), numberInput("inputBrightness"),
                                             numberInput("inputVigMidpoint"), numberInput("inputDiagonal")});
}
