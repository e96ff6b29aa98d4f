#pragma once
// The filter "MyRadialDistortion": corrects radial lens distortion with the radial polynomial
// kernel. Inputs: inputImage, inputCenter (pixels), inputParams (a, b, c, d),
// inputCorrectionRadiusVector ((R, 0): the pixels that the polynomial's unit radius stands for).
#include "engine/KernelFilter.h"

class RadialDistortion : public KernelFilter {
public:
    static constexpr const char* kName = "MyRadialDistortion";
    static constexpr const char* kInputParams = "inputParams";
    static constexpr const char* kInputCorrectionRadiusVector = "inputCorrectionRadiusVector";
    // How far beyond a requested rectangle the kernel may read: outward-displaced pixels.
    static constexpr double kRegionMargin = 200;

    // Registers the filter name with the Core Image layer (once per process).
    static void initialize();

    // The filter under its own name, or under the name an image unit gives it.
    explicit RadialDistortion(const std::string& name = kName);
    qv::ci::Image outputImage() override;

    // The region of interest of the kernel: the requested rectangle grown on every side.
    static qv::Rect regionOf(int samplerIndex, const qv::Rect& destRect);
};
