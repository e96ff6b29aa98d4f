#include "unwrap/UnwrapParams.h"

#include <boost/program_options.hpp>

#include <cmath>
#include <iostream>
#include <iterator>

namespace unwrap {

namespace po = boost::program_options;

namespace {

po::options_description describeOptions() {
    po::options_description options("Allowed options", 80);
    // clang-format off
    options.add_options()
        ("help", "produce help message")
        ("inputImage", po::value<std::string>(), "Specify the input image filename.\nMust be either jpeg or tiff")
        ("outputImage", po::value<std::string>(), "specify the output image filename.\nMust be either jpeg or tiff")
        ("outputWidth", po::value<int>(),
         "(Optional)Specify the output image width.\nIf not specified use the input width and height")
        ("outputHeight", po::value<int>(),
         "(Optional)Specify the output image height.\nIf not specified use the input width and height")
        ("inputFOV", po::value<float>(), "Specify the input horizontal field of view")
        ("outputFOV", po::value<float>(), "Specify the output horizontal field of view")
        ("sampler", po::value<std::string>(),
         "(Optional)Specify the sampler to use.\nPossible values are bilinear, gaussian,\nmitchell, lanczos2, "
         "lanczos3 or bspline.\nIf not specified lanczos2 is used.")
        ("noOfThreads", po::value<int>(), "(Optional)Specify the number of threads to use.\nDefault value is 2.");
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

    if (values.count("help")) {
        m_help = true;
        std::cerr << "Unwrap converts fish eye images to perspective images." << std::endl
                  << std::endl
                  << options << std::endl;
        return false;
    }
    if (!values.count("inputImage")) return fail("Error : You didn't specify an input image!");
    if (!values.count("outputImage")) return fail("Error : You didn't specify an output image!");
    if (!values.count("inputFOV")) return fail("Error : You didn't specify an inputFOV!");
    if (!values.count("outputFOV")) return fail("Error : You didn't specify an outputFOV!");
    inputImage = values["inputImage"].as<std::string>();
    outputImage = values["outputImage"].as<std::string>();
    inputFOV = values["inputFOV"].as<float>();
    outputFOV = values["outputFOV"].as<float>();
    if (!std::isfinite(inputFOV) || !std::isfinite(outputFOV))
        return fail("Error : The fields of view must be numbers of degrees!");

    // The engine takes the input's size when either side is 0, so one side alone could not be honoured.
    const bool widthGiven = values.count("outputWidth") != 0, heightGiven = values.count("outputHeight") != 0;
    if (widthGiven != heightGiven) return fail("Error : Specify both outputWidth and outputHeight, or neither!");
    sizeGiven = widthGiven;
    outputWidth = sizeGiven ? values["outputWidth"].as<int>() : 0;
    outputHeight = sizeGiven ? values["outputHeight"].as<int>() : 0;
    if (outputWidth < 0 || outputHeight < 0) return fail("Error : The output size cannot be negative!");
    if (std::uint64_t(outputWidth) * std::uint64_t(outputHeight) > kMaxOutputPixels)
        return fail("Error : The output size " + std::to_string(outputWidth) + "x" + std::to_string(outputHeight) +
                    " is above the limit of " + std::to_string(kMaxOutputPixels) + " pixels!");

    if (!values.count("sampler")) {
        std::cerr << "Using default Lanczos2 sampler" << std::endl;
        sampler = samplerCode(kDefaultSampler);
    } else {
        const std::string name = values["sampler"].as<std::string>();
        sampler = samplerCodeOfName(name);
        if (sampler < 0) return fail(name + " is not a recognized sampler type.");
    }

    noOfThreads = values.count("noOfThreads") ? values["noOfThreads"].as<int>() : 2;
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
