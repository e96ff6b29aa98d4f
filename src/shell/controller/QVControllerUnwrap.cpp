// The fisheye command: the request taken from the four fields and the sampler pop-up, its refusal,
// the long-lived worker that runs it (UnwrapRun.h), and the result shown in the preview with the
// controls given back.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"
#include "foundation/SystemVersion.h"
#include "foundation/UserDefaults.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"
#include "shell/unwrap/UnwrapRun.h"

namespace {

void setBusy(bool busy) {
    auto& defaults = qv::UserDefaults::standard();
    defaults.set(shell::keys::kEnableControl, !busy);
    defaults.set(shell::keys::kOpenButton, !busy);
}

}  // namespace

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
        if (!isUnwrapInProgress()) setFisheyeControlsEnabled(correctionType() == CorrectionType::Fisheye);
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
                shell::unwrap(job, unwrapped, rewritten);
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

void QVController::finishUnwrap(const shell::UnwrapRequest& request, bool unwrapped, bool rewritten) {
    if (m_fisheye.outstanding > 0) --m_fisheye.outstanding;
    if (request.photo == mState.mPhotoGeneration) {
        const bool shown =
            unwrapped && rewritten && mMain.m_pDisplayView && mMain.m_pDisplayView->setCIImageFromFile(request.output);
        if (shown) {
            m_fisheye.shown = request.settings;
            m_fisheye.shownPhoto = request.photo;
            // The unwrapped photo lives only in the support folder: closing asks before it is lost.
            markWindowEdited();
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
    setFisheyeControlsEnabled(correctionType() == CorrectionType::Fisheye);
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setNeedsDisplay();
}
