#pragma once
// QVBatchController: the batch sheet's controller. It collects the sources, the correction mode,
// the output naming and type and the completion options; a run corrects every photo on a worker
// thread of its own while the progress sheet shows the file in hand, moved by a 1.5-second timer
// on the main run loop.
//
// One class, split over files by concern:
//   QVBatchControllerSheet.cpp   creation, the sheet's actions, the source list and its drops
//   QVBatchControllerNaming.cpp  the name combos, the sample name, output paths and types
//   QVBatchControllerRun.cpp     starting, the worker, the progress timer, completion
//   QVBatchControllerImage.cpp   one photo: load, correct, encode, write; the fisheye path
//
// Threads. The sheet, the timer and completion run on the main thread. The worker reads only the
// run's job (taken on the main thread when the run starts) and the shared flags, which are
// atomic; whatever changes controls (the lens choice, the preset, alerts) it has the main thread
// do while it waits, and each photo's correction settings are taken there in the same step.
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "appkit/Button.h"
#include "appkit/ComboBox.h"
#include "appkit/Matrix.h"
#include "appkit/NibObject.h"
#include "appkit/RangeControls.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "foundation/Bundle.h"
#include "foundation/Outcome.h"
#include "foundation/RunLoop.h"
#include "foundation/Value.h"
#include "shell/batch/BatchNaming.h"
#include "shell/batch/BatchPipeline.h"
#include "shell/batch/BatchSources.h"
#include "shell/lens/LensInfoText.h"

class QVController;
class QVDisplayViewLink;

class QVBatchController : public qv::ui::NibObject,
                          public qv::ui::TableDataSource,
                          public qv::ui::TableDelegate,
                          public qv::ui::ComboBoxDelegate {
public:
    using Control = qv::ui::Control;

    // The correction radio's rows.
    enum class CorrectionMode : int { Automatic = 0, CurrentSettings = 1, Preset = 2 };

    // What became of one photo of a run, as the front end and tests hear of it (main thread).
    struct FileReport {
        enum class Outcome { Written, Failed, Skipped };
        std::string source;
        std::string output;   // the file written (Written), or the one that was meant (Failed)
        Outcome outcome = Outcome::Skipped;
        std::string message;  // why it failed or was skipped
    };

    QVBatchController();
    ~QVBatchController() override;
    QVBatchController(const QVBatchController&) = delete;
    QVBatchController& operator=(const QVBatchController&) = delete;

    void awakeFromNib() override;

    // ---- Sheet actions (QVBatchControllerSheet.cpp) ----
    void onAddSource(Control* sender);
    void onRemoveSource(Control* sender);
    void onCorrectionType(Control* sender);
    void onBrowsePreset(Control* sender);
    void onSaveType(Control* sender);
    void onBrowseDestination(Control* sender);
    void onClose(Control* sender);
    void onSleepIsChecked(Control* sender);
    void onAlertIsChecked(Control* sender);
    // Adds paths to the sources, each with its sub-folder flag off, and reloads the list.
    void addFilesToSoursesArray(const std::vector<std::string>& paths);
    std::vector<std::string> readFilesFromSourcesArray() const;
    // After the sources changed: the list and the start controls follow.
    void sourcesChanged();
    static std::vector<std::string> validImageFilesFromArray(const std::vector<std::string>& paths);
    CorrectionMode correctionSettings() const;
    const batch::SourceList& sources() const { return mSources; }

    // The source list.
    int numberOfRowsInTableView(qv::ui::TableView& table) override;
    qv::ui::CellValue objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn* column,
                                                int row) override;
    void setObjectValue(qv::ui::TableView& table, const qv::Value& value, const qv::ui::TableColumn* column,
                        int row) override;
    void willDisplayCell(qv::ui::TableView& table, qv::ui::Cell& cell, const qv::ui::TableColumn* column,
                         int row) override;
    qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                       qv::ui::DropPosition position) override;
    bool acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                    qv::ui::DropPosition position) override;

    // ---- Naming (QVBatchControllerNaming.cpp) ----
    void comboBoxSelectionDidChange(qv::ui::ComboBox& comboBox) override;
    void setAllcomboboxeSelections();
    void resetDigits() { mCounters.reset(); }
    // What the four combos hold now (main thread).
    batch::NameParts nameParts() const;
    // The clock of the date tokens (tests give a fixed one).
    void setNamingClock(batch::NamingClock clock) { mClock = std::move(clock); }

    // ---- A run (QVBatchControllerRun.cpp) ----
    void onStartBatch(Control* sender);
    void onCancelSheet(Control* sender);
    bool isRunning() const { return mRunning.load(); }
    // Whether the run's worker is done; the run itself completes at the timer's next tick.
    bool hasWorkerFinished() const { return mBatchFinishFlag.load(); }
    // Completes a run whose worker is done at once, without waiting for the timer's next tick or
    // holding the full bar: for a front end that shows no sheet. Does nothing before that.
    void completeFinishedRun();
    // Told on the main thread as each photo is done.
    std::function<void(const FileReport&)> m_fileReported;
    // Told on the worker as each photo starts, with its index (a test may hold the run there).
    std::function<void(int index)> m_photoStarting;

    // ---- One photo (QVBatchControllerImage.cpp) ----
    // The metadata of the photo in hand, which the controller's lens choice reads (main thread).
    const std::optional<qv::Dictionary>& imageMetadata() const { return m_Metadata; }

    // ======== Outlets, set by the nib ========
    qv::ui::Window* mWindow = nullptr;
    qv::ui::Button* mBrowsePresetButton = nullptr;
    qv::ui::ComboBox* mCombo1 = nullptr;
    qv::ui::ComboBox* mCombo2 = nullptr;
    qv::ui::ComboBox* mCombo3 = nullptr;
    qv::ui::ComboBox* mCombo4 = nullptr;
    qv::ui::Matrix* mCorrectionRadioMatrix = nullptr;
    qv::ui::TextField* mPathTextField = nullptr;
    qv::ui::TextField* mSampleFileName = nullptr;
    qv::ui::Matrix* mJpegOrTiffButton = nullptr;
    qv::ui::Matrix* mSaveTypeMatrix = nullptr;
    qv::ui::TableView* mSourcesTable = nullptr;
    qv::ui::Button* mSleepCheckbox = nullptr;
    qv::ui::Button* mAlertCheckbox = nullptr;
    QVDisplayViewLink* mDisplayView = nullptr;
    QVController* mQVController = nullptr;
    qv::ui::Window* mProgressSheet = nullptr;
    qv::ui::ProgressIndicator* mProgressIndicator = nullptr;
    qv::ui::TextField* mFileNameLabel = nullptr;

    // ======== State ========
    batch::SourceList mSources;
    std::string mPresetFile;
    bool mSleepFlag = false;
    bool mAlertFlag = false;
    qv::Bundle m_pMainBundle;

private:
    // Everything a run reads, taken on the main thread as it starts.
    struct Job {
        std::vector<std::string> files;
        CorrectionMode mode = CorrectionMode::Automatic;
        qv::Value preset;              // the preset's dictionary in preset mode
        bool intoDestination = true;   // "saveAsFlag"
        std::string destinationField;  // the destination folder as typed
        batch::NameParts parts;
        QVOutputType::Type chosenType = QVOutputType::Type::JPEG;  // the output-format radio's
        bool sleep = false, alert = false;
    };
    // What one photo's processing came to.
    struct Result {
        bool ok = false;
        bool cancelled = false;  // stopped by Cancel before anything was written
        std::string output;
        std::string message;
    };
    // The path with its folder resolved (links, "..", doubled slashes), for telling whether two
    // paths name one file; the path itself when its folder does not exist.
    static std::string canonicalPath(const std::string& path);

    // Run (QVBatchControllerRun.cpp).
    std::optional<Job> makeJob();
    void bringUpProgressSheet();
    void batchProcessImages(const Job& job);
    void incrementIndicator();
    // One step of the progress: the label and bar from what the worker has said, and completion
    // once it has finished (after the full bar's hold, where asked).
    void advanceProgress(bool holdFullBar);
    void afterProcessCompletion();
    void putComputerToSleep();
    void alertWhenDone();
    void report(FileReport report);
    // Shows an alert panel with the OK button from the worker, waiting for it (main thread).
    void alertFromWorker(const std::string& title, const std::string& messageKey);

    // Naming (QVBatchControllerNaming.cpp): the output path of a source, or nothing after the
    // alert that says why; the worker calls it.
    std::optional<std::string> destinationFilePathFor(const Job& job, const std::string& source);
    void showSampleName();

    // One photo (QVBatchControllerImage.cpp).
    Result processPhoto(const Job& job, const std::string& source, const batch::LoadedPhoto& photo,
                        batch::CorrectionSettings& settings, const std::string& output);
    Result saveImageWithFilename(const std::string& output, QVOutputType::Type type, const batch::LoadedPhoto& photo,
                                 batch::CorrectionSettings& settings);
    Result unwrapImageToFile(const std::string& source, const std::string& output, const batch::LoadedPhoto& photo,
                             batch::CorrectionSettings& settings);
    // Whether the output may be written in this run, and why not when it may not.
    qv::Outcome mayWriteOutput(const Job& job, const std::string& source, const std::string& output);
    // The main thread's part of a photo: the focal range the metadata tool read, the lens choice
    // and the settings.
    batch::CorrectionSettings prepareOnMainThread(const Job& job, const batch::LoadedPhoto& photo,
                                                  const shell::FocalRange& focalRange);

    // Naming state: the worker's while a run is on, the sheet's otherwise.
    batch::NamingCounters mCounters;
    batch::NamingClock mClock = batch::NamingClock::system();

    // Shared by the worker and the timer.
    std::atomic<int> mImageCounter{0};
    std::atomic<bool> mIsProcessCancelled{false};
    std::atomic<bool> mBatchFinishFlag{false};
    std::atomic<bool> mRunning{false};
    std::atomic<int> mFileCount{0};
    std::vector<std::string> mSourceImageFiles;  // the run's files; written before the worker starts
    std::shared_ptr<qv::Timer> mTimer;
    std::shared_ptr<qv::Timer> mCompletionTimer;

    // The run's record of what it touched (worker only): the sources and the outputs written.
    std::set<std::string> mRunSources;
    std::set<std::string> mRunOutputs;

    std::optional<qv::Dictionary> m_Metadata;  // main thread
    float mKeptMinFocal = 0, mKeptMaxFocal = 0;
};
