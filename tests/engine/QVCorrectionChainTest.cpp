#include "engine/QVCorrectionChain.h"

#include <gtest/gtest.h>

#include <cmath>

#include "EngineImages.h"
#include "FakeParameters.h"
#include "coreimage/CIContext.h"

using enginetest::Rendered;
using enginetest::Rgba;
using qv::ci::Image;

namespace {

class Chain : public testing::Test {
protected:
    void SetUp() override { enginetest::useBundleResources(); }

    FakeParameters controller;
    // The chain with the parameters as the test set them, as a run starts.
    QVCorrectionChain& chain() {
        m_chain.setParameters(controller.correctionParameters());
        return m_chain;
    }
    QVCorrectionChain m_chain{&controller};
    Image photo = enginetest::uniformImage(600, 400, {0.5f, 0.5f, 0.5f, 1});
};

// A 400 x 200 picture whose left 300 columns are white and the rest black: a vertical edge in
// every channel at x = 300.
Image edgePicture() {
    return enginetest::drawImage(400, 200, [](int x, int) { return x < 300 ? Rgba{1, 1, 1, 1} : Rgba{0, 0, 0, 1}; });
}

// Where a channel falls through 0.5 along row y, between pixel centres.
double edgePosition(const Rendered& picture, int y, int channel) {
    for (int x = 0; x + 1 < picture.width(); ++x) {
        const double a = picture.channel(x, y, channel), b = picture.channel(x + 1, y, channel);
        if (a >= 0.5 && b < 0.5) return x + 0.5 + (a - 0.5) / (a - b);
    }
    return NAN;
}

// --- Helpers ---------------------------------------------------------------------------------

TEST_F(Chain, CoefficientHelpersReadTheFirstEntriesAndTreatMissingOnesAsZero) {
    EXPECT_TRUE(QVCorrectionChain::isEverythingZero({0, 0, 0, 1}));
    EXPECT_TRUE(QVCorrectionChain::isEverythingZero({}));
    EXPECT_FALSE(QVCorrectionChain::isEverythingZero({0, 0, 0.001, 1}));
    EXPECT_FALSE(QVCorrectionChain::isEverythingZero({-0.01}));
    EXPECT_EQ(QVCorrectionChain::setCorectionValuesForColor(2, {0.1, 0.2, 0.3, 0.4, 0.5}), (qv::Vec4{0.1, 0.2, 0.3, 0.4}));
    EXPECT_EQ(QVCorrectionChain::setCorectionValuesForColor(0, {0.1, 0.2}), (qv::Vec4{0.1, 0.2, 0, 0}));
    coordinates corners;
    corners.TL = {1, 2};
    corners.BR = {3, 4};
    QVCorrectionChain::resetCoordinates(&corners);
    EXPECT_EQ(corners.TL.x, 0);
    EXPECT_EQ(corners.BR.y, 0);
}

TEST_F(Chain, MoveToOriginShiftsOnlyTheOffCentreAxes) {
    const Image vertical = photo.imageByApplyingTransform(qv::AffineTransform::translation(0, -200));
    EXPECT_EQ(chain().moveImageToOrigin(vertical).extent(), qv::Rect(0, 0, 600, 400));
    const Image centred = photo.imageByApplyingTransform(qv::AffineTransform::translation(-300, -200));
    EXPECT_EQ(chain().moveImageToOrigin(centred).extent(), qv::Rect(0, 0, 600, 400));
    EXPECT_EQ(chain().moveImageToOrigin(photo).extent(), qv::Rect(0, 0, 600, 400));
}

// --- Distortion and scale --------------------------------------------------------------------

TEST_F(Chain, DistortionStepPassesTheInputThroughUnlessThereIsSomethingToCorrect) {
    EXPECT_EQ(chain().correctLensDistortion(photo), photo);  // all coefficients 0
    controller.coefficients = {0.01, 0, 0, 0.99};
    controller.type = CorrectionType::Fisheye;
    EXPECT_EQ(chain().correctLensDistortion(photo), photo);
    controller.type = CorrectionType::None;
    EXPECT_EQ(chain().applyCorrectionBeforeSave(photo), photo);
    controller.type = CorrectionType::Lens;
    const Image corrected = chain().correctLensDistortion(photo);
    EXPECT_NE(corrected, photo);
    EXPECT_EQ(corrected.extent(), photo.extent());
    EXPECT_NE(chain().applyCorrectionBeforeSave(photo), photo);
    EXPECT_TRUE(chain().correctLensDistortion(Image()).isNull());
}

TEST_F(Chain, ScaleStepsScaleByThePercentage) {
    EXPECT_EQ(chain().scaleImage(photo), photo);
    EXPECT_EQ(chain().qualityScaleImage(photo), photo);
    controller.scale = 50;
    EXPECT_EQ(chain().scaleImage(photo).extent(), qv::Rect(0, 0, 300, 200));
    const qv::Rect quality = chain().qualityScaleImage(photo).extent();
    EXPECT_NEAR(quality.width(), 300, 1);
    EXPECT_NEAR(quality.height(), 200, 1);
}

// --- Chromatic aberration --------------------------------------------------------------------

TEST_F(Chain, RedAndBlueScalingMoveAColourEdgeAboutTheCentre) {
    controller.red = 1.02;
    controller.blue = 0.98;
    // Full resolution: scaled about the centre x = 200, no move, so the red edge goes to
    // 200 + 1.02 * 100 and the blue one to 200 + 0.98 * 100.
    const Image saved = chain().chromaticAberrationBeforeSave(edgePicture());
    const qv::Rect extent = saved.extent();
    EXPECT_NEAR(extent.minX(), -4, 1e-3);
    const Rendered full(saved, {0, 0, 400, 200});
    ASSERT_TRUE(full.isValid());
    EXPECT_NEAR(edgePosition(full, 100, 0), 302, 0.05);
    EXPECT_NEAR(edgePosition(full, 100, 1), 300, 0.05);
    EXPECT_NEAR(edgePosition(full, 100, 2), 298, 0.05);
    // Preview: the same, moved so that the grown extent starts at the origin (by 4, 2).
    const Image preview = chain().chromaticAberrationCorrection(edgePicture());
    EXPECT_NEAR(preview.extent().minX(), 0, 1e-3);
    EXPECT_NEAR(preview.extent().minY(), 0, 1e-3);
    const Rendered shown(preview, {0, 0, 400, 200});
    EXPECT_NEAR(edgePosition(shown, 100, 0), 306, 0.05);
    EXPECT_NEAR(edgePosition(shown, 100, 1), 304, 0.05);
    EXPECT_NEAR(edgePosition(shown, 100, 2), 302, 0.05);
}

TEST_F(Chain, AChannelFactorOfZeroDropsThatChannel) {
    const Image colour = enginetest::uniformImage(40, 20, {0.3f, 0.6f, 0.9f, 1});
    controller.red = 0;
    for (const Image& out :
         {chain().chromaticAberrationCorrection(colour), chain().chromaticAberrationBeforeSave(colour)}) {
        const Rendered r(out, {0, 0, 40, 20});
        ASSERT_TRUE(r.isValid());
        EXPECT_NEAR(r.channel(20, 10, 0), 0, 1e-6);
        EXPECT_NEAR(r.channel(20, 10, 1), 0.6, 1e-5);
        EXPECT_NEAR(r.channel(20, 10, 2), 0.9, 1e-5);
        EXPECT_NEAR(r.channel(20, 10, 3), 1, 1e-5);
    }
}

TEST_F(Chain, NeutralChannelFactorsLeaveTheImageButThePreviewStillMovesItToTheOrigin) {
    EXPECT_EQ(chain().chromaticAberrationBeforeSave(photo), photo);
    EXPECT_EQ(chain().chromaticAberrationCorrection(photo), photo);
    const Image below = photo.imageByApplyingTransform(qv::AffineTransform::translation(-10, -20));
    EXPECT_EQ(chain().chromaticAberrationCorrection(below).extent(), photo.extent());
    EXPECT_EQ(chain().chromaticAberrationBeforeSave(below).extent(), below.extent());
}

// --- Vignetting ------------------------------------------------------------------------------

TEST_F(Chain, VignettingRunsOnlyWhenTheAmountIsNotZero) {
    EXPECT_EQ(chain().vignetteCorrection(photo), photo);
    controller.vignetAmount = 40;
    const Rendered r(chain().vignetteCorrection(photo), {0, 0, 600, 400});
    EXPECT_NEAR(r.channel(300, 200, 0), 0.5, 1e-4);
    EXPECT_NEAR(r.channel(0, 0, 0), 0.7, 0.005);
}

// --- Perspective -----------------------------------------------------------------------------

TEST_F(Chain, NoAnglesWithCropNoneAutoscaleByOneAndLeaveTheImage) {
    const Image out = chain().perspectiveTransform(photo);
    EXPECT_EQ(out.extent(), photo.extent());
    EXPECT_EQ(chain().autoScaleValueFor(photo), 1.0);
    EXPECT_EQ(chain().perspectiveTransformBeforeSave(photo).extent(), photo.extent());
    // The preview's reverted corners frame the image.
    EXPECT_EQ(chain().revertedCorners().TR.x, 600);
    EXPECT_EQ(chain().revertedCorners().TR.y, 400);
}

TEST_F(Chain, RotationOfNinetyDegreesTurnsTheImage) {
    // Red in the top-left quarter, blue elsewhere.
    const Image marked = enginetest::drawImage(200, 100, [](int x, int y) {
        return x < 100 && y >= 50 ? Rgba{1, 0, 0, 1} : Rgba{0, 0, 1, 1};
    });
    controller.rotation = 90;
    controller.crop = FakeParameters::Crop::Outside;
    const Image turned = chain().perspectiveTransform(marked);
    const qv::Rect extent = turned.extent();
    EXPECT_NEAR(extent.minX(), 0, 0.01);
    EXPECT_NEAR(extent.minY(), 0, 0.01);
    EXPECT_NEAR(extent.width(), 100, 0.01);
    EXPECT_NEAR(extent.height(), 200, 0.01);
    // A quarter turn counter-clockwise: the top-left quarter becomes the bottom-left one.
    const Rendered r(turned, {0, 0, 100, 200});
    ASSERT_TRUE(r.isValid());
    EXPECT_NEAR(r.channel(25, 50, 0), 1, 1e-3);
    EXPECT_NEAR(r.channel(25, 150, 2), 1, 1e-3);
    EXPECT_NEAR(r.channel(75, 50, 2), 1, 1e-3);
    EXPECT_NEAR(r.channel(75, 150, 2), 1, 1e-3);
    EXPECT_NEAR(r.channel(75, 150, 0), 0, 1e-3);
}

TEST_F(Chain, AutoscaleFitsTheTurnedImageIntoTheOriginalSize) {
    controller.rotation = 90;
    const Image marked = enginetest::uniformImage(200, 100, {1, 1, 1, 1});
    const Image fitted = chain().perspectiveTransform(marked);
    EXPECT_NEAR(fitted.extent().width(), 50, 0.01);
    EXPECT_NEAR(fitted.extent().height(), 100, 0.01);
    // The autoscale leaves zero angles and the unrotated corners behind; the reverted corners are
    // the turned ones of the perspective step.
    EXPECT_EQ(chain().params().rotation, 0);
    EXPECT_NEAR(chain().projectedCorners().TL.x, -100, 1e-3);
    EXPECT_NEAR(chain().projectedCorners().TL.y, 50, 1e-3);
    EXPECT_NEAR(chain().revertedCorners().TL.x, 50, 1e-3);
    EXPECT_NEAR(chain().revertedCorners().TL.y, -50, 1e-3);
    // Crop inside autoscales as well; the full-resolution step scales with Lanczos.
    controller.crop = FakeParameters::Crop::Inside;
    const qv::Rect saved = chain().perspectiveTransformBeforeSave(marked).extent();
    EXPECT_NEAR(saved.width(), 50, 1);
    EXPECT_NEAR(saved.height(), 100, 1);
}

TEST_F(Chain, AspectIsAppliedOnceInThePerspectiveStep) {
    controller.aspect = 1.25;
    controller.crop = FakeParameters::Crop::Outside;
    const qv::Rect preview = chain().previewAfterDistortion(photo).extent();
    EXPECT_NEAR(preview.width(), 750, 1);
    EXPECT_NEAR(preview.height(), 400, 1);
    // The angle of view is asked for the image as it enters the perspective: after the aspect.
    EXPECT_NEAR(controller.lastFOVWidth, 750, 1);
    EXPECT_NEAR(controller.lastFOVHeight, 400, 1);
    controller.scale = 120;
    const qv::Rect saved = chain().fullResolutionAfterDistortion(photo).extent();
    EXPECT_NEAR(saved.width(), 600 * 1.2 * 1.25, 1);
    EXPECT_NEAR(saved.height(), 400 * 1.2, 1);
}

TEST_F(Chain, YawAndPitchKeepTheProjectedCornersOfThePerspectiveStep) {
    controller.yawAngle = 8;
    controller.pitchAngle = -6;
    controller.crop = FakeParameters::Crop::Outside;
    const Image out = chain().perspectiveTransform(photo);
    ASSERT_FALSE(out.isNull());
    coordinates expected;
    imageParams p{600, 400, 8, -6, 0, controller.angleOfView};
    RevertPoints(p, &expected);
    EXPECT_EQ(chain().revertedCorners().BL.x, expected.BL.x);
    EXPECT_EQ(chain().revertedCorners().TR.y, expected.TR.y);
    const Rendered r(out, out.extent().integral());
    ASSERT_TRUE(r.isValid());
    EXPECT_NEAR(r.channel(r.width() / 2, r.height() / 2, 1), 0.5, 1e-3);
}

// --- Parameters that make no picture ---------------------------------------------------------

TEST_F(Chain, ExtremeParametersGiveANullImageInsteadOfAnUnboundedOne) {
    qv::ci::Context context;
    auto expectNoPicture = [&](const Image& image, const char* what) {
        EXPECT_TRUE(image.isNull()) << what;
        EXPECT_FALSE(context.createBitmap(image, {0, 0, 600, 400}, qv::PixelFormat::ARGB8).isValid()) << what;
    };
    controller.pitchAngle = 90;
    expectNoPicture(chain().perspectiveTransform(photo), "chain().perspectiveTransform(photo)");
    expectNoPicture(chain().perspectiveTransformBeforeSave(photo), "chain().perspectiveTransformBeforeSave(photo)");
    controller.pitchAngle = 0;
    controller.yawAngle = 89.999;
    expectNoPicture(chain().perspectiveTransform(photo), "chain().perspectiveTransform(photo)");
    controller.yawAngle = 10;
    controller.angleOfView = 180;
    expectNoPicture(chain().perspectiveTransform(photo), "chain().perspectiveTransform(photo)");
    controller.yawAngle = NAN;
    controller.angleOfView = 50;
    expectNoPicture(chain().perspectiveTransform(photo), "chain().perspectiveTransform(photo)");
    controller.yawAngle = 0;
    controller.scale = 0;
    expectNoPicture(chain().scaleImage(photo), "chain().scaleImage(photo)");
    expectNoPicture(chain().qualityScaleImage(photo), "chain().qualityScaleImage(photo)");
    expectNoPicture(chain().previewAfterDistortion(photo), "chain().previewAfterDistortion(photo)");
    controller.scale = 100;
    controller.aspect = 0;
    expectNoPicture(chain().perspectiveTransform(photo), "chain().perspectiveTransform(photo)");
}

TEST_F(Chain, AnAngleOfViewOfZeroIsAParallelProjection) {
    controller.angleOfView = 0;
    controller.pitchAngle = 20;
    controller.crop = FakeParameters::Crop::Outside;
    const Image out = chain().perspectiveTransform(photo);
    ASSERT_FALSE(out.isNull());
    EXPECT_NEAR(out.extent().width(), 600, 1);
    EXPECT_NEAR(out.extent().height(), 400 * std::cos(20 * M_PI / 180), 1);
}

}  // namespace
