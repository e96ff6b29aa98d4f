#pragma once
// QVController: the main window's controller. It is the application's delegate, the main window's
// delegate, the data source and delegate of every table of its sheets, the delegate of its text
// fields, and the source from which the correction chain pulls its parameters.
//
// Its outlets are grouped by window in QVControllerOutlets.h, its state is in QVControllerState.h.
// One class, split over files by concern (QVController<Concern>.cpp), as a class would be split
// into categories; each section below names its file:
//   Startup    creation, start-up, launch questions    Shutdown   closing the window and quitting
//   Databases  the loaded-database list and its sheet  Parameters the parameters sheet, coefficients
//   Tables     the tables' rows, cells and selection   OwnedLenses the lens-selection window
//   LensChoice the lens choice for a photo             Controls   the main window's controls
//   Accessors  what the chain pulls, field of view     Open       opening a photo, its EXIF summary
//   Save       Save, Save As and the save thread       Presets    saving and loading presets
//   Sheets     sheets on the window, its edited mark   DatabaseEditor the user-database editor
//   Unwrap     the fisheye command and its worker      Batch      the batch command
// Everything runs on the main thread; save and batch threads get what they need as values
// (SaveJob, the batch's settings).
#include <array>
#include <functional>
#include <string>
#include <vector>

#include "appkit/Application.h"
#include "appkit/NibObject.h"
#include "engine/QVDisplayController.h"
#include "foundation/Bundle.h"
#include "foundation/Notifications.h"
#include "lens/QVPreferences.h"
#include "shell/BatchOutlets.h"
#include "shell/DatabaseEditSheet.h"
#include "shell/LensInfoText.h"
#include "shell/FisheyeControls.h"
#include "shell/QVControllerOutlets.h"
#include "shell/QVControllerState.h"
#include "shell/SaveJob.h"

namespace qv::io {
class ImageSource;
}

class QVController : public qv::ui::NibObject,
                     public qv::ui::ApplicationDelegate,
                     public qv::ui::WindowDelegate,
                     public qv::ui::TableDataSource,
                     public qv::ui::TableDelegate,
                     public qv::ui::TextFieldDelegate,
                     public qv::ui::MenuValidator,
                     public QVDisplayController,
                     public QVDatabaseLoaderClient {
public:
    using Control = qv::ui::Control;
    using SaveJob = shell::SaveJob;

    QVController();
    ~QVController() override;
    QVController(const QVController&) = delete;
    QVController& operator=(const QVController&) = delete;

    // The outlets of each window and sheet (the nib sets them) and the controller's state.
    shell::MainWindowOutlets& mainWindow() { return mMain; }
    shell::FisheyeOutlets& fisheye() { return mFisheye; }
    shell::ParametersSheetOutlets& parametersSheet() { return mParametersSheet; }
    shell::DatabaseSheetOutlets& databaseSheet() { return mDatabaseSheet; }
    DatabaseEditSheet& editSheet() { return mEditSheet; }
    shell::LensSelectionOutlets& lensSelection() { return mLensSelection; }
    shell::PreferencesOutlets& preferences() { return mPreferences; }
    shell::SaveAccessoryOutlets& saveAccessory() { return mSaveAccessory; }
    shell::BatchOutlets& batchSheet() { return mBatch; }
    shell::QVControllerState& state() { return mState; }
    const shell::QVControllerState& state() const { return mState; }
    // ---- Start-up and the application's delegate (QVControllerStartup.cpp) ----
    void awakeFromNib() override;
    void applicationDidFinishLaunching(qv::ui::Application& application) override;
    void applicationOpenFiles(qv::ui::Application& application, const std::vector<std::string>& paths) override;
    bool validateMenuItem(const qv::ui::MenuItem& item) override;
    void windowDidResize(qv::ui::Window& window) override;
    void popupButtonWillPop(const qv::Notification& notification);
    void onZentuButton(Control* sender), onAbout(Control* sender);
    // ---- Closing and quitting (QVControllerShutdown.cpp) ----
    bool windowShouldClose(qv::ui::Window& window) override;
    qv::ui::TerminateReply applicationShouldTerminate(qv::ui::Application& application) override;
    bool applicationShouldTerminateAfterLastWindowClosed(qv::ui::Application& application) override;
    // ---- Loaded databases and the database sheet (QVControllerDatabases.cpp) ----
    void onDatabase(Control* sender), onBrowseDatabase(Control* sender);
    void onLoadDatabase(Control* sender), onCloseDatabase(Control* sender);
    // Takes a database file in: a user database is read and held; the resource database (read by
    // the loader beforehand) gives one row per camera make. True when the database could be used.
    bool setDatabaseValues(const std::string& path);
    bool isPTLensSelected() const { return mState.mIsPTLens; }
    QVDatabaseLoader& databaseLoader();  // created when first needed
    // A row of the loaded-database list.
    bool isDatabaseRow(int row) const { return row >= 0 && std::size_t(row) < mState.mDatabaseRows.size(); }
    // ---- Parameters sheet and the coefficients in use (QVControllerParameters.cpp) ----
    void onParameters(Control* sender), onShowsMatchingLenses(Control* sender);
    void setParameters();
    void setParameters(qv::ui::TableView* table);
    bool showsOnlyMatchingLenses() const override { return mState.mShowOnlyMathingLenses.load(); }
    void onChangeModel(qv::ui::PopUpButton* sender);
    // A null sender is the controller itself (the lens choice and a typed focal length send it).
    void onLoadParameters(Control* sender);
    void onCloseParameters(Control* sender);
    void resetParametersSheetUIForPTLens(), resetParametersSheetUIForSelectedRow(int row);
    void setMatrixValues(), updateUIWithLensInfo(int row), saveSelectedLens(int row);
    std::vector<double> correctionValues() const;
    static void removeMultipleEntriesFrom(qv::Array& lenses);
    static bool multipleEntriesOf(const std::string& name, const qv::Array& lenses);
    static qv::Value scaleDatabaseValuesForUpRecord(const qv::Value& record, double ratio);
    static qv::Value InterpolateLensDBWithUpDB(const qv::Value& up, const qv::Value& bottom, double focalLength);
    // ---- Tables (QVControllerTables.cpp) ----
    int numberOfRowsInTableView(qv::ui::TableView& table) override;
    qv::ui::CellValue objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn* column,
                                                int row) override;
    void tableViewSelectionDidChange(qv::ui::TableView& table) override;
    // ---- Owned lenses and the lens-selection window (QVControllerOwnedLenses.cpp) ----
    void onPreferences(Control* sender), onPreferencesAddLenses(Control* sender);
    void onAddLensToMyLensList(Control* sender), onRemoveLensFromMyLensList(Control* sender);
    void onSaveSelectedLenses(Control* sender), onCancelSelectedLenses(Control* sender);
    void onChangeSelectionModelPopUp(qv::ui::PopUpButton* sender);
    void moveRow(int from, int to);
    bool writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                              qv::ui::Pasteboard& pasteboard) override;
    qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                       qv::ui::DropPosition position) override;
    bool acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                    qv::ui::DropPosition position) override;
    // ---- Main-window controls (QVControllerControls.cpp) ----
    void onHorizontalSlider(Control* sender), onVerticalSlider(Control* sender), onAspectSlider(Control* sender);
    void onAutoScaleChecked(Control* sender), onCropRadioButton(Control* sender);
    void onRotationSlider(Control* sender), onRotationStepper(Control* sender);
    void setCropOption(qv::ui::Matrix* matrix);
    void onFixRedSlider(Control* sender), onFixGreenSlider(Control* sender), onFixBlueSlider(Control* sender);
    void onAmountSlider(Control* sender), onMidpointSlider(Control* sender), onScaleSlider(Control* sender);
    void onFOVCheckbox(Control* sender), onPreviewCheckbox(Control* sender);
    void onMagnifierButton(Control* sender), onZoomPlus(Control* sender), onZoomMinus(Control* sender);
    void onShowGrid(Control* sender), onChangeGridSpacing(Control* sender), onChangeGridColor(Control* sender);
    void onApply(Control* sender), onRevert(Control* sender);
    void resetValues();
    void controlTextDidChange(qv::ui::TextField& field) override;
    // The correction-type matrix and the sampler pop-up of the fisheye controls.
    void setCorrectionType(qv::ui::Matrix* sender);
    void setSamplerType(qv::ui::PopUpButton* sender);
    // ---- What the chain, the view and the batch read (QVControllerAccessors.cpp) ----
    // All of the chain's parameters as the controls stand; a render takes it when it starts.
    CorrectionParameters correctionParameters() override;
    int correctionType() const { return mState.mFECorrectiontype; }
    double yaw() const, pitch() const, rotationAngle() const, aspectValue() const;
    double angularWidth() const { return mState.m_dAngularWidth; }
    bool isAutoScaleChecked() const;
    bool isCropInsideSelected() const { return mState.mCropInside; }
    bool isCropOutsideSelected() const { return mState.mCropOutside; }
    bool isCropNoneSelected() const { return mState.mCropNone; }
    double redValue() const, blueValue() const;
    double greenValue() const { return 1.0; }
    double vignetMidpoint() const, vignetBrightness() const, scaleValue() const;
    bool isVignetRequired() const;
    bool previewCheckboxStatus() const override;
    int magnificationValue() const;
    bool showGrid() const;
    int gridSpacing() const;
    qv::ui::Color gridColor() const;
    qv::ui::Slider* gridSlider() const { return mMain.m_pGridSlider; }
    std::string originalImagePath() const { return mState.mOriginalImagePath; }
    void setOriginalImagePath(const std::string& path);
    double focalLength() const override;
    float minFocalLengthFromImage() const { return mState.mMinFocalLengthFromImage.load(); }
    float maxFocalLengthFromImage() const { return mState.mMaxFocalLengthFromImage.load(); }
    void setMinFocalLengthFromImage(float value) { mState.mMinFocalLengthFromImage = value; }
    void setMaxFocalLengthFromImage(float value) { mState.mMaxFocalLengthFromImage = value; }
    float fishEyeOutputWidth() const, fishEyeOutputHeight() const, fishEyeInputFOV() const, fishEyeOutputFOV() const;
    int fishEyeSamplerType() const { return mState.mFESamplerType.load(); }
    // Field of view.
    void setDFOVwithWidth(double width, double height) override;
    double lensDBFieldOfView() const;
    static double calculateVerticalFOVFromHFOV(double h, double width, double height);
    static double calculateDiagonalFOVFromHVOV(double h, double v);
    static double degToRad(double degrees), radToDeg(double radians);
    // ---- Presets (QVControllerPresets.cpp) ----
    void onLoadPreset(Control* sender), onSavePreset(Control* sender);
    void openPresetPanelDidEnd(qv::ui::OpenPanel& panel, int returnCode);
    // Sets the coefficients in use and the controls from a preset dictionary (main thread only;
    // batch runs use it too). False, and nothing changed, for a value that is not a preset.
    bool resetUIValuesToPreset(const qv::Value& preset);
    void savePresetPanelDidEnd(qv::ui::SavePanel& panel, int returnCode);
    qv::Value presetValuesDict();
    static float swapfloat(float value);
    static double swapDouble(double value);
    // ---- The batch command (QVControllerBatch.cpp) ----
    void onBatchProcess(Control* sender);
    // The batch photo's metadata while a run has one in hand; false otherwise.
    bool batchPhotoMetadata(qv::Value& metadata) const;
    // ---- The user-database editor (QVControllerDatabaseEditor.cpp) ----
    void onEditDatabase(Control* sender), onCreateNewDatabase(Control* sender);
    void onManufacturerPopup(qv::ui::PopUpButton* sender), onModelsPopup(qv::ui::PopUpButton* sender);
    void onAddLens(Control* sender), onDeleteLens(Control* sender), onUpdateLensName(Control* sender);
    void onCancelEditDatabase(Control* sender), onSaveDatabase(Control* sender);
    void resetEditSheetUIForSelectedRow(int row), setESMatrixValues();
    // Asks for a new file and writes the new database there; true when it was written (the edit
    // sheet is then closed).
    bool saveNewDatabase();
    // Rewrites the file of the selected loaded database with the edits; true when it was written.
    bool setDatabaseToWrite();
    static qv::Value newLensParametersDictionary();
    // ---- The lens choice for a photo (QVControllerLensChoice.cpp) ----
    qv::Value getExifProprties();
    void setLensProperties(), setValuesToNoDatabase();
    bool selectLensFromPreferences(), autoselectionForLens();
    void setMatrixValueFromPrefernceLens(int index);
    void updateUIWithPreferenceLensInfo(const qv::Value& entry);
    std::string camNameForLens(const qv::Value& lens);
    int indexOfBestMatchingLensFrom(const qv::Array& lenses, float maximumAperture);
    void choseBestLensFrom(const std::vector<std::string>& names);
    bool loadMatchingLens(const std::string& name), loadRecentSettings(const qv::Value& entry);
    // ---- The fisheye command (QVControllerUnwrap.cpp) ----
    // Takes the request from the controls and hands it to the worker, or refuses it with an alert.
    void defish(Control* sender);
    shell::UnwrapSettings fisheyeSettings() const;
    bool isUnwrapInProgress() const { return m_fisheye.outstanding > 0; }
    // The worker's body for one request: the engine, the profile, the metadata. Touches no control.
    static void unwrap(const shell::UnwrapRequest& request, bool& unwrapped, bool& rewritten);
    // Rewrites the JPEG (type 0, and any other value) or TIFF (type 1) file at path in place with
    // the properties, keeping its pixels and colour profile. False, with a line on the standard
    // error stream, when the file could not be read or written.
    static bool addImageProperties(const qv::Value& properties, const std::string& path, int type);
    // ---- Opening a photo (QVControllerOpen.cpp) ----
    void onLoadImage(Control* sender);
    void openImage(const std::string& path) override;
    // Writes the working copy: the photo scaled to fit the main window, as JPEG, with the photo's
    // EXIF and TIFF dictionaries (its orientation tag included; the pixels are not turned).
    // The photo's file as the open step read it may be given, so it is not read again.
    bool createSmallScaledImage(const std::string& photo, const qv::Dictionary& properties,
                                std::shared_ptr<qv::io::ImageSource> source = nullptr);
    bool performLoading(const std::string& path);
    void executeExifToolForImage(const std::string& path);
    // The focal range the metadata tool reads in a photo's lens information (zeros when it tells
    // none); any thread may ask, so a batch runs it beside the photo's decoding.
    shell::FocalRange lensInfoForImage(const std::string& path) const;
    void displayImageProperties();
    // Extracts the profile of a photo into the support folder on a thread of its own.
    static void performSipsCommand(std::string photo);
    void showErrorDialog(const std::string& path) override;
    bool canDragImage() const override;
    std::string loadedImageFile() const { return mState.m_pFileToLoad; }
    static std::string workingCopyPath();
    // ---- Saving (QVControllerSave.cpp) ----
    void onSave(Control* sender), onSaveAs(Control* sender), onQualityAmountSlider(Control* sender);
    // The format of an extension (QVOutputType); an extension outside the table selects JPEG and,
    // with no panel, moves the file to write to a ".jpg" name beside the photo.
    void setFileFormatTo(const std::string& extension, qv::ui::SavePanel* panel);
    void onChangeFileType(qv::ui::SavePanel* panel);
    void resetAccessoryView();
    float compressionAmount() const { return mState.mCompressionAmount.load(); }
    SaveJob makeSaveJob();
    // The save thread's body: writes the job's file and reports on the main thread, where the
    // metadata the encoder changed goes back to the view when the same photo is still open.
    void saveImage(SaveJob job);
    bool isSaveInProgress() const { return mState.mSaveInProgress.load(); }
    // ---- Helpers shared by the files above ----
    // The four coefficients of a resource-database lens, in use while one is current.
    void setPTLensValues(const std::array<double, 4>& values);
    std::array<double, 4> ptLensValues() const;
    // The parameters sheet's coefficient matrix (rows 0 to 3: a, b, c, d).
    void setCorrectionMatrix(const std::array<float, 4>& cells);
    void setIsPTLens(bool isPTLens);
    bool isBatchRunning() const;
    void markWindowEdited(), openSheet(qv::ui::Window* sheet), closeSheet(qv::ui::Window* sheet);
    // The extent of the view's preview proxy (an empty size without a photo).
    qv::Size fixedSizeExtent();

private:
    friend class QVEditPlugIn;  // the plug-in's edit session runs these start-up steps itself
    // Start-up steps (QVControllerStartup.cpp).
    // Installs the resource database, loads the support folder's databases (or the stored
    // fall-back), selects the stored camera and links the view, the loader and the tables.
    void startDatabasesAndLinks();
    bool installOrUpdateResourceDatabase();
    void loadSupportFolderDatabases(), loadFallbackDatabase(const std::string& path);
    void restoreWindowFrame();
    // Asks which lenses the user owns when none is known or the preferences file is new, unless
    // the user declined for good; true when it asked.
    bool askForOwnedLenses();
    void runLensSelectionWindow();
    void showLensesOfModel(const std::string& model, const std::string& make, qv::ui::TableView* table);
    bool addDatabase(const std::string& path);
    void selectLastDatabaseRow(), showSelectedDatabaseName();
    // Shut-down helpers (QVControllerShutdown.cpp).
    enum class SaveQuestion { SaveAs, DontSave, Cancel };
    SaveQuestion askToSaveChanges();
    void storeWindowFrame(qv::Value& preferences) const, storeFisheyeValues() const;
    // Tables (QVControllerTables.cpp).
    std::string lensRowTitle(const qv::Value& record, qv::ui::PopUpButton* modelPopUp) const;
    void selectModelForLensGroup(const std::string& lensGroup, const std::string& current);
    // Saving (QVControllerSave.cpp).
    void startSaveThread();
    void finishSave(SaveJob job, bool encoded, bool saved);
    // Controls (QVControllerControls.cpp).
    void allowInsideCrop(bool allow), takeTypedFocalLength(float focal);
    std::function<double(double, double)> angularWidthRule() const;  // (QVControllerAccessors.cpp)
    // The database editor (QVControllerDatabaseEditor.cpp).
    void setEditSheetSaveTitle(const char* key);
    void fillEditSheetModels(const qv::Array& manufacturers, int position);
    void keepEditsInHeldDatabase();
    void storeEditSheetFields(qv::Value& database, qv::Array& manufacturers);
    bool writeUserDatabase(const qv::Value& database, const std::string& path);

    shell::MainWindowOutlets mMain;
    shell::FisheyeOutlets mFisheye;
    shell::ParametersSheetOutlets mParametersSheet;
    shell::DatabaseSheetOutlets mDatabaseSheet;
    DatabaseEditSheet mEditSheet;  // the edit sheet's outlets and the editor's state
    shell::LensSelectionOutlets mLensSelection;
    shell::PreferencesOutlets mPreferences;
    shell::SaveAccessoryOutlets mSaveAccessory;
    shell::BatchOutlets mBatch;
    shell::QVControllerState mState;
    qv::Bundle m_pMainBundle;
    qv::Subscription m_popUpObserver;
    // Last, so that its worker is joined before anything else of the controller goes.
    shell::FisheyeControls m_fisheye;
    void finishUnwrap(const shell::UnwrapRequest& request, bool unwrapped, bool rewritten);
    void setFisheyeControlsEnabled(bool on);
};
