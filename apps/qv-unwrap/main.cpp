// qv-unwrap: unwraps a fisheye JPEG or TIFF file into a perspective one with the engine's C entry.
//   qv-unwrap --inputImage fish.jpg --outputImage view.tif --inputFOV 180 --outputFOV 90
//             [--outputWidth 4000 --outputHeight 3000] [--sampler lanczos3] [--noOfThreads 8]
#include "unwrap/UnwrapData.h"
#include "unwrap/UnwrapParams.h"

#include <csignal>

#include <climits>
#include <iostream>

namespace {

// The entry takes whole degrees.
bool wholeDegrees(float degrees, int& out) {
    if (!(degrees > float(INT_MIN) && degrees < float(INT_MAX))) return false;
    out = int(degrees);
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // A write past the file-size limit fails like a full disk (the engine reports it) instead of
    // killing the program halfway through its output.
    std::signal(SIGXFSZ, SIG_IGN);
    unwrap::UnwrapParams params;
    if (!params.parseCommandLineArguments(argc, argv)) return params.helpRequested() ? 0 : 2;
    std::cout << params;
    int inputFOV = 0, outputFOV = 0;
    if (!wholeDegrees(params.inputFOV, inputFOV) || !wholeDegrees(params.outputFOV, outputFOV)) {
        std::cerr << "qv-unwrap: the fields of view are out of range" << std::endl;
        return 2;
    }
    const int result = UnwrapData(params.inputImage.c_str(), params.outputImage.c_str(), float(params.outputWidth),
                                  float(params.outputHeight), inputFOV, outputFOV, params.sampler,
                                  (unsigned long)params.noOfThreads);
    if (result != 0) {
        std::cerr << "qv-unwrap: the unwrap failed" << std::endl;
        return 1;
    }
    return 0;
}
