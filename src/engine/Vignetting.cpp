#include "engine/Vignetting.h"

#include <mutex>

#include "engine/KernelResource.h"

using qv::ci::Image;
using qv::ci::InputType;

namespace {

KernelResource& vignettingKernel() {
    static KernelResource resource(Vignetting::kName);
    return resource;
}

std::vector<qv::ci::InputSpec> vignettingInputs() {
    return {
        {"inputImage", InputType::Image, {}, "Image"},
        {"inputCenter", InputType::Vector2, qv::Vec2{0, 0}, "Center"},
        {"inputBrightness", InputType::Number, 0.0, "Amount"},
        {"inputVigMidpoint", InputType::Number, 0.5, "Midpoint"},
        {"inputDiagonal", InputType::Number, 1.0, "Diagonal"},
    };
}

}  // namespace

void Vignetting::initialize() {
    static std::once_flag once;
    std::call_once(once, [] {
        qv::ci::Filter::registerFilterName(kName, &Vignetting::filterWithName,
                                           qv::Value(qv::Dictionary{{"CIAttributeFilterDisplayName", "Vignette Filter"}}));
    });
}

std::shared_ptr<qv::ci::Filter> Vignetting::filterWithName(const std::string&) {
    return std::make_shared<Vignetting>();
}

Vignetting::Vignetting() : Filter(kName, vignettingInputs()), m_kernel(vignettingKernel().kernel()) {}

Image Vignetting::outputImage() {
    const Image input = imageInput("inputImage");
    // A kernel that could not be loaded when this instance was made is tried again here.
    if (!m_kernel) m_kernel = vignettingKernel().kernel();
    if (!m_kernel || input.isNull()) return Image();
    const qv::ci::Sampler source(input);
    return m_kernel->apply(source.definition(),
                           {source, vec2Input("inputCenter"), numberInput("inputBrightness"),
                            numberInput("inputVigMidpoint"), numberInput("inputDiagonal")});
}
