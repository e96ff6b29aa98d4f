// Presets: saving the current correction settings to a "dtl2" file and loading one back into the
// coefficients and the controls. The file format is in PresetFormat.h.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "appkit/SavePanel.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/PropertyList.h"
#include "foundation/UserDefaults.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/PresetFormat.h"

using shell::preset::PresetSettings;

namespace {

float floatOf(const qv::ui::Control* control) { return control ? control->floatValue() : 0.0f; }

}  // namespace

// ---- Loading ----

void QVController::onLoadPreset(Control*) {
    if (!mMain.m_pWindow) return;
    const std::string last = qv::PreferencesFile::read().get(shell::keys::kPresetFilePath).stringOr("");
    auto panel = qv::ui::OpenPanel::openPanel();
    panel->setCanChooseFiles(true);
    panel->setCanChooseDirectories(false);
    panel->setAllowsMultipleSelection(false);
    panel->beginSheetForDirectory(qv::paths::deletingLastPathComponent(last), qv::paths::lastPathComponent(last),
                                  {shell::preset::kExtension}, *mMain.m_pWindow,
                                  [this](qv::ui::OpenPanel& sheet, int code) { openPresetPanelDidEnd(sheet, code); });
}

void QVController::openPresetPanelDidEnd(qv::ui::OpenPanel& panel, int returnCode) {
    const std::string path = panel.filename();
    if (returnCode != qv::ui::kOKButton || path.empty()) return;
    // A file that is not a preset changes nothing and is not remembered.
    if (!resetUIValuesToPreset(qv::readPropertyList(path))) {
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(path), m_pMainBundle.localizedString("PresetOpenErrorMessage"),
                              "OK");
        return;
    }
    if (mMain.m_pDisplayView) {
        mMain.m_pDisplayView->setBatchFlagTo(false);
        mMain.m_pDisplayView->applyCorrection();
    }
    markWindowEdited();
    qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kPresetFilePath] = path; });
}

bool QVController::resetUIValuesToPreset(const qv::Value& preset) {
    const auto settings = shell::preset::presetSettingsFrom(preset);
    if (!settings) return false;
    // The matrix and the resource-lens values both, so the coefficients in use are the preset's
    // whichever source they come from.
    if (mParametersSheet.m_pPSCorrectionMatrix)
        for (int row = 0; row < 4; ++row)
            if (auto cell = mParametersSheet.m_pPSCorrectionMatrix->cellAtRow(row, 0))
                cell->setFloatValue(float(settings->coefficients[std::size_t(row)]));
    mState.mPTLensValuesArray = settings->coefficients;
    qv::UserDefaults& defaults = qv::UserDefaults::standard();
    // The sliders follow the user defaults they are bound to.
    for (const shell::CorrectionControl& control : shell::correctionControls())
        if (control.presetSetting) defaults.set(control.defaultsKey, qv::Value((*settings).*control.presetSetting));
    if (mMain.m_pFOVText) mMain.m_pFOVText->setFloatValue(settings->fieldOfView);
    return true;
}

// ---- Saving ----

void QVController::onSavePreset(Control*) {
    if (!mMain.m_pWindow) return;
    auto panel = qv::ui::SavePanel::savePanel();
    panel->setRequiredFileType(shell::preset::kExtension);
    panel->beginSheetForDirectory("", "", *mMain.m_pWindow,
                                  [this](qv::ui::SavePanel& sheet, int code) { savePresetPanelDidEnd(sheet, code); });
}

void QVController::savePresetPanelDidEnd(qv::ui::SavePanel& panel, int returnCode) {
    const std::string path = panel.filename();
    if (returnCode != qv::ui::kOKButton || path.empty() || refusedInSupportFolder(path)) return;
    // The file is replaced in one step; a failed write leaves what was there and is reported.
    if (!qv::writePropertyList(presetValuesDict(), path)) {
        qv::ui::runAlertPanel(qv::paths::lastPathComponent(path), m_pMainBundle.localizedString("PresetSaveErrorMessage"),
                              "OK");
        return;
    }
    qv::PreferencesFile::update([&](qv::Value& root) { root[shell::keys::kPresetFilePath] = path; });
}

qv::Value QVController::presetValuesDict() {
    PresetSettings settings;
    const std::vector<double> values = correctionValues();
    for (std::size_t i = 0; i < settings.coefficients.size() && i < values.size(); ++i)
        settings.coefficients[i] = values[i];
    // The sliders' own values: the fringe sliders hold the factor less 1, the rotation slider the
    // negated angle.
    for (const shell::CorrectionControl& control : shell::correctionControls())
        if (control.presetSetting) settings.*control.presetSetting = floatOf(control.outlet(*this));
    settings.fieldOfView = floatOf(mMain.m_pFOVText);
    return shell::preset::presetDictionary(settings);
}
