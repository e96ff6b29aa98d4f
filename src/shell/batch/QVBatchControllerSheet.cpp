// The batch sheet: creation, its actions, the source list with its sub-folder check boxes and its
// file drops, and closing it.
#include "shell/batch/QVBatchController.h"

#include <algorithm>

#include "appkit/Application.h"
#include "appkit/Pasteboard.h"
#include "appkit/SavePanel.h"
#include "appkit/Workspace.h"
#include "foundation/Assert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "shell/batch/BatchKeys.h"
#include "shell/batch/ImageAndTextCell.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/PresetFormat.h"
#include "shell/controller/QVController.h"
#include "shell/controller/QVDisplayViewLink.h"

namespace {

constexpr double kIconPoints = 16;

std::vector<std::string> imageExtensions() {
    return std::vector<std::string>(batch::kImageExtensions.begin(), batch::kImageExtensions.end());
}

std::string storedFolder(const char* key) {
    return qv::PreferencesFile::read().get(key).stringOr("");
}

void storePath(const char* key, const std::string& path) {
    qv::PreferencesFile::update([&](qv::Value& root) { root[key] = path; });
}

}  // namespace

QVBatchController::QVBatchController() : m_pMainBundle(qv::Bundle::main()) {}

QVBatchController::~QVBatchController() {
    if (mTimer) mTimer->invalidate();
    if (mCompletionTimer) mCompletionTimer->invalidate();
}

void QVBatchController::awakeFromNib() {
    qv::UserDefaults::standard().set(batch::keys::kSaveAsFlag, true);
    const std::string parent = storedFolder(shell::keys::kParentDirectoryPath);
    if (mPathTextField && !parent.empty()) mPathTextField->setStringValue(parent);
    setAllcomboboxeSelections();
    if (mSourcesTable) mSourcesTable->registerForDraggedTypes({qv::ui::kFilenamesPboardType});
}

// ---- Sources ----

void QVBatchController::onAddSource(Control*) {
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(true);
    panel->setAllowsMultipleSelection(true);
    if (panel->runModalForDirectory(storedFolder(shell::keys::kBatchSourceImagePath), "", imageExtensions()) !=
        qv::ui::kOKButton)
        return;
    const std::vector<std::string> chosen = panel->filenames();
    if (chosen.empty()) return;
    addFilesToSoursesArray(chosen);
    storePath(shell::keys::kBatchSourceImagePath, chosen.front());
}

void QVBatchController::onRemoveSource(Control*) {
    if (!mSourcesTable) return;
    const int row = mSourcesTable->selectedRow();
    if (row < 0) return;
    mSources.remove(row);
    sourcesChanged();
}

void QVBatchController::addFilesToSoursesArray(const std::vector<std::string>& paths) {
    mSources.add(paths);
    sourcesChanged();
}

void QVBatchController::sourcesChanged() {
    // Reloading asks for the row count, which enables the start controls.
    if (mSourcesTable) mSourcesTable->reloadData();
    else qv::UserDefaults::standard().set(batch::keys::kEnableControls, mSources.size() > 0);
}

std::vector<std::string> QVBatchController::readFilesFromSourcesArray() const {
    return batch::readFilesFromSources(mSources);
}

std::vector<std::string> QVBatchController::validImageFilesFromArray(const std::vector<std::string>& paths) {
    return batch::validImageFilesFromArray(paths);
}

int QVBatchController::numberOfRowsInTableView(qv::ui::TableView&) {
    qv::UserDefaults::standard().set(batch::keys::kEnableControls, mSources.size() > 0);
    return int(mSources.size());
}

qv::ui::CellValue QVBatchController::objectValueForTableColumn(qv::ui::TableView&, const qv::ui::TableColumn* column,
                                                               int row) {
    if (!column || row < 0 || std::size_t(row) >= mSources.size()) return {};
    if (column->identifier == batch::keys::kSubFoldersColumn)
        return qv::ui::CellValue(qv::Value(mSources.subFolders[std::size_t(row)] ? 1 : 0));
    return qv::ui::CellValue(qv::Value(qv::paths::lastPathComponent(mSources.sources[std::size_t(row)])));
}

void QVBatchController::setObjectValue(qv::ui::TableView&, const qv::Value& value, const qv::ui::TableColumn* column,
                                       int row) {
    if (!column || column->identifier != batch::keys::kSubFoldersColumn) return;
    if (row < 0 || std::size_t(row) >= mSources.size()) return;
    mSources.subFolders[std::size_t(row)] = value.integerOr(0) != 0;
}

void QVBatchController::willDisplayCell(qv::ui::TableView&, qv::ui::Cell& cell, const qv::ui::TableColumn* column,
                                        int row) {
    if (!column || row < 0 || std::size_t(row) >= mSources.size()) return;
    if (column->identifier == batch::keys::kSourcesColumn) {
        if (auto* withImage = dynamic_cast<ImageAndTextCell*>(&cell)) {
            auto icon = qv::ui::workspace::iconForFile(mSources.sources[std::size_t(row)]);
            icon->setSize({kIconPoints, kIconPoints});
            withImage->setImage(icon);
        }
    } else if (column->identifier == batch::keys::kSubFoldersColumn) {
        // Only a folder has sub-folders to include.
        cell.setTransparent(!mSources.isFolderRow(row));
    }
}

qv::ui::DragOperation QVBatchController::validateDrop(qv::ui::TableView&, const qv::ui::DraggingInfo&, int,
                                                      qv::ui::DropPosition) {
    return qv::ui::kDragOperationCopy;
}

bool QVBatchController::acceptDrop(qv::ui::TableView&, const qv::ui::DraggingInfo& info, int, qv::ui::DropPosition) {
    if (!info.pasteboard) return false;
    const std::vector<std::string> types = info.pasteboard->types();
    if (std::find(types.begin(), types.end(), qv::ui::kFilenamesPboardType) == types.end()) {
        // The list is registered for file names only.
        QVAssert(false, "This can't happen");
        return false;
    }
    const std::optional<std::vector<std::string>> names = info.pasteboard->filenames();
    if (!names) return false;
    addFilesToSoursesArray(validImageFilesFromArray(*names));
    return true;
}

// ---- Settings ----

QVBatchController::CorrectionMode QVBatchController::correctionSettings() const {
    const int row = mCorrectionRadioMatrix ? mCorrectionRadioMatrix->selectedRow() : 0;
    return row == 1 ? CorrectionMode::CurrentSettings : row == 2 ? CorrectionMode::Preset : CorrectionMode::Automatic;
}

void QVBatchController::onCorrectionType(Control*) {
    if (mBrowsePresetButton) mBrowsePresetButton->setEnabled(correctionSettings() == CorrectionMode::Preset);
}

void QVBatchController::onBrowsePreset(Control*) {
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setAllowsMultipleSelection(false);
    if (panel->runModalForDirectory(storedFolder(shell::keys::kPresetFilePath), "", {shell::preset::kExtension}) !=
        qv::ui::kOKButton)
        return;
    const std::string chosen = panel->filename();
    if (chosen.empty()) return;
    mPresetFile = chosen;
    storePath(shell::keys::kPresetFilePath, chosen);
}

void QVBatchController::onSaveType(Control* sender) {
    auto* matrix = dynamic_cast<qv::ui::Matrix*>(sender);
    if (!matrix) matrix = mSaveTypeMatrix;
    const int row = matrix ? matrix->selectedRow() : 1;
    qv::UserDefaults::standard().set(batch::keys::kSaveAsFlag, row == 1);
}

void QVBatchController::onBrowseDestination(Control*) {
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(false);
    panel->setCanChooseDirectories(true);
    panel->setCanCreateDirectories(true);
    panel->setAllowsMultipleSelection(false);
    if (panel->runModalForDirectory(storedFolder(shell::keys::kParentDirectoryPath), "", {}) != qv::ui::kOKButton)
        return;
    const std::string chosen = panel->filename();
    if (!chosen.empty() && mPathTextField) mPathTextField->setStringValue(chosen + "/");
}

void QVBatchController::onSleepIsChecked(Control* sender) {
    if (sender) mSleepFlag = sender->intValue() == qv::ui::kOnState;
}

void QVBatchController::onAlertIsChecked(Control* sender) {
    if (sender) mAlertFlag = sender->intValue() == qv::ui::kOnState;
}

void QVBatchController::onClose(Control*) {
    if (mRunning.load()) return;  // the progress sheet covers the batch sheet while a run is on
    if (mDisplayView) mDisplayView->setBatchFlagTo(false);
    m_Metadata.reset();
    if (mQVController) mQVController->autoselectionForLens();
    if (mWindow) {
        qv::ui::Application::shared().endSheet(*mWindow);
        mWindow->orderOut();
    }
}
