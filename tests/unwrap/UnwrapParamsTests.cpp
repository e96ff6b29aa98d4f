#include "unwrap/UnwrapParams.h"

#include <gtest/gtest.h>

#include <sstream>
#include <vector>

using unwrap::UnwrapParams;

namespace {

struct Parse {
    bool complete;
    UnwrapParams params;
    std::string errors;
};

Parse parse(std::vector<const char*> arguments) {
    arguments.insert(arguments.begin(), "qv-unwrap");
    Parse result{false, UnwrapParams(), ""};
    testing::internal::CaptureStderr();
    result.complete = result.params.parseCommandLineArguments(int(arguments.size()), arguments.data());
    result.errors = testing::internal::GetCapturedStderr();
    return result;
}

const std::vector<const char*> kRequired = {"--inputImage", "in.jpg", "--outputImage", "out.tif",
                                            "--inputFOV",   "180",    "--outputFOV",   "90"};

std::vector<const char*> requiredAnd(std::vector<const char*> more) {
    std::vector<const char*> arguments = kRequired;
    arguments.insert(arguments.end(), more.begin(), more.end());
    return arguments;
}

}  // namespace

TEST(UnwrapParams, ACompleteCommandLine) {
    const Parse result = parse(requiredAnd({"--outputWidth", "4000", "--outputHeight", "3000", "--sampler",
                                            "lanczos3", "--noOfThreads", "8"}));
    ASSERT_TRUE(result.complete) << result.errors;
    EXPECT_EQ(result.params.inputImage, "in.jpg");
    EXPECT_EQ(result.params.outputImage, "out.tif");
    EXPECT_EQ(result.params.inputFOV, 180.0f);
    EXPECT_EQ(result.params.outputFOV, 90.0f);
    EXPECT_TRUE(result.params.sizeGiven);
    EXPECT_EQ(result.params.outputWidth, 4000);
    EXPECT_EQ(result.params.outputHeight, 3000);
    EXPECT_EQ(result.params.sampler, 4);
    EXPECT_EQ(result.params.noOfThreads, 8);
    std::ostringstream printed;
    printed << result.params;
    EXPECT_EQ(printed.str(),
              "Input File Name : in.jpg, input field of view : 180\n"
              "Output File Name : out.tif, output field of view : 90\n"
              "Output Size : 4000x3000\n");
}

TEST(UnwrapParams, DefaultsWhenOnlyTheRequiredOptionsAreGiven) {
    const Parse result = parse(kRequired);
    ASSERT_TRUE(result.complete);
    EXPECT_FALSE(result.params.sizeGiven);
    EXPECT_EQ(result.params.outputWidth, 0);
    EXPECT_EQ(result.params.outputHeight, 0);
    EXPECT_EQ(result.params.sampler, 3);
    EXPECT_EQ(result.params.noOfThreads, 2);
    EXPECT_NE(result.errors.find("Using default Lanczos2 sampler"), std::string::npos);
}

TEST(UnwrapParams, EachRequiredOptionIsNamedWhenMissing) {
    const std::pair<int, const char*> cases[] = {{0, "Error : You didn't specify an input image!"},
                                                 {2, "Error : You didn't specify an output image!"},
                                                 {4, "Error : You didn't specify an inputFOV!"},
                                                 {6, "Error : You didn't specify an outputFOV!"}};
    for (const auto& [index, message] : cases) {
        std::vector<const char*> arguments = kRequired;
        arguments.erase(arguments.begin() + index, arguments.begin() + index + 2);
        const Parse result = parse(arguments);
        EXPECT_FALSE(result.complete);
        EXPECT_EQ(result.errors.rfind(message, 0), 0u) << result.errors;
        EXPECT_NE(result.errors.find("Allowed options"), std::string::npos);
    }
}

TEST(UnwrapParams, WidthWithoutHeightAndTheReverseAreRefusedClearly) {
    for (const char* option : {"--outputWidth", "--outputHeight"}) {
        const Parse result = parse(requiredAnd({option, "640"}));
        EXPECT_FALSE(result.complete) << option;
        EXPECT_NE(result.errors.find("outputWidth and outputHeight"), std::string::npos);
    }
}

TEST(UnwrapParams, SamplerNames) {
    const char* names[] = {"bilinear", "gaussian", "mitchell", "lanczos2", "lanczos3", "bspline"};
    for (int code = 0; code < 6; ++code) {
        const Parse result = parse(requiredAnd({"--sampler", names[code]}));
        ASSERT_TRUE(result.complete);
        EXPECT_EQ(result.params.sampler, code);
    }
    const Parse unknown = parse(requiredAnd({"--sampler", "cubic"}));
    EXPECT_FALSE(unknown.complete);
    EXPECT_EQ(unknown.errors.rfind("cubic is not a recognized sampler type.\n", 0), 0u);
}

TEST(UnwrapParams, MalformedValuesAreRefusedWithoutThrowing) {
    EXPECT_FALSE(parse(requiredAnd({"--outputWidth", "wide", "--outputHeight", "3"})).complete);
    EXPECT_FALSE(parse(requiredAnd({"--noOfThreads", "-1"})).complete);
    EXPECT_FALSE(parse(requiredAnd({"--outputWidth", "-4", "--outputHeight", "3"})).complete);
    EXPECT_FALSE(parse(requiredAnd({"--colour", "red"})).complete);
    EXPECT_FALSE(parse({"--inputImage", "a.jpg", "--outputImage", "b.jpg", "--inputFOV", "nan", "--outputFOV", "90"}).complete);
}

TEST(UnwrapParams, HelpDescribesTheOptions) {
    const Parse result = parse({"--help"});
    EXPECT_FALSE(result.complete);
    EXPECT_TRUE(result.params.helpRequested());
    EXPECT_EQ(result.errors.rfind("Unwrap converts fish eye images to perspective images.\n\n", 0), 0u);
    EXPECT_NE(result.errors.find("--noOfThreads"), std::string::npos);
    EXPECT_NE(result.errors.find("Must be either jpeg or tiff"), std::string::npos);
}

TEST(UnwrapParams, RefusesAnOutputAboveThePixelLimitAtOnce) {
    // 16384 x 16384 is the limit itself; one row more is over it.
    const Parse atLimit = parse(requiredAnd({"--outputWidth", "16384", "--outputHeight", "16384"}));
    EXPECT_TRUE(atLimit.complete) << atLimit.errors;
    for (const auto& size : std::vector<std::pair<const char*, const char*>>{
             {"16384", "16385"}, {"50000", "50000"}, {"2147483647", "2147483647"}}) {
        const Parse result = parse(requiredAnd({"--outputWidth", size.first, "--outputHeight", size.second}));
        EXPECT_FALSE(result.complete) << size.first << "x" << size.second;
        EXPECT_NE(result.errors.find("above the limit"), std::string::npos) << result.errors;
    }
    // A long thin output within the limit is fine.
    EXPECT_TRUE(parse(requiredAnd({"--outputWidth", "1000000", "--outputHeight", "1"})).complete);
}
