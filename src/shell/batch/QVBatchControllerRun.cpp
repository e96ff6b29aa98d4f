// A batch run: the start checks, the worker thread over the run's files, the progress timer on
// the main run loop, and completion with its sleep request and done alert.
//
// The worker and the timer share the index of the file in hand and the cancelled and finished
// flags, all atomic. A run that ends on a failure sets "cancelled" before "finished", and the
// timer reads "finished" first, so a tick that sees the run finished also sees it cancelled: a
// failed run never asks for sleep or says it is done.
#include <cmath>

#include "appkit/Alert.h"
#include "appkit/Application.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/SystemSleep.h"
#include "foundation/Threads.h"
#include "foundation/UserDefaults.h"
#include "shell/batch/BatchKeys.h"
#include "shell/batch/BatchProgress.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/PresetFormat.h"
#include "shell/batch/QVBatchController.h"
#include "shell/controller/QVController.h"
#include "shell/controller/QVDisplayViewLink.h"

namespace {

constexpr double kProgressInterval = 1.5;
constexpr double kFullBarHold = 1.0;

void showAlert(const qv::Bundle& bundle, const std::string& title, const std::string& messageKey) {
    qv::ui::runAlertPanel(title, bundle.localizedString(messageKey), "OK");
}

}  // namespace

// ---- Starting ----

std::optional<QVBatchController::Job> QVBatchController::makeJob() {
    const std::string sample = mSampleFileName ? mSampleFileName->stringValue() : "";
    const std::string last = qv::paths::lastPathComponent(sample);
    if (last == qv::paths::deletingPathExtension(last)) {
        showAlert(m_pMainBundle, m_pMainBundle.localizedString("DestinationNameError"), "SelectDestination");
        return std::nullopt;
    }
    Job job;
    job.intoDestination = qv::UserDefaults::standard().boolForKey(batch::keys::kSaveAsFlag);
    job.destinationField = mPathTextField ? mPathTextField->stringValue() : "";
    job.parts = nameParts();
    if (job.intoDestination && !batch::typedPartsAreValid(job.parts)) {
        showAlert(m_pMainBundle, m_pMainBundle.localizedString("DestinationNameError"), "SelectDestination");
        return std::nullopt;
    }
    if (job.intoDestination) {
        const std::string folder = batch::destinationFolder(job.destinationField);
        if (job.destinationField.empty() || (!qv::files::isFolder(folder) && !qv::files::createFolder(folder))) {
            showAlert(m_pMainBundle, m_pMainBundle.localizedString("InvalidParentDirectory"), "SelectProperParent");
            return std::nullopt;
        }
    }
    job.files = readFilesFromSourcesArray();
    if (job.files.empty()) {
        showAlert(m_pMainBundle, m_pMainBundle.localizedString("NoSourceFile"), "PleaseSelectSource");
        return std::nullopt;
    }
    job.mode = correctionSettings();
    if (job.mode == CorrectionMode::Preset) {
        // A preset that cannot be read would correct every photo with whatever the window shows.
        job.preset = mPresetFile.empty() ? qv::Value() : qv::readPropertyList(mPresetFile);
        if (!shell::preset::presetSettingsFrom(job.preset)) {
            // With no file chosen there is no name to put in the title: say what is missing instead.
            if (mPresetFile.empty())
                showAlert(m_pMainBundle, m_pMainBundle.localizedString("NoPresetFile"), "PleaseSelectPreset");
            else
                showAlert(m_pMainBundle, qv::paths::lastPathComponent(mPresetFile), "PresetOpenErrorMessage");
            return std::nullopt;
        }
    }
    const auto chosen = mJpegOrTiffButton ? mJpegOrTiffButton->selectedCell() : nullptr;
    job.chosenType = QVOutputType::typeOfCode(chosen ? chosen->tag() : 0);
    return job;
}

void QVBatchController::onStartBatch(Control*) {
    if (mRunning.load()) return;
    std::optional<Job> job = makeJob();
    if (!job) return;
    if (mFileNameLabel) mFileNameLabel->setStringValue(" ");
    mBatchFinishFlag = false;
    // Cleared here, before the worker exists, so a Cancel pressed as the run starts is kept.
    mIsProcessCancelled = false;
    mImageCounter = 0;
    mFileCount = int(job->files.size());
    mSourceImageFiles = job->files;
    mRunning = true;
    if (mQVController) {
        mQVController->startLensInfoTool();  // its start-up runs beside the first photo's reading
        mKeptMinFocal = mQVController->minFocalLengthFromImage();
        mKeptMaxFocal = mQVController->maxFocalLengthFromImage();
    }
    if (!mProgressSheet || !mProgressSheet->isVisible()) {
        if (mWindow) {
            qv::ui::Application::shared().endSheet(*mWindow);
            mWindow->orderOut();
        }
        bringUpProgressSheet();
    }
    auto shared = std::make_shared<Job>(std::move(*job));
    mTimer = qv::RunLoop::main().scheduleTimer(kProgressInterval, true, [this](qv::Timer&) { incrementIndicator(); });
    if (shared->intoDestination)
        qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kParentDirectoryPath] = shared->destinationField; });
    if (!qv::detachThread([this, shared] { batchProcessImages(*shared); })) {
        mIsProcessCancelled = true;
        mBatchFinishFlag = true;
    }
}

void QVBatchController::bringUpProgressSheet() {
    if (mProgressIndicator) mProgressIndicator->setDoubleValue(0);
    if (mProgressSheet && mQVController && mQVController->mainWindow().m_pWindow)
        qv::ui::Application::shared().beginSheet(*mProgressSheet, *mQVController->mainWindow().m_pWindow);
}

void QVBatchController::onCancelSheet(Control*) { mIsProcessCancelled = true; }

// ---- The worker ----

void QVBatchController::batchProcessImages(const Job& job) {
    if (job.mode == CorrectionMode::Preset && mQVController)
        qv::performOnMainThread([&] { mQVController->resetUIValuesToPreset(job.preset); }, true);
    mCounters.reset();
    mRunSources.clear();
    mRunOutputs.clear();
    for (const std::string& file : job.files) mRunSources.insert(canonicalPath(file));

    bool anyLoaded = false;
    std::string lastFailed;
    const batch::PhotoReading::LensInfo lensInfo = [this](const std::string& path) {
        return mQVController ? mQVController->lensInfoForImage(path) : shell::FocalRange{};
    };
    // The photo after the one in hand, read while that one is corrected, encoded and written: at
    // most one photo ahead, so the run holds no more than two photos at any time.
    std::unique_ptr<batch::PhotoReading> next;
    for (std::size_t i = 0; i < job.files.size(); ++i) {
        if (mIsProcessCancelled.load()) break;
        mImageCounter = int(i);
        if (m_photoStarting) m_photoStarting(int(i));
        const std::string& source = job.files[i];
        const std::unique_ptr<batch::PhotoReading> reading =
            next ? std::move(next) : std::make_unique<batch::PhotoReading>(source, lensInfo);
        const batch::ReadPhoto read = reading->take();
        if (i + 1 < job.files.size()) next = std::make_unique<batch::PhotoReading>(job.files[i + 1], lensInfo);
        const std::optional<batch::LoadedPhoto>& photo = read.photo;
        const shell::FocalRange& focalRange = read.focalRange;
        if (!photo) {
            report({source, "", FileReport::Outcome::Skipped, "not a photo that can be read"});
            continue;
        }
        anyLoaded = true;
        batch::CorrectionSettings settings = prepareOnMainThread(job, *photo, focalRange);
        const std::optional<std::string> output = destinationFilePathFor(job, source);
        if (!output) {
            // Its alert has said why; the run ends here as if cancelled.
            report({source, "", FileReport::Outcome::Failed, "no output name"});
            mIsProcessCancelled = true;
            break;
        }
        const Result result = processPhoto(job, source, *photo, settings, *output);
        // The next photo read ahead from the file just written (the same file twice in the run)
        // is read again, as it is now.
        if (next && result.ok && canonicalPath(result.output) == canonicalPath(next->path())) next.reset();
        if (result.cancelled) {
            report({source, result.output, FileReport::Outcome::Skipped, "cancelled"});
            break;
        }
        if (!result.ok) lastFailed = source;
        report({source, result.output, result.ok ? FileReport::Outcome::Written : FileReport::Outcome::Failed,
                result.message});
    }

    const bool failed = !lastFailed.empty() || (!anyLoaded && !mIsProcessCancelled.load());
    if (failed) {
        mIsProcessCancelled = true;  // before "finished": completion neither sleeps nor says done
        const std::string title = lastFailed.empty() ? job.files.back() : lastFailed;
        qv::performOnMainThread([&] { showAlert(m_pMainBundle, title, "OpenErrorMessage"); }, true);
    }
    qv::performOnMainThread(
        [&] {
            m_Metadata.reset();
            if (mQVController) {
                mQVController->setMinFocalLengthFromImage(mKeptMinFocal);
                mQVController->setMaxFocalLengthFromImage(mKeptMaxFocal);
            }
        },
        true);
    mBatchFinishFlag = true;
    qv::RunLoop::main().wake();
}

void QVBatchController::report(FileReport fileReport) {
    auto shared = std::make_shared<FileReport>(std::move(fileReport));
    qv::performOnMainThread(
        [this, shared] {
            if (m_fileReported) m_fileReported(*shared);
        },
        false);
}

void QVBatchController::alertFromWorker(const std::string& title, const std::string& messageKey) {
    qv::performOnMainThread([&] { showAlert(m_pMainBundle, title, messageKey); }, true);
}

// ---- The progress timer and completion ----

void QVBatchController::incrementIndicator() { advanceProgress(true); }

void QVBatchController::completeFinishedRun() {
    if (mBatchFinishFlag.load()) advanceProgress(false);
}

void QVBatchController::advanceProgress(bool holdFullBar) {
    if (!mRunning.load() || mCompletionTimer) return;
    // "finished" first: see the comment at the top.
    const bool finished = mBatchFinishFlag.load();
    const bool cancelled = mIsProcessCancelled.load();
    const int index = mImageCounter.load();
    const double bar = mProgressIndicator ? mProgressIndicator->doubleValue() : 0;
    const batch::ProgressTick tick = batch::progressTick(mFileCount.load(), index, cancelled, finished, bar);
    if (mFileNameLabel) {
        if (tick.showsCanceled) mFileNameLabel->setStringValue(batch::keys::kCanceledLabel);
        else if (std::size_t(index) < mSourceImageFiles.size())
            mFileNameLabel->setStringValue(qv::paths::lastPathComponent(mSourceImageFiles[std::size_t(index)]));
    }
    if (mProgressIndicator && tick.bar != bar) mProgressIndicator->setDoubleValue(tick.bar);
    if (!tick.complete) return;
    if (mTimer) mTimer->invalidate();
    if (!tick.holdsBeforeCompleting || !holdFullBar) {
        afterProcessCompletion();
        return;
    }
    // The full bar stays up for a second, without holding the main thread meanwhile.
    mCompletionTimer = qv::RunLoop::main().scheduleTimer(kFullBarHold, false, [this](qv::Timer&) { afterProcessCompletion(); });
}

void QVBatchController::afterProcessCompletion() {
    qv::ui::Application& application = qv::ui::Application::shared();
    if (mProgressSheet) {
        application.endSheet(*mProgressSheet);
        mProgressSheet->orderOut();
    }
    if (mWindow && mQVController && mQVController->mainWindow().m_pWindow) application.beginSheet(*mWindow, *mQVController->mainWindow().m_pWindow);
    if (mTimer) mTimer->invalidate();
    mTimer.reset();
    mCompletionTimer.reset();
    mRunning = false;
    if (mIsProcessCancelled.load()) return;
    if (mSleepFlag) putComputerToSleep();
    if (mAlertFlag) alertWhenDone();
}

void QVBatchController::putComputerToSleep() { qv::requestSystemSleep(); }

void QVBatchController::alertWhenDone() {
    showAlert(m_pMainBundle, m_pMainBundle.localizedString("BatchProcessingDone"), "MessageAfterBatchProcessing");
}
