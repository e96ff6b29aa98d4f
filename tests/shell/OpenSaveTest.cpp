// Opening a photo (working copy, focal range from the metadata tool, lens choice, the first
// correction) and saving it (Save over the photo, failures that keep it intact, formats).
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstdlib>

#include "ShellTestSupport.h"
#include "coreimage/CIImage.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/Process.h"
#include "foundation/RunLoop.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageProperties.h"
#include "imageio/ImageSource.h"
#include "shell/controller/QVController.h"
#include "shell/files/SupportFolder.h"
#include "common/FileSizeLimit.h"

using namespace shelltest;

namespace {

class OpenSaveTest : public testing::Test {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        ASSERT_TRUE(m_bundle->installResource("exiftool"));
        responder().queueAlert(declineOwnedLenses());
        m_nib = std::make_unique<QVMainNib>(launch(&m_view));
        m_photo = m_dir.path() + "/IMG_0001.jpg";
    }
    void TearDown() override {
        m_nib.reset();
        resetApplication();
        m_bundle.reset();
    }
    QVController& c() { return *m_nib->controller; }
    void waitForSave() {
        ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
        qv::RunLoop::main().runUntil([] { return false; }, 0.05);
    }
    std::vector<std::string> alertMessages() {
        std::vector<std::string> messages;
        for (const auto& record : responder().alerts()) messages.push_back(record.request.message);
        return messages;
    }
    bool alerted(const std::string& key) {
        const auto messages = alertMessages();
        return std::find(messages.begin(), messages.end(), qv::localizedString(key)) != messages.end();
    }

    qvtest::TempDir m_dir;
    std::unique_ptr<FixtureBundle> m_bundle;
    LoadingView m_view;
    std::unique_ptr<QVMainNib> m_nib;
    std::string m_photo;
};

TEST_F(OpenSaveTest, OpenChoosesTheLensFromTheFocalRangeAndCorrects) {
    const std::string log = m_dir.file("tool.log");
    writeCountingLensInfoTool(std::string(std::getenv("QV_RESOURCE_DIR")) + "/exiftool", log);
    writePhoto(m_photo, 120, 80);
    c().openImage(m_photo);
    ASSERT_TRUE(c().state().m_bImageLoaded.load());
    EXPECT_EQ(c().originalImagePath(), m_photo);
    EXPECT_EQ(m_view.loadedPath, shell::workingCopyPath());
    EXPECT_FLOAT_EQ(c().minFocalLengthFromImage(), 18);
    EXPECT_FLOAT_EQ(c().maxFocalLengthFromImage(), 55);
    EXPECT_EQ(c().mainWindow().m_pManufacturerText->stringValue(), "Canon");
    EXPECT_EQ(c().mainWindow().m_pDatabaseText->stringValue(), "Canon");
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
    EXPECT_GE(m_view.count("applyCorrection"), 1u);
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    // The working copy keeps the photo's stored orientation and camera.
    EXPECT_EQ(tool({"-s3", "-Orientation#", "-Model", shell::workingCopyPath()}), "6\nCanon EOS 400D DIGITAL\n");
    // Later opens ask the same tool, kept open: a photo without lens information reads no range.
    const std::string bare = m_dir.file("bare.jpg");
    writePhoto(bare, 120, 80, false);
    c().openImage(bare);
    EXPECT_FLOAT_EQ(c().maxFocalLengthFromImage(), 0);
    c().openImage(m_photo);
    EXPECT_FLOAT_EQ(c().maxFocalLengthFromImage(), 55);
    EXPECT_EQ(linesOf(log), std::vector<std::string>{"start"});
}

TEST_F(OpenSaveTest, WorkingCopyFitsTheWindowByWidthFirst) {
    const qv::Rect frame = c().mainWindow().m_pWindow->frame();
    writePhoto(m_photo, int(frame.width()) * 2, int(frame.height()), false);
    c().openImage(m_photo);
    auto copy = qv::io::ImageSource::createWithPath(shell::workingCopyPath());
    ASSERT_TRUE(copy);
    EXPECT_NEAR(copy->pixelWidth(), frame.width(), 1);
    EXPECT_NEAR(copy->pixelHeight(), frame.height() / 2, 1);
}

TEST_F(OpenSaveTest, PhotoWithoutLensInformationUsesFocalLengthAndAperture) {
    writePhoto(m_photo, 64, 48, false);
    c().openImage(m_photo);
    EXPECT_EQ(c().minFocalLengthFromImage(), 0);
    EXPECT_EQ(c().mainWindow().m_pLensText->stringValue(), "EF-S 18-55");
}

TEST_F(OpenSaveTest, FailedOpenShowsTheErrorAndKeepsThePreviousPhoto) {
    writePhoto(m_photo, 64, 48);
    c().openImage(m_photo);
    const std::string broken = m_dir.path() + "/broken.jpg";
    ASSERT_TRUE(qv::files::writeWhole(broken, std::string("not a photo")));
    c().openImage(broken);
    EXPECT_TRUE(alerted("OpenErrorMessage"));
    EXPECT_EQ(c().originalImagePath(), m_photo) << "only a photo that opened is remembered";
}

TEST_F(OpenSaveTest, SaveWritesOverThePhotoWithItsMetadata) {
    writePhoto(m_photo, 64, 48);
    c().openImage(m_photo);
    ASSERT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    c().onSave(nullptr);
    waitForSave();
    EXPECT_FALSE(alerted("SaveErrorMessage"));
    EXPECT_FALSE(c().mainWindow().m_pWindow->isDocumentEdited());
    EXPECT_EQ(qv::PreferencesFile::read().get("ImageSavePath").stringOr(""), m_photo);
    EXPECT_EQ(tool({"-s3", "-Make", "-Model", "-Orientation#", m_photo}), "Canon\nCanon EOS 400D DIGITAL\n1\n");
    auto saved = qv::io::ImageSource::createWithPath(m_photo);
    ASSERT_TRUE(saved);
    EXPECT_EQ(saved->pixelWidth(), 48) << "saved upright";
    EXPECT_EQ(saved->pixelHeight(), 64);
}

TEST_F(OpenSaveTest, FailedSaveKeepsThePhotoTheEditedMarkAndDoesNotQuit) {
    writePhoto(m_photo, 200, 150);
    c().openImage(m_photo);
    const auto before = qv::files::readWhole(m_photo);
    ASSERT_TRUE(before);
    c().state().mWindowCloseRequest = true;
    {
        qvtest::FileSizeLimit limit(512);
        ASSERT_TRUE(limit.active());
        c().onSave(nullptr);
        waitForSave();
    }
    EXPECT_TRUE(alerted("SaveErrorMessage"));
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    EXPECT_FALSE(qv::ui::Application::shared().isTerminated());
    EXPECT_EQ(qv::files::readWhole(m_photo), before);
}

TEST_F(OpenSaveTest, SaveAsWritesTheChosenFormat) {
    writePhoto(m_photo, 64, 48);
    c().openImage(m_photo);
    const std::string target = m_dir.path() + "/corrected.tif";
    responder().queuePanel({true, {target}});
    c().onSaveAs(nullptr);
    // The person picks TIF in the pop-up before answering.
    c().saveAccessory().m_pFileFormatPopup->selectItemAtIndex(1);
    c().onChangeFileType(c().saveAccessory().m_pSavePanel.get());
    qv::RunLoop::main().runUntil([&] { return !c().saveAccessory().m_pSavePanel; }, 30);
    waitForSave();
    EXPECT_FALSE(alerted("SaveErrorMessage"));
    EXPECT_EQ(tool({"-s3", "-FileType", "-Model", target}), "TIFF\nCanon EOS 400D DIGITAL\n");
}

TEST_F(OpenSaveTest, FormatsOfExtensions) {
    c().state().m_pFileToWrite = "/photos/DSC_1.nef";
    c().setFileFormatTo("nef", nullptr);
    EXPECT_EQ(c().state().m_pFileToWrite, "/photos/DSC_1.jpg") << "a raw photo is saved as JPEG beside it";
    EXPECT_EQ(c().saveAccessory().m_pFileFormatPopup->indexOfSelectedItem(), 0);
    auto panel = qv::ui::SavePanel::savePanel();
    c().setFileFormatTo("Jpg", panel.get());
    EXPECT_EQ(panel->requiredFileType(), "jpg");
    c().setFileFormatTo("TIFF", nullptr);
    EXPECT_EQ(c().saveAccessory().m_pFileFormatPopup->indexOfSelectedItem(), 1);
    c().setFileFormatTo("EXR", nullptr);
    EXPECT_EQ(c().saveAccessory().m_pFileFormatPopup->indexOfSelectedItem(), 3);
}

TEST_F(OpenSaveTest, WhatASaveChangesInTheMetadataStaysForTheNextSave) {
    using namespace qv::io;
    writePhoto(m_photo, 64, 48);
    c().openImage(m_photo);
    ASSERT_EQ(m_view.metadata.get(kCGImagePropertyOrientation).integerOr(0), 6);
    const auto photoBefore = qv::files::readWhole(m_photo);
    const std::string target = m_dir.path() + "/corrected.jpg";
    responder().queuePanel({true, {target}});
    c().onSaveAs(nullptr);
    qv::RunLoop::main().runUntil([&] { return !c().saveAccessory().m_pSavePanel; }, 30);
    waitForSave();
    ASSERT_FALSE(alerted("SaveErrorMessage"));
    // The saved pixels are upright, and so is the photo's metadata from now on.
    EXPECT_EQ(m_view.metadata.get(kCGImagePropertyOrientation).integerOr(0), 1);
    EXPECT_EQ(m_view.metadata.get(kCGImagePropertyTIFFDictionary).get(kCGImagePropertyTIFFOrientation).integerOr(0), 1);
    EXPECT_DOUBLE_EQ(m_view.metadata.get(kCGImageDestinationLossyCompressionQuality).doubleOr(0), 0.7f);
    const auto first = qv::files::readWhole(target);
    ASSERT_TRUE(first);

    // Another change, then Save: it writes the file saved as, the same way, and leaves the photo.
    ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(3));
    ASSERT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    ASSERT_TRUE(qv::files::removeItem(target));
    c().onSave(nullptr);
    waitForSave();
    EXPECT_FALSE(alerted("SaveErrorMessage"));
    EXPECT_EQ(qv::files::readWhole(target), first) << "the fake view saves the photo as read: same bytes";
    EXPECT_EQ(qv::files::readWhole(m_photo), photoBefore);
    EXPECT_EQ(tool({"-s3", "-Orientation#", target}), "1\n");
}

TEST_F(OpenSaveTest, ADepthOf16BitsInTheMetadataWritesEverySave16Bits) {
    writePhoto(m_photo, 64, 48);
    c().openImage(m_photo);
    m_view.metadata[qv::io::kCGImagePropertyDepth] = 16;
    const std::string target = m_dir.path() + "/deep.tif";
    for (int save = 0; save < 2; ++save) {
        SCOPED_TRACE(save);
        if (save == 0) {
            responder().queuePanel({true, {target}});
            c().onSaveAs(nullptr);
            c().saveAccessory().m_pFileFormatPopup->selectItemAtIndex(1);
            c().onChangeFileType(c().saveAccessory().m_pSavePanel.get());
            qv::RunLoop::main().runUntil([&] { return !c().saveAccessory().m_pSavePanel; }, 30);
        } else {
            ASSERT_TRUE(c().mainWindow().m_pHorizontalSlider->userMoveTo(2));
            c().onSave(nullptr);
        }
        waitForSave();
        EXPECT_FALSE(alerted("SaveErrorMessage"));
        EXPECT_EQ(tool({"-s3", "-BitsPerSample", target}), "16 16 16\n");
        EXPECT_EQ(m_view.metadata.get(qv::io::kCGImagePropertyDepth).integerOr(0), 16);
    }
}

TEST_F(OpenSaveTest, ASaveFinishingAfterAnotherPhotoOpenedLeavesThatPhotosMetadata) {
    using namespace qv::io;
    writePhoto(m_photo, 64, 48);
    const std::string second = m_dir.path() + "/IMG_0002.jpg";
    writePhoto(second, 48, 32);
    c().openImage(m_photo);
    c().onSave(nullptr);
    ASSERT_TRUE(c().isSaveInProgress());
    // A photo handed over by the system opens while the save runs; the save reports afterwards.
    c().openImage(second);
    waitForSave();
    EXPECT_FALSE(alerted("SaveErrorMessage"));
    EXPECT_EQ(m_view.loadedPath, shell::workingCopyPath());
    EXPECT_EQ(m_view.metadata.get(kCGImagePropertyOrientation).integerOr(0), 6)
        << "the first photo's saved metadata must not replace the second's";
    EXPECT_FALSE(m_view.metadata.get(kCGImageDestinationLossyCompressionQuality).asDouble());
}

}  // namespace
