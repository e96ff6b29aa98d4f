#pragma once
// The controller's outlets, one struct per window or sheet. They are plain pointers to objects the
// nib owns (the save panel's accessory controls excepted, which the controller makes); they are
// null until the nib sets them and every method of the controller copes with a missing one.
#include <memory>

#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/Matrix.h"
#include "appkit/Menu.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/SavePanel.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "shell/controller/QVDisplayViewLink.h"

class QVPreferences;

namespace shell {

struct MainWindowOutlets {
    qv::ui::Window* m_pWindow = nullptr;
    QVDisplayViewLink* m_pDisplayView = nullptr;
    qv::ui::Button* m_pOpenButton = nullptr;
    qv::ui::MenuItem* mPrefMenuItem = nullptr;
    // Perspective, aspect and field of view.
    qv::ui::Slider* m_pHorizontalSlider = nullptr;
    qv::ui::Slider* m_pVerticalSlider = nullptr;
    qv::ui::Slider* mAspectSlider = nullptr;
    qv::ui::TextField* m_pYawText = nullptr;
    qv::ui::TextField* m_pPitchText = nullptr;
    qv::ui::TextField* mAspectText = nullptr;
    qv::ui::Button* m_pFOVCheckbox = nullptr;
    qv::ui::TextField* m_pFOVText = nullptr;
    qv::ui::Button* mAutoScaleCheckbox = nullptr;
    qv::ui::Slider* m_pRotationSlider = nullptr;
    qv::ui::TextField* m_pRotationValueText = nullptr;
    qv::ui::Stepper* mRotaionStrpper = nullptr;
    // Fringes, vignetting, scale and crop.
    qv::ui::Slider* m_pFixRedSlider = nullptr;
    qv::ui::Slider* m_pFixGreenSlider = nullptr;
    qv::ui::Slider* m_pFixBlueSlider = nullptr;
    qv::ui::TextField* m_pRedValueText = nullptr;
    qv::ui::TextField* m_pGreenValueText = nullptr;
    qv::ui::TextField* m_pBlueValueText = nullptr;
    qv::ui::Slider* m_pVigMidpointSlider = nullptr;
    qv::ui::Slider* m_pVigAmountSlider = nullptr;
    qv::ui::TextField* m_pVignetAmountText = nullptr;
    qv::ui::TextField* m_pVignetMidpointText = nullptr;
    qv::ui::Slider* m_pScaleSlider = nullptr;
    qv::ui::TextField* m_pScaleValueText = nullptr;
    qv::ui::Matrix* m_pCropRadioButtons = nullptr;
    // Preview, magnifier and grid.
    qv::ui::Button* m_pPreviewCheckbox = nullptr;
    qv::ui::Button* m_pMagnifierButton = nullptr;
    qv::ui::Button* m_pZoomMinusButton = nullptr;
    qv::ui::Button* m_pZoomPlusButton = nullptr;
    qv::ui::TextField* m_pZoomPercentageText = nullptr;
    qv::ui::Slider* m_pGridSlider = nullptr;
    qv::ui::Button* m_pShowGridCheckbox = nullptr;
    qv::ui::ColorWell* m_pColorWell = nullptr;
    // The lens, the database and the photo's camera.
    qv::ui::TextField* mFocalLengthField = nullptr;
    qv::ui::TextField* mFocalLengthRange = nullptr;
    qv::ui::TextField* m_pLensText = nullptr;
    qv::ui::TextField* m_pDatabaseText = nullptr;
    qv::ui::TextField* m_pManufacturerText = nullptr;
    qv::ui::TextField* m_pCameraModelText = nullptr;
    qv::ui::TextField* m_pFocalLengthText = nullptr;
    qv::ui::Button* m_pDatabaseButton = nullptr;
    qv::ui::Button* m_pLensButton = nullptr;
};

// The fisheye controls of the main window.
struct FisheyeOutlets {
    qv::ui::TextField* mFEOutputWidth = nullptr;
    qv::ui::TextField* mFEOutputHeight = nullptr;
    qv::ui::TextField* mFEInputFOV = nullptr;
    qv::ui::TextField* mFEOutputFOV = nullptr;
    qv::ui::PopUpButton* mFESamplertypePopUp = nullptr;
    qv::ui::Button* mFEDefishButton = nullptr;
    qv::ui::ProgressIndicator* mFEUnwrapProgress = nullptr;
    qv::ui::TextField* mFEDefishingText = nullptr;
    qv::ui::Matrix* mFECorrectionTypeMatrix = nullptr;
};

struct ParametersSheetOutlets {
    qv::ui::Window* m_pParametersSheet = nullptr;
    qv::ui::TableView* m_pParametersTable = nullptr;
    qv::ui::Button* m_pLoadParametersButton = nullptr;
    qv::ui::PopUpButton* m_pPSManufacturerPopUp = nullptr;
    qv::ui::PopUpButton* m_pPSModelPopUp = nullptr;
    qv::ui::TextField* m_pPSDatabaseText = nullptr;
    qv::ui::TextField* m_pPSFocalLengthText = nullptr;
    qv::ui::TextField* m_pPSFieldOfViewText = nullptr;
    qv::ui::TextField* m_pPSRadialShiftModeText = nullptr;
    qv::ui::TextField* m_pPSLensTypeText = nullptr;
    qv::ui::TextField* m_pPSVigAmountText = nullptr;
    qv::ui::TextField* m_pPSVigMidpointText = nullptr;
    qv::ui::Matrix* m_pPSCorrectionMatrix = nullptr;
    qv::ui::Button* mShowMatchingLenses = nullptr;
};

struct DatabaseSheetOutlets {
    qv::ui::Window* m_pDatabaseSheet = nullptr;
    qv::ui::TableView* m_pCamNameTable = nullptr;
    qv::ui::TextField* m_pDatabasePathTextField = nullptr;
    qv::ui::Button* m_pLoadDatabaseButton = nullptr;
    qv::ui::Button* m_pEditDatabaseButton = nullptr;
};

struct LensSelectionOutlets {
    qv::ui::Window* mLensSelectionWindow = nullptr;
    qv::ui::TableView* mManufacturerList = nullptr;
    qv::ui::TableView* mAvailableLensList = nullptr;
    qv::ui::TableView* mMyLensList = nullptr;
    qv::ui::Button* mSelectLensSaveButton = nullptr;
    qv::ui::PopUpButton* mLensSelectionModelPopUp = nullptr;
};

struct PreferencesOutlets {
    qv::ui::Window* mPreferencesWindow = nullptr;
    QVPreferences* mQVPreferences = nullptr;
};

// The save panel's accessory view, made by the controller when first needed, and the Save As
// panel while it is shown.
struct SaveAccessoryOutlets {
    std::shared_ptr<qv::ui::View> m_pAccessoryView;
    qv::ui::PopUpButton* m_pFileFormatPopup = nullptr;
    // The JPEG quality: a field and a slider kept in step, and what the slider's ends mean.
    qv::ui::TextField* mQualityTextFiled = nullptr;
    qv::ui::Slider* mQualityAmountSlider = nullptr;
    qv::ui::View* mQualityDescription = nullptr;
    std::unique_ptr<qv::ui::TextFieldDelegate> mQualityTyping;  // typing a quality moves the slider
    // The TIFF compression and its label.
    qv::ui::PopUpButton* mCompressionType = nullptr;
    qv::ui::TextField* mCompressionTextLabel = nullptr;
    std::shared_ptr<qv::ui::SavePanel> m_pSavePanel;
};

}  // namespace shell
