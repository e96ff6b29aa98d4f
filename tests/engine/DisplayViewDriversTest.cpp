// The drivers of the preview chain: which image each starts from, which flags it sets, and what
// ends up shown.
#include <gtest/gtest.h>

#include <cmath>

#include "DisplayViewFixtures.h"
#include "EngineImages.h"
#include "common/TempDir.h"
#include "coreimage/CIImageUnit.h"

using enginetest::Rendered;
using qv::ci::Image;
using viewtest::ViewSetup;

namespace {

// A view holding a 300 x 200 photo (proxy 900 x 600) with a lens correction chosen.
struct Loaded : ViewSetup {
    qvtest::TempDir dir;
    Loaded() {
        qv::ci::loadPlugIn("LensFilter");
        controller.p.coefficients = {0.02, -0.01, 0.0, 1};
        EXPECT_TRUE(view->setCIImageFromFile(viewtest::writeSamplePhoto(dir.path() + "/photo.tif", 300, 200)));
    }
    QVDisplayView& v() { return *view; }
};

}  // namespace

TEST(DisplayViewDrivers, ApplyCorrectionRunsTheWholeChainOnTheProxy) {
    Loaded s;
    s.v().applyCorrection();
    EXPECT_TRUE(s.v().m_bApplyFlag);
    EXPECT_TRUE(s.v().m_bCorrectFlag);
    // The distortion step ran on the proxy: a new image of the proxy's size.
    EXPECT_NE(s.v().m_pCorrectedImage, s.v().m_pFixdSizeImage);
    EXPECT_EQ(s.v().m_pCorrectedImage.extent(), s.v().m_pFixdSizeImage.extent());
    // What is drawn is the chain's end fitted to the view.
    EXPECT_EQ(s.v().imageToDraw().extent(), qv::Rect(0, 0, 600, 400));
    EXPECT_FALSE(s.v().imageToDraw() == s.v().m_pPerspectiveImage);
}

TEST(DisplayViewDrivers, PartialRerunsStartFromTheKeptCorrectedImage) {
    Loaded s;
    s.v().applyCorrection();
    const Image corrected = s.v().m_pCorrectedImage;
    const Image before = s.v().m_pPerspectiveImage;
    s.controller.p.yawAngle = 8;
    s.v().perspective();
    EXPECT_EQ(s.v().m_pCorrectedImage, corrected) << "the distortion step is not run again";
    EXPECT_NE(s.v().m_pPerspectiveImage, before);

    // After a revert, every partial driver but resetImageToDraw sets the apply flag again; none
    // sets the correct flag.
    s.v().revertImage();
    s.v().resetImageToDraw();
    EXPECT_FALSE(s.v().m_bApplyFlag);
    for (void (QVDisplayView::*driver)() : {&QVDisplayView::chromaticAberration, &QVDisplayView::applyVignet,
                                             &QVDisplayView::perspective}) {
        s.v().revertImage();
        (s.v().*driver)();
        EXPECT_TRUE(s.v().m_bApplyFlag);
        EXPECT_FALSE(s.v().m_bCorrectFlag);
    }
    s.controller.p.yawAngle = 0;
    s.v().revertImage();
    s.v().setScaleValue(140);
    EXPECT_TRUE(s.v().m_bApplyFlag);
    // The scale comes from the controller, not from the argument.
    EXPECT_EQ(s.v().m_pPerspectiveImage.extent(), s.v().m_pFixdSizeImage.extent());
}

TEST(DisplayViewDrivers, RevertShowsTheProxyUncorrected) {
    Loaded s;
    s.v().applyCorrection();
    s.v().revertImage();
    EXPECT_FALSE(s.v().m_bApplyFlag);
    EXPECT_FALSE(s.v().m_bCorrectFlag);
    EXPECT_EQ(s.v().m_pCorrectedImage, s.v().m_pFixdSizeImage);
    EXPECT_EQ(s.v().m_pPerspectiveImage, s.v().m_pFixdSizeImage);
    EXPECT_EQ(s.v().imageToDraw().extent(), qv::Rect(0, 0, 600, 400));
}

TEST(DisplayViewDrivers, ThePreviewSwitchShowsTheProxyOrTheCorrectedPreview) {
    Loaded s;
    s.v().applyCorrection();
    const Image corrected = s.v().m_pCorrectedImage;
    s.v().setPreviewImage(false);
    EXPECT_FALSE(s.v().m_bPreviewFlag);
    // Later runs keep computing but the uncorrected proxy stays shown.
    s.controller.p.scale = 150;
    s.v().setScaleValue(0);
    const Rendered shownOff(s.v().imageToDraw(), qv::Rect(0, 0, 600, 400));
    const Rendered proxy(s.v().scaleImageToDraw(s.v().m_pFixdSizeImage), qv::Rect(0, 0, 600, 400));
    EXPECT_FLOAT_EQ(shownOff.channel(123, 77, 0), proxy.channel(123, 77, 0));
    EXPECT_FLOAT_EQ(shownOff.channel(451, 311, 1), proxy.channel(451, 311, 1));

    s.v().setPreviewImage(true);
    EXPECT_TRUE(s.v().m_bPreviewFlag);
    EXPECT_NE(s.v().m_pCorrectedImage, corrected) << "the distortion step ran again on the proxy";
    EXPECT_NE(s.v().m_pCorrectedImage, s.v().m_pFixdSizeImage);
    // Scaled by 1.5 and fitted with the proxy's scale: larger than the view.
    EXPECT_EQ(s.v().imageToDraw().extent().width(), 900);

    // Without the correct flag (after a revert) the preview starts from the proxy itself.
    s.v().revertImage();
    s.v().setPreviewImage(true);
    EXPECT_EQ(s.v().m_pCorrectedImage, s.v().m_pFixdSizeImage);
}

TEST(DisplayViewDrivers, TheMagnifierRunsTheChainOnTheFullPhoto) {
    Loaded s;
    s.v().applyCorrection();
    s.v().setMagnification(800);
    s.v().showMagnifier(true);
    EXPECT_TRUE(s.v().m_bMagnifierFlag);
    EXPECT_EQ(s.v().m_pCorrectedImage.extent(), s.v().ciImage().extent());
    ASSERT_TRUE(s.v().lensCentre().has_value());
    EXPECT_EQ(s.v().lensCentre()->x, 300);
    EXPECT_EQ(s.v().lensCentre()->y, 200);
    // The lens output is drawn as it is: the fitted picture with the lens over it.
    const qv::ci::FilterValue input = s.v().magnifier()->valueForKey("inputImage");
    ASSERT_TRUE(input.image());
    EXPECT_EQ(input.image()->extent(), qv::Rect(0, 0, 600, 400));
    // The photo is drawn at twice its size, so 800 per cent magnify the fitted picture 4 times.
    EXPECT_EQ(*s.v().magnifier()->valueForKey("inputMagnification").number(), 4.0);
    const Rendered lens(s.v().imageToDraw(), qv::Rect(0, 0, 600, 400));
    const Rendered fitted(s.v().scaleImageToDraw(s.v().m_pPerspectiveImage), qv::Rect(0, 0, 600, 400));
    for (int c : {0, 1}) {
        EXPECT_NEAR(lens.channel(340, 200, c), fitted.channel(310, 200, c), 0.01f);
        EXPECT_NEAR(lens.channel(300, 160, c), fitted.channel(300, 190, c), 0.01f);
        EXPECT_FLOAT_EQ(lens.channel(550, 30, c), fitted.channel(550, 30, c)) << "outside the lens";
    }

    // A whole run while the magnifier is on stays on the full photo and shows the lens.
    s.v().applyCorrection();
    EXPECT_EQ(s.v().m_pCorrectedImage.extent(), s.v().ciImage().extent());
    EXPECT_NEAR(Rendered(s.v().imageToDraw(), qv::Rect(0, 0, 600, 400)).channel(340, 200, 0), lens.channel(340, 200, 0), 1.0f / 255);

    s.v().showMagnifier(false);
    EXPECT_FALSE(s.v().m_bMagnifierFlag);
    EXPECT_EQ(s.v().m_pCorrectedImage.extent(), s.v().m_pFixdSizeImage.extent());
    EXPECT_NE(s.v().m_pCorrectedImage, s.v().m_pFixdSizeImage) << "distortion-corrected proxy";
}

TEST(DisplayViewDrivers, TurningTheMagnifierOffAfterARevertMakesAFreshProxy) {
    Loaded s;
    s.v().applyCorrection();
    s.v().revertImage();
    s.v().showMagnifier(true);
    EXPECT_EQ(s.v().m_pCorrectedImage, s.v().ciImage()) << "no distortion step after a revert";
    const Image kept = s.v().m_pFixdSizeImage;
    s.v().showMagnifier(false);
    EXPECT_NE(s.v().m_pCorrectedImage, kept);
    EXPECT_EQ(s.v().m_pCorrectedImage.extent(), kept.extent());
    EXPECT_EQ(s.v().m_pFixdSizeImage, kept) << "the kept proxy is not replaced";
}

TEST(DisplayViewDrivers, ABatchRunComputesButChangesNothingShown) {
    Loaded s;
    s.v().applyCorrection();
    const Image drawn = s.v().imageToDraw();
    const Image before = s.v().m_pPerspectiveImage;
    s.v().setBatchFlagTo(true);
    EXPECT_TRUE(s.v().isBatchProcessInProgress());
    s.controller.p.pitchAngle = 5;
    s.v().applyCorrection();
    s.v().perspective();
    s.v().showMagnifier(false);
    EXPECT_NE(s.v().m_pPerspectiveImage, before);
    EXPECT_EQ(s.v().imageToDraw(), drawn);

    // A photo loaded during a batch is not drawn either.
    qvtest::TempDir dir;
    ASSERT_TRUE(s.v().setCIImageFromFile(viewtest::writeSamplePhoto(dir.path() + "/other.tif", 100, 100)));
    EXPECT_EQ(s.v().imageToDraw(), drawn);
}

TEST(DisplayViewDrivers, WithoutAControllerTheDriversDoNothing) {
    enginetest::useBundleResources();
    QVDisplayView view(qv::Rect(0, 0, 300, 200));
    qvtest::TempDir dir;
    ASSERT_TRUE(view.setCIImageFromFile(viewtest::writeSamplePhoto(dir.path() + "/photo.tif", 60, 40)));
    const Image shown = view.m_pPerspectiveImage;
    view.applyCorrection();
    view.perspective();
    view.setPreviewImage(true);
    view.showMagnifier(true);
    EXPECT_EQ(view.m_pPerspectiveImage, shown);
    EXPECT_FALSE(view.m_bApplyFlag);
    EXPECT_FALSE(view.m_bMagnifierFlag);
}

TEST(DisplayViewDrivers, KeptStepsGiveTheSamePreviewAsAFreshChain) {
    // Between perspective changes the steps before the perspective are kept as pixels; the
    // preview must stay what the whole chain gives, and follow any change of those steps.
    Loaded s;
    s.controller.p.red = 1.004;
    s.controller.p.vignetAmount = 40;
    s.v().applyCorrection();
    // Kept pixels are resampled once more than the lazy chain: sharp edges soften a little, the
    // picture stays the same on average and in its geometry.
    auto expectFreshChain = [&](const char* when) {
        QVCorrectionChain fresh(&s.controller);
        const Image expected = fresh.previewAfterDistortion(s.v().m_pCorrectedImage);
        ASSERT_EQ(s.v().m_pPerspectiveImage.extent(), expected.extent()) << when;
        const qv::Rect area = qv::ci::Context::renderBounds(expected.extent());
        const Rendered a(s.v().m_pPerspectiveImage, area), b(expected, area);
        double sum = 0;
        int count = 0;
        for (int y = 0; y < a.height(); y += 2)
            for (int x = 0; x < a.width(); x += 2, ++count)
                for (int c = 0; c < 4; ++c) sum += std::fabs(a.channel(x, y, c) - b.channel(x, y, c));
        EXPECT_LT(sum / count / 4, 1.0 / 255) << when;
    };
    for (double yaw : {6.0, -4.0, 2.0}) {
        s.controller.p.yawAngle = yaw;
        s.v().perspective();
        expectFreshChain("after a perspective change");
    }
    s.controller.p.red = 0.996;
    s.v().chromaticAberration();
    expectFreshChain("after a fringe change");
    s.controller.p.vignetAmount = -20;
    s.v().applyVignet();
    s.v().perspective();
    expectFreshChain("after a vignetting change");
}
