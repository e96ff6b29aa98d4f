// What the correction chain, the view and the batch read from the controls, taken whole on the main
// thread when a render starts, and the diagonal angle of view of the perspective correction.
#include "QVController.h"

#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "lens/QVFieldOfView.h"

namespace {

double valueOf(const qv::ui::Control* control) { return control ? control->doubleValue() : 0.0; }
bool isOn(const qv::ui::Button* button) { return button && button->state() == qv::ui::kOnState; }

}  // namespace

double QVController::yaw() const { return valueOf(mMain.m_pHorizontalSlider); }
double QVController::pitch() const { return valueOf(mMain.m_pVerticalSlider); }
double QVController::rotationAngle() const { return -valueOf(mMain.m_pRotationSlider); }
double QVController::aspectValue() const { return valueOf(mMain.mAspectSlider); }

bool QVController::isAutoScaleChecked() const {
    auto cell = mMain.m_pCropRadioButtons ? mMain.m_pCropRadioButtons->selectedCell() : nullptr;
    return cell && cell->tag() == 0;
}

double QVController::redValue() const { return 1.0 + valueOf(mMain.m_pFixRedSlider); }
double QVController::blueValue() const { return 1.0 + valueOf(mMain.m_pFixBlueSlider); }
double QVController::vignetMidpoint() const { return valueOf(mMain.m_pVigMidpointSlider); }
double QVController::vignetBrightness() const { return valueOf(mMain.m_pVigAmountSlider); }
bool QVController::isVignetRequired() const {
    return mMain.m_pVigAmountSlider && mMain.m_pVigAmountSlider->floatValue() != 0;
}
double QVController::scaleValue() const { return valueOf(mMain.m_pScaleSlider); }

bool QVController::previewCheckboxStatus() const { return isOn(mMain.m_pPreviewCheckbox); }
int QVController::magnificationValue() const {
    return mMain.m_pZoomPercentageText ? mMain.m_pZoomPercentageText->intValue() : 100;
}
bool QVController::showGrid() const { return isOn(mMain.m_pShowGridCheckbox); }
int QVController::gridSpacing() const { return mMain.m_pGridSlider ? mMain.m_pGridSlider->intValue() : 0; }
qv::ui::Color QVController::gridColor() const {
    return mMain.m_pColorWell ? mMain.m_pColorWell->color() : qv::ui::Color::yellowColor();
}

void QVController::setOriginalImagePath(const std::string& path) { mState.mOriginalImagePath = path; }

CorrectionParameters QVController::correctionParameters() {
    CorrectionParameters p;
    p.correctionType = correctionType();
    p.coefficients = correctionValues();
    p.red = redValue();
    p.green = greenValue();
    p.blue = blueValue();
    p.vignetRequired = isVignetRequired();
    p.vignetBrightness = vignetBrightness();
    p.vignetMidpoint = vignetMidpoint();
    p.scale = scaleValue();
    p.aspect = aspectValue();
    p.yaw = yaw();
    p.pitch = pitch();
    p.rotation = rotationAngle();
    p.angularWidthFor = angularWidthRule();
    p.cropNone = isCropNoneSelected();
    p.cropInside = isCropInsideSelected();
    p.cropOutside = isCropOutsideSelected();
    p.showGrid = showGrid();
    p.gridSpacing = gridSpacing();
    p.gridColor = gridColor();
    p.originalImagePath = originalImagePath();
    return p;
}

double QVController::focalLength() const { return valueOf(mMain.mFocalLengthField); }

float QVController::fishEyeOutputWidth() const { return float(valueOf(mFisheye.mFEOutputWidth)); }
float QVController::fishEyeOutputHeight() const { return float(valueOf(mFisheye.mFEOutputHeight)); }
float QVController::fishEyeInputFOV() const { return float(valueOf(mFisheye.mFEInputFOV)); }
float QVController::fishEyeOutputFOV() const { return float(valueOf(mFisheye.mFEOutputFOV)); }

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

double QVController::calculateVerticalFOVFromHFOV(double h, double width, double height) {
    return QVFieldOfView::calculateVerticalFOVFromHFOV(h, width, height);
}

double QVController::calculateDiagonalFOVFromHVOV(double h, double v) {
    return QVFieldOfView::calculateDiagonalFOVFromHVOV(h, v);
}

double QVController::degToRad(double degrees) { return QVFieldOfView::degToRad(degrees); }
double QVController::radToDeg(double radians) { return QVFieldOfView::radToDeg(radians); }
