// The parameters sheet, where a lens is picked by hand from the current database, and the
// coefficients in use, which the correction chain, presets and the batch read.
#include "QVController.h"

#include "appkit/NumberText.h"
#include "foundation/PreferencesFile.h"
#include "lens/LensKeys.h"
#include "shell/CameraNames.h"
#include "shell/PreferenceKeys.h"
#include "shell/SupportFolder.h"
#include "shell/UserLensDatabase.h"

namespace {

constexpr const char* kShowAll = "Show All";
constexpr std::size_t kMaximumSavedOwnedLenses = 20;

std::string lensName(const qv::Value& record) { return record.get(lens::keys::kLensName).stringOr(""); }

// The record at a table row, when the row lies in the list.
const qv::Value* recordAt(const std::optional<qv::Array>& list, int row) {
    if (!list || row < 0 || std::size_t(row) >= list->size()) return nullptr;
    return &(*list)[std::size_t(row)];
}

}  // namespace

// ---- The coefficients in use ----

void QVController::setPTLensValues(const std::array<double, 4>& values) {
    std::lock_guard<std::mutex> lock(m_coefficientMutex);
    mPTLensValuesArray = values;
}

std::array<double, 4> QVController::ptLensValues() const {
    std::lock_guard<std::mutex> lock(m_coefficientMutex);
    return mPTLensValuesArray;
}

void QVController::setCorrectionMatrix(const std::array<float, 4>& cells) {
    std::lock_guard<std::mutex> lock(m_coefficientMutex);
    if (!m_pPSCorrectionMatrix) return;
    for (int row = 0; row < 4; ++row)
        if (auto cell = m_pPSCorrectionMatrix->cellAtRow(row, 0)) cell->setFloatValue(cells[std::size_t(row)]);
}

void QVController::setIsPTLens(bool isPTLens) {
    std::lock_guard<std::mutex> lock(m_coefficientMutex);
    mIsPTLens = isPTLens;
}

std::vector<double> QVController::correctionValues() {
    std::lock_guard<std::mutex> lock(m_coefficientMutex);
    if (mIsPTLens) return {mPTLensValuesArray.begin(), mPTLensValuesArray.end()};
    std::vector<double> values(4, 0.0);
    if (!m_pPSCorrectionMatrix) return values;
    for (int row = 0; row < 4; ++row)
        if (auto cell = m_pPSCorrectionMatrix->cellAtRow(row, 0)) values[std::size_t(row)] = double(cell->floatValue());
    return values;
}

void QVController::setValuesToNoDatabase() {
    // The neutral lens in the matrix. The resource-lens values keep what they hold: they start at
    // zero and only a lens, a preset or a typed focal length replaces them.
    setCorrectionMatrix({0, 0, 0, 1});
}

void QVController::setMatrixValues() {
    int row = m_pParametersTable ? m_pParametersTable->selectedRow() : -1;
    if (row < 0) row = 0;
    const qv::Value* record = recordAt(m_pLensArray, row);
    std::array<float, 4> cells{0, 0, 0, 0};
    if (record) {
        for (std::size_t i = 0; i < 4; ++i) cells[i] = record->get(lens::keys::kCoefficients[i]).floatOr(0);
    }
    setCorrectionMatrix(cells);
    if (!mIsPTLens || !record) return;
    const double a = record->get(lens::keys::kAValue).doubleOr(0);
    const double b = record->get(lens::keys::kBValue).doubleOr(0);
    const double c = record->get(lens::keys::kCValue).doubleOr(0);
    setPTLensValues({a, b, c, double(float(1.0 - ((a + b) + c)))});
}

// ---- Opening, filling and closing the sheet ----

void QVController::onParameters(Control*) {
    mLensIndex = m_pParametersTable ? m_pParametersTable->selectedRow() : -1;
    setParameters();
    const qv::Value exif = getExifProprties();
    if (exif.isDictionary() && mMinFocalLengthFromImage.load() == 0 && m_pPSModelPopUp) {
        const std::string model =
            shell::unpaddedExifModel(exif.get("Make").stringOr(""), exif.get("Model").stringOr(""));
        if (auto menuModel = databaseLoader().menuModelForExifModel(model);
            menuModel && m_pPSModelPopUp->selectItemWithTitle(*menuModel))
            onChangeModel(m_pPSModelPopUp);
    }
    openSheet(m_pParametersSheet);
}

void QVController::setParameters() { setParameters(nullptr); }

void QVController::setParameters(qv::ui::TableView* table) {
    const bool fromDatabaseTable = table == nullptr;
    if (fromDatabaseTable) table = m_pCamNameTable;
    if (m_pLoadParametersButton) m_pLoadParametersButton->setEnabled(false);
    if (m_pLoadedCamerasArray.empty()) return;

    const int row = table ? table->selectedRow() : -1;
    if (isDatabaseRow(row)) {
        const std::string& name = m_pLoadedCamerasArray[std::size_t(row)];
        const std::string& path = m_pFilesArray[std::size_t(row)];
        if (m_pPSDatabaseText) m_pPSDatabaseText->setStringValue(name);
        if (!shell::isUserDatabasePath(path)) {
            std::vector<std::string> groups;
            for (std::size_t i = 0; i < m_pPTLensCamInfoArray.size(); ++i) {
                const qv::Value& camera = m_pPTLensCamInfoArray[i];
                if (camera.get(lens::keys::kMenuMake).stringOr("") != name) continue;
                const std::string group = camera.get(lens::keys::kCamGroup).stringOr("");
                if (!groups.empty() && groups.back() == group) continue;
                mCamIndex = int(i);
                groups.push_back(group);
            }
            m_pLensArray = databaseLoader().lensArrayForCamGroup(groups);
            removeMultipleEntriesFrom(*m_pLensArray);
            if (m_pParametersTable) {
                m_pParametersTable->reloadData();
                if (m_pLoadParametersButton && m_pParametersTable->selectedRow() >= 0)
                    m_pLoadParametersButton->setEnabled(true);
            }
            resetParametersSheetUIForPTLens();
        } else {
            setDatabaseValues(path);
            if (m_pParametersTable) {
                m_pParametersTable->reloadData();
                if (m_pParametersTable->selectedRow() < 1) m_pParametersTable->selectRow(0);
            }
            if (m_pLensArray && !m_pLensArray->empty()) {
                if (m_pLoadParametersButton) m_pLoadParametersButton->setEnabled(true);
                if (m_pPSDatabaseText) m_pPSDatabaseText->setStringValue(name);
                const qv::Array manufacturers = m_pManufacturerArray.value_or(qv::Array());
                if (m_pPSManufacturerPopUp) {
                    m_pPSManufacturerPopUp->removeAllItems();
                    for (const qv::Value& entry : manufacturers)
                        m_pPSManufacturerPopUp->addItemWithTitle(entry.get(lens::keys::kManufacturerName).stringOr(""));
                }
                if (m_pPSModelPopUp) {
                    m_pPSModelPopUp->removeAllItems();
                    if (!manufacturers.empty())
                        if (const qv::Array* models = manufacturers.front().get(lens::keys::kModels).array())
                            for (const qv::Value& model : *models) m_pPSModelPopUp->addItemWithTitle(model.stringOr(""));
                }
                resetParametersSheetUIForSelectedRow(m_pParametersTable ? m_pParametersTable->selectedRow() : -1);
            }
        }
    } else if (!fromDatabaseTable) {
        return;
    }
    if (fromDatabaseTable) setMatrixValues();
}

void QVController::onShowsMatchingLenses(Control*) {
    mShowOnlyMathingLenses = mShowMatchingLenses && mShowMatchingLenses->state() == qv::ui::kOnState;
    setParameters();
}

void QVController::onChangeModel(qv::ui::PopUpButton* sender) {
    if (!sender) return;
    const auto title = sender->titleOfSelectedItem();
    if (!title) return;
    if (*title == kShowAll) {
        if (mShowMatchingLenses && mShowMatchingLenses->state() == qv::ui::kOnState)
            mShowMatchingLenses->setState(qv::ui::kOffState);
        onShowsMatchingLenses(mShowMatchingLenses);
        return;
    }
    const std::string make =
        m_pPSManufacturerPopUp ? m_pPSManufacturerPopUp->titleOfSelectedItem().value_or("") : std::string();
    showLensesOfModel(*title, make, m_pParametersTable);
}

void QVController::showLensesOfModel(const std::string& model, const std::string& make, qv::ui::TableView* table) {
    QVDatabaseLoader& loader = databaseLoader();
    for (const qv::Value& camera : loader.camInfoForLoadedDatabase()) {
        const std::string group = camera.get(lens::keys::kCamGroup).stringOr("");
        if (camera.get(lens::keys::kMenuModel).stringOr("") != model || !loader.cameraGroup(group, make)) continue;
        m_pLensArray = loader.lensArrayForCamGroup({group});
        removeMultipleEntriesFrom(*m_pLensArray);
        if (table) table->reloadData();
    }
}

void QVController::onLoadParameters(Control* sender) {
    closeSheet(m_pParametersSheet);
    if (m_pLensArray) {
        const int row = m_pParametersTable ? m_pParametersTable->selectedRow() : -1;
        setLensProperties();
        if (sender) mCorrectionsApplied = true;
        updateUIWithLensInfo(row);
    }
    if (m_bImageLoaded && previewCheckboxStatus() && m_pDisplayView) {
        m_pDisplayView->setBatchFlagTo(false);
        m_pDisplayView->applyCorrection();
        markWindowEdited();
        mCorrectionsApplied = true;
    }
    const qv::Size proxy = fixedSizeExtent();
    setDFOVwithWidth(proxy.width, proxy.height);
}

void QVController::onCloseParameters(Control*) {
    if (m_pParametersTable && mLensIndex >= 0) m_pParametersTable->selectRow(mLensIndex);
    closeSheet(m_pParametersSheet);
}

// ---- What the sheet shows ----

void QVController::resetParametersSheetUIForPTLens() {
    int row = m_pParametersTable ? m_pParametersTable->selectedRow() : -1;
    if (row < 0) row = 0;
    if (const qv::Value* record = recordAt(m_pLensArray, row); record && m_pPSFocalLengthText)
        m_pPSFocalLengthText->setObjectValue(record->get(lens::keys::kLensFocalLength));
    if (m_pPSVigAmountText) m_pPSVigAmountText->setStringValue("--");
    if (m_pPSVigMidpointText) m_pPSVigMidpointText->setStringValue("--");
    if (m_pPSRadialShiftModeText) m_pPSRadialShiftModeText->setStringValue("Radial");

    auto modelsOfMake = [&](const std::string& make) {
        std::vector<std::string> models;
        for (const qv::Value& camera : m_pPTLensCamInfoArray)
            if (camera.get(lens::keys::kMenuMake).stringOr("") == make) models.push_back(camera.get("menuModel").stringOr(""));
        return models;
    };
    auto nameOfSelectedRow = [&](qv::ui::TableView* table) -> std::optional<std::string> {
        const int selected = table ? table->selectedRow() : -1;
        if (!isDatabaseRow(selected)) return std::nullopt;
        return m_pLoadedCamerasArray[std::size_t(selected)];
    };

    const auto make = nameOfSelectedRow(m_pCamNameTable);
    if (m_pPSManufacturerPopUp) {
        m_pPSManufacturerPopUp->removeAllItems();
        if (make) m_pPSManufacturerPopUp->addItemWithTitle(*make);
    }
    if (m_pPSModelPopUp) {
        m_pPSModelPopUp->removeAllItems();
        if (make) m_pPSModelPopUp->addItemsWithTitles(modelsOfMake(*make));
    }
    if (mLensSelectionInProgress && mManufacturerList && mLensSelectionModelPopUp) {
        if (mManufacturerList->selectedRow() < 0) mManufacturerList->selectRow(0);
        mLensSelectionModelPopUp->removeAllItems();
        if (const auto selectedMake = nameOfSelectedRow(mManufacturerList))
            mLensSelectionModelPopUp->addItemsWithTitles(modelsOfMake(*selectedMake));
        mLensSelectionModelPopUp->addSeparator();
        mLensSelectionModelPopUp->addItemWithTitle(kShowAll);
    }
    if (m_pPSModelPopUp) m_pPSModelPopUp->addSeparator();
}

void QVController::resetParametersSheetUIForSelectedRow(int row) {
    if (mIsPTLens) return;
    const qv::Value* record = recordAt(m_pLensArray, row);
    if (!record) return;
    auto show = [](qv::ui::TextField* field, const std::string& text) {
        if (field) field->setStringValue(text);
    };
    show(m_pPSFocalLengthText, shell::fieldText(record->get(lens::keys::kLensFocalLength), ""));
    show(m_pPSFieldOfViewText, shell::fieldText(record->get(lens::keys::kLensFOV), ""));
    show(m_pPSVigAmountText, shell::fieldText(record->get(lens::keys::kVignettingAmount), "0"));
    show(m_pPSVigMidpointText, shell::fieldText(record->get(lens::keys::kVignettingMidpoint), "0"));
    const qv::Value& mode = record->get(lens::keys::kLensRadialShiftMode);
    const qv::Value& type = record->get(lens::keys::kLensType);
    show(m_pPSRadialShiftModeText,
         mode.isNull() ? "0" : m_pMainBundle.localizedString(shell::radialShiftModeLabelKey(mode.integerOr(0))));
    show(m_pPSLensTypeText, type.isNull() ? "0" : m_pMainBundle.localizedString(shell::lensTypeLabelKey(type.integerOr(0))));
}

void QVController::updateUIWithLensInfo(int row) {
    const qv::Value* found = recordAt(m_pLensArray, row);
    if (!found) return;
    const qv::Value record = *found;  // the table's reload below may replace the list
    if (m_pParametersTable) {
        m_pParametersTable->reloadData();
        m_pParametersTable->selectRow(row);
    }
    setMatrixValues();
    if (m_pLensText) m_pLensText->setStringValue(lensName(record));
    if (mFocalLengthField) mFocalLengthField->setObjectValue(record.get(lens::keys::kLensFocalLength));
    if (record.contains(lens::keys::kMinFocalLength) && !isBatchRunning()) {
        mMinFocalLength = record.get(lens::keys::kMinFocalLength).floatOr(0);
        mMaxFocalLength = record.get(lens::keys::kMaxFocalLength).floatOr(0);
        if (mFocalLengthRange)
            mFocalLengthRange->setStringValue(qv::ui::stringFromValue(record.get(lens::keys::kMinFocalLength)) + " - " +
                                              qv::ui::stringFromValue(record.get(lens::keys::kMaxFocalLength)));
    }
}

// ---- Lens lists ----

void QVController::removeMultipleEntriesFrom(qv::Array& lenses) {
    for (std::size_t i = 0; i < lenses.size(); ++i) {
        const std::string name = lensName(lenses[i]);
        const qv::Value group = lenses[i].get(lens::keys::kLensGroup);
        for (std::size_t j = lenses.size(); j-- > i + 1;)
            if (lensName(lenses[j]) == name && lenses[j].get(lens::keys::kLensGroup) == group) lenses.erase(lenses.begin() + j);
    }
}

bool QVController::multipleEntriesOf(const std::string& name, const qv::Array& lenses) {
    int count = 0;
    for (const qv::Value& record : lenses)
        if (lensName(record) == name && ++count >= 2) return true;
    return false;
}

void QVController::saveSelectedLens(int row) {
    const qv::Value* record = recordAt(m_pLensArray, row);
    if (!mIsPTLens || mCamIndex < 0 || std::size_t(mCamIndex) >= m_pPTLensCamInfoArray.size() || !record) return;
    const qv::Value& camera = m_pPTLensCamInfoArray[std::size_t(mCamIndex)];
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

qv::Value QVController::scaleDatabaseValuesForUpRecord(const qv::Value& record, double ratio) {
    qv::Value scaled = record;
    // User records may hold their numbers as text; a number spelled out counts as that number.
    for (const char* key : {lens::keys::kLensFocalLength, lens::keys::kRedA, lens::keys::kRedB, lens::keys::kRedC})
        scaled[key] = qv::ui::numberFromValue(record.get(key)) * ratio;
    return scaled;
}

qv::Value QVController::InterpolateLensDBWithUpDB(const qv::Value& up, const qv::Value& bottom, double focalLength) {
    qv::Value result = up;
    if (up.isNull() || bottom.isNull()) return result;
    const float f = float(focalLength);
    const float fUp = float(qv::ui::numberFromValue(up.get(lens::keys::kLensFocalLength)));
    const float fBottom = float(qv::ui::numberFromValue(bottom.get(lens::keys::kLensFocalLength)));
    const double toFocal = double(f) - fBottom, span = double(fUp) - fBottom;
    if (!(f > 0.0000001 && toFocal * toFocal > 0.0001 && span * span > 0.0001)) return result;
    for (const char* key : {lens::keys::kRedA, lens::keys::kRedB, lens::keys::kRedC}) {
        const double lower = qv::ui::numberFromValue(bottom.get(key));
        result[key] = lower + (qv::ui::numberFromValue(up.get(key)) - lower) * toFocal / span;
    }
    return result;
}
