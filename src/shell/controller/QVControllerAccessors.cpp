// What the correction chain, the view and the batch read from the controls, taken whole on the main
// thread when a render starts, and the diagonal angle of view of the perspective correction.
#include "shell/controller/QVController.h"

#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "lens/QVFieldOfView.h"
#include "shell/controller/CorrectionControls.h"

namespace {

double valueOf(const qv::ui::Control* control) { return control ? control->doubleValue() : 0.0; }
bool isOn(const qv::ui::Button* button) { return button && button->state() == qv::ui::kOnState; }

}  // namespace

bool QVController::isAutoScaleChecked() const {
    auto cell = mMain.m_pCropRadioButtons ? mMain.m_pCropRadioButtons->selectedCell() : nullptr;
    return cell && cell->tag() == int(shell::CropChoice::None);
}

bool QVController::previewCheckboxStatus() const { return isOn(mMain.m_pPreviewCheckbox); }
int QVController::magnificationValue() const {
    return mMain.m_pZoomPercentageText ? mMain.m_pZoomPercentageText->intValue() : 100;
}

void QVController::setOriginalImagePath(const std::string& path) { mState.mOriginalImagePath = path; }

CorrectionParameters QVController::correctionParameters() {
    const shell::MainWindowOutlets& m = mMain;
    CorrectionParameters p;
    p.correctionType = correctionType();
    p.coefficients = correctionValues();
    // The sliders' parameters, as the control table maps each.
    for (const shell::CorrectionControl& control : shell::correctionControls())
        if (control.parameter) p.*control.parameter = shell::parameterOf(control, valueOf(control.outlet(*this)));
    p.green = 1.0;
    p.vignetRequired = m.m_pVigAmountSlider && m.m_pVigAmountSlider->floatValue() != 0;
    p.angularWidthFor = angularWidthRule();
    p.cropNone = mState.mCropNone;
    p.cropInside = mState.mCropInside;
    p.cropOutside = mState.mCropOutside;
    p.showGrid = isOn(m.m_pShowGridCheckbox);
    p.gridSpacing = m.m_pGridSlider ? m.m_pGridSlider->intValue() : 0;
    p.gridColor = m.m_pColorWell ? m.m_pColorWell->color() : qv::ui::Color::yellowColor();
    p.originalImagePath = originalImagePath();
    return p;
}

// The focal length the loader takes a zoom's coefficients at: the field's, or while a batch photo
// is in hand that photo's own, so each photo of a run gets its lens's coefficients at its own focal
// length while the field keeps showing the window's.
double QVController::focalLength() const {
    return batchPhotoFocalLength().value_or(valueOf(mMain.mFocalLengthField));
}

shell::UnwrapSettings QVController::fisheyeSettings() const {
    shell::UnwrapSettings settings;
    settings.width = float(valueOf(mFisheye.mFEOutputWidth));
    settings.height = float(valueOf(mFisheye.mFEOutputHeight));
    settings.inputFOV = float(valueOf(mFisheye.mFEInputFOV));
    settings.outputFOV = float(valueOf(mFisheye.mFEOutputFOV));
    settings.sampler = mState.mFESamplerType.load();
    return settings;
}

bool QVController::isBatchRunning() const {
    return mMain.m_pDisplayView && mMain.m_pDisplayView->isBatchProcessInProgress();
}

qv::Size QVController::fixedSizeExtent() {
    if (!mMain.m_pDisplayView) return {};
    const qv::Rect extent = mMain.m_pDisplayView->scaleToFixedSize(mMain.m_pDisplayView->ciImage()).extent();
    if (extent.isNull() || !extent.isFinite()) return {};
    return extent.size;
}

// ---- Field of view ----

// The angle setDFOVwithWidth settles on for a size, from the field-of-view controls as they stand.
std::function<double(double, double)> QVController::angularWidthRule() const {
    const bool typed = isOn(mMain.m_pFOVCheckbox);
    const double typedAngle = valueOf(mMain.m_pFOVText), lensAngle = typed ? 0.0 : lensDBFieldOfView();
    return [typed, typedAngle, lensAngle](double width, double height) {
        return QVFieldOfView::angularWidth(typed, typedAngle, lensAngle, width, height);
    };
}

void QVController::setDFOVwithWidth(double width, double height) {
    const double angle = angularWidthRule()(width, height);
    mState.m_dAngularWidth = angle;
    // The field shows the angle in use, also while it is disabled; controls change on the main thread.
    if (!mMain.m_pFOVText) return;
    qv::ui::TextField* field = mMain.m_pFOVText;
    auto show = [field, angle] { field->setFloatValue(float(angle)); };
    if (qv::isMainThread())
        show();
    else
        qv::performOnMainThread(show, false);
}

double QVController::lensDBFieldOfView() const {
    // A selected row implies a working list: a table drops its selection when its rows go.
    return mParametersSheet.m_pParametersTable && mParametersSheet.m_pParametersTable->selectedRow() >= 0
               ? focalLength()
               : 0.0;
}
