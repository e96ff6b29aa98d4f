#include "unwrap/UnwrapParams.h"

#include <boost/program_options.hpp>

#include <cmath>
#include <iostream>
#include <iterator>

namespace unwrap {

namespace po = boost::program_options;

namespace {

// The command line's option names.
namespace option {
constexpr char kHelp[] = "help";
constexpr char kInputImage[] = "inputImage";
constexpr char kOutputImage[] = "outputImage";
constexpr char kOutputWidth[] = "outputWidth";
constexpr char kOutputHeight[] = "outputHeight";
constexpr char kInputFOV[] = "inputFOV";
constexpr char kOutputFOV[] = "outputFOV";
constexpr char kSampler[] = "sampler";
constexpr char kNoOfThreads[] = "noOfThreads";
}  // namespace option

po::options_description describeOptions() {
    po::options_description options("Allowed options", 80);
    // clang-format off
    options.add_options()
        (option::kHelp, "produce help message")
        (option::kInputImage, po::value<std::string>(), "Specify the input image filename.\nMust be either jpeg or tiff")
        (option::kOutputImage, po::value<std::string>(), "specify the output image filename.\nMust be either jpeg or tiff")
        (option::kOutputWidth, po::value<int>(),
         "(Optional)Specify the output image width.\nIf not specified use the input width and height")
        (option::kOutputHeight, po::value<int>(),
         "(Optional)Specify the output image height.\nIf not specified use the input width and height")
        (option::kInputFOV, po::value<float>(), "Specify the input horizontal field of view")
        (option::kOutputFOV, po::value<float>(), "Specify the output horizontal field of view")
        (option::kSampler, po::value<std::string>(),
         "(Optional)Specify the sampler to use.\nPossible values are bilinear, gaussian,\nmitchell, lanczos2, "
         "lanczos3 or bspline.\nIf not specified lanczos2 is used.")
        (option::kNoOfThreads, po::value<int>(), "(Optional)Specify the number of threads to use.\nDefault value is 2.");
    // clang-format on
    return options;
}

int samplerCodeOfName(const std::string& name) {
    const auto sampler = samplerNamed(name);
    return sampler ? samplerCode(*sampler) : -1;
}

}  // namespace

bool UnwrapParams::parseCommandLineArguments(int argc, const char* const argv[]) {
    const po::options_description options = describeOptions();
    auto fail = [&options](const std::string& message) {
        std::cerr << message << std::endl << options << std::endl;
        return false;
    };

    m_help = false;
    po::variables_map values;
    try {
        po::store(po::parse_command_line(argc, argv, options), values);
        po::notify(values);
    } catch (const po::error& e) {
        return fail(std::string("Error : ") + e.what());
    }

    if (values.count(option::kHelp)) {
        m_help = true;
        std::cerr << "Unwrap converts fish eye images to perspective images." << std::endl
                  << std::endl
                  << options << std::endl;
        return false;
    }
    if (!values.count(option::kInputImage)) return fail("Error : You didn't specify an input image!");
    if (!values.count(option::kOutputImage)) return fail("Error : You didn't specify an output image!");
    if (!values.count(option::kInputFOV)) return fail("Error : You didn't specify an inputFOV!");
    if (!values.count(option::kOutputFOV)) return fail("Error : You didn't specify an outputFOV!");
    inputImage = values[option::kInputImage].as<std::string>();
    outputImage = values[option::kOutputImage].as<std::string>();
    inputFOV = values[option::kInputFOV].as<float>();
    outputFOV = values[option::kOutputFOV].as<float>();
    if (!std::isfinite(inputFOV) || !std::isfinite(outputFOV))
        return fail("Error : The fields of view must be numbers of degrees!");

    // The engine takes the input's size when either side is 0, so one side alone could not be honoured.
    const bool widthGiven = values.count(option::kOutputWidth) != 0, heightGiven = values.count(option::kOutputHeight) != 0;
    if (widthGiven != heightGiven) return fail("Error : Specify both outputWidth and outputHeight, or neither!");
    sizeGiven = widthGiven;
    outputWidth = sizeGiven ? values[option::kOutputWidth].as<int>() : 0;
    outputHeight = sizeGiven ? values[option::kOutputHeight].as<int>() : 0;
    if (outputWidth < 0 || outputHeight < 0) return fail("Error : The output size cannot be negative!");
    if (std::uint64_t(outputWidth) * std::uint64_t(outputHeight) > kMaxOutputPixels)
        return fail("Error : The output size " + std::to_string(outputWidth) + "x" + std::to_string(outputHeight) +
                    " is above the limit of " + std::to_string(kMaxOutputPixels) + " pixels!");

    if (!values.count(option::kSampler)) {
        std::cerr << "Using default Lanczos2 sampler" << std::endl;
        sampler = samplerCode(kDefaultSampler);
    } else {
        const std::string name = values[option::kSampler].as<std::string>();
        sampler = samplerCodeOfName(name);
        if (sampler < 0) return fail(name + " is not a recognized sampler type.");
    }

    noOfThreads = values.count(option::kNoOfThreads) ? values[option::kNoOfThreads].as<int>() : 2;
    if (noOfThreads < 0) return fail("Error : The number of threads cannot be negative!");
    return true;
}

std::ostream& operator<<(std::ostream& out, const UnwrapParams& params) {
    out << "Input File Name : " << params.inputImage << ", input field of view : " << params.inputFOV << std::endl
        << "Output File Name : " << params.outputImage << ", output field of view : " << params.outputFOV
        << std::endl
        << "Output Size : " << params.outputWidth << "x" << params.outputHeight << std::endl;
    return out;
}

}  // namespace unwrap
