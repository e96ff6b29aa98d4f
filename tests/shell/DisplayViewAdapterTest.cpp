// The real preview view driven by the controller through the adapter: opening a photo runs the
// view's correction chain, and moving a control re-runs the preview with the controller's values.
#include <gtest/gtest.h>

#include <algorithm>
#include <memory>

#include "ShellTestSupport.h"
#include "appkit/Window.h"
#include "engine/QVDisplayView.h"
#include "shell/QVController.h"
#include "shell/QVDisplayViewAdapter.h"

using namespace shelltest;

namespace {

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
    EXPECT_FALSE(m_adapter->fullResolutionImage(m_view->ciImage()).isNull());
}

TEST_F(DisplayViewAdapterTest, ControlChangesReachTheViewThroughTheControllersAccessors) {
    writePhoto(m_photo, 120, 80);
    c().openImage(m_photo);
    ASSERT_TRUE(c().state().m_bImageLoaded.load());
    const qv::ci::Image before = m_view->m_pPerspectiveImage;
    ASSERT_FALSE(before.isNull());

    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(10));
    EXPECT_DOUBLE_EQ(c().yaw(), 10);
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
