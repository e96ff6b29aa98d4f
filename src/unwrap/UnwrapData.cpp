#include "unwrap/UnwrapData.h"

#include "unwrap/ImageFile.h"
#include "unwrap/Unwrap.h"

#include <boost/gil/image_view_factory.hpp>

#include <climits>
#include <cmath>
#include <exception>
#include <iostream>
#include <new>

namespace {

// Why an output size cannot be used (empty when it can). 0 stands for the input's size.
std::string sizeError(float size) {
    if (!std::isfinite(size) || size < 0.0f) return "the output size must be a number of pixels, 0 or more";
    if (size != 0.0f && size < 1.0f) return "the output size must be at least one pixel";
    if (size >= float(INT_MAX)) return "the output size is too large";
    return std::string();
}

int refuse(const std::string& why) {
    std::cerr << "Unwrap: " << why << std::endl;
    return -1;
}

}  // namespace

extern "C" int UnwrapData(const char* inputPath, const char* outputPath, float outputWidth, float outputHeight,
                          int inputFOV, int outputFOV, int samplerType, unsigned long threads) {
    try {
        if (!inputPath || !*inputPath) return refuse("no input file");
        if (!outputPath || !*outputPath) return refuse("no output file");
        for (const float size : {outputWidth, outputHeight})
            if (const std::string why = sizeError(size); !why.empty()) return refuse(why);
        if (const std::string why = unwrap::requestError(float(inputFOV), float(outputFOV), samplerType);
            !why.empty())
            return refuse(why);

        unwrap::Image input;
        try {
            unwrap::readImage(inputPath, input);
        } catch (const std::ios_base::failure& e) {
            std::cerr << e.what() << std::endl;
            return -1;
        }
        const unwrap::ConstImageView source = boost::gil::const_view(input);
        unwrap::checkWritable(outputPath, source);  // before the work, not after it

        const bool inputSize = outputWidth == 0.0f || outputHeight == 0.0f;
        const int width = inputSize ? int(source.width()) : int(outputWidth);
        const int height = inputSize ? int(source.height()) : int(outputHeight);
        unwrap::OutputImage output;
        unwrap::construct_image(source, width, height, output);
        if (unwrap::unwrapImage(source, output.view, float(inputFOV), float(outputFOV), samplerType, threads) != 0)
            return -1;
        unwrap::writeImage(outputPath, output.constView());
        return 0;
    } catch (const std::bad_alloc&) {
        return refuse("not enough memory for the images");
    } catch (const std::exception& e) {
        std::cerr << e.what() << std::endl;
    } catch (...) {
        std::cerr << "Unwrap: unknown failure" << std::endl;
    }
    return -1;
}
