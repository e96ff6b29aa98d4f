// The lens-selection window: the loaded databases on the left, the lenses of the chosen make or
// model in the middle, the owned lenses on the right, which the user adds to, removes from and
// reorders by dragging.
#include "shell/controller/QVController.h"

#include "lens/OwnedLensDrag.h"

namespace {

constexpr const char* kShowAll = "Show All";

}  // namespace

void QVController::onPreferences(Control*) {
#ifdef QV_PLUGIN_BUILD
    // A sheet on the plug-in's window, which its own OK and Cancel end.
    if (mPreferences.mQVPreferences) mPreferences.mQVPreferences->readPreferences();
    if (mPreferences.mPreferencesWindow && mMain.m_pWindow)
        qv::ui::Application::shared().beginSheet(*mPreferences.mPreferencesWindow, *mMain.m_pWindow);
#else
    if (mPreferences.mPreferencesWindow) mPreferences.mPreferencesWindow->makeKeyAndOrderFront();
    if (mPreferences.mQVPreferences) mPreferences.mQVPreferences->readPreferences();
#endif
}

void QVController::onPreferencesAddLenses(Control*) {
    mState.mLensSelectionInProgress = true;
    resetParametersSheetUIForPTLens();
    // The lens list is rebuilt for the make selected in the window (the reset above selects one):
    // the working list may hold another database's lenses since the window was last open.
    setParameters(mLensSelection.mManufacturerList);
    mState.mMyLensArray = QVPreferences::readRecentLenses();
    if (mLensSelection.mMyLensList) mLensSelection.mMyLensList->reloadData();
    if (mLensSelection.mAvailableLensList) mLensSelection.mAvailableLensList->reloadData();
    if (mLensSelection.mSelectLensSaveButton)
        mLensSelection.mSelectLensSaveButton->setTitle(m_pMainBundle.localizedString("OKButton"));
#ifdef QV_PLUGIN_BUILD  // the plug-in opens the sheet on all lenses of the make
    if (mLensSelection.mLensSelectionModelPopUp) mLensSelection.mLensSelectionModelPopUp->selectItemWithTitle(kShowAll);
#endif
    runLensSelectionWindow();
}

// Runs the lens-selection window modally; a run that ends other than through its own buttons
// leaves the window as Cancel would.
void QVController::runLensSelectionWindow() {
    if (mLensSelection.mLensSelectionWindow) {
        qv::ui::Application::shared().runModalForWindow(*mLensSelection.mLensSelectionWindow);
        if (mLensSelection.mLensSelectionWindow->isVisible()) mLensSelection.mLensSelectionWindow->orderOut();
    }
    mState.mLensSelectionInProgress = false;
}

void QVController::onAddLensToMyLensList(Control*) {
    if (!mLensSelection.mAvailableLensList || !mState.m_pLensArray) return;
    if (!mState.mMyLensArray) mState.mMyLensArray.emplace();
    for (std::size_t row : mLensSelection.mAvailableLensList->selectedRowIndexes())
        if (row < mState.m_pLensArray->size()) mState.mMyLensArray->push_back((*mState.m_pLensArray)[row]);
    if (mLensSelection.mMyLensList) mLensSelection.mMyLensList->reloadData();
}

void QVController::onRemoveLensFromMyLensList(Control*) {
    const int row = mLensSelection.mMyLensList ? mLensSelection.mMyLensList->selectedRow() : -1;
    if (mState.mMyLensArray && row >= 0 && std::size_t(row) < mState.mMyLensArray->size())
        mState.mMyLensArray->erase(mState.mMyLensArray->begin() + row);
    if (mLensSelection.mMyLensList) mLensSelection.mMyLensList->reloadData();
}

void QVController::onSaveSelectedLenses(Control*) {
    qv::ui::Application::shared().stopModal();
    const qv::Array owned = mState.mMyLensArray.value_or(qv::Array());
    if (mLensSelection.mSelectLensSaveButton &&
        mLensSelection.mSelectLensSaveButton->title() == m_pMainBundle.localizedString("Save")) {
        QVPreferences::storeRecentLenses(owned);
        if (mPreferences.mQVPreferences) mPreferences.mQVPreferences->readPreferences();
    } else if (mPreferences.mQVPreferences) {
        // Handed over: the list reaches the file when the main window closes or the preferences
        // window's OK is pressed.
        mPreferences.mQVPreferences->setRecentLenses(owned);
    }
    if (mLensSelection.mLensSelectionWindow) mLensSelection.mLensSelectionWindow->orderOut();
    mState.mLensSelectionInProgress = false;
}

void QVController::onCancelSelectedLenses(Control*) {
    qv::ui::Application::shared().stopModal();
    if (mLensSelection.mLensSelectionWindow) mLensSelection.mLensSelectionWindow->orderOut();
    mState.mLensSelectionInProgress = false;
}

void QVController::onChangeSelectionModelPopUp(qv::ui::PopUpButton* sender) {
    if (!sender) return;
    const auto title = sender->titleOfSelectedItem();
    if (!title) return;
    if (*title == kShowAll) {
        setParameters(mLensSelection.mManufacturerList);
        if (mLensSelection.mAvailableLensList) mLensSelection.mAvailableLensList->reloadData();
        sender->selectItemWithTitle(kShowAll);
        return;
    }
    const int row = mLensSelection.mManufacturerList ? mLensSelection.mManufacturerList->selectedRow() : -1;
    if (!isDatabaseRow(row)) return;
    showLensesOfModel(*title, mState.mDatabaseRows[std::size_t(row)].name, mLensSelection.mAvailableLensList);
}

// ---- Reordering the owned lenses by drag (only the owned-lens table takes part) ----

void QVController::moveRow(int from, int to) {
    if (!mState.mMyLensArray || from < 0 || to < 0) return;
    const auto destination = ownedlens::moveEntry(*mState.mMyLensArray, std::size_t(from), std::size_t(to));
    if (!destination || !mLensSelection.mMyLensList) return;
    mLensSelection.mMyLensList->reloadData();
    mLensSelection.mMyLensList->selectRow(int(*destination));
}

bool QVController::writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                                        qv::ui::Pasteboard& pasteboard) {
    return &table == mLensSelection.mMyLensList && ownedlens::writeRows(rows, pasteboard, this);
}

qv::ui::DragOperation QVController::validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                                 qv::ui::DropPosition) {
    if (&table != mLensSelection.mMyLensList) return qv::ui::kDragOperationNone;
    return ownedlens::validateDrop(table, info, row);
}

bool QVController::acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                              qv::ui::DropPosition) {
    if (&table != mLensSelection.mMyLensList || !mState.mMyLensArray) return false;
    const auto from = ownedlens::draggedRow(table, info, mState.mMyLensArray->size());
    if (!from) return false;
    moveRow(int(*from), row);
    return true;
}
