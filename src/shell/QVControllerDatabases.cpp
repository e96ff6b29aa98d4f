// The list of loaded lens databases and the database sheet: adding a database file, making a row
// the current database, and the rows a database gives.
#include "QVController.h"

#include "appkit/Alert.h"
#include "appkit/SavePanel.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "lens/LensKeys.h"
#include "shell/PreferenceKeys.h"
#include "shell/SupportFolder.h"

using namespace shell::keys;

QVDatabaseLoader& QVController::databaseLoader() {
    if (!m_pQVDatabaseLoader) m_pQVDatabaseLoader = std::make_unique<QVDatabaseLoader>();
    return *m_pQVDatabaseLoader;
}

bool QVController::setDatabaseValues(const std::string& path) {
    QVDatabaseLoader& loader = databaseLoader();
    if (shell::isUserDatabasePath(path)) {
        m_pDatabaseDict = loader.loadDatabase(path);
        if (!m_pDatabaseDict.isDictionary()) {
            m_pDatabaseDict = qv::Value();
            m_pManufacturerArray.reset();
            m_pLensArray.reset();
            return false;
        }
        auto arrayOf = [&](const char* key) -> std::optional<qv::Array> {
            if (const qv::Array* list = m_pDatabaseDict.get(key).array()) return *list;
            return std::nullopt;
        };
        m_pManufacturerArray = arrayOf(lens::keys::kCameraManufacturers);
        m_pLensArray = arrayOf(lens::keys::kLensArray);
        mDBLoaded = true;
        return true;
    }
    m_pPTLensCamInfoArray = loader.camInfoForLoadedDatabase();
    if (m_pPTLensCamInfoArray.empty()) return false;
    std::size_t added = 0;
    for (const qv::Value& camera : m_pPTLensCamInfoArray) {
        const std::string make = camera.get(lens::keys::kMenuMake).stringOr("");
        if (!m_pLoadedCamerasArray.empty() && m_pLoadedCamerasArray.back() == make) continue;
        m_pLoadedCamerasArray.push_back(make);
        ++added;
    }
    m_pFilesArray.insert(m_pFilesArray.end(), added, path);
    mDBLoaded = true;
    return true;
}

bool QVController::addDatabase(const std::string& path) {
    if (shell::isUserDatabasePath(path)) {
        if (!setDatabaseValues(path)) return false;
        m_pFilesArray.push_back(path);
        m_pLoadedCamerasArray.push_back(qv::paths::lastPathComponent(qv::paths::deletingPathExtension(path)));
        setIsPTLens(false);
        return true;
    }
    if (!databaseLoader().loadPTLensDatabase(path)) return false;
    setIsPTLens(true);
    return setDatabaseValues(path);
}

void QVController::selectLastDatabaseRow() {
    // Both database tables list the same rows.
    if (mManufacturerList) mManufacturerList->reloadData();
    if (!m_pCamNameTable) return;
    m_pCamNameTable->reloadData();
    m_pCamNameTable->selectRow(int(m_pLoadedCamerasArray.size()) - 1);
}

void QVController::showSelectedDatabaseName() {
    if (!m_pCamNameTable || !m_pDatabaseText) return;
    const int row = m_pCamNameTable->selectedRow();
    if (isDatabaseRow(row)) m_pDatabaseText->setStringValue(m_pLoadedCamerasArray[std::size_t(row)]);
}

void QVController::onDatabase(Control*) {
    mCamIndexInTable = m_pCamNameTable ? m_pCamNameTable->selectedRow() : -1;
    openSheet(m_pDatabaseSheet);
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
        root[kLoadedDatabase] = m_pFilesArray.back();
        root[kLoadedCamera] = m_pLoadedCamerasArray.back();
    });
}

void QVController::onLoadDatabase(Control*) {
    closeSheet(m_pDatabaseSheet);
    const int row = m_pCamNameTable ? m_pCamNameTable->selectedRow() : -1;
    if (!isDatabaseRow(row)) return;
    const std::string& name = m_pLoadedCamerasArray[std::size_t(row)];
    const std::string& path = m_pFilesArray[std::size_t(row)];
    if (m_pDatabaseText) m_pDatabaseText->setStringValue(name);
    qv::PreferencesFile::update([&](qv::Value& root) {
        root[kLoadedDatabase] = path;
        root[kLoadedCamera] = name;
    });
}

void QVController::onCloseDatabase(Control*) {
    if (m_pCamNameTable && mCamIndexInTable >= 0) m_pCamNameTable->selectRow(mCamIndexInTable);
    closeSheet(m_pDatabaseSheet);
}
