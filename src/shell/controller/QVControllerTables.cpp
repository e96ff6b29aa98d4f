// The six tables of the sheets and windows: their rows, what each cell shows, and what a change of
// selection does. Every row index is checked against its list, so a table that is out of step with
// its list shows and does nothing for the missing rows.
#include "shell/controller/QVController.h"

#include "lens/LensKeys.h"
#include "shell/lens/LensListRules.h"
#include "shell/files/SupportFolder.h"

namespace {

std::size_t sizeOf(const std::optional<qv::Array>& list) { return list ? list->size() : 0; }

bool rowIn(int row, std::size_t count) { return row >= 0 && std::size_t(row) < count; }

}  // namespace

int QVController::numberOfRowsInTableView(qv::ui::TableView& table) {
    if (&table == mDatabaseSheet.m_pCamNameTable || &table == mLensSelection.mManufacturerList)
        return int(mState.mDatabaseRows.size());
    if (&table == mEditSheet.m_pESLensNameTable || &table == mParametersSheet.m_pParametersTable ||
        &table == mLensSelection.mAvailableLensList)
        return int(sizeOf(mState.m_pLensArray));
    if (&table == mLensSelection.mMyLensList) return int(sizeOf(mState.mMyLensArray));
    return 0;
}

std::string QVController::lensRowTitle(const qv::Value& record, qv::ui::PopUpButton* modelPopUp) const {
    const std::string name = record.get(lens::keys::kLensName).stringOr("");
    if (!mState.m_pLensArray || !modelPopUp || !shell::multipleEntriesOf(name, *mState.m_pLensArray)) return name;
    // Lenses of one name in several camera groups: the row names the first model of its group.
    const std::string group = record.get(lens::keys::kLensGroup).stringOr("");
    const QVDatabaseLoader* loader = mState.m_pQVDatabaseLoader.get();
    if (!loader) return name;
    for (const std::string& title : modelPopUp->itemTitles())
        if (!title.empty() && loader->camGroupOfModel(title) == group) return name + " (" + title + ")";
    return name;
}

qv::ui::CellValue QVController::objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn*,
                                                          int row) {
    if (&table == mDatabaseSheet.m_pCamNameTable || &table == mLensSelection.mManufacturerList) {
        if (!isDatabaseRow(row)) return {};
        const std::string& title = mState.mDatabaseRows[std::size_t(row)].name;
        if (shell::isUserDatabasePath(mState.mDatabaseRows[std::size_t(row)].path))
            return qv::ui::CellValue(qv::Value(title), qv::ui::Color::blueColor());
        return qv::Value(title);
    }
    if (&table == mParametersSheet.m_pParametersTable || &table == mLensSelection.mAvailableLensList ||
        &table == mEditSheet.m_pESLensNameTable) {
        if (!rowIn(row, sizeOf(mState.m_pLensArray))) return {};
        const qv::Value& record = (*mState.m_pLensArray)[std::size_t(row)];
        if (&table == mEditSheet.m_pESLensNameTable) return record.get(lens::keys::kLensName);
        return qv::Value(lensRowTitle(record, &table == mParametersSheet.m_pParametersTable
                                                  ? mParametersSheet.m_pPSModelPopUp
                                                  : mLensSelection.mLensSelectionModelPopUp));
    }
    if (&table == mLensSelection.mMyLensList) {
        if (!rowIn(row, sizeOf(mState.mMyLensArray))) return {};
        return (*mState.mMyLensArray)[std::size_t(row)].get(lens::keys::kLensName);
    }
    return {};
}

void QVController::selectModelForLensGroup(const std::string& lensGroup, const std::string& current) {
    if (!mParametersSheet.m_pPSModelPopUp || !mState.m_pQVDatabaseLoader) return;
    if (mState.m_pQVDatabaseLoader->camGroupOfModel(current) == lensGroup) {
        mParametersSheet.m_pPSModelPopUp->selectItemWithTitle(current);
        return;
    }
    for (const std::string& title : mParametersSheet.m_pPSModelPopUp->itemTitles())
        if (!title.empty() && mState.m_pQVDatabaseLoader->camGroupOfModel(title) == lensGroup) {
            mParametersSheet.m_pPSModelPopUp->selectItemWithTitle(title);
            return;
        }
    mParametersSheet.m_pPSModelPopUp->selectItemAtIndex(-1);
}

void QVController::tableViewSelectionDidChange(qv::ui::TableView& table) {
    const int row = table.selectedRow();

    if (&table == mDatabaseSheet.m_pCamNameTable) {
        if (!isDatabaseRow(row)) {
            if (mDatabaseSheet.m_pDatabasePathTextField) mDatabaseSheet.m_pDatabasePathTextField->setStringValue("");
            if (mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue("");
            if (mDatabaseSheet.m_pLoadDatabaseButton) mDatabaseSheet.m_pLoadDatabaseButton->setEnabled(false);
            if (mDatabaseSheet.m_pEditDatabaseButton) mDatabaseSheet.m_pEditDatabaseButton->setEnabled(false);
            return;
        }
        const std::string& path = mState.mDatabaseRows[std::size_t(row)].path;
        const bool user = shell::isUserDatabasePath(path);
        if (mDatabaseSheet.m_pDatabasePathTextField) mDatabaseSheet.m_pDatabasePathTextField->setStringValue(path);
        if (mDatabaseSheet.m_pLoadDatabaseButton) mDatabaseSheet.m_pLoadDatabaseButton->setEnabled(true);
        mState.mIsPTLens = !user;
        if (mDatabaseSheet.m_pEditDatabaseButton) mDatabaseSheet.m_pEditDatabaseButton->setEnabled(user);
        return;
    }

    if (&table == mEditSheet.m_pESLensNameTable) {
        if (!rowIn(row, sizeOf(mState.m_pLensArray))) {
            if (mEditSheet.m_pESSaveDatabaseButton) mEditSheet.m_pESSaveDatabaseButton->setEnabled(false);
            return;
        }
        resetEditSheetUIForSelectedRow(row);
        setESMatrixValues();
        if (mEditSheet.m_pESSaveDatabaseButton) mEditSheet.m_pESSaveDatabaseButton->setEnabled(true);
        return;
    }

    if (&table == mParametersSheet.m_pParametersTable) {
        if (!rowIn(row, sizeOf(mState.m_pLensArray))) {
            setMatrixValues();
            if (mParametersSheet.m_pLoadParametersButton) mParametersSheet.m_pLoadParametersButton->setEnabled(false);
            return;
        }
        const std::string currentModel = mParametersSheet.m_pPSModelPopUp
                                             ? mParametersSheet.m_pPSModelPopUp->titleOfSelectedItem().value_or("")
                                             : std::string();
        if (mParametersSheet.m_pLoadParametersButton) mParametersSheet.m_pLoadParametersButton->setEnabled(true);
        const int databaseRow = mDatabaseSheet.m_pCamNameTable ? mDatabaseSheet.m_pCamNameTable->selectedRow() : -1;
        if (isDatabaseRow(databaseRow) &&
            shell::isUserDatabasePath(mState.mDatabaseRows[std::size_t(databaseRow)].path))
            resetParametersSheetUIForSelectedRow(row);
        else
            resetParametersSheetUIForPTLens();
        // The sheet's reset may have rebuilt the list; the row is looked up again.
        if (mState.mAppLaunched && rowIn(row, sizeOf(mState.m_pLensArray)))
            selectModelForLensGroup((*mState.m_pLensArray)[std::size_t(row)].get(lens::keys::kLensGroup).stringOr(""),
                                    currentModel);
        setMatrixValues();
        return;
    }

    if (&table == mLensSelection.mManufacturerList) {
        setParameters(mLensSelection.mManufacturerList);
        if (mLensSelection.mAvailableLensList) {
            mLensSelection.mAvailableLensList->reloadData();
            mLensSelection.mAvailableLensList->selectRow(0);
            mLensSelection.mAvailableLensList->tile();
        }
        if (mLensSelection.mLensSelectionModelPopUp)
            mLensSelection.mLensSelectionModelPopUp->selectItemWithTitle("Show All");
    }
}
