// The six tables of the sheets and windows: their rows, what each cell shows, and what a change of
// selection does. Every row index is checked against its list, so a table that is out of step with
// its list shows and does nothing for the missing rows.
#include "QVController.h"

#include "lens/LensKeys.h"
#include "shell/SupportFolder.h"

namespace {

std::size_t sizeOf(const std::optional<qv::Array>& list) { return list ? list->size() : 0; }

bool rowIn(int row, std::size_t count) { return row >= 0 && std::size_t(row) < count; }

}  // namespace

int QVController::numberOfRowsInTableView(qv::ui::TableView& table) {
    if (&table == m_pCamNameTable || &table == mManufacturerList) return int(m_pLoadedCamerasArray.size());
    if (&table == mEditSheet.m_pESLensNameTable || &table == m_pParametersTable || &table == mAvailableLensList)
        return int(sizeOf(m_pLensArray));
    if (&table == mMyLensList) return int(sizeOf(mMyLensArray));
    return 0;
}

std::string QVController::lensRowTitle(const qv::Value& record, qv::ui::PopUpButton* modelPopUp) const {
    const std::string name = record.get(lens::keys::kLensName).stringOr("");
    if (!m_pLensArray || !modelPopUp || !multipleEntriesOf(name, *m_pLensArray)) return name;
    // Lenses of one name in several camera groups: the row names the first model of its group.
    const std::string group = record.get(lens::keys::kLensGroup).stringOr("");
    const QVDatabaseLoader* loader = m_pQVDatabaseLoader.get();
    if (!loader) return name;
    for (const std::string& title : modelPopUp->itemTitles())
        if (!title.empty() && loader->camGroupOfModel(title) == group) return name + " (" + title + ")";
    return name;
}

qv::ui::CellValue QVController::objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn*,
                                                          int row) {
    if (&table == m_pCamNameTable || &table == mManufacturerList) {
        if (!isDatabaseRow(row)) return {};
        const std::string& title = m_pLoadedCamerasArray[std::size_t(row)];
        if (shell::isUserDatabasePath(m_pFilesArray[std::size_t(row)]))
            return qv::ui::CellValue(qv::Value(title), qv::ui::Color::blueColor());
        return qv::Value(title);
    }
    if (&table == m_pParametersTable || &table == mAvailableLensList || &table == mEditSheet.m_pESLensNameTable) {
        if (!rowIn(row, sizeOf(m_pLensArray))) return {};
        const qv::Value& record = (*m_pLensArray)[std::size_t(row)];
        if (&table == mEditSheet.m_pESLensNameTable) return record.get(lens::keys::kLensName);
        return qv::Value(lensRowTitle(record, &table == m_pParametersTable ? m_pPSModelPopUp : mLensSelectionModelPopUp));
    }
    if (&table == mMyLensList) {
        if (!rowIn(row, sizeOf(mMyLensArray))) return {};
        return (*mMyLensArray)[std::size_t(row)].get(lens::keys::kLensName);
    }
    return {};
}

void QVController::selectModelForLensGroup(const std::string& lensGroup, const std::string& current) {
    if (!m_pPSModelPopUp || !m_pQVDatabaseLoader) return;
    if (m_pQVDatabaseLoader->camGroupOfModel(current) == lensGroup) {
        m_pPSModelPopUp->selectItemWithTitle(current);
        return;
    }
    for (const std::string& title : m_pPSModelPopUp->itemTitles())
        if (!title.empty() && m_pQVDatabaseLoader->camGroupOfModel(title) == lensGroup) {
            m_pPSModelPopUp->selectItemWithTitle(title);
            return;
        }
    m_pPSModelPopUp->selectItemAtIndex(-1);
}

void QVController::tableViewSelectionDidChange(qv::ui::TableView& table) {
    const int row = table.selectedRow();

    if (&table == m_pCamNameTable) {
        if (!isDatabaseRow(row)) {
            if (m_pDatabasePathTextField) m_pDatabasePathTextField->setStringValue("");
            if (m_pDatabaseText) m_pDatabaseText->setStringValue("");
            if (m_pLoadDatabaseButton) m_pLoadDatabaseButton->setEnabled(false);
            if (m_pEditDatabaseButton) m_pEditDatabaseButton->setEnabled(false);
            return;
        }
        const std::string& path = m_pFilesArray[std::size_t(row)];
        const bool user = shell::isUserDatabasePath(path);
        if (m_pDatabasePathTextField) m_pDatabasePathTextField->setStringValue(path);
        if (m_pLoadDatabaseButton) m_pLoadDatabaseButton->setEnabled(true);
        setIsPTLens(!user);
        if (m_pEditDatabaseButton) m_pEditDatabaseButton->setEnabled(user);
        return;
    }

    if (&table == mEditSheet.m_pESLensNameTable) {
        if (!rowIn(row, sizeOf(m_pLensArray))) {
            if (mEditSheet.m_pESSaveDatabaseButton) mEditSheet.m_pESSaveDatabaseButton->setEnabled(false);
            return;
        }
        resetEditSheetUIForSelectedRow(row);
        setESMatrixValues();
        if (mEditSheet.m_pESSaveDatabaseButton) mEditSheet.m_pESSaveDatabaseButton->setEnabled(true);
        return;
    }

    if (&table == m_pParametersTable) {
        if (!rowIn(row, sizeOf(m_pLensArray))) {
            setMatrixValues();
            if (m_pLoadParametersButton) m_pLoadParametersButton->setEnabled(false);
            return;
        }
        const std::string currentModel =
            m_pPSModelPopUp ? m_pPSModelPopUp->titleOfSelectedItem().value_or("") : std::string();
        if (m_pLoadParametersButton) m_pLoadParametersButton->setEnabled(true);
        const int databaseRow = m_pCamNameTable ? m_pCamNameTable->selectedRow() : -1;
        if (isDatabaseRow(databaseRow) && shell::isUserDatabasePath(m_pFilesArray[std::size_t(databaseRow)]))
            resetParametersSheetUIForSelectedRow(row);
        else
            resetParametersSheetUIForPTLens();
        // The sheet's reset may have rebuilt the list; the row is looked up again.
        if (mAppLaunched && rowIn(row, sizeOf(m_pLensArray)))
            selectModelForLensGroup((*m_pLensArray)[std::size_t(row)].get(lens::keys::kLensGroup).stringOr(""), currentModel);
        setMatrixValues();
        return;
    }

    if (&table == mManufacturerList) {
        setParameters(mManufacturerList);
        if (mAvailableLensList) {
            mAvailableLensList->reloadData();
            mAvailableLensList->selectRow(0);
            mAvailableLensList->tile();
        }
        if (mLensSelectionModelPopUp) mLensSelectionModelPopUp->selectItemWithTitle("Show All");
    }
}
