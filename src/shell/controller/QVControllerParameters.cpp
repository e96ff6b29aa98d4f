// The parameters sheet, where a lens is picked by hand from the current database, and the
// coefficients in use, which the correction chain, presets and the batch read.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "foundation/PreferencesFile.h"
#include "lens/CameraNames.h"
#include "lens/LensKeys.h"
#include "lens/UserLensRecord.h"
#include "shell/lens/LensListRules.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"
#include "shell/files/UserLensDatabase.h"

namespace {

constexpr const char* kShowAll = "Show All";
constexpr std::size_t kMaximumSavedOwnedLenses = 20;
// The coefficients that leave the picture as it is.
constexpr std::array<float, 4> kNeutralLens = {0, 0, 0, 1};

// The record at a table row, when the row lies in the list.
const qv::Value* recordAt(const std::optional<qv::Array>& list, int row) {
    if (!list || row < 0 || std::size_t(row) >= list->size()) return nullptr;
    return &(*list)[std::size_t(row)];
}

}  // namespace

// ---- The coefficients in use ----

void QVController::setPTLensValues(const std::array<double, 4>& values) {
    mState.mPTLensValuesArray = values;
    mState.mLensInUseIsPTLens = true;
}

void QVController::setCorrectionMatrix(const std::array<float, 4>& cells) {
    if (!mParametersSheet.m_pPSCorrectionMatrix) return;
    for (int row = 0; row < 4; ++row)
        if (auto cell = mParametersSheet.m_pPSCorrectionMatrix->cellAtRow(row, 0))
            cell->setFloatValue(cells[std::size_t(row)]);
}

std::vector<double> QVController::correctionValues() const {
    if (mState.mLensInUseIsPTLens) return {mState.mPTLensValuesArray.begin(), mState.mPTLensValuesArray.end()};
    std::vector<double> values(4, 0.0);
    if (!mParametersSheet.m_pPSCorrectionMatrix) return values;
    for (int row = 0; row < 4; ++row)
        if (auto cell = mParametersSheet.m_pPSCorrectionMatrix->cellAtRow(row, 0))
            values[std::size_t(row)] = double(cell->floatValue());
    return values;
}

void QVController::setValuesToNoDatabase() {
    // The neutral lens in the matrix, and in use: with no lens shown, no earlier lens's
    // coefficients stay behind. The resource-lens values keep what they hold.
    setCorrectionMatrix(kNeutralLens);
    mState.mLensInUseIsPTLens = false;
}

void QVController::setMatrixValues() {
    int row = mParametersSheet.m_pParametersTable ? mParametersSheet.m_pParametersTable->selectedRow() : -1;
    if (row < 0) row = 0;
    const qv::Value* record = recordAt(mState.m_pLensArray, row);
    std::array<float, 4> cells{0, 0, 0, 0};
    if (record && !shell::isResourceLensRecord(*record) && !lens::userdb::hasUsableCoefficients(*record)) {
        cells = kNeutralLens;  // a record whose values are no numbers never corrects the photo
    } else if (record) {
        for (std::size_t i = 0; i < 4; ++i) cells[i] = record->get(lens::keys::kCoefficients[i]).floatOr(0);
    }
    setCorrectionMatrix(cells);
    if (!record) return;
    // The record's own kind decides where its coefficients are taken from: a lens of the resource
    // database may be shown while a user database's row is selected (the lens choice picks it).
    if (!shell::isResourceLensRecord(*record)) {
        mState.mLensInUseIsPTLens = false;
        return;
    }
    const double a = record->get(lens::keys::kAValue).doubleOr(0);
    const double b = record->get(lens::keys::kBValue).doubleOr(0);
    const double c = record->get(lens::keys::kCValue).doubleOr(0);
    setPTLensValues({a, b, c, double(float(1.0 - ((a + b) + c)))});
}

// ---- Opening, filling and closing the sheet ----

void QVController::onParameters(Control*) {
    mState.mLensIndex = mParametersSheet.m_pParametersTable ? mParametersSheet.m_pParametersTable->selectedRow() : -1;
    setParameters();
    const qv::Value exif = getExifProprties();
    if (exif.isDictionary() && mState.mMinFocalLengthFromImage.load() == 0 && mParametersSheet.m_pPSModelPopUp) {
        const std::string model =
            lens::cameras::databaseModelForm(exif.get("Make").stringOr(""), exif.get("Model").stringOr(""));
        if (auto menuModel = databaseLoader().menuModelForExifModel(model);
            menuModel && mParametersSheet.m_pPSModelPopUp->selectItemWithTitle(*menuModel))
            onChangeModel(mParametersSheet.m_pPSModelPopUp);
    }
    openSheet(mParametersSheet.m_pParametersSheet);
}

void QVController::setParameters() { setParameters(nullptr); }

void QVController::setParameters(qv::ui::TableView* table) {
    const bool fromDatabaseTable = table == nullptr;
    if (fromDatabaseTable) table = mDatabaseSheet.m_pCamNameTable;
    if (mParametersSheet.m_pLoadParametersButton) mParametersSheet.m_pLoadParametersButton->setEnabled(false);
    if (mState.mDatabaseRows.empty()) return;

    const int row = table ? table->selectedRow() : -1;
    if (isDatabaseRow(row)) {
        const std::string& name = mState.mDatabaseRows[std::size_t(row)].name;
        const std::string& path = mState.mDatabaseRows[std::size_t(row)].path;
        if (mParametersSheet.m_pPSDatabaseText) mParametersSheet.m_pPSDatabaseText->setStringValue(name);
        if (!shell::isUserDatabasePath(path)) {
            std::vector<std::string> groups;
            for (std::size_t i = 0; i < mState.m_pPTLensCamInfoArray.size(); ++i) {
                const qv::Value& camera = mState.m_pPTLensCamInfoArray[i];
                if (camera.get(lens::keys::kMenuMake).stringOr("") != name) continue;
                const std::string group = camera.get(lens::keys::kCamGroup).stringOr("");
                if (!groups.empty() && groups.back() == group) continue;
                mState.mCamIndex = int(i);
                groups.push_back(group);
            }
            mState.m_pLensArray = databaseLoader().lensArrayForCamGroup(groups);
            shell::removeMultipleEntriesFrom(*mState.m_pLensArray);
            if (mParametersSheet.m_pParametersTable) {
                mParametersSheet.m_pParametersTable->reloadData();
                if (mParametersSheet.m_pLoadParametersButton && mParametersSheet.m_pParametersTable->selectedRow() >= 0)
                    mParametersSheet.m_pLoadParametersButton->setEnabled(true);
            }
            resetParametersSheetUIForPTLens();
        } else {
            setDatabaseValues(path);
            if (mParametersSheet.m_pParametersTable) {
                mParametersSheet.m_pParametersTable->reloadData();
                if (mParametersSheet.m_pParametersTable->selectedRow() < 1)
                    mParametersSheet.m_pParametersTable->selectRow(0);
            }
            if (mState.m_pLensArray && !mState.m_pLensArray->empty()) {
                if (mParametersSheet.m_pLoadParametersButton)
                    mParametersSheet.m_pLoadParametersButton->setEnabled(true);
                if (mParametersSheet.m_pPSDatabaseText) mParametersSheet.m_pPSDatabaseText->setStringValue(name);
                const qv::Array manufacturers = mState.m_pManufacturerArray.value_or(qv::Array());
                if (mParametersSheet.m_pPSManufacturerPopUp) {
                    mParametersSheet.m_pPSManufacturerPopUp->removeAllItems();
                    for (const qv::Value& entry : manufacturers)
                        mParametersSheet.m_pPSManufacturerPopUp->addItemWithTitle(
                            entry.get(lens::keys::kManufacturerName).stringOr(""));
                }
                if (mParametersSheet.m_pPSModelPopUp) {
                    mParametersSheet.m_pPSModelPopUp->removeAllItems();
                    if (!manufacturers.empty())
                        if (const qv::Array* models = manufacturers.front().get(lens::keys::kModels).array())
                            for (const qv::Value& model : *models)
                                mParametersSheet.m_pPSModelPopUp->addItemWithTitle(model.stringOr(""));
                }
                resetParametersSheetUIForSelectedRow(
                    mParametersSheet.m_pParametersTable ? mParametersSheet.m_pParametersTable->selectedRow() : -1);
            }
        }
    } else if (!fromDatabaseTable) {
        return;
    }
    if (fromDatabaseTable) setMatrixValues();
}

void QVController::onShowsMatchingLenses(Control*) {
    mState.mShowOnlyMathingLenses =
        mParametersSheet.mShowMatchingLenses && mParametersSheet.mShowMatchingLenses->state() == qv::ui::kOnState;
    setParameters();
}

void QVController::onChangeModel(qv::ui::PopUpButton* sender) {
    if (!sender) return;
    const auto title = sender->titleOfSelectedItem();
    if (!title) return;
    if (*title == kShowAll) {
        if (mParametersSheet.mShowMatchingLenses && mParametersSheet.mShowMatchingLenses->state() == qv::ui::kOnState)
            mParametersSheet.mShowMatchingLenses->setState(qv::ui::kOffState);
        onShowsMatchingLenses(mParametersSheet.mShowMatchingLenses);
        return;
    }
    const std::string make = mParametersSheet.m_pPSManufacturerPopUp
                                 ? mParametersSheet.m_pPSManufacturerPopUp->titleOfSelectedItem().value_or("")
                                 : std::string();
    showLensesOfModel(*title, make, mParametersSheet.m_pParametersTable);
}

// The working list becomes the lenses of the model's camera group within the make (the last
// matching camera wins) and the table shows them.
void QVController::showLensesOfModel(const std::string& model, const std::string& make, qv::ui::TableView* table) {
    QVDatabaseLoader& loader = databaseLoader();
    for (const qv::Value& camera : loader.camInfoForLoadedDatabase()) {
        const std::string group = camera.get(lens::keys::kCamGroup).stringOr("");
        if (camera.get(lens::keys::kMenuModel).stringOr("") != model || !loader.cameraGroup(group, make)) continue;
        mState.m_pLensArray = loader.lensArrayForCamGroup({group});
        shell::removeMultipleEntriesFrom(*mState.m_pLensArray);
        if (table) table->reloadData();
    }
}

void QVController::onLoadParameters(Control* sender) {
    closeSheet(mParametersSheet.m_pParametersSheet);
    if (mState.m_pLensArray) {
        const int row = mParametersSheet.m_pParametersTable ? mParametersSheet.m_pParametersTable->selectedRow() : -1;
        setLensProperties();
        if (sender) mState.mCorrectionsApplied = true;
        updateUIWithLensInfo(row);
    }
    if (mState.m_bImageLoaded && previewCheckboxStatus() && mMain.m_pDisplayView) {
#ifndef QV_PLUGIN_BUILD  // no batch ever runs in the plug-in
        mMain.m_pDisplayView->setBatchFlagTo(false);
#endif
        mMain.m_pDisplayView->applyCorrection();
        markWindowEdited();
        mState.mCorrectionsApplied = true;
    }
    const qv::Size proxy = fixedSizeExtent();
    setDFOVwithWidth(proxy.width, proxy.height);
}

void QVController::onCloseParameters(Control*) {
    if (mParametersSheet.m_pParametersTable && mState.mLensIndex >= 0)
        mParametersSheet.m_pParametersTable->selectRow(mState.mLensIndex);
    closeSheet(mParametersSheet.m_pParametersSheet);
}

// ---- What the sheet shows ----

void QVController::resetParametersSheetUIForPTLens() {
    int row = mParametersSheet.m_pParametersTable ? mParametersSheet.m_pParametersTable->selectedRow() : -1;
    if (row < 0) row = 0;
    if (const qv::Value* record = recordAt(mState.m_pLensArray, row); record && mParametersSheet.m_pPSFocalLengthText)
        mParametersSheet.m_pPSFocalLengthText->setObjectValue(record->get(lens::keys::kLensFocalLength));
    if (mParametersSheet.m_pPSVigAmountText) mParametersSheet.m_pPSVigAmountText->setStringValue("--");
    if (mParametersSheet.m_pPSVigMidpointText) mParametersSheet.m_pPSVigMidpointText->setStringValue("--");
    if (mParametersSheet.m_pPSRadialShiftModeText) mParametersSheet.m_pPSRadialShiftModeText->setStringValue("Radial");

    auto modelsOfMake = [&](const std::string& make) {
        std::vector<std::string> models;
        for (const qv::Value& camera : mState.m_pPTLensCamInfoArray)
            if (camera.get(lens::keys::kMenuMake).stringOr("") == make)
                models.push_back(camera.get(lens::keys::kMenuModel).stringOr(""));
        return models;
    };
    auto nameOfSelectedRow = [&](qv::ui::TableView* table) -> std::optional<std::string> {
        const int selected = table ? table->selectedRow() : -1;
        if (!isDatabaseRow(selected)) return std::nullopt;
        return mState.mDatabaseRows[std::size_t(selected)].name;
    };

    const auto make = nameOfSelectedRow(mDatabaseSheet.m_pCamNameTable);
    if (mParametersSheet.m_pPSManufacturerPopUp) {
        mParametersSheet.m_pPSManufacturerPopUp->removeAllItems();
        if (make) mParametersSheet.m_pPSManufacturerPopUp->addItemWithTitle(*make);
    }
    if (mParametersSheet.m_pPSModelPopUp) {
        mParametersSheet.m_pPSModelPopUp->removeAllItems();
        if (make) mParametersSheet.m_pPSModelPopUp->addItemsWithTitles(modelsOfMake(*make));
    }
    if (mState.mLensSelectionInProgress && mLensSelection.mManufacturerList &&
        mLensSelection.mLensSelectionModelPopUp) {
#ifdef QV_PLUGIN_BUILD  // the owned-lens sheet's makes are read again before its selection is
        mLensSelection.mManufacturerList->reloadData();
#endif
        if (mLensSelection.mManufacturerList->selectedRow() < 0) mLensSelection.mManufacturerList->selectRow(0);
        mLensSelection.mLensSelectionModelPopUp->removeAllItems();
        if (const auto selectedMake = nameOfSelectedRow(mLensSelection.mManufacturerList))
            mLensSelection.mLensSelectionModelPopUp->addItemsWithTitles(modelsOfMake(*selectedMake));
        mLensSelection.mLensSelectionModelPopUp->addSeparator();
        mLensSelection.mLensSelectionModelPopUp->addItemWithTitle(kShowAll);
    }
    if (mParametersSheet.m_pPSModelPopUp) mParametersSheet.m_pPSModelPopUp->addSeparator();
}

void QVController::resetParametersSheetUIForSelectedRow(int row) {
    if (mState.mIsPTLens) return;
    const qv::Value* record = recordAt(mState.m_pLensArray, row);
    if (!record) return;
    auto show = [](qv::ui::TextField* field, const std::string& text) {
        if (field) field->setStringValue(text);
    };
    show(mParametersSheet.m_pPSFocalLengthText, shell::fieldText(record->get(lens::keys::kLensFocalLength), ""));
    show(mParametersSheet.m_pPSFieldOfViewText, shell::fieldText(record->get(lens::keys::kLensFOV), ""));
    show(mParametersSheet.m_pPSVigAmountText, shell::fieldText(record->get(lens::keys::kVignettingAmount), "0"));
    show(mParametersSheet.m_pPSVigMidpointText, shell::fieldText(record->get(lens::keys::kVignettingMidpoint), "0"));
    const qv::Value& mode = record->get(lens::keys::kLensRadialShiftMode);
    const qv::Value& type = record->get(lens::keys::kLensType);
    show(mParametersSheet.m_pPSRadialShiftModeText,
         mode.isNull() ? "0" : m_pMainBundle.localizedString(shell::radialShiftModeLabelKey(mode.integerOr(0))));
    show(mParametersSheet.m_pPSLensTypeText,
         type.isNull() ? "0" : m_pMainBundle.localizedString(shell::lensTypeLabelKey(type.integerOr(0))));
}

void QVController::updateUIWithLensInfo(int row) {
    const qv::Value* found = recordAt(mState.m_pLensArray, row);
    if (!found) return;
    const qv::Value record = *found;  // the table's reload below may replace the list
    if (mParametersSheet.m_pParametersTable) {
        mParametersSheet.m_pParametersTable->reloadData();
        mParametersSheet.m_pParametersTable->selectRow(row);
    }
    setMatrixValues();
    if (!shell::isResourceLensRecord(record) && !lens::userdb::hasUsableCoefficients(record)) {
        // The neutral lens stays in use and the lens is not shown as chosen.
        qv::ui::runAlertPanel(shell::lensName(record), m_pMainBundle.localizedString("LensValuesUnusableMessage"), "OK");
        return;
    }
    if (mMain.m_pLensText) mMain.m_pLensText->setStringValue(shell::lensName(record));
    if (mMain.mFocalLengthField) mMain.mFocalLengthField->setObjectValue(record.get(lens::keys::kLensFocalLength));
#ifdef QV_PLUGIN_BUILD
    const bool showsFocalRange = true;
#else  // a batch run keeps the focal range of the photo it works on
    const bool showsFocalRange = !isBatchRunning();
#endif
    if (!showsFocalRange) return;
    if (record.contains(lens::keys::kMinFocalLength)) {
        useFocalRangeOf(record);
        return;
    }
    // A lens without a focal range (a user database's) shows none and takes no typed focal
    // length, rather than keeping the range of the lens before it.
    mState.mMinFocalLength = mState.mMaxFocalLength = 0;
    if (mMain.mFocalLengthRange) mMain.mFocalLengthRange->setStringValue(" ");
}

// ---- Owned lenses ----

void QVController::saveSelectedLens(int row) {
    const qv::Value* record = recordAt(mState.m_pLensArray, row);
    if (!mState.mIsPTLens || mState.mCamIndex < 0 ||
        std::size_t(mState.mCamIndex) >= mState.m_pPTLensCamInfoArray.size() || !record)
        return;
    const qv::Value& camera = mState.m_pPTLensCamInfoArray[std::size_t(mState.mCamIndex)];
    qv::Value entry{qv::Dictionary()};
    entry[lens::keys::kMenuMake] = camera.get(lens::keys::kMenuMake);
    entry[lens::keys::kMenuModel] = camera.get(lens::keys::kMenuModel);
    entry[lens::keys::kLensName] = record->get(lens::keys::kLensName);
    qv::PreferencesFile::update([&](qv::Value& root) {
        qv::Array* list = root[shell::keys::kRecentLenses].array();
        if (!list) return;  // a file without an owned-lens list is left as it is
        for (auto it = list->begin(); it != list->end(); ++it) {
            if (it->get(lens::keys::kLensName) == entry.get(lens::keys::kLensName) && it->get(lens::keys::kMenuMake) == entry.get(lens::keys::kMenuMake) &&
                it->get(lens::keys::kMenuModel) == entry.get(lens::keys::kMenuModel)) {
                list->erase(it);
                break;
            }
        }
        if (list->size() >= kMaximumSavedOwnedLenses) list->pop_back();
        list->insert(list->begin(), entry);
    });
}
