// The parameters sheet and the coefficients in use: a lens picked by hand in the resource
// database or a user database, the rows the sheet lists, and correctionValues as the chain reads it.
#include <gtest/gtest.h>

#include <atomic>
#include <cmath>
#include <mutex>
#include <thread>

#include "ShellTestSupport.h"
#include "common/TempDir.h"
#include "foundation/Bundle.h"
#include "foundation/PreferencesFile.h"
#include "lens/CameraNames.h"
#include "shell/lens/LensListRules.h"

using namespace shelltest;

namespace {

// What the database gives for a lens at a focal length between two of its calibrations, made
// for a camera of crop multiplier 1 from a lens calibrated at `multiplier`: linear interpolation
// (differences between records in single precision), then the crop rescaling.
std::array<double, 4> expectedCoefficients(const std::array<float, 3>& lower, const std::array<float, 3>& upper,
                                           float focalLower, float focalUpper, double focal, float multiplier) {
    const double t = (focal - focalLower) / (double(focalUpper) - focalLower);
    double v[3];
    for (int i = 0; i < 3; ++i) v[i] = double(lower[i]) + double(float(upper[i] - lower[i])) * t;
    const double s = double(multiplier);
    const double q = 1.0 / ((1.0 - (v[0] + v[1] + v[2])) + v[0] * s * s * s + v[1] * s * s + v[2] * s);
    const double a = v[0] * q * s * s * s, b = v[1] * q * s * s, c = v[2] * q * s;
    return {a, b, c, double(float(1.0 - ((a + b) + c)))};
}

void expectCoefficients(const std::vector<double>& actual, const std::array<double, 4>& expected) {
    ASSERT_EQ(actual.size(), 4u);
    for (std::size_t i = 0; i < 3; ++i) EXPECT_NEAR(actual[i], expected[i], 1e-9) << "coefficient " << i;
    EXPECT_NEAR(actual[3], expected[3], 1e-7) << "d";
}

qv::Value lens(const std::string& name, const std::string& group) {
    qv::Value record{qv::Dictionary()};
    record["3.Lens Name"] = name;
    record["lensGroup"] = group;
    return record;
}

class ParametersTest : public LaunchedTest {};

TEST_F(ParametersTest, ChosenCameraAndLensGiveTheInterpolatedRescaledCoefficients) {
    c().mainWindow().mFocalLengthField->setDoubleValue(26.5);
    loadDatabaseRow(0);  // Canon
    openParametersSheet();
    ASSERT_EQ(rowTexts(c().parametersSheet().m_pParametersTable).size(), 4u);
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    EXPECT_TRUE(c().parametersSheet().m_pLoadParametersButton->isEnabled());
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());

    EXPECT_FALSE(c().parametersSheet().m_pParametersSheet->isVisible());
    EXPECT_TRUE(c().isPTLensSelected());
    expectCoefficients(c().correctionValues(),
                       expectedCoefficients({0.01f, -0.02f, 0.005f}, {0.002f, -0.004f, 0.001f}, 18, 35, 26.5, 1.6f));
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    EXPECT_EQ(c().mainWindow().mFocalLengthField->doubleValue(), 26.5);
    EXPECT_EQ(c().mainWindow().mFocalLengthRange->stringValue(), "18 - 55");
    EXPECT_EQ(c().state().mMinFocalLength, 18.0f);
    EXPECT_EQ(c().state().mMaxFocalLength, 55.0f);
    // The matrix shows a user lens's values; a resource lens has none.
    for (int row = 0; row < 4; ++row)
        EXPECT_EQ(c().parametersSheet().m_pPSCorrectionMatrix->cellAtRow(row)->doubleValue(), 0.0);
}

TEST_F(ParametersTest, LensOfOneCalibrationKeepsItsCoefficientsAtAnyFocalLength) {
    c().mainWindow().mFocalLengthField->setDoubleValue(26.5);
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(2));  // EF 50, calibrated at crop 1
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    const auto values = c().correctionValues();
    EXPECT_EQ(values[0], double(0.001f));
    EXPECT_EQ(values[1], double(-0.002f));
    EXPECT_EQ(values[2], 0.0);
    EXPECT_EQ(values[3], double(float(1.0 - (double(0.001f) + double(-0.002f)))));
    EXPECT_EQ(c().mainWindow().mFocalLengthField->doubleValue(), 50.0);
}

// Loading a database changes the current database, not the lens in use: the coefficients stay
// those of the lens the lens field names, whichever database is loaded next; a lens of a user
// database, which has no focal range, shows none.
TEST_F(ParametersTest, LoadingADatabaseKeepsTheLensInUseAndItsRange) {
    c().mainWindow().mFocalLengthField->setDoubleValue(26.5);
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    const auto resourceLens = c().correctionValues();
    ASSERT_EQ(c().mainWindow().mFocalLengthRange->stringValue(), "18 - 55");

    qvtest::TempDir folder("qvdb");
    writeUserDatabase(folder.file("Wide.dtl"), {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.5f)});
    responder().queuePanel({true, {folder.file("Wide.dtl")}});
    c().onBrowseDatabase(nullptr);
    c().onLoadDatabase(nullptr);
    EXPECT_FALSE(c().isPTLensSelected());
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    EXPECT_EQ(c().correctionValues(), resourceLens);

    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    const std::vector<double> holga{double(0.1f), double(-0.2f), double(0.05f), double(1.5f)};
    EXPECT_EQ(c().correctionValues(), holga);
    EXPECT_EQ(c().mainWindow().mFocalLengthRange->stringValue(), " ");
    EXPECT_EQ(c().state().mMaxFocalLength, 0.0f);

    loadDatabaseRow(0);  // Canon again
    EXPECT_TRUE(c().isPTLensSelected());
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "Holga");
    EXPECT_EQ(c().correctionValues(), holga);
}

TEST_F(ParametersTest, UserDatabaseLensKeepsItsOwnD) {
    qvtest::TempDir folder("qvdb");
    const std::string path = folder.file("Wide.dtl");
    writeUserDatabase(path, {userLensRecord("Holga", 0.1f, -0.2f, 0.05f, 1.5f),
                             userLensRecord("Diana", 0.01f, 0.02f, 0.03f, 0.97f)});
    responder().queuePanel({true, {path}});
    c().onBrowseDatabase(nullptr);
    openParametersSheet();
    EXPECT_EQ(rowTexts(c().parametersSheet().m_pParametersTable), (std::vector<std::string>{"Holga", "Diana"}));
    EXPECT_EQ(c().parametersSheet().m_pPSManufacturerPopUp->itemTitles(), (std::vector<std::string>{"Lomo"}));
    EXPECT_EQ(c().parametersSheet().m_pPSModelPopUp->itemTitles(), (std::vector<std::string>{"LC-A", "LC-W"}));
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(1));
    EXPECT_EQ(c().parametersSheet().m_pPSFieldOfViewText->stringValue(), "73.7");
    EXPECT_EQ(c().parametersSheet().m_pPSLensTypeText->stringValue(), qv::localizedString("kCircularFisheye"));
    EXPECT_EQ(c().parametersSheet().m_pPSRadialShiftModeText->stringValue(), qv::localizedString("kVertical"));
    EXPECT_EQ(c().parametersSheet().m_pPSVigAmountText->stringValue(), "0");
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());

    EXPECT_FALSE(c().isPTLensSelected());
    const auto values = c().correctionValues();
    EXPECT_EQ(values, (std::vector<double>{double(0.01f), double(0.02f), double(0.03f), double(0.97f)}));
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "Diana");
}

TEST_F(ParametersTest, RepeatedNamesAreNamedByTheModelOfTheirGroupAndSameGroupRepeatsGo) {
    loadDatabaseRow(0);
    openParametersSheet();
    // The file holds a second "Sigma 10-20" of the APS-C group: only the first is listed.
    EXPECT_EQ(rowTexts(c().parametersSheet().m_pParametersTable),
              (std::vector<std::string>{"EF-S 18-55", "Sigma 10-20 (EOS 400D)", "EF 50", "Sigma 10-20 (EOS 5D)"}));
    EXPECT_EQ(cellText(*c().parametersSheet().m_pParametersTable, 4), "") << "a row past the list shows nothing";
    EXPECT_EQ(cellText(*c().parametersSheet().m_pParametersTable, -1), "");
}

TEST_F(ParametersTest, RemovingRepeatsKeepsTheFirstOfANameAndGroup) {
    qv::Array lenses{lens("A", "g1"), lens("A", "g1"), lens("B", "g1"), lens("A", "g2"), lens("A", "g1")};
    shell::removeMultipleEntriesFrom(lenses);
    EXPECT_EQ(lenses, (qv::Array{lens("A", "g1"), lens("B", "g1"), lens("A", "g2")}));
    EXPECT_TRUE(shell::multipleEntriesOf("A", lenses));
    EXPECT_FALSE(shell::multipleEntriesOf("B", lenses));
    EXPECT_FALSE(shell::multipleEntriesOf("C", lenses));
}

TEST_F(ParametersTest, ModelChoiceListsItsGroupAndShowAllClearsTheFocalLengthFilter) {
    c().mainWindow().mFocalLengthField->setDoubleValue(50);
    loadDatabaseRow(0);
    openParametersSheet();
    c().parametersSheet().mShowMatchingLenses->performClick();
    EXPECT_TRUE(c().showsOnlyMatchingLenses());
    EXPECT_EQ(rowTexts(c().parametersSheet().m_pParametersTable), (std::vector<std::string>{"EF-S 18-55", "EF 50"}));

    c().parametersSheet().m_pPSModelPopUp->userPopUp();  // the menu gains "Show All" as it opens
    const int showAll = c().parametersSheet().m_pPSModelPopUp->indexOfItemWithTitle("Show All");
    ASSERT_GE(showAll, 0);
    ASSERT_TRUE(c().parametersSheet().m_pPSModelPopUp->userChooseItem(showAll));
    EXPECT_EQ(c().parametersSheet().mShowMatchingLenses->state(), qv::ui::kOffState);
    EXPECT_FALSE(c().showsOnlyMatchingLenses());
    EXPECT_EQ(rowTexts(c().parametersSheet().m_pParametersTable).size(), 4u);

    ASSERT_TRUE(c().parametersSheet().m_pPSModelPopUp->userChooseItem(
        c().parametersSheet().m_pPSModelPopUp->indexOfItemWithTitle("EOS 5D")));
    EXPECT_EQ(rowTexts(c().parametersSheet().m_pParametersTable), (std::vector<std::string>{"EF 50", "Sigma 10-20"}));
}

TEST_F(ParametersTest, NoSelectedRowMeansTheFirstAndDeselectingDisablesLoad) {
    loadDatabaseRow(0);
    openParametersSheet();
    EXPECT_EQ(c().parametersSheet().m_pParametersTable->selectedRow(), -1);
    const auto firstLens = c().correctionValues();
    EXPECT_NE(firstLens[0], 0.0) << "row 0's coefficients are in use";
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(2));
    EXPECT_NE(c().correctionValues(), firstLens);
    c().parametersSheet().m_pParametersTable->deselectAll();
    EXPECT_FALSE(c().parametersSheet().m_pLoadParametersButton->isEnabled());
    EXPECT_EQ(c().correctionValues(), firstLens);
}

TEST_F(ParametersTest, ModelFollowsTheSelectedLensOnlyOnceLaunched) {
    loadDatabaseRow(0);
    openParametersSheet();
    c().state().mAppLaunched = false;
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(3));  // Sigma of the full-frame group
    EXPECT_EQ(c().parametersSheet().m_pPSModelPopUp->titleOfSelectedItem(), std::optional<std::string>("EOS 400D"));
    c().state().mAppLaunched = true;
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(2));
    EXPECT_EQ(c().parametersSheet().m_pPSModelPopUp->titleOfSelectedItem(), std::optional<std::string>("EOS 5D"));
}

TEST_F(ParametersTest, ClosingTheSheetRestoresTheRowItOpenedWith) {
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(1));
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(3));
    c().onCloseParameters(nullptr);
    EXPECT_EQ(c().parametersSheet().m_pParametersTable->selectedRow(), 1);
    EXPECT_FALSE(c().parametersSheet().m_pParametersSheet->isVisible());
}

TEST_F(ParametersTest, TypedFocalLengthInsideTheLensRangeRecomputesTheCoefficients) {
    c().mainWindow().mFocalLengthField->setDoubleValue(26.5);
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    ASSERT_TRUE(c().parametersSheet().m_pLoadParametersButton->performClick());
    c().state().m_bImageLoaded = true;

    ASSERT_TRUE(c().mainWindow().mFocalLengthField->userType("35"));
    expectCoefficients(c().correctionValues(),
                       expectedCoefficients({0.002f, -0.004f, 0.001f}, {0, 0.003f, 0}, 35, 55, 35, 1.6f));
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");

    const auto at35 = c().correctionValues();
    ASSERT_TRUE(c().mainWindow().mFocalLengthField->userType("70"));
    EXPECT_EQ(c().correctionValues(), at35) << "70 mm lies outside the lens's range";
    ASSERT_TRUE(c().mainWindow().mFocalLengthField->userType("0"));
    EXPECT_EQ(c().correctionValues(), at35);
}

TEST_F(ParametersTest, SavingALensPutsItFirstAndKeepsTwentyEntries) {
    qv::Array owned;
    for (int i = 0; i < 20; ++i) {
        qv::Value entry = lens("Lens " + std::to_string(i), "g");
        entry["menuMake"] = "Canon";
        entry["menuModel"] = "EOS 5D";
        owned.push_back(entry);
    }
    ASSERT_TRUE(qv::PreferencesFile::update([&](qv::Value& root) { root["recentLenses"] = owned; }));
    loadDatabaseRow(0);
    openParametersSheet();

    c().saveSelectedLens(0);
    qv::Value list = qv::PreferencesFile::read().get("recentLenses");
    ASSERT_EQ(list.size(), 20u);
    qv::Value expected{qv::Dictionary()};
    expected["menuMake"] = "Canon";
    expected["menuModel"] = "EOS 5D";  // the camera whose group came last
    expected["3.Lens Name"] = "EF-S 18-55";
    EXPECT_EQ(list.at(0), expected);
    EXPECT_EQ(list.at(19).get("3.Lens Name").stringOr(""), "Lens 18") << "the last entry made room";

    c().saveSelectedLens(0);
    list = qv::PreferencesFile::read().get("recentLenses");
    EXPECT_EQ(list.size(), 20u) << "the saved lens replaced its earlier entry";
    EXPECT_EQ(list.at(0), expected);
    EXPECT_EQ(list.at(1).get("3.Lens Name").stringOr(""), "Lens 0");
}

TEST_F(ParametersTest, UnusedRecordHelpersInterpolateAndScale) {
    qv::Value up{qv::Dictionary()}, bottom{qv::Dictionary()};
    up["4.Lens Focal Length"] = "50";
    up["Red A"] = 0.02;
    bottom["4.Lens Focal Length"] = 20.0f;
    bottom["Red A"] = 0.01;
    const qv::Value between = shell::InterpolateLensDBWithUpDB(up, bottom, 35);
    EXPECT_NEAR(between.get("Red A").doubleOr(0), 0.015, 1e-12);
    EXPECT_EQ(between.get("Red B").doubleOr(-1), 0.0);
    EXPECT_EQ(shell::InterpolateLensDBWithUpDB(up, bottom, 20), up) << "at the lower record's focal length";
    EXPECT_EQ(shell::InterpolateLensDBWithUpDB(up, qv::Value(), 35), up);

    const qv::Value scaled = shell::scaleDatabaseValuesForUpRecord(up, 2);
    EXPECT_EQ(scaled.get("4.Lens Focal Length").doubleOr(0), 100.0);
    EXPECT_EQ(scaled.get("Red A").doubleOr(0), 0.04);
    EXPECT_EQ(scaled.get("Red C").type(), qv::Value::Type::Real);
    EXPECT_EQ(scaled.get("Red C").doubleOr(-1), 0.0);
}

TEST(CameraNamesTest, PaddedModelsOfTwoMakesLoseTheirBlanks) {
    EXPECT_EQ(lens::cameras::databaseModelForm("RICOH      ", "Caplio R6      "), "Caplio R6");
    EXPECT_EQ(lens::cameras::databaseModelForm("RICOH      ", "GR Digital     "), "GR Digital");
    EXPECT_EQ(lens::cameras::databaseModelForm("RICOH", "Caplio R6      "), "Caplio R6      ");
    EXPECT_EQ(lens::cameras::databaseModelForm("FUJIFILM", "FinePix F31fd  "), "FinePix F31fd");
    EXPECT_EQ(lens::cameras::databaseModelForm("FUJIFILM", "FinePix F31fd"), "FinePix F31fd");
    EXPECT_EQ(lens::cameras::databaseModelForm("Canon", "Canon EOS 5D"), "Canon EOS 5D");
}

// The same table gives the forms the lens choice compares and the loader's repair of a stored model.
TEST(CameraNamesTest, MakesAndModelsTakeTheirExifFormOnlyWhereTheTableSays) {
    using namespace lens::cameras;
    EXPECT_EQ(exifMakeForm("RICOH", "RICOH      ", false), "RICOH      ");
    EXPECT_EQ(exifMakeForm("RICOH", "ricoh", false), "RICOH") << "a plain match keeps the plain form";
    EXPECT_EQ(exifMakeForm("RICOH", "RICOH", true), "RICOH      ") << "the multiplier variant always pads";
    EXPECT_EQ(exifMakeForm("Canon", "Canon ", false), "Canon ");
    EXPECT_EQ(exifMakeForm("Canon", "Canon ", true), "Canon") << "the variant has no Canon rule";
    EXPECT_EQ(exifMakeForm("Nikon", "Nikon ", false), "Nikon");
    EXPECT_EQ(exifModelForm("RICOH      ", "Caplio GX100"), "Caplio GX100   ");
    EXPECT_EQ(exifModelForm("RICOH", "Caplio GX100"), "Caplio GX100") << "only with the padded make in use";
    EXPECT_EQ(exifModelForm("FUJIFILM", "FinePix F31fd"), "FinePix F31fd  ");
    EXPECT_EQ(exifModelForm("FUJIFILM", "FinePix F30"), "FinePix F30");
    EXPECT_EQ(repairedStoredModel("Canon PowerShot S100\xB4"), "Canon PowerShot S100");
    EXPECT_EQ(repairedStoredModel("Canon PowerShot S100"), "Canon PowerShot S100");
    EXPECT_EQ(repairedStoredModel("Canon PowerShot S110\xB4"), "Canon PowerShot S110\xB4");
}

// The save and batch threads get the coefficients as a value taken on the main thread; while the
// user changes the lens, every value a thread gets is one whole set, never a mixture of two, and
// stays as it was taken.
TEST_F(ParametersTest, CoefficientsHandedToAnotherThreadAreAlwaysOneWholeSet) {
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    const auto first = c().correctionValues();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(2));
    const auto second = c().correctionValues();
    ASSERT_NE(first, second);

    std::mutex handOver;
    std::vector<std::vector<double>> taken;  // snapshots in the order they were taken
    std::atomic<bool> done{false};
    std::atomic<int> torn{0}, reads{0};
    std::thread reader([&] {
        while (!done) {
            std::vector<std::vector<double>> batch;
            {
                std::lock_guard<std::mutex> lock(handOver);
                batch.swap(taken);
            }
            for (const auto& values : batch) {
                if (values != first && values != second) ++torn;
                ++reads;
            }
            std::this_thread::yield();
        }
    });
    for (int i = 0; i < 400; ++i) {
        c().parametersSheet().m_pParametersTable->userClickRow(i % 2 == 0 ? 0 : 2);
        CorrectionParameters parameters = c().correctionParameters();
        std::lock_guard<std::mutex> lock(handOver);
        taken.push_back(std::move(parameters.coefficients));
    }
    while (reads < 400) std::this_thread::yield();
    done = true;
    reader.join();
    EXPECT_EQ(torn.load(), 0);
}

}  // namespace
