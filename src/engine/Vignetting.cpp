#include "engine/Vignetting.h"

using qv::ci::Image;
using qv::ci::InputType;

void Vignetting::initialize() {
    registerOnce<Vignetting>("Vignette Filter");
}

Vignetting::Vignetting(const std::string& name)
    : KernelFilter(name, kName, {
                              {qv::ci::kInputImage, InputType::Image, {}, "Image"},
                              {qv::ci::kInputCenter, InputType::Vector2, qv::Vec2{0, 0}, "Center"},
                              {kInputBrightness, InputType::Number, 0.0, "Amount"},
                              {kInputVigMidpoint, InputType::Number, 0.5, "Midpoint"},
                              {kInputDiagonal, InputType::Number, 1.0, "Diagonal"},
                          }) {}

Image Vignetting::outputImage() {
    const Image input = imageInput(qv::ci::kInputImage);
    const qv::ci::Kernel* gain = kernel();
    if (!gain || input.isNull()) return Image();
    const qv::ci::Sampler source(input);
    return gain->apply(source.definition(), {source, vec2Input(qv::ci::kInputCenter), numberInput(kInputBrightness),
                                             numberInput(kInputVigMidpoint), numberInput(kInputDiagonal)});
}
