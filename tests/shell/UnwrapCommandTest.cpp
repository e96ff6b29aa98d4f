// The fisheye command in the window controller: requests taken from the controls, refused ones
// that give their message and leave the worker serving, the worker itself, the result's metadata
// and what a save writes after an unwrap.
#include <gtest/gtest.h>

#include <chrono>
#include <cmath>
#include <condition_variable>
#include <future>
#include <mutex>
#include <thread>

#include "ShellTestSupport.h"
#include "engine/PhotoReadAhead.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemVersion.h"
#include "foundation/UserDefaults.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "shell/controller/QVController.h"
#include "shell/files/SupportFolder.h"
#include "shell/unwrap/UnwrapRun.h"
#include "shell/unwrap/UnwrapWorker.h"

using namespace shelltest;

namespace {

// A photo of noise in the given format, with a camera in its metadata.
void writeNoisePhoto(const std::string& path, const char* type, int width, int height, bool withProfile = false) {
    qv::Bitmap bitmap = qv::Bitmap::make(width, height, qv::PixelFormat::RGB8);
    std::uint32_t state = 12345;
    for (auto& byte : bitmap.pixels) byte = std::uint8_t((state = state * 1664525u + 1013904223u) >> 24);
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Fisheye Optics";
    properties["{TIFF}"]["Model"] = "Round 180";
    auto destination = qv::io::ImageDestination::createWithPath(path, type);
    ASSERT_TRUE(destination);
    destination->addImage(std::move(bitmap), *properties.dictionary(),
                          withProfile ? qv::io::ColorSpace::sRGB() : qv::io::ColorSpace::deviceRGB());
    ASSERT_TRUE(destination->finalize());
}

std::pair<int, int> pixelSize(const std::string& path) {
    auto source = qv::io::ImageSource::createWithPath(path);
    return source ? std::make_pair(source->pixelWidth(), source->pixelHeight()) : std::make_pair(0, 0);
}

class UnwrapCommandTest : public testing::Test {
protected:
    void SetUp() override {
        resetApplication();
        m_bundle = std::make_unique<FixtureBundle>();
        responder().queueAlert(declineOwnedLenses());
        m_nib = std::make_unique<QVMainNib>(launch(&m_view));
        m_photo = m_dir.path() + "/fish.jpg";
    }
    void TearDown() override {
        m_nib.reset();
        qv::setSnowLeopardRunning(true);
        resetApplication();
        m_bundle.reset();
    }
    QVController& c() { return *m_nib->controller; }

    void openFisheye(const std::string& photo) {
        c().openImage(photo);
        ASSERT_TRUE(c().state().m_bImageLoaded);
        ASSERT_TRUE(c().fisheye().mFECorrectionTypeMatrix->userClickCell(1));
        ASSERT_EQ(c().correctionType(), CorrectionType::Fisheye);
    }
    // Types the four fields as a person would.
    void type(const std::string& width, const std::string& height, const std::string& in, const std::string& out) {
        ASSERT_TRUE(c().fisheye().mFEOutputWidth->userType(width));
        ASSERT_TRUE(c().fisheye().mFEOutputHeight->userType(height));
        ASSERT_TRUE(c().fisheye().mFEInputFOV->userType(in));
        ASSERT_TRUE(c().fisheye().mFEOutputFOV->userType(out));
    }
    // Apply, then the run loop until every request has been reported back.
    void applyAndWait() {
        c().onApply(nullptr);
        ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isUnwrapInProgress(); }, 60));
    }
    std::string lastAlert() {
        const auto alerts = responder().alerts();
        return alerts.empty() ? std::string() : alerts.back().request.title + alerts.back().request.message;
    }
    bool fisheyeControlsEnabled() {
        return c().fisheye().mFEOutputWidth->isEnabled() && c().fisheye().mFEOutputHeight->isEnabled() &&
               c().fisheye().mFEInputFOV->isEnabled() && c().fisheye().mFEOutputFOV->isEnabled() &&
               c().fisheye().mFESamplertypePopUp->isEnabled() && c().fisheye().mFEDefishButton->isEnabled();
    }
    std::string output(const char* extension) { return qv::paths::supportFolder() + "_QuorvelCI_twrite." + extension; }

    qvtest::TempDir m_dir;
    std::unique_ptr<FixtureBundle> m_bundle;
    LoadingView m_view;
    std::unique_ptr<QVMainNib> m_nib;
    std::string m_photo;
};

}  // namespace

TEST(UnwrapRequestRules, RefusalsFollowTheWholeDegreesTheEngineTakes) {
    auto refusal = [](float w, float h, float in, float out, int sampler) {
        return shell::unwrapRefusal({w, h, in, out, sampler});
    };
    EXPECT_EQ(refusal(0, 0, 180, 90, 0), "");
    EXPECT_EQ(refusal(1000.9f, 700.2f, 1, 179, 5), "") << "the bounds themselves run";
    EXPECT_EQ(refusal(0, 0, 180, 179.9f, 0), "") << "179.9 is taken as 179";
    EXPECT_EQ(refusal(-1, 0, 180, 90, 0), "Unwrap:Output image width cannot be negetive");
    EXPECT_EQ(refusal(0, -1, 180, 90, 0), "Unwrap:Output image height cannot be negetive");
    EXPECT_NE(refusal(NAN, 0, 180, 90, 0), "");
    EXPECT_NE(refusal(0, INFINITY, 180, 90, 0), "");
    EXPECT_NE(refusal(0.5f, 10, 180, 90, 0), "") << "below one pixel and not 0";
    EXPECT_EQ(refusal(0, 0, 180, 90, 6), "Unwrap:Samplertype is not valid");
    EXPECT_EQ(refusal(0, 0, 180, 90, -1), "Unwrap:Samplertype is not valid");
    EXPECT_EQ(refusal(0, 0, -10, 90, 0), "Unwrap: Input FOV cannot be negative");
    EXPECT_NE(refusal(0, 0, 0.9f, 90, 0), "") << "0 once truncated";
    EXPECT_NE(refusal(0, 0, NAN, 90, 0), "");
    for (float out : {0.0f, 0.5f, -5.0f, 180.0f, 250.0f, NAN})
        EXPECT_EQ(refusal(0, 0, 180, out, 0), "Unwrap: Output FOV must lie between 1 and 179 degrees") << out;
    // An angle too large for whole degrees is refused before it is converted.
    EXPECT_EQ(refusal(0, 0, 360, 90, 0), "");
    for (float in : {361.0f, 1e30f, 3e9f})
        EXPECT_EQ(refusal(0, 0, in, 90, 0), "Unwrap: Input FOV cannot be more than 360 degrees") << in;
    // The output may have at most as many pixels as the image layer reads back (16384 x 16384).
    EXPECT_EQ(refusal(16384, 16384, 180, 90, 0), "");
    EXPECT_EQ(refusal(0, 1e30f, 180, 90, 0), "") << "a size of 0 takes the input's, both of them";
    for (const auto& [w, h] : {std::pair{16385.0f, 16384.0f}, std::pair{20000.0f, 20000.0f}, std::pair{1e30f, 1.0f}})
        EXPECT_EQ(refusal(w, h, 180, 90, 0).rfind("Unwrap:Output image of ", 0), 0u) << w << " x " << h;
}

TEST(UnwrapRequestRules, TheResultTakesTheWorkingFilesUpperCasedExtension) {
    const auto tiff = shell::unwrapFileTypeOf("/x/photo.tiff");
    EXPECT_EQ(tiff.extension, "TIF");
    EXPECT_EQ(tiff.type, 1);
    EXPECT_EQ(shell::unwrapFileTypeOf("/x/photo.TIF").extension, "TIF");
    const auto jpeg = shell::unwrapFileTypeOf("/x/photo.jpeg");
    EXPECT_EQ(jpeg.extension, "JPEG");
    EXPECT_EQ(jpeg.type, 0);
    const auto request = shell::makeUnwrapRequest({}, "/x/photo.png");
    EXPECT_EQ(request.output, qv::paths::supportFolder() + "_QuorvelCI_twrite.PNG");
    EXPECT_EQ(request.readCopy, qv::paths::supportFolder() + "_QuorvelCI_tread.PNG");
    EXPECT_EQ(request.type, 0);
}

TEST(UnwrapWorker, FiftyRequestsRunInOrderOnOneThreadThatWaitsBetweenThem) {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<std::uint64_t> order;
    std::vector<std::thread::id> threads;
    {
        shell::UnwrapWorker worker([&](const shell::UnwrapRequest& request) {
            std::lock_guard<std::mutex> lock(mutex);
            order.push_back(request.number);
            threads.push_back(std::this_thread::get_id());
            done.notify_all();
        });
        EXPECT_FALSE(worker.started());
        for (std::uint64_t n = 1; n <= 50; ++n) {
            shell::UnwrapRequest request;
            request.number = n;
            ASSERT_TRUE(worker.submit(request));
        }
        EXPECT_TRUE(worker.started());
        std::unique_lock<std::mutex> lock(mutex);
        ASSERT_TRUE(done.wait_for(lock, std::chrono::seconds(30), [&] { return order.size() == 50; }));
        lock.unlock();
        // Idle now, and a later request is still served.
        shell::UnwrapRequest late;
        late.number = 51;
        ASSERT_TRUE(worker.submit(late));
        lock.lock();
        ASSERT_TRUE(done.wait_for(lock, std::chrono::seconds(30), [&] { return order.size() == 51; }));
    }
    for (std::size_t i = 0; i < order.size(); ++i) EXPECT_EQ(order[i], i + 1);
    EXPECT_EQ(std::count(threads.begin(), threads.end(), threads.front()), 51);
    EXPECT_NE(threads.front(), std::this_thread::get_id());
}

TEST(UnwrapWorker, DestructionLetsTheRunningRequestFinishAndDropsTheWaitingOnes) {
    std::promise<void> started;
    std::atomic<int> ran{0};
    std::atomic<bool> finished{false};
    {
        shell::UnwrapWorker worker([&](const shell::UnwrapRequest& request) {
            if (request.number == 1) started.set_value();
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
            ++ran;
            finished = true;
        });
        for (std::uint64_t n = 1; n <= 3; ++n) {
            shell::UnwrapRequest request;
            request.number = n;
            worker.submit(request);
        }
        started.get_future().wait();
    }
    EXPECT_TRUE(finished) << "the destructor waited for the running request";
    EXPECT_EQ(ran, 1);
}

TEST(UnwrapWorker, AThrowingRunDoesNotEndTheWorker) {
    std::atomic<int> ran{0};
    shell::UnwrapWorker worker([&](const shell::UnwrapRequest& request) {
        ++ran;
        if (request.number == 1) throw std::bad_alloc();
    });
    for (std::uint64_t n = 1; n <= 2; ++n) {
        shell::UnwrapRequest request;
        request.number = n;
        worker.submit(request);
    }
    for (int i = 0; i < 3000 && ran < 2; ++i) std::this_thread::sleep_for(std::chrono::milliseconds(1));
    EXPECT_EQ(ran, 2);
}

TEST_F(UnwrapCommandTest, RefusedValuesGiveTheirMessageAndTheNextValidRequestRuns) {
    writeNoisePhoto(m_photo, "public.jpeg", 120, 80);
    openFisheye(m_photo);
    const std::string working = c().state().m_pFileToLoad;
    const auto workingSize = pixelSize(working);
    struct Case {
        const char *width, *height, *in, *out;
        const char* message;
    };
    const Case refused[] = {{"0", "0", "-10", "90", "Unwrap: Input FOV cannot be negative"},
                            {"0", "0", "1e30", "90", "Unwrap: Input FOV cannot be more than 360 degrees"},
                            {"20000", "20000", "180", "90", "Unwrap:Output image of 20000 x 20000 pixels"},
                            {"0", "0", "0.5", "90", "Unwrap: Input FOV"},
                            {"0", "0", "180", "180", "Unwrap: Output FOV"},
                            {"0", "0", "180", "0", "Unwrap: Output FOV"},
                            {"-5", "0", "180", "90", "Unwrap:Output image width cannot be negetive"},
                            {"0", "-5", "180", "90", "Unwrap:Output image height"}};
    for (const Case& bad : refused) {
        type(bad.width, bad.height, bad.in, bad.out);
        const std::size_t alerts = responder().alerts().size();
        c().onApply(nullptr);
        ASSERT_EQ(responder().alerts().size(), alerts + 1) << bad.message;
        EXPECT_NE(lastAlert().find(bad.message), std::string::npos) << lastAlert();
        EXPECT_TRUE(fisheyeControlsEnabled()) << bad.message;
        EXPECT_FALSE(c().isUnwrapInProgress());
    }
    c().state().mFESamplerType = 6;  // no pop-up item gives it; the request is refused all the same
    type("0", "0", "180", "90");
    c().onApply(nullptr);
    EXPECT_NE(lastAlert().find("Unwrap:Samplertype is not valid"), std::string::npos);
    EXPECT_FALSE(c().state().m_bDefishThreadCreated);

    ASSERT_TRUE(c().fisheye().mFESamplertypePopUp->userChooseItem(0));
    const std::size_t alerts = responder().alerts().size();
    // The Unwrap button, without Apply: the unwrapped photo shown is unsaved work all the same.
    c().mainWindow().m_pWindow->setDocumentEdited(false);
    ASSERT_TRUE(c().fisheye().mFEDefishButton->performClick());
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isUnwrapInProgress(); }, 60));
    EXPECT_EQ(responder().alerts().size(), alerts) << lastAlert();
    EXPECT_TRUE(c().mainWindow().m_pWindow->isDocumentEdited());
    EXPECT_TRUE(c().state().m_bDefishThreadCreated);
    EXPECT_EQ(m_view.loadedPath, output("JPG"));
    EXPECT_EQ(pixelSize(output("JPG")), workingSize) << "sizes of 0 give the working file's size";
    EXPECT_EQ(c().state().mFEOriginalImagePath, working);
    EXPECT_TRUE(fisheyeControlsEnabled());
    EXPECT_TRUE(qv::UserDefaults::standard().boolForKey("enableControl"));
    EXPECT_TRUE(qv::UserDefaults::standard().boolForKey("openButton"));
    EXPECT_TRUE(c().fisheye().mFEUnwrapProgress->isHidden());
    EXPECT_FALSE(c().fisheye().mFEUnwrapProgress->isAnimating());
    EXPECT_TRUE(c().fisheye().mFEDefishingText->isHidden());

    // With the worker running: a refusal leaves it serving, and sizes are truncated.
    type("50.9", "40.2", "180", "0");
    c().onApply(nullptr);
    EXPECT_NE(lastAlert().find("Unwrap: Output FOV"), std::string::npos);
    type("50.9", "40.2", "180", "100");
    applyAndWait();
    EXPECT_EQ(pixelSize(output("JPG")), std::make_pair(50, 40));
    EXPECT_EQ(m_view.loads, 3u);  // the photo, then the two results
}

TEST_F(UnwrapCommandTest, WithoutAPhotoTheRequestIsRefusedAndNoWorkerStarts) {
    // The fields hold usable values (as stored from an earlier session); no photo is open.
    c().fisheye().mFEInputFOV->setStringValue("180");
    c().fisheye().mFEOutputFOV->setStringValue("90");
    c().defish(nullptr);
    EXPECT_EQ(lastAlert(), "Unwrap:Input file cannot be nil");
    EXPECT_FALSE(c().state().m_bDefishThreadCreated);
    EXPECT_FALSE(c().isUnwrapInProgress());
    EXPECT_FALSE(c().fisheye().mFEDefishButton->isEnabled()) << "the lens correction is chosen: they stay off";
}

TEST_F(UnwrapCommandTest, TheResultCarriesThePhotosMetadataAndTheExtractedProfile) {
    writeNoisePhoto(m_photo, "public.jpeg", 120, 80, true);
    openFisheye(m_photo);
    shell::performSipsCommand(m_photo);  // the extraction an open through the panel starts
    ASSERT_TRUE(qv::files::exists(qv::paths::supportFolder() + "Profile"));
    // The sweep before an unwrap keeps files without an extension and "dat" files only.
    ASSERT_TRUE(qv::files::writeWhole(qv::paths::supportFolder() + "stale.txt", std::string("x")));
    type("64", "48", "180", "90");
    applyAndWait();
    EXPECT_FALSE(qv::files::exists(qv::paths::supportFolder() + "stale.txt"));
    EXPECT_TRUE(qv::files::exists(qv::paths::supportFolder() + "Profile"));
    auto result = qv::io::ImageSource::createWithPath(output("JPG"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->properties().at("{TIFF}").get("Model").stringOr(""), "Round 180");
    EXPECT_FALSE(result->embeddedProfile().empty());
    EXPECT_EQ(m_view.metadata.get("{TIFF}").get("Make").stringOr(""), "Fisheye Optics");
}

TEST_F(UnwrapCommandTest, TiffWorkingFilesStayTiffAndAFailedUnwrapKeepsThePreview) {
    qv::setSnowLeopardRunning(false);  // the photo itself is the working file
    const std::string tiff = m_dir.path() + "/fish.tiff";
    writeNoisePhoto(tiff, "public.tiff", 90, 60);
    openFisheye(tiff);
    type("0", "0", "180", "90");
    applyAndWait();
    EXPECT_EQ(m_view.loadedPath, output("TIF"));
    auto result = qv::io::ImageSource::createWithPath(output("TIF"));
    ASSERT_TRUE(result);
    EXPECT_EQ(result->type(), "public.tiff");

    const std::string png = m_dir.path() + "/fish.png";
    writeNoisePhoto(png, "public.png", 90, 60);
    openFisheye(png);
    const std::size_t loads = m_view.loads, alerts = responder().alerts().size();
    testing::internal::CaptureStderr();
    applyAndWait();
    testing::internal::GetCapturedStderr();
    EXPECT_EQ(m_view.loads, loads) << "the preview keeps the photo";
    EXPECT_EQ(m_view.loadedPath, png);
    ASSERT_EQ(responder().alerts().size(), alerts + 1);
    EXPECT_EQ(responder().alerts().back().request.title, "fish.png");
    EXPECT_EQ(responder().alerts().back().request.message, qv::localizedString("OpenErrorMessage"));
    EXPECT_TRUE(fisheyeControlsEnabled());
}

TEST_F(UnwrapCommandTest, FiftyRequestsBackToBackAreAllServed) {
    writeNoisePhoto(m_photo, "public.jpeg", 64, 48);
    openFisheye(m_photo);
    type("32", "24", "180", "90");
    const std::size_t loads = m_view.loads;
    for (int i = 0; i < 50; ++i) c().defish(nullptr);
    EXPECT_FALSE(c().fisheye().mFEDefishButton->isEnabled()) << "the controls wait for the last request";
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isUnwrapInProgress(); }, 120));
    EXPECT_EQ(m_view.loads, loads + 50);
    EXPECT_TRUE(fisheyeControlsEnabled());
}

TEST_F(UnwrapCommandTest, ClosingWhileARequestRunsJoinsTheWorker) {
    writeNoisePhoto(m_photo, "public.jpeg", 64, 48);
    openFisheye(m_photo);
    type("800", "600", "180", "90");
    const std::size_t loads = m_view.loads;
    for (int i = 0; i < 3; ++i) c().defish(nullptr);
    m_nib.reset();  // the controller goes with requests outstanding; its reports must not reach it
    qv::RunLoop::main().runUntil([] { return false; }, 0.2);
    EXPECT_EQ(m_view.loads, loads) << "a report ran after its controller was gone";
}

TEST_F(UnwrapCommandTest, SaveAfterAnUnwrapWritesThePhotoUnwrappedAtFullSize) {
    writeNoisePhoto(m_photo, "public.jpeg", 160, 120);
    openFisheye(m_photo);
    type("0", "0", "180", "90");
    applyAndWait();
    const std::string saved = m_dir.path() + "/saved.jpg";
    c().state().m_pFileToWrite = saved;
    c().onSave(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
    EXPECT_EQ(pixelSize(saved), std::make_pair(160, 120)) << "sizes of 0 mean the photo's own size";
    // The photo's centre stays where it was; its edge comes from a quarter of the width out.
    type("200", "100", "180", "90");
    applyAndWait();
    c().onSave(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
    EXPECT_EQ(pixelSize(saved), std::make_pair(200, 100));
    // After Revert the photo is shown, and saved, as it was.
    c().onRevert(nullptr);
    c().mainWindow().m_pWindow->setDocumentEdited(true);
    c().fisheye().mFECorrectionTypeMatrix->userClickCell(0);
    c().onSave(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
    EXPECT_EQ(pixelSize(saved), std::make_pair(160, 120));
}

TEST_F(UnwrapCommandTest, ATurnedPhotoIsUnwrappedAsStoredThenTurnedAsThePreviewShowsIt) {
    writePhoto(m_photo, 160, 120, false);  // stored 160 x 120, orientation 6 (a quarter turn)
    openFisheye(m_photo);
    type("200", "100", "180", "90");
    applyAndWait();
    EXPECT_EQ(pixelSize(output("JPG")), std::make_pair(200, 100)) << "the preview's result, as stored";
    const std::string saved = m_dir.path() + "/saved.jpg";
    c().state().m_pFileToWrite = saved;
    c().onSave(nullptr);
    ASSERT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
    EXPECT_EQ(pixelSize(saved), std::make_pair(100, 200)) << "saved upright";
}

TEST_F(UnwrapCommandTest, TheSaveUnwrapsThePhotoReadAtTheOpenOnlyWhileTheFileIsUnchanged) {
    writeNoisePhoto(m_photo, "public.jpeg", 320, 240);
    openFisheye(m_photo);
    type("200", "150", "180", "90");
    applyAndWait();
    auto save = [&](const std::string& name) {
        const std::string to = m_dir.path() + "/" + name;
        c().mainWindow().m_pWindow->setDocumentEdited(true);
        c().state().m_pFileToWrite = to;
        c().onSave(nullptr);
        EXPECT_TRUE(qv::RunLoop::main().runUntil([&] { return !c().isSaveInProgress(); }, 60));
        auto source = qv::io::ImageSource::createWithPath(to);
        std::optional<qv::Bitmap> pixels = source ? source->createImage() : std::nullopt;
        EXPECT_TRUE(pixels) << name;
        return pixels ? pixels->pixels : qv::PixelBuffer();
    };
    const auto fromReadAhead = save("first.jpg");
    EXPECT_TRUE(QVPhotoReadAhead::take(m_photo).isNull()) << "the save took what the open read";
    EXPECT_EQ(save("second.jpg"), fromReadAhead) << "the same pixels as the file decoded again";

    // Changed after the open: the photo as it is now is unwrapped, not what was read.
    openFisheye(m_photo);
    applyAndWait();
    writeNoisePhoto(m_photo, "public.jpeg", 330, 250);
    const auto changed = save("third.jpg");
    EXPECT_NE(changed, fromReadAhead);
    EXPECT_EQ(save("fourth.jpg"), changed);
}

TEST(AddImageProperties, RewritesTheFileWithThePropertiesAndKeepsItsProfile) {
    qvtest::TempDir dir;
    const std::string jpeg = dir.file("result.jpg");
    writeNoisePhoto(jpeg, "public.jpeg", 40, 30, true);
    qv::Value properties;
    properties["{TIFF}"]["Make"] = "Other Maker";
    properties["{Exif}"]["FocalLength"] = 8.0;
    ASSERT_TRUE(shell::addImageProperties(properties, jpeg, 0));
    auto rewritten = qv::io::ImageSource::createWithPath(jpeg);
    ASSERT_TRUE(rewritten);
    EXPECT_EQ(rewritten->type(), "public.jpeg");
    EXPECT_EQ(rewritten->properties().at("{TIFF}").get("Make").stringOr(""), "Other Maker");
    EXPECT_FALSE(rewritten->embeddedProfile().empty());
    EXPECT_EQ(rewritten->pixelWidth(), 40);

    // The picture is not compressed again: its pixels stay as they were.
    const std::string copy = dir.file("copy.jpg");
    writeNoisePhoto(copy, "public.jpeg", 40, 30);
    const auto before = qv::io::ImageSource::createWithPath(copy)->createImage();
    ASSERT_TRUE(shell::addImageProperties(properties, copy, 0));
    const auto after = qv::io::ImageSource::createWithPath(copy)->createImage();
    ASSERT_TRUE(before && after);
    EXPECT_TRUE(before->pixels == after->pixels);

    const std::string tiff = dir.file("result.tif");
    writeNoisePhoto(tiff, "public.tiff", 40, 30);
    ASSERT_TRUE(shell::addImageProperties(properties, tiff, 1));
    EXPECT_EQ(qv::io::ImageSource::createWithPath(tiff)->type(), "public.tiff");
    EXPECT_EQ(qv::io::ImageSource::createWithPath(tiff)->properties().at("{TIFF}").get("Make").stringOr(""),
              "Other Maker");
    // A file of the other type is rewritten as the type asked for.
    ASSERT_TRUE(shell::addImageProperties(properties, tiff, 0));
    EXPECT_EQ(qv::io::ImageSource::createWithPath(tiff)->type(), "public.jpeg");

    testing::internal::CaptureStderr();
    EXPECT_FALSE(shell::addImageProperties(properties, dir.file("absent.jpg"), 0));
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "Image source is NULL.");
    ASSERT_TRUE(qv::files::writeWhole(dir.file("broken.jpg"), std::string("\xFF\xD8\xFF garbage")));
    testing::internal::CaptureStderr();
    EXPECT_FALSE(shell::addImageProperties(properties, dir.file("broken.jpg"), 0));
    EXPECT_FALSE(testing::internal::GetCapturedStderr().empty());
}
