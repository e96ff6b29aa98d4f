// What the correction chain, the view and the batch pull from the controls at the moment they
// run, and the diagonal angle of view of the perspective correction. These are called from save
// and batch threads too: controls' values may be read from any thread, and what the controller
// keeps for them is atomic or locked.
#include "QVController.h"

#include "foundation/RunLoop.h"
#include "foundation/Threads.h"
#include "lens/QVFieldOfView.h"

namespace {

double valueOf(const qv::ui::Control* control) { return control ? control->doubleValue() : 0.0; }
bool isOn(const qv::ui::Button* button) { return button && button->state() == qv::ui::kOnState; }

}  // namespace

double QVController::yaw() { return valueOf(mMain.m_pHorizontalSlider); }
double QVController::pitch() { return valueOf(mMain.m_pVerticalSlider); }
double QVController::rotationAngle() { return -valueOf(mMain.m_pRotationSlider); }
double QVController::aspectValue() { return valueOf(mMain.mAspectSlider); }

bool QVController::isAutoScaleChecked() const {
    auto cell = mMain.m_pCropRadioButtons ? mMain.m_pCropRadioButtons->selectedCell() : nullptr;
    return cell && cell->tag() == 0;
}

double QVController::redValue() { return 1.0 + valueOf(mMain.m_pFixRedSlider); }
double QVController::blueValue() { return 1.0 + valueOf(mMain.m_pFixBlueSlider); }
double QVController::vignetMidpoint() { return valueOf(mMain.m_pVigMidpointSlider); }
double QVController::vignetBrightness() { return valueOf(mMain.m_pVigAmountSlider); }
bool QVController::isVignetRequired() {
    return mMain.m_pVigAmountSlider && mMain.m_pVigAmountSlider->floatValue() != 0;
}
double QVController::scaleValue() { return valueOf(mMain.m_pScaleSlider); }

bool QVController::previewCheckboxStatus() const { return isOn(mMain.m_pPreviewCheckbox); }
int QVController::magnificationValue() const {
    return mMain.m_pZoomPercentageText ? mMain.m_pZoomPercentageText->intValue() : 100;
}
bool QVController::showGrid() const { return isOn(mMain.m_pShowGridCheckbox); }
int QVController::gridSpacing() const { return mMain.m_pGridSlider ? mMain.m_pGridSlider->intValue() : 0; }
qv::ui::Color QVController::gridColor() const {
    return mMain.m_pColorWell ? mMain.m_pColorWell->color() : qv::ui::Color::yellowColor();
}

std::string QVController::originalImagePath() {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    return mState.mOriginalImagePath;
}

void QVController::setOriginalImagePath(const std::string& path) {
    std::lock_guard<std::mutex> lock(m_pathMutex);
    mState.mOriginalImagePath = path;
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

void QVController::setDFOVwithWidth(double width, double height) {
    const bool typed = isOn(mMain.m_pFOVCheckbox);
    const double angle =
        QVFieldOfView::angularWidth(typed, valueOf(mMain.m_pFOVText), typed ? 0.0 : lensDBFieldOfView(), width, height);
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
