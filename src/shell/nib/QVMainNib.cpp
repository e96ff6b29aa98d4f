#include "shell/nib/QVMainNib.h"

#include <initializer_list>
#include <tuple>
#include <vector>

#include "appkit/Application.h"
#include "engine/CorrectionParameters.h"
#include "foundation/Bundle.h"
#include "foundation/UserDefaults.h"
#include "lens/OwnedLensDrag.h"
#include "lens/UserLensRecord.h"
#include "shell/nib/MainNibParts.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/batch/QVBatchNib.h"
#include "unwrap/Sampler.h"

namespace shell::nibparts {

using namespace qv::ui;
using qv::Rect;

namespace {

// The preview fills the left of the window below the lens and photo information; the window can
// be made larger, not smaller, so that every control stays in view.
const Rect kMainWindowFrame(100, 100, 1100, 760);
const Rect kPreviewFrame(20, 20, 520, 612);

// As the window grows, the preview grows with it, the information above it keeps to the top (the
// lens name widening with the preview) and the two columns of controls keep to the top right.
void followWindowSize(Window& w, View* preview) {
    w.setMinSize(kMainWindowFrame.size);
    for (const auto& view : w.contentView()->subviews()) {
        const Rect frame = view->frame();
        if (view.get() == preview)
            view->setAutoresizingMask(kViewWidthSizable | kViewHeightSizable);
        else if (frame.minX() >= kPreviewFrame.maxX())
            view->setAutoresizingMask(kViewMinXMargin | kViewMinYMargin);
        else
            view->setAutoresizingMask(kViewMinYMargin);
    }
}

}  // namespace

Window& buildMainWindow(Builder& k, const MainWindowLayout& layout, QVDisplayViewLink* view, RangeBindings& ranges,
                        QVMainNib& result) {
    QVController& c = k.c;
    auto window = k.window(kMainWindowFrame, layout.title, false);
    window->setDelegate(&c);
    c.mainWindow().m_pWindow = window.get();
    Window& w = *window;
    std::shared_ptr<View> preview;
    if (!view) {
        result.displayView = k.b.makeIn<QVDisplayView>(w, kPreviewFrame, layout.deliverable);
        result.displayViewAdapter = std::make_unique<QVDisplayViewAdapter>(*result.displayView);
        view = result.displayViewAdapter.get();
        preview = result.displayView;
    }
    c.mainWindow().m_pDisplayView = view;
    const char* enable = shell::keys::kEnableControl;

    // Lens and photo information, above the preview.
    Column info(20, 740, 520);
    auto top = info.split(4);
    c.mainWindow().m_pOpenButton = k.button(w, top[0], "Open", &QVController::onLoadImage).get();
    c.mainWindow().m_pOpenButton->bindEnabled(k.defaults, shell::keys::kOpenButton);
    c.mainWindow().m_pOpenButton->setHidden(layout.hostChoosesPhoto);
    c.mainWindow().m_pDatabaseButton = k.button(w, top[1], "Database", &QVController::onDatabase).get();
    c.mainWindow().m_pLensButton = k.button(w, top[2], "Lens", &QVController::onParameters).get();
    k.button(w, top[3], "QuorvelCI", &QVController::onZentuButton);
    auto camera = info.cells({64, 150, 0, 90});
    c.mainWindow().m_pManufacturerText = k.field(w, camera[1], "Camera make", false).get();
    k.labelFor(w, camera[0], "Camera", *c.mainWindow().m_pManufacturerText);
    c.mainWindow().m_pCameraModelText = k.field(w, camera[2], "Camera model", false).get();
    c.mainWindow().m_pFocalLengthText = k.field(w, camera[3], "Focal length of the photo", false).get();
    auto lens = info.cells({64, 0});
    c.mainWindow().m_pLensText = k.field(w, lens[1], "Lens in use", false).get();
    k.labelFor(w, lens[0], "Lens", *c.mainWindow().m_pLensText);
    auto focal = info.cells({64, 0, 90, 60, 110});
    c.mainWindow().m_pDatabaseText = k.field(w, focal[1], "Lens database", false).get();
    k.labelFor(w, focal[0], "Database", *c.mainWindow().m_pDatabaseText);
    c.mainWindow().mFocalLengthField = k.field(w, focal[3], "Focal length").get();
    k.labelFor(w, focal[2], "Focal length", *c.mainWindow().mFocalLengthField);
    c.mainWindow().mFocalLengthRange = k.field(w, focal[4], "Focal range of the lens", false).get();

    // Perspective, crop and fisheye controls in the middle column.
    Column left(560, 740, 250);
    k.heading(w, left, "Perspective");
    std::tie(c.mainWindow().m_pHorizontalSlider, c.mainWindow().m_pYawText) =
        k.slider(w, left, "yaw", "Yaw", &QVController::onHorizontalSlider);
    std::tie(c.mainWindow().m_pVerticalSlider, c.mainWindow().m_pPitchText) =
        k.slider(w, left, "pitch", "Pitch", &QVController::onVerticalSlider);
    std::tie(c.mainWindow().mAspectSlider, c.mainWindow().mAspectText) =
        k.slider(w, left, "aspect", "Aspect", &QVController::onAspectSlider);
    std::tie(c.mainWindow().m_pRotationSlider, c.mainWindow().m_pRotationValueText) =
        k.slider(w, left, "rotationAngle", "Rotation", &QVController::onRotationSlider);
    auto stepperRow = left.cells({86, 60});
    auto stepper = k.b.makeIn<Stepper>(w, stepperRow[1]);
    stepper->setAccessibilityLabel("Rotation step");
    stepper->setMinValue(-180);
    stepper->setMaxValue(180);
    stepper->setValueWraps(false);
    stepper->setDoubleValue(0);
    stepper->setTarget(&c, &QVController::onRotationStepper);
    stepper->bindEnabled(k.defaults, enable);
    k.labelFor(w, stepperRow[0], "Rotate by", *stepper);
    c.mainWindow().mRotaionStrpper = stepper.get();
    auto fov = left.split(2);
    c.mainWindow().m_pFOVCheckbox =
        k.button(w, fov[0], "Field of view", &QVController::onFOVCheckbox, ButtonType::Switch).get();
    c.mainWindow().m_pFOVCheckbox->bindEnabled(k.defaults, enable);
    c.mainWindow().m_pFOVText = k.field(w, fov[1], "Field of view in degrees").get();
    c.mainWindow().m_pFOVText->setEnabled(false);

    k.heading(w, left, "Scale and crop");
    std::tie(c.mainWindow().m_pScaleSlider, c.mainWindow().m_pScaleValueText) =
        k.slider(w, left, "scaleValue", "Scale", &QVController::onScaleSlider);
    auto cropRow = left.cells({86, 0}, 66);
    const std::vector<int> cropTags = {int(shell::CropChoice::None), int(shell::CropChoice::Inside),
                                       int(shell::CropChoice::Outside)};
    auto crop = Matrix::radioColumn(cropRow[1], {"None", "Inside", "Outside"}, cropTags);
    crop->setAccessibilityLabel("Crop");
    k.b.add(crop);
    w.contentView()->addSubview(crop);
    k.labelFor(w, Rect(cropRow[0].minX(), cropRow[0].maxY() - 22, cropRow[0].width(), 22), "Crop", *crop);
    crop->setTarget(&c, &QVController::onCropRadioButton);
    crop->bindEnabled(k.defaults, enable);
    c.mainWindow().m_pCropRadioButtons = crop.get();
    c.mainWindow().mAutoScaleCheckbox =
        k.button(w, left.next(), "Auto scale", &QVController::onAutoScaleChecked, ButtonType::Switch).get();
    c.mainWindow().mAutoScaleCheckbox->bindEnabled(k.defaults, enable);

    k.heading(w, left, "Fisheye");
    const std::vector<int> typeTags = {int(CorrectionType::Lens), int(CorrectionType::Fisheye),
                                       int(CorrectionType::None)};
    auto type = Matrix::radioColumn(left.next(66), {"Lens correction", "Fisheye", "None"}, typeTags);
    type->setAccessibilityLabel("Correction type");
    k.b.add(type);
    w.contentView()->addSubview(type);
    type->setTarget(&c, &QVController::setCorrectionType);
    c.fisheye().mFECorrectionTypeMatrix = type.get();
    auto size = left.cells({50, 0, 50, 0});
    c.fisheye().mFEOutputWidth = k.field(w, size[1], "Output width").get();
    k.labelFor(w, size[0], "Width", *c.fisheye().mFEOutputWidth);
    c.fisheye().mFEOutputHeight = k.field(w, size[3], "Output height").get();
    k.labelFor(w, size[2], "Height", *c.fisheye().mFEOutputHeight);
    c.fisheye().mFEInputFOV = k.labelledField(w, left, "Input field of view", true, 150).get();
    c.fisheye().mFEOutputFOV = k.labelledField(w, left, "Output field of view", true, 150).get();
    PopUpButton* sampler = k.labelledPopUp(w, left, "Filter", 50);
    sampler->setAccessibilityLabel("Sampler");
    // Each item's tag is its sampler's code, which is also its position: the sampler is stored by
    // position and restored by tag.
    for (const unwrap::SamplerInfo& info : unwrap::kSamplers) {
        sampler->addItemWithTitle(info.title);
        sampler->setTagAtIndex(sampler->numberOfItems() - 1, unwrap::samplerCode(info.sampler));
    }
    sampler->selectItemAtIndex(unwrap::samplerCode(unwrap::kDefaultSampler));
    sampler->setTarget(&c, &QVController::setSamplerType);
    c.fisheye().mFESamplertypePopUp = sampler;
    auto unwrapRow = left.split(2);
    c.fisheye().mFEDefishButton = k.button(w, unwrapRow[0], "Unwrap", &QVController::defish).get();
    auto progress = k.b.makeIn<ProgressIndicator>(w, unwrapRow[1]);
    progress->setAccessibilityLabel("Unwrap progress");
    progress->setHidden(true);
    c.fisheye().mFEUnwrapProgress = progress.get();
    c.fisheye().mFEDefishingText = k.label(w, left.next(), "Unwrapping...").get();
    c.fisheye().mFEDefishingText->setHidden(true);

    // Fringe, vignetting and the view's own controls in the right column.
    Column right(830, 740, 250);
    k.heading(w, right, "Colour fringe");
    std::tie(c.mainWindow().m_pFixRedSlider, c.mainWindow().m_pRedValueText) =
        k.slider(w, right, "redValue", "Red", &QVController::onFixRedSlider);
    std::tie(c.mainWindow().m_pFixGreenSlider, c.mainWindow().m_pGreenValueText) =
        k.slider(w, right, "greenValue", "Green", &QVController::onFixGreenSlider);
    std::tie(c.mainWindow().m_pFixBlueSlider, c.mainWindow().m_pBlueValueText) =
        k.slider(w, right, "blueValue", "Blue", &QVController::onFixBlueSlider);
    for (Slider* fringe :
         {c.mainWindow().m_pFixRedSlider, c.mainWindow().m_pFixGreenSlider, c.mainWindow().m_pFixBlueSlider})
        ranges.bindRange(*fringe, k.defaults, shell::keys::kFringeMinimum, shell::keys::kFringeMaximum);
    k.heading(w, right, "Vignetting");
    std::tie(c.mainWindow().m_pVigAmountSlider, c.mainWindow().m_pVignetAmountText) =
        k.slider(w, right, "vigAmount", "Amount", &QVController::onAmountSlider);
    std::tie(c.mainWindow().m_pVigMidpointSlider, c.mainWindow().m_pVignetMidpointText) =
        k.slider(w, right, "vigMidpoint", "Midpoint", &QVController::onMidpointSlider);
    c.mainWindow().m_pVigAmountSlider->setAccessibilityLabel("Vignetting amount");
    c.mainWindow().m_pVigMidpointSlider->setAccessibilityLabel("Vignetting midpoint");
    c.mainWindow().m_pVignetAmountText->setAccessibilityLabel("Vignetting amount value");
    c.mainWindow().m_pVignetMidpointText->setAccessibilityLabel("Vignetting midpoint value");

    k.heading(w, right, "View");
    c.mainWindow().m_pPreviewCheckbox =
        k.button(w, right.next(), "Preview", &QVController::onPreviewCheckbox, ButtonType::Switch).get();
    c.mainWindow().m_pPreviewCheckbox->setState(kOnState);
    auto zoom = right.split(4);
    c.mainWindow().m_pMagnifierButton =
        k.button(w, zoom[0], "Magnifier", &QVController::onMagnifierButton, ButtonType::Toggle).get();
    c.mainWindow().m_pZoomMinusButton = k.button(w, zoom[1], "-", &QVController::onZoomMinus).get();
    c.mainWindow().m_pZoomPlusButton = k.button(w, zoom[2], "+", &QVController::onZoomPlus).get();
    c.mainWindow().m_pZoomMinusButton->setAccessibilityLabel("Zoom out");
    c.mainWindow().m_pZoomPlusButton->setAccessibilityLabel("Zoom in");
    c.mainWindow().m_pZoomPercentageText = k.field(w, zoom[3], "Zoom per cent", false).get();
    c.mainWindow().m_pZoomPercentageText->setIntValue(100);
    c.mainWindow().m_pZoomMinusButton->setEnabled(false);
    c.mainWindow().m_pZoomPlusButton->setEnabled(false);
    auto grid = right.split(3);
    c.mainWindow().m_pShowGridCheckbox =
        k.button(w, grid[0], "Grid", &QVController::onShowGrid, ButtonType::Switch).get();
    auto gridSlider = k.b.makeIn<Slider>(w, grid[1], 10, 200, 50);
    gridSlider->setAccessibilityLabel("Grid spacing");
    gridSlider->setTarget(&c, &QVController::onChangeGridSpacing);
    gridSlider->setEnabled(false);
    c.mainWindow().m_pGridSlider = gridSlider.get();
    auto well = k.b.makeIn<ColorWell>(w, grid[2], Color::yellowColor());
    well->setAccessibilityLabel("Grid colour");
    well->setTarget(&c, &QVController::onChangeGridColor);
    well->setEnabled(false);
    c.mainWindow().m_pColorWell = well.get();
    right.next(8);
    auto applyRow = right.split(2);
    k.button(w, applyRow[0], "Apply", &QVController::onApply)->bindEnabled(k.defaults, enable);
    k.button(w, applyRow[1], "Revert", &QVController::onRevert)->bindEnabled(k.defaults, enable);

    followWindowSize(w, preview.get());
    c.mainWindow().m_pLensText->setAutoresizingMask(kViewWidthSizable | kViewMinYMargin);
    return w;
}

void buildParametersSheet(Builder& k) {
    QVController& c = k.c;
    auto sheet = k.window(Rect(0, 0, 560, 460), "Lens parameters", true);
    c.parametersSheet().m_pParametersSheet = sheet.get();
    Window& w = *sheet;
    c.parametersSheet().m_pParametersTable = k.table(w, Rect(20, 160, 250, 280), "lens", "Lenses", &c, &c);
    Column side(290, 440, 250);
    c.parametersSheet().m_pPSDatabaseText = k.labelledField(w, side, "Lens database", false).get();
    c.parametersSheet().m_pPSManufacturerPopUp = k.labelledPopUp(w, side, "Camera make");
    PopUpButton* model = k.labelledPopUp(w, side, "Camera model");
    model->setTarget(&c, &QVController::onChangeModel);
    c.parametersSheet().m_pPSModelPopUp = model;
    c.parametersSheet().mShowMatchingLenses = k.button(w, side.next(), "Only lenses for this focal length",
                                                       &QVController::onShowsMatchingLenses, ButtonType::Switch)
                                                  .get();
    c.parametersSheet().m_pPSFocalLengthText = k.labelledField(w, side, "Focal length", false).get();
    c.parametersSheet().m_pPSFocalLengthText->setFractionDigits(2);
    c.parametersSheet().m_pPSFieldOfViewText = k.labelledField(w, side, "Field of view", false).get();
    c.parametersSheet().m_pPSRadialShiftModeText = k.labelledField(w, side, "Radial shift mode", false).get();
    c.parametersSheet().m_pPSLensTypeText = k.labelledField(w, side, "Lens type", false).get();
    c.parametersSheet().m_pPSVigAmountText = k.labelledField(w, side, "Vignetting amount", false).get();
    c.parametersSheet().m_pPSVigMidpointText = k.labelledField(w, side, "Vignetting midpoint", false).get();
    c.parametersSheet().m_pPSCorrectionMatrix =
        k.numberColumn(w, Rect(20, 40, 250, 108), 4, "Coefficient", {"a", "b", "c", "d"});
    auto buttons = Column(290, 60, 250).split(2);
    c.parametersSheet().m_pLoadParametersButton =
        k.button(w, buttons[0], "Load", &QVController::onLoadParameters).get();
    c.parametersSheet().m_pLoadParametersButton->setEnabled(false);
    k.button(w, buttons[1], "Close", &QVController::onCloseParameters);
}

void buildDatabaseSheet(Builder& k) {
    QVController& c = k.c;
    auto sheet = k.window(Rect(0, 0, 480, 380), "Lens databases", true);
    c.databaseSheet().m_pDatabaseSheet = sheet.get();
    Window& w = *sheet;
    c.databaseSheet().m_pCamNameTable = k.table(w, Rect(20, 110, 440, 250), "database", "Lens databases", &c, &c);
    c.databaseSheet().m_pDatabasePathTextField = k.field(w, Rect(20, 80, 440, 22), "Database file", false).get();
    auto buttons = Column(20, 50, 440).split(5);
    k.button(w, buttons[0], "Browse", &QVController::onBrowseDatabase);
    c.databaseSheet().m_pLoadDatabaseButton = k.button(w, buttons[1], "Load", &QVController::onLoadDatabase).get();
    c.databaseSheet().m_pEditDatabaseButton = k.button(w, buttons[2], "Edit", &QVController::onEditDatabase).get();
    k.button(w, buttons[3], "New", &QVController::onCreateNewDatabase);
    k.button(w, buttons[4], "Close", &QVController::onCloseDatabase);
    c.databaseSheet().m_pLoadDatabaseButton->setEnabled(false);
    c.databaseSheet().m_pEditDatabaseButton->setEnabled(false);
}

void buildEditDatabaseSheet(Builder& k) {
    QVController& c = k.c;
    const qv::Bundle bundle = qv::Bundle::main();
    auto sheet = k.window(Rect(0, 0, 640, 500), "Edit lens database", true);
    c.editSheet().m_pEditDatabaseSheet = sheet.get();
    Window& w = *sheet;
    c.editSheet().m_pESLensNameTable = k.table(w, Rect(20, 120, 250, 360), "lens", "Lenses", &c, &c);
    Column side(290, 480, 330);
    c.editSheet().m_pESDatabaseText = k.labelledField(w, side, "Lens database", false).get();
    std::tie(c.editSheet().m_pESManufacturerText, c.editSheet().m_pESManufacturerPopUp) =
        k.fieldWithChoices(w, side, "Camera make", "Known camera makes", &QVController::onManufacturerPopup);
    std::tie(c.editSheet().m_pESModelText, c.editSheet().m_pESModelPopUp) =
        k.fieldWithChoices(w, side, "Camera model", "Known camera models", &QVController::onModelsPopup);
    auto name = side.cells({130, 0, 90});
    c.editSheet().m_pESLensNameText = k.field(w, name[1], "Lens name").get();
    k.labelFor(w, name[0], "Lens name", *c.editSheet().m_pESLensNameText);
    k.button(w, name[2], "Rename", &QVController::onUpdateLensName);
    c.editSheet().m_pESFocalLengthText = k.labelledField(w, side, "Focal length").get();
    c.editSheet().m_pESFieldOfViewText = k.labelledField(w, side, "Field of view").get();
    c.editSheet().m_pESVigAmountText = k.labelledField(w, side, "Vignetting amount").get();
    c.editSheet().m_pESVigMidpointText = k.labelledField(w, side, "Vignetting midpoint").get();
    PopUpButton* type = k.labelledPopUp(w, side, "Lens type");
    for (const auto& entry : lens::userdb::kLensTypes) type->addItemWithTitle(bundle.localizedString(entry.labelKey));
    c.editSheet().m_pESTypePopUp = type;
    PopUpButton* mode = k.labelledPopUp(w, side, "Radial shift mode");
    for (const auto& entry : lens::userdb::kRadialShiftModes) mode->addItemWithTitle(bundle.localizedString(entry.labelKey));
    c.editSheet().m_pESShiftModePopUP = mode;
    c.editSheet().m_pESMatrix =
        k.numberColumn(w, side.next(156), 8, "Coefficient",
                       {"Red A", "Red B", "Red C", "Red D", "Red Horizontal Shift", "Red Vertical Shift",
                        "Red Horizontal Shear", "Red Vertical Shear"});
    auto buttons = Column(20, 60, 600).split(4);
    k.button(w, buttons[0], "Add", &QVController::onAddLens);
    k.button(w, buttons[1], "Delete", &QVController::onDeleteLens);
    k.button(w, buttons[2], "Cancel", &QVController::onCancelEditDatabase);
    c.editSheet().m_pESSaveDatabaseButton =
        k.button(w, buttons[3], bundle.localizedString("Save"), &QVController::onSaveDatabase).get();
}

void buildLensSelectionWindow(Builder& k) {
    QVController& c = k.c;
    auto window = k.window(Rect(150, 150, 900, 440), "My lenses", true);
    c.lensSelection().mLensSelectionWindow = window.get();
    Window& w = *window;
    c.lensSelection().mManufacturerList = k.table(w, Rect(20, 80, 200, 300), "make", "Camera makes", &c, &c);
    PopUpButton* models = k.popUp(w, Rect(240, 396, 300, 22), "Camera model");
    models->setTarget(&c, &QVController::onChangeSelectionModelPopUp);
    c.lensSelection().mLensSelectionModelPopUp = models;
    c.lensSelection().mAvailableLensList = k.table(w, Rect(240, 80, 300, 300), "lens", "Lenses", &c, &c);
    c.lensSelection().mAvailableLensList->setAllowsMultipleSelection(true);
    c.lensSelection().mMyLensList = k.table(w, Rect(580, 80, 300, 300), "owned", "My lenses", &c, &c);
    auto buttons = Column(20, 50, 860).split(4);
    k.button(w, buttons[0], "Add", &QVController::onAddLensToMyLensList);
    k.button(w, buttons[1], "Remove", &QVController::onRemoveLensFromMyLensList);
    k.button(w, buttons[2], qv::localizedString("Cancel"), &QVController::onCancelSelectedLenses);
    c.lensSelection().mSelectLensSaveButton =
        k.button(w, buttons[3], qv::localizedString("Save"), &QVController::onSaveSelectedLenses).get();
}

PreferencesButtons buildPreferencesWindow(Builder& k, QVPreferences& preferences) {
    auto window = k.window(Rect(200, 200, 360, 340), "Preferences", true);
    k.c.preferences().mPreferencesWindow = window.get();
    preferences.mWindow = window.get();
    Window& w = *window;
    preferences.mLensTable = k.table(w, Rect(20, 70, 320, 250), "lens", "My lenses", &preferences, nullptr);
    auto buttons = Column(20, 50, 320).split(3);
    auto remove = k.b.makeIn<Button>(w, buttons[0], "Remove");
    remove->setTarget(&preferences, &QVPreferences::onRemoveEntry);
    preferences.mRemoveButton = remove.get();
    auto cancel = k.b.makeIn<Button>(w, buttons[1], qv::localizedString("Cancel"));
    cancel->setTarget(&preferences, &QVPreferences::onCancel);
    auto ok = k.b.makeIn<Button>(w, buttons[2], qv::localizedString("OKButton"));
    ok->setTarget(&preferences, &QVPreferences::onOKPreferences);
    return {w, *cancel, *ok};
}

std::shared_ptr<Menu> buildMainMenu(QVController& c, bool photoCommands) {
    auto command = [&c](Menu& menu, const std::string& title, const std::string& action,
                        void (QVController::*method)(qv::ui::Control*)) {
        auto item = menu.addItem(title, action, [&c, method](MenuItem&) { (c.*method)(nullptr); });
        item->setTarget(&c);
        return item;
    };
    auto main = std::make_shared<Menu>("Main");
    auto application = std::make_shared<Menu>("QuorvelCI");
    command(*application, "About QuorvelCI", "onAbout:", &QVController::onAbout);
    c.mainWindow().mPrefMenuItem =
        command(*application, "Preferences…", "onPreferences:", &QVController::onPreferences).get();
    application->addItem("Quit QuorvelCI", "terminate:", [](MenuItem&) { Application::shared().terminate(); });
    auto file = std::make_shared<Menu>("File");
#ifndef QV_PLUGIN_BUILD  // the plug-in build has neither the save commands nor batch processing
    if (photoCommands) {
        command(*file, "Open…", "onLoadImage:", &QVController::onLoadImage);
        command(*file, "Save", "onSave:", &QVController::onSave);
        command(*file, "Save As…", "onSaveAs:", &QVController::onSaveAs);
        command(*file, "Batch…", "onBatchProcess:", &QVController::onBatchProcess);
    }
#else
    (void)photoCommands;
#endif
    auto lenses = std::make_shared<Menu>("Lenses");
    command(*lenses, "My Lenses…", "onPreferencesAddLenses:", &QVController::onPreferencesAddLenses);
    command(*lenses, "Databases…", "onDatabase:", &QVController::onDatabase);
    command(*lenses, "Lens Parameters…", "onParameters:", &QVController::onParameters);
    auto presets = std::make_shared<Menu>("Presets");
    command(*presets, "Load Preset…", "onLoadPreset:", &QVController::onLoadPreset);
    command(*presets, "Save Preset…", "onSavePreset:", &QVController::onSavePreset);
    for (const auto& submenu : {application, file, lenses, presets}) {
        if (submenu->numberOfItems() == 0) continue;
        auto item = main->addItem(submenu->title(), "", {});
        item->setSubmenu(submenu);
    }
    return main;
}

}  // namespace shell::nibparts

QVMainNib::~QVMainNib() {
    using qv::ui::Application;
    Application& application = Application::shared();
    if (mainMenu && application.mainMenu() == mainMenu) application.setMainMenu(nullptr);
}

QVMainNib loadMainNib(QVDisplayViewLink* view) {
    using namespace shell::nibparts;
    NibBuilder nib;
    auto controller = std::make_shared<QVController>();
    auto preferences = nib.add(std::make_shared<QVPreferences>());
    auto ranges = nib.make<RangeBindings>();
    Builder k(nib, *controller);
    QVMainNib result;
    buildMainWindow(k, MainWindowLayout{}, view, *ranges, result);
    buildParametersSheet(k);
    buildDatabaseSheet(k);
    buildEditDatabaseSheet(k);
    buildLensSelectionWindow(k);
    buildPreferencesWindow(k, *preferences);
#ifndef QV_PLUGIN_BUILD  // the plug-in has no batch processing
    result.batchController = buildBatchSheets(nib, *controller, controller->mainWindow().m_pDisplayView);
#endif
    controller->preferences().mQVPreferences = preferences.get();
    auto menu = buildMainMenu(*controller, true);

#ifndef QV_PLUGIN_BUILD  // inside a host, the plug-in is neither the main menu's owner nor the application's delegate
    Application& application = Application::shared();
    application.setMainMenu(menu);
    application.setDelegate(controller.get());
#endif
    nib.add(controller);  // last: its start-up runs once everything else is awake

    result.nib = nib.finish();
    result.controller = controller;
    result.preferences = preferences;
    result.mainMenu = menu;
    return result;
}
