// The main window's correction controls: what each action asks of the view, the rotation and crop
// rules, the zoom steps, Reset, typed values, and the accessors and angle of view the chain pulls.
#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <string>
#include <thread>

#include "ShellTestSupport.h"
#include "foundation/RunLoop.h"
#include "foundation/UserDefaults.h"
#include "lens/QVFieldOfView.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"

using namespace shelltest;

namespace {

class ControlsTest : public LaunchedTest {
protected:
    void SetUp() override {
        LaunchedTest::SetUp();
        qv::UserDefaults::standard().set("enableControl", true);  // as after an open
        c().state().m_bImageLoaded = true;
        m_view.calls.clear();
    }
    int cropTag() { return c().mainWindow().m_pCropRadioButtons->selectedCell()->tag(); }
    bool insideCropEnabled() { return c().mainWindow().m_pCropRadioButtons->cellWithTag(1)->isEnabled(); }
};

TEST_F(ControlsTest, SlidersRerunTheirPartOfTheChainAndMarkTheWindowEdited) {
    ASSERT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(10));
    ASSERT_TRUE(c().mainWindow().mAspectSlider->userMoveTo(1.2));
    ASSERT_TRUE(c().mainWindow().m_pFixRedSlider->userMoveTo(0.01));
    ASSERT_TRUE(c().mainWindow().m_pVigAmountSlider->userMoveTo(0.5));
    ASSERT_TRUE(c().mainWindow().m_pScaleSlider->userMoveTo(120));
    EXPECT_EQ(m_view.calls, (std::vector<std::string>{"perspective", "perspective", "chromaticAberration",
                                                      "applyVignet", "setScaleValue"}));
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    // The moved sliders set their keys, and the value fields follow through their bindings.
    EXPECT_EQ(qv::UserDefaults::standard().doubleForKey("yaw"), 10.0);
    EXPECT_EQ(c().mainWindow().m_pYawText->doubleValue(), 10.0);
}

TEST_F(ControlsTest, ActionsThatNeedAPhotoDoNothingWithoutOne) {
    c().state().m_bImageLoaded = false;
    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(10));
    ASSERT_TRUE(c().mainWindow().m_pScaleSlider->userMoveTo(120));
    c().onApply(nullptr);
    EXPECT_TRUE(m_view.calls.empty());
    EXPECT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    ASSERT_TRUE(c().mainWindow().m_pFixBlueSlider->userMoveTo(0.01));  // fringe and vignetting run without a photo
    EXPECT_EQ(m_view.calls, (std::vector<std::string>{"chromaticAberration"}));
}

TEST_F(ControlsTest, AccessorsReadTheControlsAsTheChainExpects) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set("rotationAngle", 12.0f);
    defaults.set("redValue", 0.01f);
    defaults.set("greenValue", 0.015f);
    defaults.set("blueValue", -0.005f);
    defaults.set("vigAmount", 0.25f);
    defaults.set("vigMidpoint", 0.75f);
    defaults.set("yaw", -3.0f);
    defaults.set("pitch", 4.0f);
    EXPECT_EQ(c().correctionParameters().rotation, -12.0);
    EXPECT_DOUBLE_EQ(c().correctionParameters().red, 1.0 + double(0.01f));
    EXPECT_EQ(c().correctionParameters().green, 1.0) << "green never scales";
    EXPECT_DOUBLE_EQ(c().correctionParameters().blue, 1.0 + double(-0.005f));
    EXPECT_TRUE(c().correctionParameters().vignetRequired);
    EXPECT_EQ(c().correctionParameters().vignetBrightness, 0.25);
    EXPECT_EQ(c().correctionParameters().vignetMidpoint, 0.75);
    EXPECT_EQ(c().correctionParameters().yaw, -3.0);
    EXPECT_EQ(c().correctionParameters().pitch, 4.0);
    EXPECT_EQ(c().correctionParameters().scale, 100.0);
    EXPECT_EQ(c().correctionParameters().aspect, 1.0);
    defaults.set("vigAmount", 0.0f);
    EXPECT_FALSE(c().correctionParameters().vignetRequired);
    EXPECT_TRUE(c().previewCheckboxStatus());
    EXPECT_EQ(c().magnificationValue(), 100);
}

TEST_F(ControlsTest, ResetPutsEveryControlBack) {
    auto& defaults = qv::UserDefaults::standard();
    for (const char* key : {"redValue", "blueValue", "vigAmount", "yaw", "pitch", "rotationAngle"}) defaults.set(key, 0.01f);
    defaults.set("aspect", 1.5f);
    c().mainWindow().m_pScaleSlider->setIntValue(140);
    c().resetValues();
    EXPECT_EQ(c().correctionParameters().scale, 100.0);
    EXPECT_EQ(c().mainWindow().m_pScaleValueText->intValue(), 100);
    EXPECT_EQ(c().correctionParameters().aspect, 1.0);
    for (qv::ui::Slider* slider :
         {c().mainWindow().m_pFixRedSlider, c().mainWindow().m_pFixBlueSlider, c().mainWindow().m_pVigAmountSlider,
          c().mainWindow().m_pHorizontalSlider, c().mainWindow().m_pVerticalSlider, c().mainWindow().m_pRotationSlider})
        EXPECT_EQ(slider->doubleValue(), 0.0);
    EXPECT_FLOAT_EQ(defaults.floatForKey("chroMaticMax"), 0.02f);
    EXPECT_FLOAT_EQ(defaults.floatForKey("chroMaticMin"), -0.02f);
    EXPECT_FLOAT_EQ(float(c().mainWindow().m_pFixRedSlider->maxValue()), 0.02f) << "the fringe range follows its keys";
}

// Every slider of the window bound to a user default is built with its described range, its field
// with the described decimals; moved to its top with the fringe range narrowed above 0, each goes
// back to its described start and range on Reset (the range first, or the narrowed range would
// clamp the fringe values).
TEST_F(ControlsTest, EverySliderIsBuiltAsDescribedAndResetPutsItBackThere) {
    std::map<std::string, qv::ui::Slider*> sliders;
    std::map<std::string, qv::ui::TextField*> fields;
    for (const auto& view : c().mainWindow().m_pWindow->contentView()->subviews()) {
        if (auto* slider = dynamic_cast<qv::ui::Slider*>(view.get()); slider && !slider->valueBindingKey().empty())
            sliders[slider->valueBindingKey()] = slider;
        if (auto* field = dynamic_cast<qv::ui::TextField*>(view.get()); field && !field->valueBindingKey().empty())
            fields[field->valueBindingKey()] = field;
    }
    ASSERT_EQ(sliders.size(), shell::windowSliders().size());
    auto& defaults = qv::UserDefaults::standard();
    for (const shell::WindowSlider& described : shell::windowSliders()) {
        qv::ui::Slider* slider = sliders[described.defaultsKey];
        ASSERT_NE(slider, nullptr) << described.defaultsKey;
        ASSERT_NE(fields[described.defaultsKey], nullptr) << described.defaultsKey;
        // The fringe range is kept through its keys in single precision.
        EXPECT_EQ(float(slider->minValue()), float(described.range.minimum)) << described.defaultsKey;
        EXPECT_EQ(float(slider->maxValue()), float(described.range.maximum)) << described.defaultsKey;
        EXPECT_EQ(fields[described.defaultsKey]->fractionDigits(), described.range.decimals) << described.defaultsKey;
        ASSERT_TRUE(slider->userMoveTo(described.range.maximum)) << described.defaultsKey;
        ASSERT_NE(slider->doubleValue(), described.range.initial) << described.defaultsKey;
    }
    defaults.set(shell::keys::kFringeMinimum, 0.005f);
    defaults.set(shell::keys::kFringeMaximum, 0.01f);
    ASSERT_EQ(c().mainWindow().m_pFixGreenSlider->minValue(), double(0.005f));

    c().resetValues();
    for (const shell::WindowSlider& described : shell::windowSliders()) {
        qv::ui::Slider* slider = sliders[described.defaultsKey];
        EXPECT_EQ(float(slider->minValue()), float(described.range.minimum)) << described.defaultsKey;
        EXPECT_EQ(float(slider->maxValue()), float(described.range.maximum)) << described.defaultsKey;
        EXPECT_EQ(slider->doubleValue(), described.range.initial) << described.defaultsKey;
        EXPECT_EQ(fields[described.defaultsKey]->doubleValue(), described.range.initial) << described.defaultsKey;
        EXPECT_EQ(defaults.doubleForKey(described.defaultsKey), described.range.initial) << described.defaultsKey;
    }
}

TEST_F(ControlsTest, RotationTakesTheInsideCropAwayAndBackAtZero) {
    ASSERT_TRUE(c().mainWindow().m_pCropRadioButtons->userClickCell(1));
    EXPECT_TRUE(c().correctionParameters().cropInside);
    EXPECT_FALSE(c().isAutoScaleChecked());
    ASSERT_TRUE(c().mainWindow().m_pRotationSlider->userMoveTo(15));
    EXPECT_FALSE(insideCropEnabled());
    EXPECT_EQ(cropTag(), 0);
    EXPECT_TRUE(c().correctionParameters().cropNone);
    EXPECT_FALSE(c().correctionParameters().cropInside);
    EXPECT_TRUE(c().isAutoScaleChecked());
    ASSERT_TRUE(c().mainWindow().m_pRotationSlider->userMoveTo(0));
    EXPECT_TRUE(insideCropEnabled());
    ASSERT_TRUE(c().mainWindow().m_pCropRadioButtons->userClickCell(2));
    EXPECT_TRUE(c().correctionParameters().cropOutside);
    EXPECT_FALSE(c().correctionParameters().cropNone);
}

TEST_F(ControlsTest, StepperMovesTheRotationByItsValueWithinPlusMinus180) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set("rotationAngle", 179.0f);
    c().mainWindow().mRotaionStrpper->setDoubleValue(5);
    c().onRotationStepper(c().mainWindow().mRotaionStrpper);
    EXPECT_EQ(c().mainWindow().m_pRotationSlider->doubleValue(), 180.0);
    EXPECT_EQ(c().mainWindow().mRotaionStrpper->doubleValue(), 0.0) << "the stepper rests at 0";
    EXPECT_FALSE(insideCropEnabled());

    defaults.set("rotationAngle", -179.0f);
    c().mainWindow().mRotaionStrpper->setDoubleValue(-5);
    c().onRotationStepper(c().mainWindow().mRotaionStrpper);
    EXPECT_EQ(c().mainWindow().m_pRotationSlider->doubleValue(), -180.0);

    defaults.set("rotationAngle", -1.0f);
    ASSERT_TRUE(c().mainWindow().mRotaionStrpper->userClickUp());
    EXPECT_EQ(c().mainWindow().m_pRotationSlider->doubleValue(), 0.0);
    EXPECT_TRUE(insideCropEnabled());
    EXPECT_EQ(m_view.count("perspective"), 3u);
}

TEST_F(ControlsTest, ZoomStepsThroughItsFiveValues) {
    ASSERT_TRUE(c().mainWindow().m_pMagnifierButton->performClick());
    EXPECT_TRUE(m_view.magnifier);
    EXPECT_TRUE(c().mainWindow().m_pZoomPlusButton->isEnabled());
    EXPECT_FALSE(c().mainWindow().m_pZoomMinusButton->isEnabled());
    std::vector<int> seen;
    while (c().mainWindow().m_pZoomPlusButton->isEnabled()) {
        ASSERT_TRUE(c().mainWindow().m_pZoomPlusButton->performClick());
        seen.push_back(c().magnificationValue());
    }
    EXPECT_EQ(seen, (std::vector<int>{200, 400, 600, 800}));
    EXPECT_EQ(m_view.magnification, 800);
    seen.clear();
    while (c().mainWindow().m_pZoomMinusButton->isEnabled()) {
        ASSERT_TRUE(c().mainWindow().m_pZoomMinusButton->performClick());
        seen.push_back(c().magnificationValue());
    }
    EXPECT_EQ(seen, (std::vector<int>{600, 400, 200, 100}));
    ASSERT_TRUE(c().mainWindow().m_pMagnifierButton->performClick());
    EXPECT_FALSE(m_view.magnifier);
    EXPECT_FALSE(c().mainWindow().m_pZoomPlusButton->isEnabled());
}

TEST_F(ControlsTest, GridEnablesItsControlsAndRedraws) {
    ASSERT_TRUE(c().mainWindow().m_pShowGridCheckbox->performClick());
    EXPECT_TRUE(c().correctionParameters().showGrid);
    EXPECT_TRUE(c().mainWindow().m_pGridSlider->isEnabled());
    EXPECT_TRUE(c().mainWindow().m_pColorWell->isEnabled());
    ASSERT_TRUE(c().mainWindow().m_pGridSlider->userMoveTo(80));
    EXPECT_EQ(c().correctionParameters().gridSpacing, 80);
    ASSERT_TRUE(c().mainWindow().m_pColorWell->userChooseColor(qv::ui::Color::redColor()));
    EXPECT_EQ(c().correctionParameters().gridColor, qv::ui::Color::redColor());
    EXPECT_EQ(m_view.count("setNeedsDisplay"), 3u);
    ASSERT_TRUE(c().mainWindow().m_pShowGridCheckbox->performClick());
    EXPECT_FALSE(c().mainWindow().m_pGridSlider->isEnabled());
}

TEST_F(ControlsTest, TypedValuesMoveTheirSlidersAndRunTheirActions) {
    ASSERT_TRUE(c().mainWindow().m_pYawText->userType("7.5"));
    EXPECT_EQ(c().correctionParameters().yaw, 7.5);
    ASSERT_TRUE(c().mainWindow().m_pRotationValueText->userType("20"));
    EXPECT_EQ(c().correctionParameters().rotation, -20.0);
    EXPECT_FALSE(insideCropEnabled());
    ASSERT_TRUE(c().mainWindow().m_pVignetMidpointText->userType("0.4"));
    EXPECT_DOUBLE_EQ(c().correctionParameters().vignetMidpoint, double(0.4f));
    ASSERT_TRUE(c().mainWindow().m_pFOVText->isEditable());
    c().mainWindow().m_pFOVText->setEnabled(true);
    ASSERT_TRUE(c().mainWindow().m_pFOVText->userType("60"));
    EXPECT_EQ(m_view.calls, (std::vector<std::string>{"perspective", "perspective", "applyVignet", "perspective"}));

    c().fisheye().mFEOutputWidth->setEnabled(true);
    ASSERT_TRUE(c().fisheye().mFEOutputWidth->userType("1600"));
    EXPECT_EQ(qv::UserDefaults::standard().floatForKey("feOutputWidth"), 1600.0f);
}

TEST_F(ControlsTest, ApplyAndRevertDriveTheView) {
    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(10));
    m_view.calls.clear();
    c().onApply(nullptr);
    EXPECT_EQ(m_view.calls, (std::vector<std::string>{"applyCorrection"}));
    EXPECT_FALSE(m_view.batch);
    c().onRevert(nullptr);
    EXPECT_EQ(c().correctionParameters().yaw, 0.0);
    EXPECT_EQ(m_view.calls.back(), "revertImage");
}

TEST_F(ControlsTest, CorrectionTypeEnablesOneGroupOfControls) {
    ASSERT_TRUE(c().fisheye().mFECorrectionTypeMatrix->userClickCell(1));
    EXPECT_EQ(c().correctionType(), CorrectionType::Fisheye);
    EXPECT_TRUE(c().fisheye().mFEDefishButton->isEnabled());
    EXPECT_TRUE(c().fisheye().mFESamplertypePopUp->isEnabled());
    EXPECT_FALSE(c().mainWindow().m_pLensButton->isEnabled());
    EXPECT_FALSE(c().mainWindow().mFocalLengthField->isEnabled());
    ASSERT_TRUE(c().fisheye().mFESamplertypePopUp->userChooseItem(5));
    EXPECT_EQ(c().fisheyeSettings().sampler, 5);
    ASSERT_TRUE(c().fisheye().mFECorrectionTypeMatrix->userClickCell(2));
    EXPECT_FALSE(c().fisheye().mFEDefishButton->isEnabled());
    EXPECT_FALSE(c().mainWindow().m_pDatabaseButton->isEnabled());
    ASSERT_TRUE(c().fisheye().mFECorrectionTypeMatrix->userClickCell(0));
    EXPECT_FALSE(c().fisheye().mFEOutputWidth->isEnabled());
    EXPECT_TRUE(c().mainWindow().m_pDatabaseButton->isEnabled());
}

// ---- The angle of view ----

TEST_F(ControlsTest, TypedAngleIsClampedIntoItsRange) {
    c().mainWindow().m_pFOVCheckbox->setState(qv::ui::kOnState);
    const std::pair<const char*, double> cases[] = {{"0", 34.9681}, {"120", 90}, {"45", 45}, {"-10", 34.9681}};
    for (const auto& [typed, expected] : cases) {
        c().mainWindow().m_pFOVText->setStringValue(typed);
        c().setDFOVwithWidth(3000, 2000);
        EXPECT_DOUBLE_EQ(c().angularWidth(), expected) << typed;
        EXPECT_FLOAT_EQ(c().mainWindow().m_pFOVText->floatValue(), float(expected))
            << "the field shows the angle in use";
    }
}

TEST_F(ControlsTest, ComputedAngleComesFromTheSelectedLensRowAndNeverIsNaN) {
    c().setDFOVwithWidth(3000, 2000);
    EXPECT_DOUBLE_EQ(c().angularWidth(), 34.9681) << "no lens row: no angle";
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    c().mainWindow().mFocalLengthField->setDoubleValue(50);
    c().setDFOVwithWidth(3000, 2000);
    EXPECT_NEAR(c().angularWidth(), 58.5353, 1e-4);
    c().setDFOVwithWidth(0, 0);
    EXPECT_DOUBLE_EQ(c().angularWidth(), 34.9681) << "a 0 x 0 image";
    EXPECT_FALSE(std::isnan(c().mainWindow().m_pFOVText->doubleValue()));
    c().mainWindow().mFocalLengthField->setDoubleValue(80);
    c().setDFOVwithWidth(3000, 2000);
    EXPECT_DOUBLE_EQ(c().angularWidth(), 90.0);
    EXPECT_NEAR(QVFieldOfView::calculateVerticalFOVFromHFOV(50, 3000, 2000), 34.5380, 1e-4);
    EXPECT_NEAR(QVFieldOfView::calculateDiagonalFOVFromHVOV(30, 30), 41.5071, 1e-4);
}

TEST_F(ControlsTest, UncheckingTheAngleBoxRecomputesItFromThePreviewProxy) {
    loadDatabaseRow(0);
    openParametersSheet();
    ASSERT_TRUE(c().parametersSheet().m_pParametersTable->userClickRow(0));
    c().mainWindow().mFocalLengthField->setDoubleValue(50);
    m_view.proxy = {900, 600};
    c().mainWindow().m_pFOVCheckbox->setEnabled(true);
    ASSERT_TRUE(c().mainWindow().m_pFOVCheckbox->performClick());
    EXPECT_TRUE(c().mainWindow().m_pFOVText->isEnabled());
    ASSERT_TRUE(c().mainWindow().m_pFOVCheckbox->performClick());
    EXPECT_FALSE(c().mainWindow().m_pFOVText->isEnabled());
    EXPECT_NEAR(c().angularWidth(), 58.5353, 1e-4) << "a 900 x 600 proxy has the photo's proportions";
}

TEST_F(ControlsTest, AngleSetOnAWorkerThreadReachesTheFieldThroughTheMainThread) {
    c().mainWindow().m_pFOVCheckbox->setState(qv::ui::kOnState);
    c().mainWindow().m_pFOVText->setStringValue("45");
    std::thread worker([&] { c().setDFOVwithWidth(100, 100); });
    worker.join();
    EXPECT_EQ(c().angularWidth(), 45.0);
    c().mainWindow().m_pFOVText->setStringValue("");
    qv::RunLoop::main().runUntil([&] { return c().mainWindow().m_pFOVText->doubleValue() == 45.0; }, 5);
    EXPECT_EQ(c().mainWindow().m_pFOVText->doubleValue(), 45.0);
}

}  // namespace
