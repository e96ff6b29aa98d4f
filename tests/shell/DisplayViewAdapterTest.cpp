// The real preview view driven by the controller through the adapter: opening a photo runs the
// view's correction chain, and moving a control re-runs the preview with the controller's values.
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>

#include "ShellTestSupport.h"
#include "foundation/RunLoop.h"
#include "imageio/ImageSource.h"
#include "output/QVOutputType.h"
#include "appkit/Window.h"
#include "engine/QVDisplayView.h"
#include "shell/controller/QVController.h"
#include "shell/controller/QVDisplayViewAdapter.h"

using namespace shelltest;

namespace {

// Four of the main window's corrections. They are set on the sliders and their actions sent, as
// a preset or a batch run sets them, which works also while a save has the sliders disabled.
struct MainWindowSettings {
    double yaw, red, vignettingAmount, scale;
};

void setMainWindowControls(QVController& controller, const MainWindowSettings& settings) {
    shell::MainWindowOutlets& w = controller.mainWindow();
    w.m_pHorizontalSlider->setDoubleValue(settings.yaw);
    controller.onHorizontalSlider(w.m_pHorizontalSlider);
    w.m_pFixRedSlider->setDoubleValue(settings.red);
    controller.onFixRedSlider(w.m_pFixRedSlider);
    w.m_pVigAmountSlider->setDoubleValue(settings.vignettingAmount);
    controller.onAmountSlider(w.m_pVigAmountSlider);
    w.m_pScaleSlider->setDoubleValue(settings.scale);
    controller.onScaleSlider(w.m_pScaleSlider);
}

// The pixels of an image file as decoded; empty when it cannot be read.
std::vector<std::uint8_t> decodedPixels(const std::string& path) {
    const auto source = qv::io::ImageSource::createWithPath(path);
    const auto bitmap = source ? source->createImage(0) : std::nullopt;
    if (!bitmap || !bitmap->isValid()) return {};
    return {bitmap->pixels.begin(), bitmap->pixels.end()};
}

class DisplayViewAdapterTest : public testing::Test {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        // The metadata tool and the view's correction kernels, as the build installs them.
        for (const char* file : {"exiftool", "MyRadialDistortion.cikernel", "MyVignetting.cikernel"})
            ASSERT_TRUE(m_bundle->installResource(file));
        m_view = std::make_shared<QVDisplayView>(qv::Rect(0, 0, 400, 300));
        m_adapter = std::make_unique<QVDisplayViewAdapter>(*m_view);
        responder().queueAlert(declineOwnedLenses());
        m_nib = std::make_unique<QVMainNib>(launch(m_adapter.get()));
        c().mainWindow().m_pWindow->contentView()->addSubview(m_view);
        m_photo = m_dir.path() + "/IMG_0002.jpg";
    }
    void TearDown() override {
        m_nib.reset();
        m_adapter.reset();
        m_view.reset();
        resetApplication();
        m_bundle.reset();
    }
    QVController& c() { return *m_nib->controller; }

    qvtest::TempDir m_dir;
    std::unique_ptr<FixtureBundle> m_bundle;
    std::shared_ptr<QVDisplayView> m_view;
    std::unique_ptr<QVDisplayViewAdapter> m_adapter;
    std::unique_ptr<QVMainNib> m_nib;
    std::string m_photo;
};

TEST_F(DisplayViewAdapterTest, OpeningThroughTheControllerRunsTheViewsChain) {
    EXPECT_EQ(m_view->displayController(), &c());
    EXPECT_TRUE(m_view->m_pPerspectiveImage.isNull());

    writePhoto(m_photo, 120, 80);
    c().openImage(m_photo);
    ASSERT_TRUE(c().state().m_bImageLoaded.load());
    ASSERT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    EXPECT_FALSE(m_view->ciImage().isNull());
    EXPECT_FALSE(m_view->m_pCorrectedImage.isNull());
    EXPECT_FALSE(m_view->m_pPerspectiveImage.isNull());
    // The metadata the controller reads comes from the view's photo.
    EXPECT_EQ(m_adapter->imageMetadata().get("{TIFF}").get("Model").stringOr(""), "Canon EOS 400D DIGITAL");
    // Saving runs the view's full-resolution chain.
    EXPECT_FALSE(m_adapter->fullResolutionImage(m_view->ciImage(), c().correctionParameters()).isNull());
}

TEST_F(DisplayViewAdapterTest, ControlChangesReachTheViewThroughTheControllersAccessors) {
    writePhoto(m_photo, 120, 80);
    c().openImage(m_photo);
    ASSERT_TRUE(c().state().m_bImageLoaded.load());
    const qv::ci::Image before = m_view->m_pPerspectiveImage;
    ASSERT_FALSE(before.isNull());

    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(10));
    EXPECT_DOUBLE_EQ(c().correctionParameters().yaw, 10);
    const qv::ci::Image turned = m_view->m_pPerspectiveImage;
    ASSERT_FALSE(turned.isNull());
    EXPECT_NE(turned, before);
    // A turned picture no longer fills the rectangle it came from.
    EXPECT_NE(turned.extent(), before.extent());

    // The preview check box switches the view between the proxy and the corrected preview.
    const bool wasOn = c().previewCheckboxStatus();
    EXPECT_EQ(m_view->m_bPreviewFlag.load(), wasOn);
    ASSERT_TRUE(c().mainWindow().m_pPreviewCheckbox->performClick());
    EXPECT_NE(c().previewCheckboxStatus(), wasOn);
    EXPECT_EQ(m_view->m_bPreviewFlag.load(), !wasOn);
}

// A save renders on its own thread with the corrections of the moment it started: moving the
// controls while it runs (the preview re-renders meanwhile on this thread) changes nothing of
// what it writes.
TEST_F(DisplayViewAdapterTest, ASaveWritesTheCorrectionsOfTheMomentItStarted) {
    writePhoto(m_photo, 900, 600);
    c().openImage(m_photo);
    ASSERT_TRUE(c().state().m_bImageLoaded.load());
    MainWindowSettings first{8, 0.01, 30, 110};
    MainWindowSettings second{-6, -0.015, -40, 90};
    auto saveAs = [&](const std::string& name, const std::function<void()>& whileSaving) {
        const std::string path = m_dir.path() + "/" + name;
        responder().queuePanel({true, {path}});
        c().onSaveAs(nullptr);
        EXPECT_TRUE(c().saveAccessory().m_pSavePanel) << "the save panel opened";
        c().saveAccessory().m_pFileFormatPopup->selectItemAtIndex(int(QVOutputType::Type::TIFF));
        c().onChangeFileType(c().saveAccessory().m_pSavePanel.get());
        qv::RunLoop::main().runUntil([&] { return !c().saveAccessory().m_pSavePanel; }, 30);
        EXPECT_TRUE(c().isSaveInProgress());
        whileSaving();
        EXPECT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 120));
        return decodedPixels(path);
    };
    setMainWindowControls(c(), first);
    const std::vector<std::uint8_t> changedMeanwhile = saveAs("changed.tif", [&] {
        for (int i = 0; i < 4; ++i) setMainWindowControls(c(), i % 2 ? first : second);
        setMainWindowControls(c(), second);
    });
    const std::vector<std::uint8_t> withSecond = saveAs("second.tif", [] {});
    setMainWindowControls(c(), first);
    const std::vector<std::uint8_t> withFirst = saveAs("first.tif", [] {});
    ASSERT_FALSE(withFirst.empty());
    EXPECT_NE(withFirst, withSecond) << "the two sets of corrections give different pictures";
    EXPECT_EQ(changedMeanwhile, withFirst);
}

// The application as it starts without a stand-in: the main window holds the real preview view,
// which the controller drives, and an opened photo shows in it.
TEST(MainWindowPreview, TheNibPlacesTheViewTheControllerDrives) {
    resetApplication();
    qvtest::TempDir dir;
    {
        FixtureBundle bundle;
        for (const char* file : {"exiftool", "MyRadialDistortion.cikernel", "MyVignetting.cikernel"})
            ASSERT_TRUE(bundle.installResource(file));
        responder().queueAlert(declineOwnedLenses());
        QVMainNib nib = launch();
        QVController& c = *nib.controller;
        ASSERT_TRUE(nib.displayView);
        EXPECT_EQ(c.mainWindow().m_pDisplayView, nib.displayViewAdapter.get());
        EXPECT_EQ(nib.displayView->window(), c.mainWindow().m_pWindow);
        EXPECT_EQ(nib.displayView->displayController(), &c);
        const auto& inWindow = c.mainWindow().m_pWindow->contentView()->subviews();
        EXPECT_NE(std::find(inWindow.begin(), inWindow.end(), nib.displayView), inWindow.end());

        const std::string photo = dir.path() + "/IMG_0003.jpg";
        writePhoto(photo, 120, 80);
        c.openImage(photo);
        ASSERT_TRUE(c.state().m_bImageLoaded.load());
        EXPECT_FALSE(nib.displayView->ciImage().isNull());
        EXPECT_FALSE(nib.displayView->m_pPerspectiveImage.isNull());
        EXPECT_FALSE(nib.displayView->imageToDraw().isNull()) << "the corrected preview is what the view draws";
    }
    resetApplication();
}

}  // namespace
