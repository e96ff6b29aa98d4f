#include "engine/QVViewChain.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "EngineImages.h"
#include "FakeParameters.h"

using enginetest::Rendered;
using enginetest::Rgba;
using qv::ci::Image;

namespace {

class ViewChain : public testing::Test {
protected:
    void SetUp() override {
        enginetest::useBundleResources();
        view.m_pImage = photo;
        view.m_pFixdSizeImage = proxy;
    }

    FakeParameters controller;
    QVViewChain view{&controller};
    Image photo = enginetest::drawImage(600, 400, [](int x, int y) { return Rgba{x / 600.0f, y / 400.0f, 0.5f, 1}; });
    Image proxy = enginetest::drawImage(90, 60, [](int x, int y) { return Rgba{x / 90.0f, y / 60.0f, 0.5f, 1}; });
};

TEST_F(ViewChain, PreviewStartsFromTheProxyUnlessThereIsNoneOrTheMagnifierIsOn) {
    EXPECT_EQ(view.previewSource(), proxy);
    view.m_bMagnifierFlag = true;
    EXPECT_EQ(view.previewSource(), photo);
    view.m_bMagnifierFlag = false;
    view.m_pFixdSizeImage = Image();
    EXPECT_EQ(view.previewSource(), photo);
}

TEST_F(ViewChain, PartialRerunStartsFromTheKeptCorrectedImage) {
    controller.coefficients = {0.02, 0, 0, 0.98};
    view.m_pCorrectedImage = view.correctedPreviewOf(view.previewSource());
    EXPECT_NE(view.m_pCorrectedImage, proxy);
    controller.scale = 50;
    controller.crop = FakeParameters::Crop::Outside;
    const Image shown = view.rerunFromCorrected();
    EXPECT_EQ(shown, view.m_pPerspectiveImage);
    EXPECT_NEAR(shown.extent().width(), 45, 1e-3);
    EXPECT_NEAR(shown.extent().height(), 30, 1e-3);
}

TEST_F(ViewChain, FullResolutionChainFollowsTheFlags) {
    controller.coefficients = {0.02, 0, 0, 0.98};
    controller.scale = 110;
    controller.crop = FakeParameters::Crop::Outside;
    EXPECT_EQ(view.fullResolutionChain(photo, controller.correctionParameters()), photo);  // corrections off
    view.setApplyFlagTo(true);
    const Image scaledOnly = view.fullResolutionChain(photo, controller.correctionParameters());
    EXPECT_NEAR(scaledOnly.extent().width(), 660, 1);
    view.setCorrectFlagTo(true);
    const Image corrected = view.fullResolutionChain(photo, controller.correctionParameters());
    EXPECT_NEAR(corrected.extent().width(), 660, 1);
    // The distortion moves the pixels away from the centre: the results differ off-centre.
    const Rendered a(scaledOnly, {0, 0, 660, 440}), b(corrected, {0, 0, 660, 440});
    EXPECT_GT(std::abs(a.channel(30, 30, 0) - b.channel(30, 30, 0)), 1e-3);
}

TEST_F(ViewChain, CropRectangleKeepsTheLoadedSizeCentredOnTheResult) {
    const Image bigger = enginetest::uniformImage(630, 420, {1, 1, 1, 1});
    const Image smaller = enginetest::uniformImage(500, 300, {1, 1, 1, 1});
    controller.crop = FakeParameters::Crop::Inside;
    EXPECT_EQ(view.effectiveRectForImage(bigger, controller.correctionParameters()),
              qv::Rect(0, 0, 630, 420));  // scale 100
    controller.scale = 101;
    EXPECT_EQ(view.effectiveRectForImage(bigger, controller.correctionParameters()), qv::Rect(15, 10, 600, 400));
    EXPECT_EQ(view.effectiveRectForImage(smaller, controller.correctionParameters()), qv::Rect(0, 0, 500, 300));
    controller.crop = FakeParameters::Crop::None;
    EXPECT_EQ(view.effectiveRectForImage(smaller, controller.correctionParameters()), qv::Rect(-50, -50, 600, 400));
    controller.crop = FakeParameters::Crop::Outside;
    EXPECT_EQ(view.effectiveRectForImage(bigger, controller.correctionParameters()), qv::Rect(15, 10, 600, 400));
}

TEST_F(ViewChain, AFullResolutionRunLeavesThePreviewGeometryAlone) {
    controller.yawAngle = 7;
    controller.pitchAngle = 3;
    view.m_pPerspectiveImage = view.preview().perspectiveTransform(proxy);
    const coordinates frame = view.revertedCoordinates();
    const imageParams previewParams = view.preview().params();
    view.setApplyFlagTo(true);
    controller.yawAngle = -12;
    ASSERT_FALSE(view.fullResolutionChain(photo, controller.correctionParameters()).isNull());
    EXPECT_EQ(view.revertedCoordinates().TL.x, frame.TL.x);
    EXPECT_EQ(view.revertedCoordinates().BR.y, frame.BR.y);
    EXPECT_EQ(view.preview().params().imageWidth, previewParams.imageWidth);
    EXPECT_EQ(view.preview().params().pitch, previewParams.pitch);
}

TEST_F(ViewChain, SaveThreadsAndThePreviewRunSideBySide) {
    controller.yawAngle = 5;
    controller.red = 1.01;
    controller.vignetAmount = 20;
    controller.coefficients = {0.01, -0.01, 0, 1};
    view.setApplyFlagTo(true);
    view.setCorrectFlagTo(true);
    const Rendered expectedSave(view.fullResolutionChain(photo, controller.correctionParameters()), {0, 0, 600, 400});
    const Rendered expectedPreview(view.preview().previewAfterDistortion(proxy), {0, 0, 90, 60});
    ASSERT_TRUE(expectedSave.isValid());
    ASSERT_TRUE(expectedPreview.isValid());

    // Each save takes its parameters on this thread as it starts.
    const CorrectionParameters saving = controller.correctionParameters();
    std::vector<Rgba> saved(2);
    std::vector<std::thread> savers;
    for (int i = 0; i < 2; ++i)
        savers.emplace_back([&, i] {
            saved[i] = Rendered(view.fullResolutionChain(photo, saving), {0, 0, 600, 400}).at(123, 77);
        });
    for (int i = 0; i < 20; ++i) {
        view.m_pPerspectiveImage = view.preview().previewAfterDistortion(proxy);
        EXPECT_EQ(Rendered(view.m_pPerspectiveImage, {0, 0, 90, 60}).at(40, 20), expectedPreview.at(40, 20));
    }
    for (std::thread& t : savers) t.join();
    for (const Rgba& pixel : saved) EXPECT_EQ(pixel, expectedSave.at(123, 77));
}

TEST_F(ViewChain, FinalImageOfThePlugInReadsThePhotoAgainAndCorrectsIt) {
    controller.originalPath = "/photos/chosen.tif";
    controller.scale = 200;
    controller.crop = FakeParameters::Crop::Outside;
    std::string asked;
    const QVViewChain::ImageLoader loader = [&](const std::string& path) {
        asked = path;
        return enginetest::uniformImage(300, 200, {1, 1, 1, 1});
    };
    EXPECT_EQ(view.finalImage(false, true, loader), photo);  // the application's
    EXPECT_TRUE(asked.empty());
    const Image unapplied = view.finalImage(true, true, loader);
    EXPECT_EQ(asked, "/photos/chosen.tif");
    EXPECT_EQ(unapplied.extent(), qv::Rect(0, 0, 300, 200));
    view.setApplyFlagTo(true);
    EXPECT_NEAR(view.finalImage(true, true, loader).extent().width(), 600, 1);
    EXPECT_TRUE(view.m_pImageToSave.isNull());
    // Older systems correct the loaded photo and keep the result.
    const Image kept = view.finalImage(true, false, loader);
    EXPECT_EQ(kept, view.m_pImageToSave);
    EXPECT_NEAR(kept.extent().width(), 1200, 1);
}

}  // namespace
