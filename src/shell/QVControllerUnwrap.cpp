// The fisheye command: the request taken from the four fields and the sampler pop-up, its refusal,
// the long-lived worker that runs the engine on the working file, the colour profile and metadata
// put on the result, and the result shown in the preview with the controls given back.
#include "QVController.h"

#include <iostream>

#include "appkit/Alert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemVersion.h"
#include "foundation/UserDefaults.h"
#include "imageio/ImageDestination.h"
#include "imageio/ImageSource.h"
#include "imageio/ImageTool.h"
#include "shell/PreferenceKeys.h"
#include "shell/SupportFolder.h"
#include "unwrap/UnwrapData.h"

namespace {

void setBusy(bool busy) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set(shell::keys::kEnableControl, !busy);
    defaults.set(shell::keys::kOpenButton, !busy);
}

}  // namespace

shell::UnwrapSettings QVController::fisheyeSettings() const {
    shell::UnwrapSettings settings;
    settings.width = fishEyeOutputWidth();
    settings.height = fishEyeOutputHeight();
    settings.inputFOV = fishEyeInputFOV();
    settings.outputFOV = fishEyeOutputFOV();
    settings.sampler = fishEyeSamplerType();
    return settings;
}

void QVController::setFisheyeControlsEnabled(bool on) {
    for (Control* control :
         std::initializer_list<Control*>{mFisheye.mFEOutputWidth, mFisheye.mFEOutputHeight, mFisheye.mFEInputFOV,
                                         mFisheye.mFEOutputFOV, mFisheye.mFESamplertypePopUp, mFisheye.mFEDefishButton})
        if (control) control->setEnabled(on);
}

void QVController::defish(Control*) {
    setFisheyeControlsEnabled(false);
    // Not while a request runs: its output is being written into the folder.
    if (!isUnwrapInProgress()) shell::sweepSupportFolder(true);
    const shell::UnwrapSettings settings = fisheyeSettings();
    std::string refusal = shell::unwrapRefusal(settings);
    if (refusal.empty() && mState.m_pFileToLoad.empty()) refusal = "Unwrap:Input file cannot be nil";
    if (!refusal.empty()) {
        qv::ui::runAlertPanel(refusal, "", "OK");
        if (!isUnwrapInProgress()) setFisheyeControlsEnabled(correctionType() == 1);
        return;
    }
    shell::UnwrapRequest request = shell::makeUnwrapRequest(settings, mState.m_pFileToLoad);
    if (mMain.m_pDisplayView) request.metadata = mMain.m_pDisplayView->imageMetadata();
    request.photo = mState.mPhotoGeneration;
    request.number = ++m_fisheye.requests;
    if (!m_fisheye.worker) {
        // The reports go to the main thread, where they run only while the controller lives.
        m_fisheye.worker = std::make_unique<shell::UnwrapWorker>(
            [this, alive = m_fisheye.alive](const shell::UnwrapRequest& job) {
                bool unwrapped = false, rewritten = false;
                unwrap(job, unwrapped, rewritten);
                auto done = std::make_shared<shell::UnwrapRequest>(job);
                qv::performOnMainThread(
                    [this, alive, done, unwrapped, rewritten] {
                        if (*alive) finishUnwrap(*done, unwrapped, rewritten);
                    },
                    false);
            });
    }
    setBusy(true);
    if (mFisheye.mFEDefishingText) mFisheye.mFEDefishingText->setHidden(false);
    if (mFisheye.mFEUnwrapProgress) {
        mFisheye.mFEUnwrapProgress->setHidden(false);
        mFisheye.mFEUnwrapProgress->startAnimation();
    }
    if (!m_fisheye.worker->submit(request)) {
        finishUnwrap(request, false, false);  // no thread could run it: reported as a failed unwrap
        return;
    }
    ++m_fisheye.outstanding;
    mState.m_bDefishThreadCreated = true;
}

void QVController::unwrap(const shell::UnwrapRequest& request, bool& unwrapped, bool& rewritten) {
    std::string input = request.input;
#ifdef QV_PLUGIN_BUILD
    // The host's file is copied first, so that the engine never reads a file the host may change.
    input = qv::paths::supportFolder() + qv::paths::lastPathComponent(request.input);
    const std::optional<qv::Data> bytes = qv::files::readWhole(request.input);
    if (!bytes || !qv::files::writeWhole(input, *bytes)) return;
#endif
    const shell::UnwrapSettings& s = request.settings;
    unwrapped = UnwrapData(input.c_str(), request.output.c_str(), s.width, s.height, s.wholeInputFOV(),
                           s.wholeOutputFOV(), s.sampler, request.threads) == 0;
    if (!unwrapped) return;
    if (qv::files::exists(request.profile)) qv::io::embedProfile(request.profile, request.output);
    rewritten = addImageProperties(request.metadata, request.output, request.type);
    if (qv::files::exists(request.readCopy)) qv::files::removeItem(request.readCopy);
}

void QVController::finishUnwrap(const shell::UnwrapRequest& request, bool unwrapped, bool rewritten) {
    if (m_fisheye.outstanding > 0) --m_fisheye.outstanding;
    if (request.photo == mState.mPhotoGeneration) {
        const bool shown =
            unwrapped && rewritten && mMain.m_pDisplayView && mMain.m_pDisplayView->setCIImageFromFile(request.output);
        if (shown) {
            m_fisheye.shown = request.settings;
            m_fisheye.shownPhoto = request.photo;
        } else {
            // The preview keeps what it showed; the photo is named as an open failure names it.
            showErrorDialog(IsMacOSSnowLeopardRunning() ? originalImagePath() : request.input);
        }
    }
    mState.mFEOriginalImagePath = request.input;
    if (isUnwrapInProgress()) return;  // the next request keeps the controls
    if (mFisheye.mFEUnwrapProgress) {
        mFisheye.mFEUnwrapProgress->stopAnimation();
        mFisheye.mFEUnwrapProgress->setHidden(true);
    }
    if (mFisheye.mFEDefishingText) mFisheye.mFEDefishingText->setHidden(true);
    setBusy(false);
    setFisheyeControlsEnabled(correctionType() == 1);
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setNeedsDisplay();
}

bool QVController::addImageProperties(const qv::Value& properties, const std::string& path, int type) {
    const char* identifier = type == 1 ? "public.tiff" : "public.jpeg";
    auto source = qv::io::ImageSource::createWithPath(path);
    if (!source) {
        std::cerr << "Image source is NULL." << std::flush;
        return false;
    }
    const qv::Dictionary* given = properties.dictionary();
    const qv::Dictionary dictionary = given ? *given : qv::Dictionary();
    if (source->type() == identifier) {
        // Already of the type: only the metadata is rewritten, and the picture is not compressed
        // a second time.
        source.reset();
        if (qv::io::ImageDestination::copyImageSource(path, identifier, dictionary)) return true;
        std::cerr << "Image not created from image destination." << std::flush;
        return false;
    }
    std::optional<qv::Bitmap> image = source->createImage();
    if (!image) {
        std::cerr << "Image not created from image source." << std::flush;
        return false;
    }
    const qv::io::ColorSpace colorSpace = source->colorSpace();
    source.reset();
    auto destination = qv::io::ImageDestination::createWithPath(path, identifier);
    if (!destination) {
        std::cerr << "Image not created from image destination." << std::flush;
        return false;
    }
    destination->addImage(std::move(*image), dictionary, colorSpace);
    return destination->finalize();
}
