// The main window's correction controls: each action re-runs the part of the preview chain that
// depends on it and marks the window edited; typed values move their sliders; Reset puts every
// control back through the user defaults the sliders are bound to.
#include "QVController.h"

#include <algorithm>

#include "foundation/UserDefaults.h"
#include "lens/LensKeys.h"
#include "shell/PreferenceKeys.h"

namespace {

constexpr int kCropNoneTag = 0;
constexpr int kCropInsideTag = 1;
constexpr int kCropOutsideTag = 2;
constexpr int kMinimumZoom = 100;
constexpr int kMaximumZoom = 800;

}  // namespace

// ---- Perspective ----

void QVController::onHorizontalSlider(Control*) {
    if (!m_bImageLoaded) return;
    if (m_pDisplayView) m_pDisplayView->perspective();
    markWindowEdited();
}

void QVController::onVerticalSlider(Control* sender) { onHorizontalSlider(sender); }
void QVController::onAspectSlider(Control* sender) { onHorizontalSlider(sender); }
void QVController::onAutoScaleChecked(Control* sender) { onHorizontalSlider(sender); }

void QVController::allowInsideCrop(bool allow) {
    if (!m_pCropRadioButtons) return;
    auto inside = m_pCropRadioButtons->cellWithTag(kCropInsideTag);
    if (!inside) return;
    inside->setEnabled(allow);
    // Rotating makes the inside crop unavailable: a selected inside crop becomes none.
    if (!allow && m_pCropRadioButtons->selectedCell() == inside) {
        m_pCropRadioButtons->selectCellWithTag(kCropNoneTag);
        setCropOption(m_pCropRadioButtons);
    }
}

void QVController::onRotationSlider(Control* sender) {
    if (!m_bImageLoaded) return;
    allowInsideCrop(sender && sender->intValue() == 0);
    onHorizontalSlider(sender);
}

void QVController::onRotationStepper(Control* sender) {
    if (!m_bImageLoaded || !sender) return;
    // The stepper works as a delta on the slider's angle and rests at 0 between clicks.
    double angle = -rotationAngle() + sender->floatValue();
    sender->setDoubleValue(0);
    angle = std::clamp(angle, -180.0, 180.0);
    allowInsideCrop(angle == 0);
    qv::UserDefaults::standard().set("rotationAngle", qv::Value(float(angle)));
    onHorizontalSlider(sender);
}

void QVController::onCropRadioButton(Control* sender) {
    if (!m_bImageLoaded) return;
    setCropOption(dynamic_cast<qv::ui::Matrix*>(sender));
    onHorizontalSlider(sender);
}

void QVController::setCropOption(qv::ui::Matrix* matrix) {
    if (!matrix) return;
    auto cell = matrix->selectedCell();
    const int tag = cell ? cell->tag() : kCropNoneTag;
    mCropInside = tag == kCropInsideTag;
    mCropOutside = tag == kCropOutsideTag;
    mCropNone = !mCropInside && !mCropOutside;
}

// ---- Chromatic aberration, vignetting, scale ----

void QVController::onFixRedSlider(Control*) {
    if (m_pDisplayView) m_pDisplayView->chromaticAberration();
    markWindowEdited();
}

void QVController::onFixGreenSlider(Control* sender) { onFixRedSlider(sender); }
void QVController::onFixBlueSlider(Control* sender) { onFixRedSlider(sender); }

void QVController::onAmountSlider(Control*) {
    if (m_pDisplayView) m_pDisplayView->applyVignet();
    markWindowEdited();
}

void QVController::onMidpointSlider(Control* sender) { onAmountSlider(sender); }

void QVController::onScaleSlider(Control* sender) {
    if (!m_bImageLoaded || !sender) return;
    if (m_pDisplayView) m_pDisplayView->setScaleValue(sender->doubleValue());
    markWindowEdited();
}

// ---- Field of view, preview, magnifier, grid ----

void QVController::onFOVCheckbox(Control* sender) {
    const bool typed = sender && sender->intValue() == qv::ui::kOnState;
    if (m_pFOVText) m_pFOVText->setEnabled(typed);
    if (typed) return;
    const qv::Size proxy = fixedSizeExtent();
    setDFOVwithWidth(proxy.width, proxy.height);
}

void QVController::onPreviewCheckbox(Control* sender) {
    if (m_pDisplayView && sender) m_pDisplayView->setPreviewImage(sender->intValue() == qv::ui::kOnState);
}

void QVController::onMagnifierButton(Control*) {
    const bool on = m_pMagnifierButton && m_pMagnifierButton->state() == qv::ui::kOnState;
    const int zoom = magnificationValue();
    if (m_pZoomPlusButton) m_pZoomPlusButton->setEnabled(on && zoom < kMaximumZoom);
    if (m_pZoomMinusButton) m_pZoomMinusButton->setEnabled(on && zoom > kMinimumZoom);
    if (!m_pDisplayView) return;
    m_pDisplayView->setMagnification(zoom);
    m_pDisplayView->showMagnifier(on);
}

void QVController::onZoomPlus(Control*) {
    int zoom = magnificationValue();
    zoom = zoom == kMinimumZoom ? 200 : zoom + 200;
    zoom = std::min(zoom, kMaximumZoom);
    if (m_pZoomPercentageText) m_pZoomPercentageText->setIntValue(zoom);
    if (m_pZoomMinusButton) m_pZoomMinusButton->setEnabled(true);
    if (m_pZoomPlusButton && zoom >= kMaximumZoom) m_pZoomPlusButton->setEnabled(false);
    if (!m_pDisplayView) return;
    m_pDisplayView->setMagnification(zoom);
    m_pDisplayView->showMagnifier(true);
}

void QVController::onZoomMinus(Control*) {
    int zoom = magnificationValue();
    zoom = zoom == 200 ? kMinimumZoom : zoom - 200;
    zoom = std::max(zoom, kMinimumZoom);
    if (m_pZoomPercentageText) m_pZoomPercentageText->setIntValue(zoom);
    if (m_pZoomPlusButton) m_pZoomPlusButton->setEnabled(true);
    if (m_pZoomMinusButton && zoom <= kMinimumZoom) m_pZoomMinusButton->setEnabled(false);
    if (!m_pDisplayView) return;
    m_pDisplayView->setMagnification(zoom);
    m_pDisplayView->showMagnifier(true);
}

void QVController::onShowGrid(Control*) {
    const bool on = showGrid();
    if (m_pGridSlider) m_pGridSlider->setEnabled(on);
    if (m_pColorWell) m_pColorWell->setEnabled(on);
    if (m_pDisplayView) m_pDisplayView->setNeedsDisplay();
}

void QVController::onChangeGridSpacing(Control*) {
    if (m_pDisplayView) m_pDisplayView->setNeedsDisplay();
}

void QVController::onChangeGridColor(Control* sender) { onChangeGridSpacing(sender); }

// ---- Apply, revert, reset ----

void QVController::onApply(Control*) {
    if (!m_bImageLoaded) return;
    if (m_pDisplayView) {
        m_pDisplayView->setBatchFlagTo(false);
        m_pDisplayView->applyCorrection();
    }
    if (correctionType() == 1) defish(nullptr);
    markWindowEdited();
}

void QVController::onRevert(Control*) {
    if (!m_bImageLoaded) return;
    if (m_pDisplayView && !mFEOriginalImagePath.empty() && m_pDisplayView->setCIImageFromFile(mFEOriginalImagePath))
        m_fisheye.shown.reset();  // the photo is shown as it was before the unwrap, and saved so
    resetValues();
    if (m_pDisplayView) m_pDisplayView->revertImage();
}

void QVController::resetValues() {
    if (m_pScaleSlider) m_pScaleSlider->setIntValue(100);
    if (m_pScaleValueText) m_pScaleValueText->setIntValue(100);
    auto& defaults = qv::UserDefaults::standard();
    const std::pair<const char*, float> resets[] = {
        {"chroMaticMax", 0.02f}, {"chroMaticMin", -0.02f}, {"redValue", 0.0f}, {"greenValue", 0.0f},
        {"blueValue", 0.0f},     {"rotationAngle", 0.0f},  {"scaleValue", 100.0f}, {"vigAmount", 0.0f},
        {"vigMidpoint", 0.0f},   {"yaw", 0.0f},            {"pitch", 0.0f},        {"aspect", 1.0f}};
    for (const auto& [key, value] : resets) defaults.set(key, qv::Value(value));
}

// ---- Typing ----

void QVController::takeTypedFocalLength(float focal) {
    if (focal == 0 || focal < mMinFocalLength || focal > mMaxFocalLength) return;
    QVDatabaseLoader& loader = databaseLoader();
    const std::string lens = m_pLensText ? m_pLensText->stringValue() : std::string();
    const int index = loader.indexOfLens(lens);
    const auto values = index >= 0 ? loader.correctionValuesForIndex(index) : std::nullopt;
    if (!values) return;
    const double a = (*values)[1], b = (*values)[2], c = (*values)[3];
    setPTLensValues({a, b, c, double(float(1.0 - (a + b + c)))});
    setParameters();
    if (m_pLensArray && m_pParametersTable) {
        for (std::size_t row = m_pLensArray->size(); row-- > 0;)
            if ((*m_pLensArray)[row].get(lens::keys::kLensName).stringOr("") == lens) {
                m_pParametersTable->selectRow(int(row));
                break;
            }
    }
    onLoadParameters(nullptr);
}

void QVController::controlTextDidChange(qv::ui::TextField& field) {
    if (!m_bImageLoaded) return;
    // A slider's value field moves its slider, then the slider's action runs with the field.
    struct Pair {
        qv::ui::TextField* field;
        qv::ui::Slider* slider;
        void (QVController::*action)(Control*);
    };
    const Pair pairs[] = {{m_pRotationValueText, m_pRotationSlider, &QVController::onRotationSlider},
                          {m_pScaleValueText, m_pScaleSlider, &QVController::onScaleSlider},
                          {m_pRedValueText, m_pFixRedSlider, &QVController::onFixRedSlider},
                          {m_pGreenValueText, m_pFixGreenSlider, &QVController::onFixGreenSlider},
                          {m_pBlueValueText, m_pFixBlueSlider, &QVController::onFixBlueSlider},
                          {m_pVignetAmountText, m_pVigAmountSlider, &QVController::onAmountSlider},
                          {m_pVignetMidpointText, m_pVigMidpointSlider, &QVController::onMidpointSlider},
                          {m_pYawText, m_pHorizontalSlider, &QVController::onHorizontalSlider},
                          {m_pPitchText, m_pVerticalSlider, &QVController::onVerticalSlider},
                          {mAspectText, mAspectSlider, &QVController::onAspectSlider}};
    for (const Pair& pair : pairs) {
        if (pair.field != &field) continue;
        if (pair.slider) pair.slider->setFloatValue(field.floatValue());
        (this->*pair.action)(&field);
        return;
    }
    if (&field == m_pFOVText) {
        onHorizontalSlider(&field);
        return;
    }
    if (&field == mFocalLengthField) {
        takeTypedFocalLength(field.floatValue());
        return;
    }
    using namespace shell::keys;
    const std::pair<qv::ui::TextField*, const char*> fisheye[] = {{mFEOutputWidth, kFEOutputWidth},
                                                                  {mFEOutputHeight, kFEOutputHeight},
                                                                  {mFEInputFOV, kFEInputFOV},
                                                                  {mFEOutputFOV, kFEOutputFOV}};
    for (const auto& [fisheyeField, key] : fisheye)
        if (fisheyeField == &field) qv::UserDefaults::standard().set(key, qv::Value(field.floatValue()));
}

// ---- Fisheye type and sampler ----

void QVController::setCorrectionType(qv::ui::Matrix* sender) {
    auto cell = sender ? sender->selectedCell() : nullptr;
    if (!cell) return;
    const int type = cell->tag();
    mFECorrectiontype = type;
    if (type >= 0 && type <= 2) {
        const bool fisheye = type == 1, lens = type == 0;
        for (Control* control : std::initializer_list<Control*>{mFEOutputWidth, mFEOutputHeight, mFEInputFOV,
                                                                mFEOutputFOV, mFESamplertypePopUp, mFEDefishButton})
            if (control) control->setEnabled(fisheye);
        for (Control* control : std::initializer_list<Control*>{m_pDatabaseButton, m_pLensButton, mFocalLengthField})
            if (control) control->setEnabled(lens);
    }
    if (m_pDisplayView) m_pDisplayView->setNeedsDisplay();
}

void QVController::setSamplerType(qv::ui::PopUpButton* sender) {
    if (sender) mFESamplerType = sender->indexOfSelectedItem();
}
