// The lens choice for an opened photo: the camera from the EXIF make and model, the lens from the
// focal range the metadata tool reported (or the focal length and aperture), the owned lenses
// first, and every fall-back; and the metadata tool's lens-information text.
#include <gtest/gtest.h>

#include "ShellTestSupport.h"
#include "foundation/PreferencesFile.h"
#include "lens/QVPreferences.h"
#include "shell/lens/LensInfoText.h"
#include "shell/controller/QVController.h"

using namespace shelltest;

namespace {

// A preview view that reports a photo's metadata.
class PhotoView : public FakeDisplayView {
public:
    qv::Value metadata;
    qv::Value imageMetadata() const override { return metadata; }
};

qv::Value photoMetadata(const std::string& make, const std::string& model, double focal, double aperture) {
    qv::Value m;
    if (!make.empty()) m["{TIFF}"]["Make"] = make;
    if (!model.empty()) m["{TIFF}"]["Model"] = model;
    m["{TIFF}"]["Orientation"] = 1;
    m["{Exif}"]["FocalLength"] = focal;
    m["{Exif}"]["MaxApertureValue"] = aperture;
    return m;
}

class LensChoiceTest : public testing::Test {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        responder().queueAlert(declineOwnedLenses());
        m_nib = std::make_unique<QVMainNib>(launch(&m_view));
    }
    void TearDown() override {
        m_nib.reset();
        resetApplication();
        m_bundle.reset();
    }
    QVController& c() { return *m_nib->controller; }

    void photo(const std::string& make, const std::string& model, double focal, double aperture, float min = 0,
               float max = 0) {
        m_view.metadata = photoMetadata(make, model, focal, aperture);
        c().setMinFocalLengthFromImage(min);
        c().setMaxFocalLengthFromImage(max);
    }
    // An owned entry: a lens record of the database as the lens-selection window keeps it.
    qv::Value ownedLens(const std::string& group, const std::string& name, const std::string& menuMake) {
        for (qv::Value record : c().databaseLoader().lensArrayForCamGroup({group}))
            if (record.get("3.Lens Name").stringOr("") == name) {
                record["menuMake"] = menuMake;
                return record;
            }
        ADD_FAILURE() << "no lens " << name << " in " << group;
        return {};
    }
    void own(const qv::Array& entries) {
        ASSERT_TRUE(qv::PreferencesFile::update([&](qv::Value& root) { root["recentLenses"] = entries; }));
    }
    std::string lensText() { return c().mainWindow().m_pLensText->stringValue(); }
    std::string cameraText() { return c().mainWindow().m_pDatabaseText->stringValue(); }

    std::unique_ptr<FixtureBundle> m_bundle;
    PhotoView m_view;
    std::unique_ptr<QVMainNib> m_nib;
};

TEST_F(LensChoiceTest, ExifSummaryAddsFocalLengthAndApertureToTheTiffDictionary) {
    photo("Canon", "Canon EOS 400D DIGITAL", 18, 3.61);
    const qv::Value summary = c().getExifProprties();
    EXPECT_EQ(summary.get("Make").stringOr(""), "Canon");
    EXPECT_FLOAT_EQ(summary.get("Focal Length").floatOr(0), 18.f);
    EXPECT_FLOAT_EQ(summary.get("MaxAperture").floatOr(0), 3.61f);
    m_view.metadata = qv::Value();
    EXPECT_TRUE(c().getExifProprties().isNull());
}

TEST_F(LensChoiceTest, FocalRangeChoosesTheCameraAndLensAndItsCoefficients) {
    photo("Canon", "Canon EOS 400D DIGITAL", 18, 3.61, 18, 55);
    ASSERT_TRUE(c().autoselectionForLens());
    EXPECT_EQ(cameraText(), "Canon");
    EXPECT_EQ(lensText(), "EF-S 18-55");
    const std::vector<double> values = c().correctionValues();
    EXPECT_NE(values[0], 0.0) << "the lens's a at 18 mm is in use";
    EXPECT_NEAR(values[0] + values[1] + values[2] + values[3], 1.0, 1e-6);
}

TEST_F(LensChoiceTest, UnknownRangeMatchesFocalLengthAndAperture) {
    photo("Canon", "Canon EOS 400D DIGITAL", 18, 3.61);
    ASSERT_TRUE(c().autoselectionForLens());
    EXPECT_EQ(lensText(), "EF-S 18-55");
}

TEST_F(LensChoiceTest, RangeOfAnotherCamerasLensWidensTheSearch) {
    photo("Canon", "Canon EOS 400D DIGITAL", 18, 3.61, 18, 70);
    ASSERT_TRUE(c().autoselectionForLens());
    EXPECT_EQ(lensText(), "AF-S 18-70");
}

TEST_F(LensChoiceTest, CanonMakeWithATrailingBlankMatches) {
    photo("Canon ", "Canon EOS 400D DIGITAL", 18, 3.61, 18, 55);
    ASSERT_TRUE(c().autoselectionForLens());
    EXPECT_EQ(lensText(), "EF-S 18-55");
}

TEST_F(LensChoiceTest, NoMakeAndNoOwnedLensFallsBackToTheNeutralLens) {
    photo("", "", 18, 3.61, 18, 55);
    EXPECT_FALSE(c().autoselectionForLens());
    EXPECT_EQ(cameraText(), "--");
    EXPECT_EQ(lensText(), "--");
    EXPECT_EQ(c().mainWindow().mFocalLengthRange->stringValue(), " ");
}

TEST_F(LensChoiceTest, UnknownCameraFallsBackToTheFirstOwnedLens) {
    own({ownedLens("Nikon DX", "AF-S 18-70", "Nikon")});
    photo("Leica", "M9", 35, 2);
    ASSERT_TRUE(c().autoselectionForLens());
    EXPECT_EQ(cameraText(), "Nikon");
    EXPECT_EQ(lensText(), "AF-S 18-70");
}

TEST_F(LensChoiceTest, KnownCameraWithoutAMatchingLensAndNoOwnedLensShowsNoLens) {
    photo("Canon", "Canon EOS 400D DIGITAL", 300, 5.6, 100, 400);
    EXPECT_FALSE(c().autoselectionForLens());
    EXPECT_EQ(lensText(), "--");
    EXPECT_EQ(cameraText(), "Canon") << "the camera was found, so its name stays";
}

TEST_F(LensChoiceTest, OwnedLensWhoseRangeHoldsTheFocalLengthWinsEvenForAnotherCamera) {
    own({ownedLens("Canon full frame", "EF 50", "Canon"), ownedLens("Nikon DX", "AF-S 18-70", "Nikon")});
    photo("Canon", "Canon EOS 400D DIGITAL", 24, 3.61);
    ASSERT_TRUE(c().selectLensFromPreferences());
    EXPECT_EQ(lensText(), "AF-S 18-70");
    photo("Canon", "Canon EOS 400D DIGITAL", 300, 3.61);
    EXPECT_FALSE(c().selectLensFromPreferences()) << "no owned range holds 300 mm";
}

TEST_F(LensChoiceTest, BestApertureTakesTheFirstOfEquals) {
    qv::Value a, b, d;
    a["MaxAperture"] = 4.0;
    b["MaxAperture"] = 3.0;
    d["MaxAperture"] = 3.0;
    EXPECT_EQ(c().indexOfBestMatchingLensFrom({a, b, d}, 3.2f), 1);
    EXPECT_EQ(c().indexOfBestMatchingLensFrom({a, b, d}, 3.9f), 0);
    EXPECT_EQ(c().indexOfBestMatchingLensFrom({}, 3.5f), 0);
}

// ---- The metadata tool's lens information ----

std::string lensInfoLine(const std::string& value) { return std::string("Lens Info") + std::string(23, ' ') + ": " + value; }

TEST(LensInfoText, ReadsRationalAndReadableForms) {
    auto r = shell::parseLensInfo(lensInfoLine("18/1 55/1 35/10 56/10\n"));
    EXPECT_FLOAT_EQ(r.minimum, 18);
    EXPECT_FLOAT_EQ(r.maximum, 55);
    r = shell::parseLensInfo(lensInfoLine("24/1 105/1 4/1 4/1"));
    EXPECT_FLOAT_EQ(r.minimum, 24);
    EXPECT_FLOAT_EQ(r.maximum, 105);
    r = shell::parseLensInfo(lensInfoLine("18-55mm f/3.5-5.6\n"));
    EXPECT_FLOAT_EQ(r.minimum, 18);
    EXPECT_FLOAT_EQ(r.maximum, 55);
    r = shell::parseLensInfo(lensInfoLine("50mm f/1.8"));
    EXPECT_FLOAT_EQ(r.minimum, 50);
    EXPECT_FLOAT_EQ(r.maximum, 50);
    r = shell::parseLensInfo(lensInfoLine("4.5-13.5mm f/2.8"));
    EXPECT_FLOAT_EQ(r.minimum, 4.5f);
    EXPECT_FLOAT_EQ(r.maximum, 13.5f);
    r = shell::parseLensInfo(lensInfoLine("6.1-30.5mm f/2.8-4.5\n"));  // most compact cameras
    EXPECT_FLOAT_EQ(r.minimum, 6.1f);
    EXPECT_FLOAT_EQ(r.maximum, 30.5f);
}

TEST(LensInfoText, MalformedTextLeavesTheRangeUnknown) {
    for (const std::string& text :
         {std::string(), std::string("Warning: no lens info"), std::string("Lens Info : 18/1"),
          lensInfoLine("18/0 55/1 35/10 56/10"), lensInfoLine("18/1 55/1 35/10 56/10").replace(34, 4, "1234567890123/1"),
          lensInfoLine("18/1 55/0 1/1 1/1"), lensInfoLine("abcmm"), lensInfoLine("18-mm")}) {
        const auto r = shell::parseLensInfo(text);
        EXPECT_EQ(r.minimum, 0) << text;
        EXPECT_EQ(r.maximum, 0) << text;
    }
}

}  // namespace

namespace {

// The widened search looks for the photo's focal range among every camera's lenses. With the range
// unknown (0 to 0) it must not run: it would pick a lens of any camera whose own range is unknown
// over the focal-length matches among the photo's own camera's lenses.
TEST(LensChoiceUnknownRange, TheWidenedSearchDoesNotTakeAnotherCamerasLensOfUnknownRange) {
    resetApplication();
    const std::string withUnrangedLens = std::string(kDatabaseText) + R"(
lens "Adapted mystery lens"
    group "Nikon DX"
    multiplier 1.5
    max aperture 3.61
    focal range 0 0
    calibration 18 0.3 -0.3 0.1
)";
    {
        FixtureBundle bundle(withUnrangedLens);
        responder().queueAlert(declineOwnedLenses());
        PhotoView view;
        QVMainNib nib = launch(&view);
        QVController& c = *nib.controller;
        view.metadata = photoMetadata("Canon", "Canon EOS 400D DIGITAL", 18, 3.61);
        c.setMinFocalLengthFromImage(0);
        c.setMaxFocalLengthFromImage(0);
        ASSERT_TRUE(c.autoselectionForLens());
        EXPECT_EQ(c.mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
        EXPECT_EQ(c.mainWindow().m_pDatabaseText->stringValue(), "Canon");
    }
    resetApplication();
}

}  // namespace
