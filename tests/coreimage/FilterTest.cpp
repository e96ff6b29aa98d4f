// Filters by name: input tables, defaults, type checks, attributes, registration and image units.
#include <gtest/gtest.h>

#include <algorithm>

#include "TestImages.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImageUnit.h"
#include "foundation/Assert.h"

using namespace qv;
using namespace qv::ci;

namespace {

// A filter of the system's own kind: declares its inputs and builds its output from them.
class HalfBrightness final : public Filter {
public:
    explicit HalfBrightness(const std::string& name)
        : Filter(name, {{"inputImage", InputType::Image, FilterValue(), ""},
                        {"inputAmount", InputType::Number, FilterValue(0.5), "Amount"}}) {}
    Image outputImage() override {
        auto exposure = Filter::filterWithName("CIExposureAdjust");
        exposure->setValue("inputImage", imageInput("inputImage"));
        exposure->setValue("inputEV", std::log2(numberInput("inputAmount")));
        return *exposure->valueForKey("outputImage").image();
    }
};

std::shared_ptr<Filter> makeHalf(const std::string& name) { return std::make_shared<HalfBrightness>(name); }

}  // namespace

TEST(Filter, EveryPlatformNameExistsAndUnknownNamesGiveNothing) {
    for (const char* name : {"CIAffineTransform", "CILanczosScaleTransform", "CIColorMatrix", "CIMaximumCompositing",
                             "CIPerspectiveTransform", "CISourceAtopCompositing", "CICrop", "CIExposureAdjust",
                             "CIRadialGradient"}) {
        auto f = Filter::filterWithName(name);
        ASSERT_TRUE(f) << name;
        EXPECT_EQ(f->name(), name);
        EXPECT_TRUE(Filter::isRegistered(name));
    }
    EXPECT_FALSE(Filter::filterWithName("CINoSuchFilter"));
    EXPECT_FALSE(Filter::filterWithName(""));
}

TEST(Filter, DefaultsComeFromTheInputTable) {
    auto f = Filter::filterWithName("CILanczosScaleTransform");
    EXPECT_TRUE(f->valueForKey("inputScale").isNothing());
    f->setDefaults();
    ASSERT_TRUE(f->valueForKey("inputScale").number());
    EXPECT_EQ(*f->valueForKey("inputScale").number(), 1.0);
    EXPECT_EQ(*f->valueForKey("inputAspectRatio").number(), 1.0);
    EXPECT_EQ(f->inputKeys(), (std::vector<std::string>{"inputImage", "inputScale", "inputAspectRatio"}));

    auto m = Filter::filterWithName("CIColorMatrix");
    m->setDefaults();
    EXPECT_EQ(*m->valueForKey("inputGVector").vec4(), (Vec4{0, 1, 0, 0}));
    Value attributes = m->attributes();
    EXPECT_EQ(attributes.get("CIAttributeFilterName").stringOr(""), "CIColorMatrix");
    EXPECT_EQ(attributes.get("inputImage").get("CIAttributeClass").stringOr(""), "CIImage");
    EXPECT_EQ(attributes.get("inputRVector").get("CIAttributeClass").stringOr(""), "CIVector");
    EXPECT_EQ(attributes.get("inputRVector").get("CIAttributeDefault").at(0).doubleOr(-1), 1.0);
}

TEST(Filter, SetValueChecksKeysAndTypes) {
    auto f = Filter::filterWithName("CIPerspectiveTransform");
    // A key the filter does not declare is the caller's mistake: it fails a check and stores nothing.
    const std::size_t failures = qv::assertionFailureCount();
    EXPECT_FALSE(f->setValue("inputNoSuchKey", 1.0));
    EXPECT_EQ(qv::assertionFailureCount(), failures + 1);
    EXPECT_TRUE(f->valueForKey("inputNoSuchKey").isNothing());
    EXPECT_FALSE(f->setValue("inputTopLeft", "a string"));
    EXPECT_FALSE(f->setValue("inputImage", 3.0));
    // A 4-vector serves a 2-vector key with its first components.
    EXPECT_TRUE(f->setValue("inputTopLeft", Vec4{1, 2, 3, 4}));
    EXPECT_EQ(f->valueForKey("inputTopLeft").vec2()->y, 2);
    auto lanczos = Filter::filterWithName("CILanczosScaleTransform");
    EXPECT_TRUE(lanczos->setValue("inputAspectRatio", 1.25f));  // single precision is a number too
    EXPECT_TRUE(lanczos->setValue("inputScale", 2));
}

TEST(Filter, NullInputGivesNullOutputForEveryImageFilter) {
    for (const auto& name : Filter::filterNames()) {
        auto f = Filter::filterWithName(name);
        f->setDefaults();
        const auto& specs = f->inputSpecs();
        const bool takesImage = std::any_of(specs.begin(), specs.end(), [](const InputSpec& s) { return s.type == InputType::Image; });
        if (!takesImage) continue;
        const FilterValue out = f->valueForKey("outputImage");
        ASSERT_TRUE(out.image()) << name;
        EXPECT_TRUE(out.image()->isNull()) << name;
    }
}

TEST(Filter, RegisteredFiltersAreMadeByNameWithTheirAttributes) {
    Filter::registerFilterName("TestHalfBrightness", makeHalf,
                               Value(Dictionary{{"CIAttributeFilterDisplayName", Value("Half Brightness")}}));
    auto f = Filter::filterWithName("TestHalfBrightness");
    ASSERT_TRUE(f);
    EXPECT_EQ(f->attributes().get("CIAttributeFilterDisplayName").stringOr(""), "Half Brightness");
    EXPECT_EQ(f->attributes().get("inputAmount").get("CIAttributeDisplayName").stringOr(""), "Amount");
    f->setDefaults();
    f->setValue("inputImage", Image::fromBitmap(citest::constantBitmap(2, 2, 200, 100, 50)));
    Bitmap out = citest::render8(*f->valueForKey("outputImage").image(), Rect(0, 0, 2, 2));
    EXPECT_EQ(citest::pixel(out, 1, 1), (citest::RGBA{100, 50, 25, 255}));
    const auto names = Filter::filterNames();
    EXPECT_TRUE(std::binary_search(names.begin(), names.end(), "TestHalfBrightness"));
}

TEST(ImageUnit, LoadingAUnitRegistersItsFilters) {
    installImageUnit({"TestUnit", {{"TestUnitFilter", makeHalf, Value()}}});
    EXPECT_FALSE(Filter::filterWithName("TestUnitFilter"));
    const auto units = installedImageUnits();
    EXPECT_NE(std::find(units.begin(), units.end(), "TestUnit"), units.end());
    EXPECT_FALSE(loadPlugIn("/some/where/NoSuchUnit.plugin"));
    EXPECT_TRUE(loadPlugIn("/Applications/App/Contents/PlugIns/TestUnit.plugin/"));
    EXPECT_TRUE(Filter::filterWithName("TestUnitFilter"));

    installImageUnit({"OtherUnit", {{"OtherUnitFilter", makeHalf, Value()}}});
    loadAllPlugIns();
    EXPECT_TRUE(Filter::isRegistered("OtherUnitFilter"));
}
