// The name combos, the sample name shown in the sheet, and the output path and type of each
// photo of a run.
#include "shell/batch/QVBatchController.h"

#include "appkit/Alert.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/RunLoop.h"

namespace {

batch::NamePart partOf(const qv::ui::ComboBox* combo) {
    if (!combo) return batch::NamePart::token(batch::NameToken::Nothing);
    const int selected = combo->indexOfSelectedItem();
    if (selected >= 0) return batch::NamePart{selected, {}};
    return batch::NamePart::typed(combo->stringValue());
}

}  // namespace

batch::NameParts QVBatchController::nameParts() const {
    return {partOf(mCombo1), partOf(mCombo2), partOf(mCombo3), partOf(mCombo4)};
}

void QVBatchController::setAllcomboboxeSelections() {
    qv::ui::ComboBox* combos[] = {mCombo1, mCombo2, mCombo3, mCombo4};
    for (qv::ui::ComboBox* combo : combos) {
        if (!combo || combo->numberOfItems() > 0) continue;
        for (const char* title : batch::kNameTokenTitles) combo->addItemWithObjectValue(title);
    }
    if (mCombo1) mCombo1->selectItemAtIndex(int(batch::NameToken::FileName));
    for (qv::ui::ComboBox* combo : {mCombo2, mCombo3, mCombo4})
        if (combo) combo->selectItemAtIndex(int(batch::NameToken::Nothing));
    showSampleName();
}

void QVBatchController::comboBoxSelectionDidChange(qv::ui::ComboBox&) {
    // The counters are the worker's while a run is on.
    if (!mRunning.load()) showSampleName();
}

void QVBatchController::showSampleName() {
    const std::string sample = batch::sampleName(nameParts(), mCounters, mClock);
    if (mSampleFileName) mSampleFileName->setStringValue(sample);
}

std::optional<std::string> QVBatchController::destinationFilePathFor(const Job& job, const std::string& source) {
    const QVOutputType::Type type = batch::destinationTypeFor(source, job.chosenType);
    if (!job.intoDestination) {
        // Over the source, unless the source is in a format this program does not write (a raw
        // file, a PNG): then beside it, under the output type's extension, so the original keeps
        // its bytes.
        if (batch::isWrittenFormatExtension(qv::paths::pathExtension(source))) return source;
        return qv::paths::deletingPathExtension(source) + "." + batch::extensionForType(type);
    }
    const std::string folder = batch::destinationFolder(job.destinationField);
    if (!qv::files::isFolder(folder) && !qv::files::createFolder(folder)) {
        alertFromWorker(m_pMainBundle.localizedString("InvalidParentDirectory"), "SelectProperParent");
        return std::nullopt;
    }
    const std::string name = batch::destinationName(job.parts, mCounters, source, mClock);
    if (name.empty()) {
        alertFromWorker(m_pMainBundle.localizedString("DestinationNameError"), "SelectDestination");
        return std::nullopt;
    }
    return folder + name + "." + batch::extensionForType(type);
}
