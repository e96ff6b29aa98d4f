#include "unwrap/Warp.h"

namespace unwrap {

PerspectiveToFishEyeFn makePerspectiveToFishEyeFn(int sourceWidth, Point2 sourceCentre, float inputFOV,
                                                  int outputWidth, Point2 outputCentre, float outputFOV) {
    const PerspectiveProjector output(float(outputWidth), outputFOV, outputCentre);
    const FishEyeProjector source(float(sourceWidth), inputFOV, sourceCentre);
    return PerspectiveToFishEyeFn(output, source);
}

std::unique_ptr<WarpFunction> createPerspectiveToFishEyeWarpFn(int sourceWidth, int /*sourceHeight*/,
                                                               Point2 sourceCentre, float inputFOV,
                                                               int outputWidth, int rowStart, int rowEnd,
                                                               Point2 outputCentre, float outputFOV) {
    const PerspectiveToFishEyeFn fn =
        makePerspectiveToFishEyeFn(sourceWidth, sourceCentre, inputFOV, outputWidth, outputCentre, outputFOV);
    return std::make_unique<WarpLUT<PerspectiveToFishEyeFn>>(fn, kWarpGridStep, outputWidth, rowStart, rowEnd);
}

}  // namespace unwrap
