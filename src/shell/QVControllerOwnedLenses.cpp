// The lens-selection window: the loaded databases on the left, the lenses of the chosen make or
// model in the middle, the owned lenses on the right, which the user adds to, removes from and
// reorders by dragging.
#include "QVController.h"

#include "lens/OwnedLensDrag.h"

namespace {

constexpr const char* kShowAll = "Show All";

}  // namespace

void QVController::onPreferences(Control*) {
    if (mPreferencesWindow) mPreferencesWindow->makeKeyAndOrderFront();
    if (mQVPreferences) mQVPreferences->readPreferences();
}

void QVController::onPreferencesAddLenses(Control*) {
    mLensSelectionInProgress = true;
    resetParametersSheetUIForPTLens();
    mMyLensArray = QVPreferences::readRecentLenses();
    if (mMyLensList) mMyLensList->reloadData();
    if (mAvailableLensList) mAvailableLensList->reloadData();
    if (mSelectLensSaveButton) mSelectLensSaveButton->setTitle(m_pMainBundle.localizedString("OKButton"));
    runLensSelectionWindow();
}

void QVController::runLensSelectionWindow() {
    if (mLensSelectionWindow) {
        qv::ui::Application::shared().runModalForWindow(*mLensSelectionWindow);
        if (mLensSelectionWindow->isVisible()) mLensSelectionWindow->orderOut();
    }
    mLensSelectionInProgress = false;
}

void QVController::onAddLensToMyLensList(Control*) {
    if (!mAvailableLensList || !m_pLensArray) return;
    if (!mMyLensArray) mMyLensArray.emplace();
    for (std::size_t row : mAvailableLensList->selectedRowIndexes())
        if (row < m_pLensArray->size()) mMyLensArray->push_back((*m_pLensArray)[row]);
    if (mMyLensList) mMyLensList->reloadData();
}

void QVController::onRemoveLensFromMyLensList(Control*) {
    const int row = mMyLensList ? mMyLensList->selectedRow() : -1;
    if (mMyLensArray && row >= 0 && std::size_t(row) < mMyLensArray->size())
        mMyLensArray->erase(mMyLensArray->begin() + row);
    if (mMyLensList) mMyLensList->reloadData();
}

void QVController::onSaveSelectedLenses(Control*) {
    qv::ui::Application::shared().stopModal();
    const qv::Array owned = mMyLensArray.value_or(qv::Array());
    if (mSelectLensSaveButton && mSelectLensSaveButton->title() == m_pMainBundle.localizedString("Save")) {
        QVPreferences::storeRecentLenses(owned);
        if (mQVPreferences) mQVPreferences->readPreferences();
    } else if (mQVPreferences) {
        // Handed over: the list reaches the file when the main window closes or the preferences
        // window's OK is pressed.
        mQVPreferences->setRecentLenses(owned);
    }
    if (mLensSelectionWindow) mLensSelectionWindow->orderOut();
    mLensSelectionInProgress = false;
}

void QVController::onCancelSelectedLenses(Control*) {
    qv::ui::Application::shared().stopModal();
    if (mLensSelectionWindow) mLensSelectionWindow->orderOut();
    mLensSelectionInProgress = false;
}

void QVController::onChangeSelectionModelPopUp(qv::ui::PopUpButton* sender) {
    if (!sender) return;
    const auto title = sender->titleOfSelectedItem();
    if (!title) return;
    if (*title == kShowAll) {
        setParameters(mManufacturerList);
        if (mAvailableLensList) mAvailableLensList->reloadData();
        sender->selectItemWithTitle(kShowAll);
        return;
    }
    const int row = mManufacturerList ? mManufacturerList->selectedRow() : -1;
    if (!isDatabaseRow(row)) return;
    showLensesOfModel(*title, m_pLoadedCamerasArray[std::size_t(row)], mAvailableLensList);
}

// ---- Reordering the owned lenses by drag (only the owned-lens table takes part) ----

void QVController::moveRow(int from, int to) {
    if (!mMyLensArray || from < 0 || to < 0) return;
    const auto destination = ownedlens::moveEntry(*mMyLensArray, std::size_t(from), std::size_t(to));
    if (!destination || !mMyLensList) return;
    mMyLensList->reloadData();
    mMyLensList->selectRow(int(*destination));
}

bool QVController::writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                                        qv::ui::Pasteboard& pasteboard) {
    return &table == mMyLensList && ownedlens::writeRows(rows, pasteboard, this);
}

qv::ui::DragOperation QVController::validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                                 qv::ui::DropPosition) {
    if (&table != mMyLensList) return qv::ui::kDragOperationNone;
    return ownedlens::validateDrop(table, info, row);
}

bool QVController::acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                              qv::ui::DropPosition) {
    if (&table != mMyLensList || !mMyLensArray) return false;
    const auto from = ownedlens::draggedRow(table, info, mMyLensArray->size());
    if (!from) return false;
    moveRow(int(*from), row);
    return true;
}
