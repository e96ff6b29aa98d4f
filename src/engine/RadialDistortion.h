#pragma once
// The filter "MyRadialDistortion": corrects radial lens distortion with the radial polynomial
// kernel. Inputs: inputImage, inputCenter (pixels), inputParams (a, b, c, d),
// inputCorrectionRadiusVector ((R, 0): the pixels that the polynomial's unit radius stands for).
#include <memory>

#include "coreimage/CIFilter.h"
#include "coreimage/CIKernel.h"

class RadialDistortion : public qv::ci::Filter {
public:
    static constexpr const char* kName = "MyRadialDistortion";
    // How far beyond a requested rectangle the kernel may read: outward-displaced pixels.
    static constexpr double kRegionMargin = 200;

    // Registers the filter name with the Core Image layer (once per process).
    static void initialize();
    // A new instance whatever the name, as the registered constructor.
    static std::shared_ptr<qv::ci::Filter> filterWithName(const std::string& name);

    RadialDistortion();
    qv::ci::Image outputImage() override;

    // The region of interest of the kernel: the requested rectangle grown on every side.
    static qv::Rect regionOf(int samplerIndex, const qv::Rect& destRect);

private:
    std::shared_ptr<const qv::ci::Kernel> m_kernel;
};
