// The main window's correction controls: each action re-runs the part of the preview chain that
// depends on it and marks the window edited; typed values move their sliders; Reset puts every
// control back through the user defaults the sliders are bound to.
#include "shell/controller/QVController.h"

#include <algorithm>

#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "lens/LensKeys.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"

namespace {

constexpr int kMinimumZoom = 100;
constexpr int kMaximumZoom = 800;

}  // namespace

// ---- Perspective ----

void QVController::onHorizontalSlider(Control*) {
    if (!mState.m_bImageLoaded) return;
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->perspective();
    markWindowEdited();
}

void QVController::onVerticalSlider(Control* sender) { onHorizontalSlider(sender); }
void QVController::onAspectSlider(Control* sender) { onHorizontalSlider(sender); }
void QVController::onAutoScaleChecked(Control* sender) { onHorizontalSlider(sender); }

void QVController::allowInsideCrop(bool allow) {
    if (!mMain.m_pCropRadioButtons) return;
    auto inside = mMain.m_pCropRadioButtons->cellWithTag(int(shell::CropChoice::Inside));
    if (!inside) return;
    inside->setEnabled(allow);
    // Rotating makes the inside crop unavailable: a selected inside crop becomes none.
    if (!allow && mMain.m_pCropRadioButtons->selectedCell() == inside) {
        mMain.m_pCropRadioButtons->selectCellWithTag(int(shell::CropChoice::None));
        setCropOption(mMain.m_pCropRadioButtons);
    }
}

void QVController::onRotationSlider(Control* sender) {
    if (!mState.m_bImageLoaded) return;
    allowInsideCrop(sender && sender->intValue() == 0);
    onHorizontalSlider(sender);
}

void QVController::onRotationStepper(Control* sender) {
    if (!mState.m_bImageLoaded || !sender) return;
    // The stepper works as a delta on the slider's angle, kept within the slider's range, and rests
    // at 0 between clicks.
    const shell::CorrectionControl& rotation = *shell::correctionControlNamed("rotation");
    double angle = (mMain.m_pRotationSlider ? mMain.m_pRotationSlider->doubleValue() : 0.0) + sender->floatValue();
    sender->setDoubleValue(0);
    angle = std::clamp(angle, rotation.range.minimum, rotation.range.maximum);
    allowInsideCrop(angle == 0);
    qv::UserDefaults::standard().set(rotation.defaultsKey, qv::Value(float(angle)));
    onHorizontalSlider(sender);
}

void QVController::onCropRadioButton(Control* sender) {
    if (!mState.m_bImageLoaded) return;
    setCropOption(dynamic_cast<qv::ui::Matrix*>(sender));
    onHorizontalSlider(sender);
}

void QVController::setCropOption(qv::ui::Matrix* matrix) {
    if (!matrix) return;
    auto cell = matrix->selectedCell();
    const int tag = cell ? cell->tag() : int(shell::CropChoice::None);
    mState.mCropInside = tag == int(shell::CropChoice::Inside);
    mState.mCropOutside = tag == int(shell::CropChoice::Outside);
    mState.mCropNone = !mState.mCropInside && !mState.mCropOutside;
}

// ---- Chromatic aberration, vignetting, scale ----

void QVController::onFixRedSlider(Control*) {
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->chromaticAberration();
    markWindowEdited();
}

void QVController::onFixGreenSlider(Control* sender) { onFixRedSlider(sender); }
void QVController::onFixBlueSlider(Control* sender) { onFixRedSlider(sender); }

void QVController::onAmountSlider(Control*) {
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->applyVignet();
    markWindowEdited();
}

void QVController::onMidpointSlider(Control* sender) { onAmountSlider(sender); }

void QVController::onScaleSlider(Control* sender) {
    if (!mState.m_bImageLoaded || !sender) return;
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setScaleValue(sender->doubleValue());
    markWindowEdited();
}

// ---- Field of view, preview, magnifier, grid ----

void QVController::onFOVCheckbox(Control* sender) {
    const bool typed = sender && sender->intValue() == qv::ui::kOnState;
    if (mMain.m_pFOVText) mMain.m_pFOVText->setEnabled(typed);
    if (typed) return;
    const qv::Size proxy = fixedSizeExtent();
    setDFOVwithWidth(proxy.width, proxy.height);
}

void QVController::onPreviewCheckbox(Control* sender) {
    if (mMain.m_pDisplayView && sender) mMain.m_pDisplayView->setPreviewImage(sender->intValue() == qv::ui::kOnState);
}

void QVController::onMagnifierButton(Control*) {
    const bool on = mMain.m_pMagnifierButton && mMain.m_pMagnifierButton->state() == qv::ui::kOnState;
    const int zoom = magnificationValue();
    if (mMain.m_pZoomPlusButton) mMain.m_pZoomPlusButton->setEnabled(on && zoom < kMaximumZoom);
    if (mMain.m_pZoomMinusButton) mMain.m_pZoomMinusButton->setEnabled(on && zoom > kMinimumZoom);
    if (!mMain.m_pDisplayView) return;
    mMain.m_pDisplayView->setMagnification(zoom);
    mMain.m_pDisplayView->showMagnifier(on);
}

void QVController::onZoomPlus(Control*) {
    int zoom = magnificationValue();
    zoom = zoom == kMinimumZoom ? 200 : zoom + 200;
    zoom = std::min(zoom, kMaximumZoom);
    if (mMain.m_pZoomPercentageText) mMain.m_pZoomPercentageText->setIntValue(zoom);
    if (mMain.m_pZoomMinusButton) mMain.m_pZoomMinusButton->setEnabled(true);
    if (mMain.m_pZoomPlusButton && zoom >= kMaximumZoom) mMain.m_pZoomPlusButton->setEnabled(false);
    if (!mMain.m_pDisplayView) return;
    mMain.m_pDisplayView->setMagnification(zoom);
    mMain.m_pDisplayView->showMagnifier(true);
}

void QVController::onZoomMinus(Control*) {
    int zoom = magnificationValue();
    zoom = zoom == 200 ? kMinimumZoom : zoom - 200;
    zoom = std::max(zoom, kMinimumZoom);
    if (mMain.m_pZoomPercentageText) mMain.m_pZoomPercentageText->setIntValue(zoom);
    if (mMain.m_pZoomPlusButton) mMain.m_pZoomPlusButton->setEnabled(true);
    if (mMain.m_pZoomMinusButton && zoom <= kMinimumZoom) mMain.m_pZoomMinusButton->setEnabled(false);
    if (!mMain.m_pDisplayView) return;
    mMain.m_pDisplayView->setMagnification(zoom);
    mMain.m_pDisplayView->showMagnifier(true);
}

void QVController::onShowGrid(Control*) {
    const bool on = mMain.m_pShowGridCheckbox && mMain.m_pShowGridCheckbox->state() == qv::ui::kOnState;
    if (mMain.m_pGridSlider) mMain.m_pGridSlider->setEnabled(on);
    if (mMain.m_pColorWell) mMain.m_pColorWell->setEnabled(on);
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setNeedsDisplay();
}

void QVController::onChangeGridSpacing(Control*) {
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setNeedsDisplay();
}

void QVController::onChangeGridColor(Control* sender) { onChangeGridSpacing(sender); }

// ---- Apply, revert, reset ----

void QVController::onApply(Control*) {
    if (!mState.m_bImageLoaded) return;
    if (mMain.m_pDisplayView) {
        mMain.m_pDisplayView->setBatchFlagTo(false);
        mMain.m_pDisplayView->applyCorrection();
    }
    if (correctionType() == CorrectionType::Fisheye) defish(nullptr);
    markWindowEdited();
}

void QVController::onRevert(Control*) {
    if (!mState.m_bImageLoaded) return;
    if (mMain.m_pDisplayView && !mState.mFEOriginalImagePath.empty() &&
        mMain.m_pDisplayView->setCIImageFromFile(mState.mFEOriginalImagePath))
        m_fisheye.shown.reset();  // the photo is shown as it was before the unwrap, and saved so
    resetValues();
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->revertImage();
}

void QVController::resetValues() {
    if (const shell::CorrectionControl* scale = shell::correctionControlNamed("scale")) {
        if (mMain.m_pScaleSlider) mMain.m_pScaleSlider->setIntValue(int(scale->range.initial));
        if (mMain.m_pScaleValueText) mMain.m_pScaleValueText->setIntValue(int(scale->range.initial));
    }
    auto& defaults = qv::UserDefaults::standard();
    // The fringe range goes back before the values do, so that a narrowed range clamps none of them.
    defaults.set(shell::keys::kFringeMaximum, qv::Value(float(shell::kFringeRange.maximum)));
    defaults.set(shell::keys::kFringeMinimum, qv::Value(float(shell::kFringeRange.minimum)));
    for (const shell::WindowSlider& slider : shell::windowSliders())
        defaults.set(slider.defaultsKey, qv::Value(float(slider.range.initial)));
}

// ---- Typing ----

void QVController::takeTypedFocalLength(float focal) {
    if (focal == 0 || focal < mState.mMinFocalLength || focal > mState.mMaxFocalLength) return;
    QVDatabaseLoader& loader = databaseLoader();
    const std::string lens = mMain.m_pLensText ? mMain.m_pLensText->stringValue() : std::string();
    const int index = loader.indexOfLens(lens);
    const auto values = index >= 0 ? loader.correctionValuesForIndex(index) : std::nullopt;
    if (!values) return;
    const double a = (*values)[1], b = (*values)[2], c = (*values)[3];
    setPTLensValues({a, b, c, double(float(1.0 - (a + b + c)))});
    setParameters();
    if (mState.m_pLensArray && mParametersSheet.m_pParametersTable) {
        for (std::size_t row = mState.m_pLensArray->size(); row-- > 0;)
            if ((*mState.m_pLensArray)[row].get(lens::keys::kLensName).stringOr("") == lens) {
                mParametersSheet.m_pParametersTable->selectRow(int(row));
                break;
            }
    }
    onLoadParameters(nullptr);
}

void QVController::controlTextDidChange(qv::ui::TextField& field) {
    if (!mState.m_bImageLoaded) return;
    // A slider's value field moves its slider, then the slider's action runs with the field.
    struct Pair {
        qv::ui::TextField* field;
        qv::ui::Slider* slider;
        void (QVController::*action)(Control*);
    };
    const Pair pairs[] = {{mMain.m_pRotationValueText, mMain.m_pRotationSlider, &QVController::onRotationSlider},
                          {mMain.m_pScaleValueText, mMain.m_pScaleSlider, &QVController::onScaleSlider},
                          {mMain.m_pRedValueText, mMain.m_pFixRedSlider, &QVController::onFixRedSlider},
                          {mMain.m_pGreenValueText, mMain.m_pFixGreenSlider, &QVController::onFixGreenSlider},
                          {mMain.m_pBlueValueText, mMain.m_pFixBlueSlider, &QVController::onFixBlueSlider},
                          {mMain.m_pVignetAmountText, mMain.m_pVigAmountSlider, &QVController::onAmountSlider},
                          {mMain.m_pVignetMidpointText, mMain.m_pVigMidpointSlider, &QVController::onMidpointSlider},
                          {mMain.m_pYawText, mMain.m_pHorizontalSlider, &QVController::onHorizontalSlider},
                          {mMain.m_pPitchText, mMain.m_pVerticalSlider, &QVController::onVerticalSlider},
                          {mMain.mAspectText, mMain.mAspectSlider, &QVController::onAspectSlider}};
    for (const Pair& pair : pairs) {
        if (pair.field != &field) continue;
        if (pair.slider) pair.slider->setFloatValue(field.floatValue());
        (this->*pair.action)(&field);
        return;
    }
    if (&field == mMain.m_pFOVText) {
        onHorizontalSlider(&field);
        return;
    }
    if (&field == mMain.mFocalLengthField) {
        takeTypedFocalLength(field.floatValue());
        return;
    }
    using namespace shell::keys;
    const std::pair<qv::ui::TextField*, const char*> fisheye[] = {{mFisheye.mFEOutputWidth, kFEOutputWidth},
                                                                  {mFisheye.mFEOutputHeight, kFEOutputHeight},
                                                                  {mFisheye.mFEInputFOV, kFEInputFOV},
                                                                  {mFisheye.mFEOutputFOV, kFEOutputFOV}};
    for (const auto& [fisheyeField, key] : fisheye) {
        if (fisheyeField != &field) continue;
        qv::UserDefaults::standard().set(key, qv::Value(field.floatValue()));
#ifdef QV_PLUGIN_BUILD
        // The plug-in's next session restores its fisheye fields from the preferences file.
        qv::PreferencesFile::update([&, key = key](qv::Value& root) { root[key] = field.floatValue(); });
#endif
    }
}

// ---- Fisheye type and sampler ----

void QVController::setCorrectionType(qv::ui::Matrix* sender) {
    auto cell = sender ? sender->selectedCell() : nullptr;
    if (!cell) return;
    const int tag = cell->tag();
    const CorrectionType type = CorrectionType(tag);
    mState.mFECorrectiontype = type;
    if (tag >= int(CorrectionType::Lens) && tag <= int(CorrectionType::None)) {
        const bool fisheye = type == CorrectionType::Fisheye, lens = type == CorrectionType::Lens;
        for (Control* control : std::initializer_list<Control*>{mFisheye.mFEOutputWidth, mFisheye.mFEOutputHeight,
                                                                mFisheye.mFEInputFOV, mFisheye.mFEOutputFOV,
                                                                mFisheye.mFESamplertypePopUp, mFisheye.mFEDefishButton})
            if (control) control->setEnabled(fisheye);
        for (Control* control :
             std::initializer_list<Control*>{mMain.m_pDatabaseButton, mMain.m_pLensButton, mMain.mFocalLengthField})
            if (control) control->setEnabled(lens);
    }
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setNeedsDisplay();
}

void QVController::setSamplerType(qv::ui::PopUpButton* sender) {
    if (sender) mState.mFESamplerType = sender->indexOfSelectedItem();
}
