#pragma once
// The filter "MyVignetting": a radial gain that undoes (or adds) the darkening towards the corners.
// Inputs: inputImage, inputCenter (pixels), inputBrightness (the amount: gain 1 + amount at the
// corners), inputVigMidpoint (0..1, where the rise begins), inputDiagonal (pixels).
#include "engine/KernelFilter.h"

class Vignetting : public KernelFilter {
public:
    static constexpr const char* kName = "MyVignetting";
    static constexpr const char* kInputBrightness = "inputBrightness";
    static constexpr const char* kInputVigMidpoint = "inputVigMidpoint";
    static constexpr const char* kInputDiagonal = "inputDiagonal";

    // Registers the filter name with the Core Image layer (once per process).
    static void initialize();

    // The filter under its own name, or under the name an image unit gives it.
    explicit Vignetting(const std::string& name = kName);
    qv::ci::Image outputImage() override;
};
