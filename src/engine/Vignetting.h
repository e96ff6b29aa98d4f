#pragma once
// The filter "MyVignetting": a radial gain that undoes (or adds) the darkening towards the corners.
// Inputs: inputImage, inputCenter (pixels), inputBrightness (the amount: gain 1 + amount at the
// corners), inputVigMidpoint (0..1, where the rise begins), inputDiagonal (pixels).
#include <memory>

#include "coreimage/CIFilter.h"
#include "coreimage/CIKernel.h"

class Vignetting : public qv::ci::Filter {
public:
    static constexpr const char* kName = "MyVignetting";

    static void initialize();
    static std::shared_ptr<qv::ci::Filter> filterWithName(const std::string& name);

    Vignetting();
    qv::ci::Image outputImage() override;

private:
    std::shared_ptr<const qv::ci::Kernel> m_kernel;
};
