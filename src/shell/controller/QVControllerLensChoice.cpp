// The choice of camera and lens for a photo: an owned lens whose focal range holds the photo's
// focal length first, else the camera of the loaded database that the EXIF make and model name
// and the lens whose focal range (or focal length and aperture) fits, with the fall-backs to the
// owned lenses when that finds nothing.
#include "shell/controller/QVController.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstdlib>

#include "imageio/ImageProperties.h"
#include "lens/CameraNames.h"
#include "lens/LensKeys.h"
#include "shell/lens/LensListRules.h"

namespace {

constexpr double kMatchTolerance = 0.1;
constexpr const char* kNoValue = "--";

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(a[i])) != std::tolower(static_cast<unsigned char>(b[i])))
            return false;
    return true;
}

std::string trimmed(const std::string& s) {
    const auto first = s.find_first_not_of(" \t\r\n");
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(" \t\r\n") - first + 1);
}

bool cameraMatches(const qv::Value& camera, const std::string& make, const std::string& model, bool alwaysPad) {
    const std::string recordMake = camera.get(lens::keys::kExifMake).stringOr("");
    const std::string makeInUse = lens::cameras::exifMakeForm(recordMake, make, alwaysPad);
    const std::string modelInUse = lens::cameras::exifModelForm(makeInUse, camera.get(lens::keys::kExifModel).stringOr(""));
    return equalsIgnoringCase(makeInUse, make) && equalsIgnoringCase(modelInUse, model);
}

// The first row of the loaded-database list with that name; -1 for none.
int rowNamed(const std::vector<shell::DatabaseRow>& rows, const std::string& name) {
    for (std::size_t i = 0; i < rows.size(); ++i)
        if (rows[i].name == name) return int(i);
    return -1;
}

int rowOfLens(const qv::Array& lenses, const std::string& name) {
    for (std::size_t i = 0; i < lenses.size(); ++i)
        if (shell::lensName(lenses[i]) == name) return int(i);
    return -1;
}

bool near(float a, double b) { return std::fabs(double(a) - b) < kMatchTolerance; }

}  // namespace

// ---- The photo's EXIF summary ----

qv::Value QVController::getExifProprties() {
    // While a batch corrects a photo, the lens is chosen for the batch's photo.
    qv::Value metadata;
    if (!batchPhotoMetadata(metadata)) {
        if (!mMain.m_pDisplayView) return {};
        metadata = mMain.m_pDisplayView->imageMetadata();
    }
    const qv::Value& tiff = metadata.get(qv::io::kCGImagePropertyTIFFDictionary);
    const qv::Value& exif = metadata.get(qv::io::kCGImagePropertyExifDictionary);
    if (tiff.isNull() || exif.isNull()) return tiff;
    qv::Value summary = tiff;
    if (const qv::Value& focal = exif.get(qv::io::kCGImagePropertyExifFocalLength); !focal.isNull())
        summary["Focal Length"] = focal;
    if (const qv::Value& aperture = exif.get(qv::io::kCGImagePropertyExifMaxApertureValue); !aperture.isNull())
        summary["MaxAperture"] = aperture;
    return summary;
}

std::optional<double> QVController::batchPhotoFocalLength() const {
    qv::Value metadata;
    if (!batchPhotoMetadata(metadata)) return std::nullopt;
    return double(metadata.get(qv::io::kCGImagePropertyExifDictionary)
                      .get(qv::io::kCGImagePropertyExifFocalLength)
                      .floatOr(0));
}

// ---- The camera's crop multiplier ----

void QVController::setLensProperties() {
    QVDatabaseLoader& loader = databaseLoader();
    const qv::Value exif = getExifProprties();
    if (mMain.mFocalLengthField) {
        mMain.mFocalLengthField->setDoubleValue(0);
        if (!isBatchRunning()) mMain.mFocalLengthField->setFloatValue(exif.get("Focal Length").floatOr(0));
    }
    mState.mSelectedFromPreferences = true;
    const auto make = exif.get("Make").asString();
    if (!mState.mDBLoaded || !make || mState.m_pPTLensCamInfoArray.empty()) return;
    const std::string model = exif.get("Model").stringOr("");
    for (const qv::Value& camera : mState.m_pPTLensCamInfoArray) {
        if (!cameraMatches(camera, *make, model, true)) continue;
        loader.setMultiplier(camera.get(lens::keys::kMultiplier).doubleOr(1.0));
        return;
    }
}

// ---- Owned lenses ----

bool QVController::selectLensFromPreferences() {
    const float focal = getExifProprties().get("Focal Length").floatOr(0);
    const qv::Array owned = QVPreferences::readRecentLenses();
    for (std::size_t i = 0; i < owned.size(); ++i) {
        const double low = owned[i].get(lens::keys::kMinFocalLength).doubleOr(0);
        const double high = owned[i].get(lens::keys::kMaxFocalLength).doubleOr(0);
        if (!(low <= focal && focal <= high)) continue;
        setMatrixValueFromPrefernceLens(int(i));
        updateUIWithPreferenceLensInfo(owned[i]);
        return true;
    }
    return false;
}

void QVController::setMatrixValueFromPrefernceLens(int index) {
    const qv::Array owned = QVPreferences::readRecentLenses();
    if (mMain.mFocalLengthField)
        mMain.mFocalLengthField->setFloatValue(getExifProprties().get("Focal Length").floatOr(0));
    if (owned.empty() || index < 0 || std::size_t(index) >= owned.size()) return;
    const qv::Value& entry = owned[std::size_t(index)];
    QVDatabaseLoader& loader = databaseLoader();
    loader.setMultiplier(entry.get(lens::keys::kMultiplier).doubleOr(1.0));
    const auto values = loader.correctionValuesForLensDict(entry);
    if (!values) return;
    const double a = (*values)[1], b = (*values)[2], c = (*values)[3];
    setPTLensValues({a, b, c, double(float(1.0 - (a + b + c)))});
}

void QVController::updateUIWithPreferenceLensInfo(const qv::Value& entry) {
    if (entry.isNull()) return;
    const std::string camera = camNameForLens(entry);
    if (mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(camera);
    const int cameraRow = rowNamed(mState.mDatabaseRows, camera);
    if (mDatabaseSheet.m_pCamNameTable) {
        if (cameraRow >= 0)
            mDatabaseSheet.m_pCamNameTable->selectRow(cameraRow);
        else
            mDatabaseSheet.m_pCamNameTable->deselectAll();
    }
    // The camera's lens list, without making its selected row's coefficients the ones in use:
    // those are the owned lens's, set above.
    if (mDatabaseSheet.m_pCamNameTable) setParameters(mDatabaseSheet.m_pCamNameTable);
    if (mParametersSheet.m_pParametersTable) mParametersSheet.m_pParametersTable->reloadData();
    const int lensRow = mState.m_pLensArray ? rowOfLens(*mState.m_pLensArray, shell::lensName(entry)) : -1;
    const bool batch = isBatchRunning();
    if (!batch && lensRow >= 0 && mParametersSheet.m_pParametersTable) {
        mParametersSheet.m_pParametersTable->selectRow(lensRow);
        onLoadParameters(nullptr);
    }
    if (mMain.m_pLensText) mMain.m_pLensText->setStringValue(shell::lensName(entry));
    if (mMain.mFocalLengthField)
        mMain.mFocalLengthField->setFloatValue(
            mMain.m_pFocalLengthText ? std::strtof(mMain.m_pFocalLengthText->stringValue().c_str(), nullptr) : 0);
    if (entry.contains(lens::keys::kMinFocalLength) && !batch) useFocalRangeOf(entry);
}

void QVController::useFocalRangeOf(const qv::Value& record) {
    mState.mMinFocalLength = record.get(lens::keys::kMinFocalLength).floatOr(0);
    mState.mMaxFocalLength = record.get(lens::keys::kMaxFocalLength).floatOr(0);
    if (mMain.mFocalLengthRange) mMain.mFocalLengthRange->setStringValue(shell::focalRangeText(record));
}

std::string QVController::camNameForLens(const qv::Value& lens) {
    databaseLoader();
#ifdef QV_PLUGIN_BUILD
    // The plug-in reads the camera from the make and model display fields, which the open step
    // fills from the same metadata ("--" where a value is missing).
    const std::optional<std::string> make =
        mMain.m_pManufacturerText ? std::optional<std::string>(mMain.m_pManufacturerText->stringValue()) : std::nullopt;
    const std::string model = mMain.m_pCameraModelText ? mMain.m_pCameraModelText->stringValue() : "";
#else
    const qv::Value exif = getExifProprties();
    const auto make = exif.get("Make").asString();
    const std::string model = exif.get("Model").stringOr("");
#endif
    std::optional<std::string> menuMake;
    if (mState.mDBLoaded && make && !mState.m_pPTLensCamInfoArray.empty()) {
        for (const qv::Value& camera : mState.m_pPTLensCamInfoArray) {
            const std::string recordMake = lens::cameras::exifMakeForm(camera.get(lens::keys::kExifMake).stringOr(""), *make, false);
            if (recordMake.find(*make) == std::string::npos) continue;
            const std::string recordModel = trimmed(camera.get(lens::keys::kExifModel).stringOr(""));
            if (model.find(recordModel) != std::string::npos || recordModel.find(model) != std::string::npos) {
                menuMake = camera.get(lens::keys::kMenuMake).stringOr("");
                break;
            }
        }
    }
    if (menuMake && rowNamed(mState.mDatabaseRows, *menuMake) >= 0) return *menuMake;
    const std::string group = lens.get(lens::keys::kLensGroup).stringOr("");
    for (const qv::Value& camera : mState.m_pPTLensCamInfoArray)
        if (camera.get(lens::keys::kCamGroup).stringOr("") == group)
            return camera.get(lens::keys::kMenuMake).stringOr("");
    return "";
}

// ---- Automatic selection in the loaded database ----

bool QVController::autoselectionForLens() {
    enum State { NoCamera, CameraOnly, LensFound };
    State state = NoCamera;
    QVDatabaseLoader& loader = databaseLoader();
    const qv::Value exif = getExifProprties();
    const auto make = exif.get("Make").asString();
    const std::string model = exif.get("Model").stringOr("");
    const double focal = double(exif.get("Focal Length").floatOr(0));
    const float aperture = exif.get("MaxAperture").floatOr(0);
    const bool batch = isBatchRunning();
    if (mMain.mFocalLengthField) {
        mMain.mFocalLengthField->setDoubleValue(0);
        if (!batch) mMain.mFocalLengthField->setDoubleValue(focal);
    }
    const double minFocal = mState.mMinFocalLengthFromImage.load(), maxFocal = mState.mMaxFocalLengthFromImage.load();
    std::string rememberedMake, rememberedModel;

    auto showCamera = [&](const std::string& name) {
        const int row = rowNamed(mState.mDatabaseRows, name);
        if (row < 0) return;
        if (!batch && mMain.m_pDatabaseText)
            mMain.m_pDatabaseText->setStringValue(mState.mDatabaseRows[std::size_t(row)].name);
        if (mDatabaseSheet.m_pCamNameTable) mDatabaseSheet.m_pCamNameTable->selectRow(row);
    };
    auto rangeMatches = [&](const qv::Value& lens) {
        return near(lens.get(lens::keys::kMinFocalLength).floatOr(0), minFocal) &&
               near(lens.get(lens::keys::kMaxFocalLength).floatOr(0), maxFocal);
    };

    if (mState.mDBLoaded && make) {
        std::vector<std::string> groups;
        qv::Array candidates;
        std::vector<std::string> focalMatches, focalAndApertureMatches;
        if (!mState.m_pPTLensCamInfoArray.empty()) {
            for (std::size_t i = 0; i < mState.m_pPTLensCamInfoArray.size(); ++i) {
                const qv::Value& camera = mState.m_pPTLensCamInfoArray[i];
                if (!cameraMatches(camera, *make, model, false)) continue;
                groups.push_back(camera.get(lens::keys::kCamGroup).stringOr(""));
                rememberedMake = camera.get(lens::keys::kMenuMake).stringOr("");
                rememberedModel = camera.get(lens::keys::kMenuModel).stringOr("");
                loader.setMultiplier(camera.get(lens::keys::kMultiplier).doubleOr(1.0));
                mState.mCamIndex = int(i);
                state = CameraOnly;
            }
            showCamera(rememberedMake);
            mState.m_pLensArray = loader.lensArrayForCamGroup(groups);
            shell::removeMultipleEntriesFrom(*mState.m_pLensArray);
        }
        if (state == CameraOnly && mState.m_pLensArray) {
            const bool rangeUnknown = minFocal == 0 || maxFocal == 0;
            for (const qv::Value& lens : *mState.m_pLensArray) {
                if (rangeUnknown) {
                    if (!near(lens.get(lens::keys::kLensFocalLength).floatOr(0), focal)) continue;
                    focalMatches.push_back(shell::lensName(lens));
                    state = LensFound;
                    if (near(lens.get(lens::keys::kMaxAperture).floatOr(0), double(aperture)))
                        focalAndApertureMatches.push_back(shell::lensName(lens));
                } else if (rangeMatches(lens)) {
                    candidates.push_back(lens);
                }
            }
        }
        if (candidates.empty() && minFocal != 0 && maxFocal != 0) {
            // Widen the search to every camera's lenses: the photo's lens may be listed under
            // another camera (an adapter, a sibling body). Only for a known range: with 0 to 0 it
            // would take any camera's lens of unknown range over the focal-length matches above.
            candidates = loader.lensesOfEveryCameraGroupInFocalRange(minFocal, maxFocal, kMatchTolerance);
        }
        const int best = indexOfBestMatchingLensFrom(candidates, aperture);
        if (!candidates.empty()) {
            const qv::Value chosen = candidates[std::size_t(best)];
            showCamera(camNameForLens(chosen));
            mState.m_pLensArray = loader.lensArrayForCamGroup({chosen.get(lens::keys::kLensGroup).stringOr("")});
            shell::removeMultipleEntriesFrom(*mState.m_pLensArray);
            int row = rowOfLens(*mState.m_pLensArray, shell::lensName(chosen));
            if (row < 0) row = int(mState.m_pLensArray->size()) - 1;
            updateUIWithLensInfo(row);
            state = LensFound;
        } else if (!focalAndApertureMatches.empty()) {
            choseBestLensFrom(focalAndApertureMatches);
        } else if (!focalMatches.empty()) {
            choseBestLensFrom(focalMatches);
        }
    }

    if (state == LensFound) return true;
    std::unique_ptr<QVPreferences> local;
    QVPreferences* owned = mPreferences.mQVPreferences;
    if (!owned) owned = (local = std::make_unique<QVPreferences>()).get();
    if (owned->readPreferences()) {
        if (state == CameraOnly) {
            if (auto name = owned->lensForCam(rememberedMake, rememberedModel); name && loadMatchingLens(*name))
                return true;
        } else {
            if (const qv::Value entry = owned->recentSettings(); !entry.isNull() && loadRecentSettings(entry))
                return true;
        }
    }
    setValuesToNoDatabase();
    if (!batch) {
        if (state == NoCamera && mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(kNoValue);
        if (mMain.m_pLensText) mMain.m_pLensText->setStringValue(kNoValue);
        if (mMain.mFocalLengthField) mMain.mFocalLengthField->setDoubleValue(0);
        if (mMain.mFocalLengthRange) mMain.mFocalLengthRange->setStringValue(" ");
    }
    return false;
}

int QVController::indexOfBestMatchingLensFrom(const qv::Array& lenses, float maximumAperture) {
    if (lenses.empty()) return 0;
    if (mPreferences.mQVPreferences) mPreferences.mQVPreferences->readPreferences();
    int best = 0;
    float bestDistance = 0;
    for (std::size_t i = 0; i < lenses.size(); ++i) {
        const float distance = std::fabs(maximumAperture - lenses[i].get(lens::keys::kMaxAperture).floatOr(0));
        if (i == 0 || distance < bestDistance) {
            best = int(i);
            bestDistance = distance;
        }
    }
    return best;
}

void QVController::choseBestLensFrom(const std::vector<std::string>& names) {
    if (names.empty()) return;
    std::string choice = names.front();
    if (names.size() > 1) {
        const qv::Array owned = QVPreferences::readRecentLenses();
        bool found = false;
        for (const qv::Value& entry : owned) {
            if (std::find(names.begin(), names.end(), shell::lensName(entry)) != names.end()) {
                choice = shell::lensName(entry);
                found = true;
                break;
            }
        }
        if (!owned.empty() && !found) choice = names.back();
    }
    int row = 0;
    if (mState.m_pLensArray && !mState.m_pLensArray->empty()) {
        row = rowOfLens(*mState.m_pLensArray, choice);
        if (row < 0) row = int(mState.m_pLensArray->size()) - 1;
    }
    updateUIWithLensInfo(row);
}

bool QVController::loadMatchingLens(const std::string& name) {
    const int row = mDatabaseSheet.m_pCamNameTable ? mDatabaseSheet.m_pCamNameTable->selectedRow() : -1;
    if (!isDatabaseRow(row)) return false;
    const std::string& camera = mState.mDatabaseRows[std::size_t(row)].name;
    std::vector<std::string> groups;
    for (const qv::Value& record : mState.m_pPTLensCamInfoArray) {
        if (record.get(lens::keys::kMenuMake).stringOr("") != camera) continue;
        const std::string group = record.get(lens::keys::kCamGroup).stringOr("");
        if (groups.empty() || groups.back() != group) groups.push_back(group);
    }
    if (groups.empty()) return false;
    qv::Array lenses = databaseLoader().lensArrayForCamGroup(groups);
    const int index = rowOfLens(lenses, name);
    if (index < 0) return false;
    mState.m_pLensArray = std::move(lenses);
    updateUIWithLensInfo(index);
    return true;
}

bool QVController::loadRecentSettings(const qv::Value& entry) {
    const auto make = entry.get(lens::keys::kMenuMake).asString();
    if (!make || mState.m_pPTLensCamInfoArray.empty()) return false;
    const std::string name = shell::lensName(entry);
    for (const qv::Value& record : mState.m_pPTLensCamInfoArray) {
        if (!equalsIgnoringCase(record.get(lens::keys::kMenuMake).stringOr(""), *make)) continue;
        if (const int row = rowNamed(mState.mDatabaseRows, *make); row >= 0 && mDatabaseSheet.m_pCamNameTable)
            mDatabaseSheet.m_pCamNameTable->selectRow(row);
        if (mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(*make);
        qv::Array lenses = databaseLoader().lensArrayForCamGroup({record.get(lens::keys::kCamGroup).stringOr("")});
        const int index = rowOfLens(lenses, name);
        if (index < 0) continue;
        mState.m_pLensArray = std::move(lenses);
        updateUIWithLensInfo(index);
        return true;
    }
    return false;
}
