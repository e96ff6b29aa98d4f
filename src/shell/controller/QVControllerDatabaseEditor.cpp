// The user lens database editor: the edit sheet that changes a user database held in memory, and
// its two writers, one for a new database (through a save panel) and one that rewrites the file of
// the selected loaded database. The file format is in lens/UserLensRecord.h.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "appkit/SavePanel.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "lens/LensKeys.h"
#include "lens/UserLensRecord.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"
#include "shell/files/UserLensDatabase.h"

namespace userdb = lens::userdb;
namespace keys = lens::keys;

namespace {

constexpr const char* kProposedName = "lensdb";

bool rowIn(int row, const std::optional<qv::Array>& list) {
    return list && row >= 0 && std::size_t(row) < list->size();
}

std::string textOf(const qv::ui::TextField* field) { return field ? field->stringValue() : std::string(); }

void show(qv::ui::TextField* field, const std::string& text) {
    if (field) field->setStringValue(text);
}

int selectedRowOf(const qv::ui::TableView* table) { return table ? table->selectedRow() : -1; }

// A save needs a selected record: the button is enabled only while one is.
void enableSaveForSelection(const DatabaseEditSheet& sheet, const std::optional<qv::Array>& lenses) {
    if (sheet.m_pESSaveDatabaseButton)
        sheet.m_pESSaveDatabaseButton->setEnabled(rowIn(selectedRowOf(sheet.m_pESLensNameTable), lenses));
}

qv::Array manufacturersOf(const qv::Value& database) {
    const qv::Array* list = database.get(keys::kCameraManufacturers).array();
    return list ? *list : qv::Array();
}

// Fills a pop-up with titles, a single empty item when there are none, and selects the first.
void fillPopUp(qv::ui::PopUpButton* popUp, const std::vector<std::string>& titles) {
    if (!popUp) return;
    popUp->removeAllItems();
    if (titles.empty())
        popUp->addItemWithTitle("");
    else
        popUp->addItemsWithTitles(titles);
    popUp->selectItemAtIndex(0);
}

}  // namespace


void QVController::setEditSheetSaveTitle(const char* key) {
    if (mEditSheet.m_pESSaveDatabaseButton) mEditSheet.m_pESSaveDatabaseButton->setTitle(m_pMainBundle.localizedString(key));
}

// The held database's lens list after the working list changed, when the sheet edits it.
void QVController::keepEditsInHeldDatabase() {
    if (mEditSheet.mSaveAs || !mState.m_pDatabaseDict.isDictionary() || !mState.m_pLensArray) return;
    mState.m_pDatabaseDict[keys::kLensArray] = qv::Value(*mState.m_pLensArray);
}

void QVController::fillEditSheetModels(const qv::Array& manufacturers, int position) {
    fillPopUp(mEditSheet.m_pESModelPopUp, userdb::modelsOf(manufacturers, position));
}

// ---- Opening the sheet ----

void QVController::onEditDatabase(Control*) {
    DatabaseEditSheet& s = mEditSheet;
    setEditSheetSaveTitle("Save");
    s.mSaveAs = false;
    s.m_newDatabase = qv::Value();
    closeSheet(mDatabaseSheet.m_pDatabaseSheet);
    const int row = selectedRowOf(mDatabaseSheet.m_pCamNameTable);
    if (isDatabaseRow(row) && shell::isUserDatabasePath(mState.mDatabaseRows[std::size_t(row)].path)) {
        setDatabaseValues(mState.mDatabaseRows[std::size_t(row)].path);
        if (s.m_pESLensNameTable) s.m_pESLensNameTable->reloadData();
        show(s.m_pESDatabaseText, mState.mDatabaseRows[std::size_t(row)].name);
        if (mState.m_pLensArray && !mState.m_pLensArray->empty()) {
            int lens = selectedRowOf(mParametersSheet.m_pParametersTable);
            if (!rowIn(lens, mState.m_pLensArray)) lens = 0;
            const qv::Array manufacturers = mState.m_pManufacturerArray.value_or(qv::Array());
            fillPopUp(s.m_pESManufacturerPopUp, userdb::manufacturerNames(manufacturers));
            fillEditSheetModels(manufacturers, 0);
            auto title = [](const qv::ui::PopUpButton* popUp) {
                return popUp ? popUp->titleOfSelectedItem().value_or("") : std::string();
            };
            show(s.m_pESManufacturerText, title(s.m_pESManufacturerPopUp));
            show(s.m_pESModelText, title(s.m_pESModelPopUp));
            if (s.m_pESLensNameTable) s.m_pESLensNameTable->selectRow(lens);
            resetEditSheetUIForSelectedRow(lens);
            setESMatrixValues();
        }
    }
    enableSaveForSelection(s, mState.m_pLensArray);
    openSheet(s.m_pEditDatabaseSheet);
}

void QVController::onCreateNewDatabase(Control*) {
    DatabaseEditSheet& s = mEditSheet;
    closeSheet(mDatabaseSheet.m_pDatabaseSheet);
    setEditSheetSaveTitle("SaveAs");
    s.mSaveAs = true;
    // A database of its own: the held one, and the file it came from, stay as they are.
    s.m_newDatabase = qv::Value(qv::Dictionary());
    mState.m_pLensArray = qv::Array();
    if (s.m_pESLensNameTable) s.m_pESLensNameTable->reloadData();
    show(s.m_pESManufacturerText, "");
    show(s.m_pESModelText, "");
    show(s.m_pESLensNameText, "");
    show(s.m_pESDatabaseText, "");
    if (s.m_pESManufacturerPopUp) s.m_pESManufacturerPopUp->removeAllItems();
    if (s.m_pESModelPopUp) s.m_pESModelPopUp->removeAllItems();
    enableSaveForSelection(s, mState.m_pLensArray);
    openSheet(s.m_pEditDatabaseSheet);
}

// ---- Showing a record ----

void QVController::resetEditSheetUIForSelectedRow(int row) {
    DatabaseEditSheet& s = mEditSheet;
    if (!rowIn(row, mState.m_pLensArray)) return;
    const qv::Value& record = (*mState.m_pLensArray)[std::size_t(row)];
    show(s.m_pESLensNameText, shell::fieldText(record.get(keys::kLensName), ""));
    show(s.m_pESFocalLengthText, shell::fieldText(record.get(keys::kLensFocalLength), ""));
    show(s.m_pESFieldOfViewText, shell::fieldText(record.get(keys::kLensFOV), ""));
    show(s.m_pESVigAmountText, shell::fieldText(record.get(keys::kVignettingAmount), "0"));
    show(s.m_pESVigMidpointText, shell::fieldText(record.get(keys::kVignettingMidpoint), "0"));
    // The pop-ups show the record's codes, so that saving other fields keeps them; a code outside
    // the tables leaves no item selected, and saving then keeps it too.
    if (s.m_pESTypePopUp)
        s.m_pESTypePopUp->selectItemAtIndex(
            userdb::positionOfCode(userdb::kLensTypes, record.get(keys::kLensType).integerOr(0)));
    if (s.m_pESShiftModePopUP)
        s.m_pESShiftModePopUP->selectItemAtIndex(
            userdb::positionOfCode(userdb::kRadialShiftModes, record.get(keys::kLensRadialShiftMode).integerOr(0)));
}

void QVController::setESMatrixValues() {
    DatabaseEditSheet& s = mEditSheet;
    if (!mState.m_pLensArray || !s.m_pESMatrix) return;
    const int row = selectedRowOf(s.m_pESLensNameTable);
    if (!rowIn(row, mState.m_pLensArray)) return;
    const qv::Value& record = (*mState.m_pLensArray)[std::size_t(row)];
    for (std::size_t i = 0; i < std::size(keys::kRedValues); ++i)
        if (auto cell = s.m_pESMatrix->cellAtRow(int(i), 0)) cell->setFloatValue(record.get(keys::kRedValues[i]).floatOr(0));
}

// ---- Pop-ups and the lens list ----

void QVController::onManufacturerPopup(qv::ui::PopUpButton* sender) {
    if (!sender) return;
    const qv::Array manufacturers = mEditSheet.mSaveAs ? manufacturersOf(mEditSheet.m_newDatabase)
                                                       : mState.m_pManufacturerArray.value_or(qv::Array());
    fillEditSheetModels(manufacturers, sender->indexOfSelectedItem());
    show(mEditSheet.m_pESManufacturerText, sender->titleOfSelectedItem().value_or(""));
    // The model field follows the model now shown, so that a save does not put the previous
    // manufacturer's model into this one.
    if (mEditSheet.m_pESModelPopUp)
        show(mEditSheet.m_pESModelText, mEditSheet.m_pESModelPopUp->titleOfSelectedItem().value_or(""));
}

void QVController::onModelsPopup(qv::ui::PopUpButton* sender) {
    if (sender) show(mEditSheet.m_pESModelText, sender->titleOfSelectedItem().value_or(""));
}

void QVController::onAddLens(Control*) {
    if (!mState.m_pLensArray) mState.m_pLensArray = qv::Array();
    if (mState.m_pLensArray->empty()) {
        mState.m_pLensArray->push_back(userdb::newLensParametersDictionary());
    } else {
        qv::Value copy = mState.m_pLensArray->back();
        copy[keys::kLensName] = "Untitled";
        mState.m_pLensArray->push_back(std::move(copy));
    }
    keepEditsInHeldDatabase();
    if (mEditSheet.m_pESLensNameTable) mEditSheet.m_pESLensNameTable->reloadData();
}

void QVController::onDeleteLens(Control*) {
    const int row = selectedRowOf(mEditSheet.m_pESLensNameTable);
    if (!rowIn(row, mState.m_pLensArray)) return;
    mState.m_pLensArray->erase(mState.m_pLensArray->begin() + row);
    keepEditsInHeldDatabase();
    if (mEditSheet.m_pESLensNameTable) mEditSheet.m_pESLensNameTable->reloadData();
}

void QVController::onUpdateLensName(Control*) {
    const int row = selectedRowOf(mEditSheet.m_pESLensNameTable);
    if (!rowIn(row, mState.m_pLensArray)) return;
    (*mState.m_pLensArray)[std::size_t(row)][keys::kLensName] = textOf(mEditSheet.m_pESLensNameText);
    keepEditsInHeldDatabase();
    if (mEditSheet.m_pESLensNameTable) mEditSheet.m_pESLensNameTable->reloadData();
}

// ---- Ending the sheet ----

void QVController::onCancelEditDatabase(Control*) {
    setEditSheetSaveTitle("Save");
    // Edits made to the held database stay in memory; a new database is dropped.
    if (const qv::Array* held = mState.m_pDatabaseDict.get(keys::kLensArray).array())
        mState.m_pLensArray = *held;
    else
        mState.m_pLensArray.reset();
    mEditSheet.mSaveAs = false;
    mEditSheet.m_newDatabase = qv::Value();
    closeSheet(mEditSheet.m_pEditDatabaseSheet);
    openSheet(mDatabaseSheet.m_pDatabaseSheet);
}

void QVController::onSaveDatabase(Control*) {
    // A value the record cannot hold is refused before anything is stored; the sheet stays open
    // for it to be mended.
    for (std::size_t row = 0; row < std::size(keys::kRedValues) && mEditSheet.m_pESMatrix; ++row) {
        const auto cell = mEditSheet.m_pESMatrix->cellAtRow(int(row), 0);
        if (cell && !userdb::isUsableRedValue(row, cell->doubleValue())) {
            qv::ui::runAlertPanel(keys::kRedValues[row], m_pMainBundle.localizedString("LensValueOutOfRangeMessage"),
                                  "OK");
            return;
        }
    }
    const bool saved = mEditSheet.mSaveAs ? saveNewDatabase() : setDatabaseToWrite();
    // A cancelled or failed save of a new database leaves the edit sheet open, to try again.
    if (saved || !mEditSheet.mSaveAs) openSheet(mDatabaseSheet.m_pDatabaseSheet);
}

// Stores the sheet's fields in the selected record of the working list (a new record at the
// end when no row is selected) and the manufacturer fields in `manufacturers`, then puts both
// lists into `database`.
void QVController::storeEditSheetFields(qv::Value& database, qv::Array& manufacturers) {
    DatabaseEditSheet& s = mEditSheet;
    userdb::ManufacturerFields maker;
    maker.manufacturer = textOf(s.m_pESManufacturerText);
    maker.model = textOf(s.m_pESModelText);
    maker.manufacturerPosition = s.m_pESManufacturerPopUp ? s.m_pESManufacturerPopUp->indexOfSelectedItem() : -1;
    maker.modelPosition = s.m_pESModelPopUp ? s.m_pESModelPopUp->indexOfSelectedItem() : -1;
    userdb::storeManufacturer(manufacturers, maker);

    userdb::LensFields fields;
    fields.name = textOf(s.m_pESLensNameText);
    fields.focalLength = textOf(s.m_pESFocalLengthText);
    fields.fieldOfView = textOf(s.m_pESFieldOfViewText);
    fields.vignettingAmount = textOf(s.m_pESVigAmountText);
    fields.vignettingMidpoint = textOf(s.m_pESVigMidpointText);
    fields.typePosition = s.m_pESTypePopUp ? s.m_pESTypePopUp->indexOfSelectedItem() : -1;
    fields.modePosition = s.m_pESShiftModePopUP ? s.m_pESShiftModePopUP->indexOfSelectedItem() : -1;
    for (std::size_t row = 0; row < fields.red.size(); ++row)
        if (auto cell = s.m_pESMatrix ? s.m_pESMatrix->cellAtRow(int(row), 0) : nullptr) fields.red[row] = cell->floatValue();

    if (!mState.m_pLensArray) mState.m_pLensArray = qv::Array();
    const int row = selectedRowOf(s.m_pESLensNameTable);
    if (rowIn(row, mState.m_pLensArray)) {
        qv::Value& record = (*mState.m_pLensArray)[std::size_t(row)];
        record = userdb::storedRecord(record, fields);
    } else {
        // Nothing selected: the typed fields become a record of their own.
        mState.m_pLensArray->push_back(userdb::storedRecord(userdb::newLensParametersDictionary(), fields));
    }
    if (!database.isDictionary()) database = qv::Value(qv::Dictionary());
    database[keys::kCameraManufacturers] = qv::Value(manufacturers);
    database[keys::kLensArray] = qv::Value(*mState.m_pLensArray);
    if (s.m_pESLensNameTable) s.m_pESLensNameTable->reloadData();
}

// Writes a user database; false, and an alert naming the file, when the path is not a "dtl"
// file or the write failed.
bool QVController::writeUserDatabase(const qv::Value& database, const std::string& path) {
    // Only a user database's own kind of file is written: never the resource database, which
    // holds a different format.
    const bool written = qv::paths::pathExtension(path) == userdb::kExtension && qv::writePropertyList(database, path);
    if (!written)
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(path),
                              m_pMainBundle.localizedString("Could not write database to file"), "OK");
    return written;
}

bool QVController::saveNewDatabase() {
    const qv::Value preferences = qv::PreferencesFile::read();
    std::string folder;
    if (preferences.isDictionary()) {
        folder = preferences.get(shell::keys::kUserDatabaseDirectory).stringOr("");
        if (folder.empty()) folder = qv::paths::homeFolder() + "/Desktop/";
    }
    auto panel = qv::ui::SavePanel::savePanel();
    panel->setRequiredFileType(userdb::kExtension);
    const int code = panel->runModalForDirectory(folder, kProposedName);
    const std::string path = panel->filename();
    if (code != qv::ui::kOKButton || path.empty() || refusedInSupportFolder(path)) return false;

    qv::Value& database = mEditSheet.m_newDatabase;
    if (!database.isDictionary()) database = qv::Value(qv::Dictionary());
    qv::Array manufacturers = manufacturersOf(database);
    storeEditSheetFields(database, manufacturers);
    if (!writeUserDatabase(database, path)) return false;

    qv::PreferencesFile::update([&](qv::Value& root) {
        root[shell::keys::kUserDatabaseDirectory] = qv::paths::deletingLastPathComponent(path);
    });
    closeSheet(mEditSheet.m_pEditDatabaseSheet);
    // The working list goes back to the held database's; the new file is added by browsing.
    if (const qv::Array* held = mState.m_pDatabaseDict.get(keys::kLensArray).array())
        mState.m_pLensArray = *held;
    else
        mState.m_pLensArray.reset();
    mEditSheet.mSaveAs = false;
    setEditSheetSaveTitle("Save");
    return true;
}

bool QVController::setDatabaseToWrite() {
    closeSheet(mEditSheet.m_pEditDatabaseSheet);
    const int row = selectedRowOf(mDatabaseSheet.m_pCamNameTable);
    if (!isDatabaseRow(row)) return false;
    qv::Array manufacturers = mState.m_pManufacturerArray.value_or(qv::Array());
    storeEditSheetFields(mState.m_pDatabaseDict, manufacturers);
    mState.m_pManufacturerArray = manufacturers;
    // The edits stay in the held database whether or not the file can be written.
    return writeUserDatabase(mState.m_pDatabaseDict, mState.mDatabaseRows[std::size_t(row)].path);
}
