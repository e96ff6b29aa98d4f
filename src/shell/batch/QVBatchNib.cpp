#include "shell/batch/QVBatchNib.h"

#include "appkit/Button.h"
#include "appkit/CheckBoxCell.h"
#include "appkit/ComboBox.h"
#include "appkit/Matrix.h"
#include "appkit/RangeControls.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "foundation/UserDefaults.h"
#include "output/QVOutputType.h"
#include "shell/batch/BatchKeys.h"
#include "shell/batch/ImageAndTextCell.h"
#include "shell/controller/QVController.h"

namespace {

using namespace qv::ui;
using qv::Rect;

template <class Sender>
std::shared_ptr<Button> button(NibBuilder& nib, Window& w, QVBatchController& batch, const Rect& frame,
                               const std::string& title, void (QVBatchController::*action)(Sender*),
                               ButtonType type = ButtonType::MomentaryPush) {
    auto made = nib.makeIn<Button>(w, frame, title, type);
    made->setTarget(&batch, action);
    return made;
}

void buildBatchSheet(NibBuilder& nib, QVBatchController& batch) {
    auto sheet = nib.make<Panel>(Rect(0, 0, 620, 520), "Batch");
    Window& w = *sheet;
    batch.mWindow = sheet.get();

    auto sources = nib.makeIn<TableView>(w, Rect(20, 300, 580, 200));
    sources->addTableColumn(TableColumn{batch::keys::kSourcesColumn, "Sources", false, 480,
                                        [] { return std::make_shared<ImageAndTextCell>(); }});
    sources->addTableColumn(TableColumn{batch::keys::kSubFoldersColumn, "Sub-folders", true, 80,
                                        [] { return std::make_shared<CheckBoxCell>(); }});
    sources->setDataSource(&batch);
    sources->setDelegate(&batch);
    sources->setAccessibilityLabel("Sources");
    batch.mSourcesTable = sources.get();
    button(nib, w, batch, Rect(20, 270, 90, 24), "Add…", &QVBatchController::onAddSource);
    button(nib, w, batch, Rect(115, 270, 90, 24), "Remove", &QVBatchController::onRemoveSource);

    auto correction = Matrix::radioColumn(Rect(20, 190, 220, 66), {"Automatic lens", "Current settings", "Preset"},
                                          {0, 1, 2});
    w.contentView()->addSubview(correction);
    nib.add(correction);
    correction->setAccessibilityLabel("Correction");
    correction->setTarget(&batch, &QVBatchController::onCorrectionType);
    batch.mCorrectionRadioMatrix = correction.get();
    auto browsePreset = button(nib, w, batch, Rect(250, 190, 120, 24), "Preset…", &QVBatchController::onBrowsePreset);
    browsePreset->setEnabled(false);
    batch.mBrowsePresetButton = browsePreset.get();

    std::vector<std::string> formatTitles;
    std::vector<int> formatTags;
    for (const QVOutputType::TypeInfo& type : QVOutputType::types()) {
        formatTitles.push_back(type.title);
        formatTags.push_back(int(type.type));
    }
    auto format = Matrix::radioColumn(Rect(400, 190, 200, 88), formatTitles, formatTags);
    w.contentView()->addSubview(format);
    nib.add(format);
    format->setAccessibilityLabel("Output format");
    batch.mJpegOrTiffButton = format.get();

    ComboBox** combos[] = {&batch.mCombo1, &batch.mCombo2, &batch.mCombo3, &batch.mCombo4};
    for (int i = 0; i < 4; ++i) {
        auto combo = nib.makeIn<ComboBox>(w, Rect(20 + i * 145, 150, 140, 24));
        combo->setAccessibilityLabel("Name part " + std::to_string(i + 1));
        combo->setComboDelegate(&batch);
        *combos[i] = combo.get();
    }
    auto sample = nib.makeIn<TextField>(w, Rect(20, 120, 580, 22));
    sample->setEditable(false);
    sample->setAccessibilityLabel("Sample file name");
    batch.mSampleFileName = sample.get();

    auto saveType = Matrix::radioColumn(Rect(20, 60, 220, 44), {"Replace sources", "Into folder"}, {0, 1});
    w.contentView()->addSubview(saveType);
    nib.add(saveType);
    saveType->selectCellAtRow(1);
    saveType->setAccessibilityLabel("Save");
    saveType->setTarget(&batch, &QVBatchController::onSaveType);
    batch.mSaveTypeMatrix = saveType.get();
    batch.mPathTextField = nib.makeIn<TextField>(w, Rect(250, 80, 250, 22)).get();
    batch.mPathTextField->setAccessibilityLabel("Destination folder");
    button(nib, w, batch, Rect(505, 80, 95, 24), "Choose…", &QVBatchController::onBrowseDestination);

    auto sleep = button(nib, w, batch, Rect(20, 20, 140, 22), "Sleep when done", &QVBatchController::onSleepIsChecked,
                        ButtonType::Switch);
    batch.mSleepCheckbox = sleep.get();
    auto alert = button(nib, w, batch, Rect(165, 20, 140, 22), "Alert when done", &QVBatchController::onAlertIsChecked,
                        ButtonType::Switch);
    batch.mAlertCheckbox = alert.get();
    button(nib, w, batch, Rect(420, 20, 85, 24), "Close", &QVBatchController::onClose);
    auto start = button(nib, w, batch, Rect(510, 20, 90, 24), "Start", &QVBatchController::onStartBatch);
    start->bindEnabled(qv::UserDefaults::standard(), batch::keys::kEnableControls);
}

void buildProgressSheet(NibBuilder& nib, QVBatchController& batch) {
    auto sheet = nib.make<Panel>(Rect(0, 0, 420, 110), "Batch progress");
    Window& w = *sheet;
    batch.mProgressSheet = sheet.get();
    batch.mProgressIndicator = nib.makeIn<ProgressIndicator>(w, Rect(20, 60, 380, 20)).get();
    batch.mProgressIndicator->setAccessibilityLabel("Batch progress");
    auto label = nib.makeIn<TextField>(w, Rect(20, 30, 280, 22));
    label->setEditable(false);
    label->setAccessibilityLabel("File in hand");
    batch.mFileNameLabel = label.get();
    button(nib, w, batch, Rect(310, 28, 90, 24), "Cancel", &QVBatchController::onCancelSheet);
}

}  // namespace

std::shared_ptr<QVBatchController> buildBatchSheets(NibBuilder& nib, QVController& controller, QVDisplayViewLink* view) {
    auto batch = nib.make<QVBatchController>();
    buildBatchSheet(nib, *batch);
    buildProgressSheet(nib, *batch);
    batch->mQVController = &controller;
    batch->mDisplayView = view;
    controller.batchSheet().mBatchSheet = batch->mWindow;
    controller.batchSheet().m_pBatchController = batch.get();
    return batch;
}
