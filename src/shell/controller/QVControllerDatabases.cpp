// The list of loaded lens databases and the database sheet: adding a database file, making a row
// the current database, and the rows a database gives.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "appkit/SavePanel.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "lens/LensKeys.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"

using namespace shell::keys;

QVDatabaseLoader& QVController::databaseLoader() {
    if (!mState.m_pQVDatabaseLoader) mState.m_pQVDatabaseLoader = std::make_unique<QVDatabaseLoader>();
    return *mState.m_pQVDatabaseLoader;
}

bool QVController::setDatabaseValues(const std::string& path) {
    QVDatabaseLoader& loader = databaseLoader();
    if (shell::isUserDatabasePath(path)) {
        mState.m_pDatabaseDict = loader.loadDatabase(path);
        if (!mState.m_pDatabaseDict.isDictionary()) {
            mState.m_pDatabaseDict = qv::Value();
            mState.m_pManufacturerArray.reset();
            mState.m_pLensArray.reset();
            return false;
        }
        auto arrayOf = [&](const char* key) -> std::optional<qv::Array> {
            if (const qv::Array* list = mState.m_pDatabaseDict.get(key).array()) return *list;
            return std::nullopt;
        };
        mState.m_pManufacturerArray = arrayOf(lens::keys::kCameraManufacturers);
        mState.m_pLensArray = arrayOf(lens::keys::kLensArray);
        mState.mDBLoaded = true;
        return true;
    }
    mState.m_pPTLensCamInfoArray = loader.camInfoForLoadedDatabase();
    if (mState.m_pPTLensCamInfoArray.empty()) return false;
    auto& rows = mState.mDatabaseRows;
    for (const qv::Value& camera : mState.m_pPTLensCamInfoArray) {
        const std::string make = camera.get(lens::keys::kMenuMake).stringOr("");
        if (!rows.empty() && rows.back().name == make) continue;
        rows.push_back({make, path});
    }
    mState.mDBLoaded = true;
    return true;
}

// Reads a database file and adds its rows; false when it could not be read.
bool QVController::addDatabase(const std::string& path) {
    if (shell::isUserDatabasePath(path)) {
        if (!setDatabaseValues(path)) return false;
        mState.mDatabaseRows.push_back({qv::paths::lastPathComponent(qv::paths::deletingPathExtension(path)), path});
        mState.mIsPTLens = false;
        return true;
    }
    if (!databaseLoader().loadPTLensDatabase(path)) return false;
    mState.mIsPTLens = true;
    return setDatabaseValues(path);
}

// After a database was added: select its (last) row and show it as the current database.
void QVController::selectLastDatabaseRow() {
    // Both database tables list the same rows.
    if (mLensSelection.mManufacturerList) mLensSelection.mManufacturerList->reloadData();
    if (!mDatabaseSheet.m_pCamNameTable) return;
    mDatabaseSheet.m_pCamNameTable->reloadData();
    mDatabaseSheet.m_pCamNameTable->selectRow(int(mState.mDatabaseRows.size()) - 1);
}

void QVController::showSelectedDatabaseName() {
    if (!mDatabaseSheet.m_pCamNameTable || !mMain.m_pDatabaseText) return;
    const int row = mDatabaseSheet.m_pCamNameTable->selectedRow();
    if (isDatabaseRow(row)) mMain.m_pDatabaseText->setStringValue(mState.mDatabaseRows[std::size_t(row)].name);
}

void QVController::onDatabase(Control*) {
    mState.mCamIndexInTable = mDatabaseSheet.m_pCamNameTable ? mDatabaseSheet.m_pCamNameTable->selectedRow() : -1;
    openSheet(mDatabaseSheet.m_pDatabaseSheet);
}

void QVController::onBrowseDatabase(Control*) {
    const std::string lastBrowsed = qv::PreferencesFile::read().get(kDatabasePath).stringOr("");
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setAllowsMultipleSelection(false);
    const int code = panel->runModalForDirectory(qv::paths::deletingLastPathComponent(lastBrowsed),
                                                 qv::paths::lastPathComponent(lastBrowsed), {"dtl", "dat"});
    const std::string path = panel->filename();
    if (code != qv::ui::kOKButton || path.empty()) return;

    // A file that cannot be read as a lens database adds no row and changes no preference.
    if (!addDatabase(path)) {
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(path),
                              m_pMainBundle.localizedString("DatabaseOpenErrorMessage"), "OK");
        return;
    }
    selectLastDatabaseRow();
    qv::PreferencesFile::update([&](qv::Value& root) {
        root[kDatabasePath] = path;
        root[kLoadedDatabase] = mState.mDatabaseRows.back().path;
        root[kLoadedCamera] = mState.mDatabaseRows.back().name;
    });
}

void QVController::onLoadDatabase(Control*) {
    closeSheet(mDatabaseSheet.m_pDatabaseSheet);
    const int row = mDatabaseSheet.m_pCamNameTable ? mDatabaseSheet.m_pCamNameTable->selectedRow() : -1;
    if (!isDatabaseRow(row)) return;
    const shell::DatabaseRow& chosen = mState.mDatabaseRows[std::size_t(row)];
    if (mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(chosen.name);
    qv::PreferencesFile::update([&](qv::Value& root) {
        root[kLoadedDatabase] = chosen.path;
        root[kLoadedCamera] = chosen.name;
    });
}

void QVController::onCloseDatabase(Control*) {
    if (mDatabaseSheet.m_pCamNameTable && mState.mCamIndexInTable >= 0)
        mDatabaseSheet.m_pCamNameTable->selectRow(mState.mCamIndexInTable);
    closeSheet(mDatabaseSheet.m_pDatabaseSheet);
}
