#pragma once
// QVController: the main window's controller. It is the application's delegate, the main window's
// delegate, the data source and delegate of every table of its sheets, the delegate of its text
// fields, and the source from which the correction chain takes its parameters.
//
// Its outlets are grouped by window in QVControllerOutlets.h, its state is in QVControllerState.h.
// One class, split over files by concern (QVController<Concern>.cpp), as a class would be split
// into categories; each section below names its file:
//   Startup    creation, start-up, launch questions    Shutdown   closing the window and quitting
//   Databases  the loaded-database list and its sheet  Parameters the parameters sheet, coefficients
//   Tables     the tables' rows, cells and selection   OwnedLenses the lens-selection window
//   LensChoice the lens choice for a photo             Controls   the main window's controls
//   Accessors  what the chain reads, field of view     Open       opening a photo, its EXIF summary
//   Save       Save, Save As and the save thread       Presets    saving and loading presets
//   Sheets     sheets on the window, its edited mark   DatabaseEditor the user-database editor
//   Unwrap     the fisheye command                     Batch      the batch command
// The public part is what the nib, the view, the front end, the batch and the tests use; the steps
// behind it are private. Everything runs on the main thread; save, unwrap and batch threads get
// what they need as values (SaveJob, UnwrapRequest, the batch's settings).
#include <array>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "appkit/Application.h"
#include "appkit/NibObject.h"
#include "engine/QVDisplayController.h"
#include "foundation/Bundle.h"
#include "foundation/Notifications.h"
#include "lens/QVPreferences.h"
#include "shell/batch/BatchOutlets.h"
#include "shell/lens/DatabaseEditSheet.h"
#include "shell/unwrap/FisheyeControls.h"
#include "shell/lens/LensInfoText.h"
#include "shell/lens/LensInfoTool.h"
#include "shell/controller/QVControllerOutlets.h"
#include "shell/controller/QVControllerState.h"
#include "shell/controller/SaveJob.h"

namespace qv::io { class ImageSource; }

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

    // ---- The plug-in's start-up (Startup) ----
    // The plug-in's nib makes the controller without the application's start-up: its edit window
    // gives the controller the plug-in's bundle, and each edit session runs these steps again.
    void setMainBundle(const qv::Bundle& bundle) { m_pMainBundle = bundle; }
    // Forgets the previous session's lens choice, databases and coefficients, takes the alerts'
    // icon, makes sure a preferences file exists, and loads the databases and the links as the
    // application's start-up does.
    void startEditSession(const qv::ui::Image& icon);
    // Lets the lens pop-ups fill their menus as they are about to pop up.
    void observePopUps();
    // Asks which lenses the user owns when none is known or the preferences file is new, unless
    // the user declined for good; true when it asked.
    bool askForOwnedLenses();
    void storeWindowFrame(qv::Value& preferences) const;

    // ---- The delegates' answers (Startup, Shutdown, Tables, OwnedLenses, Controls) ----
    void awakeFromNib() override;
    void applicationDidFinishLaunching(qv::ui::Application& application) override;
    void applicationOpenFiles(qv::ui::Application& application, const std::vector<std::string>& paths) override;
    bool validateMenuItem(const qv::ui::MenuItem& item) override;
    void windowDidResize(qv::ui::Window& window) override;
    bool windowShouldClose(qv::ui::Window& window) override;
    qv::ui::TerminateReply applicationShouldTerminate(qv::ui::Application& application) override;
    bool applicationShouldTerminateAfterLastWindowClosed(qv::ui::Application& application) override;
    int numberOfRowsInTableView(qv::ui::TableView& table) override;
    qv::ui::CellValue objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn* column,
                                                int row) override;
    void tableViewSelectionDidChange(qv::ui::TableView& table) override;
    bool writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                              qv::ui::Pasteboard& pasteboard) override;
    qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                       qv::ui::DropPosition position) override;
    bool acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                    qv::ui::DropPosition position) override;
    void controlTextDidChange(qv::ui::TextField& field) override;
    void popupButtonWillPop(const qv::Notification& notification);

    // ---- The actions the nib's controls send, by window ----
    // Main window (Controls, Open, Save, Presets, Unwrap, Batch, Startup).
    void onHorizontalSlider(Control* sender), onVerticalSlider(Control* sender), onAspectSlider(Control* sender);
    void onAutoScaleChecked(Control* sender), onCropRadioButton(Control* sender), onRotationSlider(Control* sender);
    void onRotationStepper(Control* sender), onFOVCheckbox(Control* sender), onPreviewCheckbox(Control* sender);
    void onFixRedSlider(Control* sender), onFixGreenSlider(Control* sender), onFixBlueSlider(Control* sender);
    void onAmountSlider(Control* sender), onMidpointSlider(Control* sender), onScaleSlider(Control* sender);
    void onMagnifierButton(Control* sender), onZoomPlus(Control* sender), onZoomMinus(Control* sender);
    void onShowGrid(Control* sender), onChangeGridSpacing(Control* sender), onChangeGridColor(Control* sender);
    void onApply(Control* sender), onRevert(Control* sender), onZentuButton(Control* sender), onAbout(Control* sender);
    void setCropOption(qv::ui::Matrix* matrix), setCorrectionType(qv::ui::Matrix* sender);
    void setSamplerType(qv::ui::PopUpButton* sender);
    void onLoadImage(Control* sender), onSave(Control* sender), onSaveAs(Control* sender);
    void onChangeFileType(qv::ui::SavePanel* panel);  // the Save As panel's file-type pop-up
    void onLoadPreset(Control* sender), onSavePreset(Control* sender);
    void defish(Control* sender), onBatchProcess(Control* sender);
    // Database sheet, parameters sheet, user-database editor (Databases, Parameters, DatabaseEditor).
    void onDatabase(Control* sender), onBrowseDatabase(Control* sender), onLoadDatabase(Control* sender);
    void onCloseDatabase(Control* sender), onEditDatabase(Control* sender), onCreateNewDatabase(Control* sender);
    void onParameters(Control* sender), onShowsMatchingLenses(Control* sender);
    void onChangeModel(qv::ui::PopUpButton* sender);
    void onLoadParameters(Control* sender), onCloseParameters(Control* sender);  // a null sender: the lens choice
    void onManufacturerPopup(qv::ui::PopUpButton* sender), onModelsPopup(qv::ui::PopUpButton* sender);
    void onAddLens(Control* sender), onDeleteLens(Control* sender), onUpdateLensName(Control* sender);
    void onSaveDatabase(Control* sender), onCancelEditDatabase(Control* sender);
    // Preferences and the lens-selection window (OwnedLenses).
    void onPreferences(Control* sender), onPreferencesAddLenses(Control* sender), onSaveSelectedLenses(Control* sender);
    void onAddLensToMyLensList(Control* sender), onRemoveLensFromMyLensList(Control* sender);
    void onCancelSelectedLenses(Control* sender), onChangeSelectionModelPopUp(qv::ui::PopUpButton* sender);

    // ---- What the chain, the view, the batch and the front end read (Accessors) ----
    // All of the chain's parameters as the controls stand; a render takes it when it starts.
    CorrectionParameters correctionParameters() override;
    shell::UnwrapSettings fisheyeSettings() const;  // the fisheye fields and sampler as they stand
    CorrectionType correctionType() const { return mState.mFECorrectiontype; }
    double angularWidth() const { return mState.m_dAngularWidth; }
    bool isAutoScaleChecked() const, previewCheckboxStatus() const override;
    int magnificationValue() const;
    double focalLength() const override;
    bool showsOnlyMatchingLenses() const override { return mState.mShowOnlyMathingLenses.load(); }
    bool isPTLensSelected() const { return mState.mIsPTLens; }
    std::vector<double> correctionValues() const;  // the coefficients a, b, c, d in use
    void setPTLensValues(const std::array<double, 4>& values);
    std::string originalImagePath() const { return mState.mOriginalImagePath; }
    void setOriginalImagePath(const std::string& path);
    float minFocalLengthFromImage() const { return mState.mMinFocalLengthFromImage.load(); }
    float maxFocalLengthFromImage() const { return mState.mMaxFocalLengthFromImage.load(); }
    void setMinFocalLengthFromImage(float value) { mState.mMinFocalLengthFromImage = value; }
    void setMaxFocalLengthFromImage(float value) { mState.mMaxFocalLengthFromImage = value; }
    void setDFOVwithWidth(double width, double height) override;
    bool isSaveInProgress() const { return mState.mSaveInProgress.load(); }
    bool isUnwrapInProgress() const { return m_fisheye.outstanding > 0; }
    // The unwrap the preview shows of the open photo; none when it shows the photo itself.
    std::optional<shell::UnwrapSettings> shownUnwrap() const;

    // ---- Steps the view, the batch, the plug-in and the tests run ----
    QVDatabaseLoader& databaseLoader();  // created when first needed
    bool isDatabaseRow(int row) const { return row >= 0 && std::size_t(row) < mState.mDatabaseRows.size(); }
    void setParameters(), setParameters(qv::ui::TableView* table), resetParametersSheetUIForPTLens();
    void updateUIWithLensInfo(int row), saveSelectedLens(int row), moveRow(int from, int to), resetValues();
    void openImage(const std::string& path) override, showErrorDialog(const std::string& path) override;
    bool canDragImage() const override;
    // The photo at `source` at full resolution as the preview shows it: unwrapped the same way when
    // `unwrap` is given, then through the chain with `parameters`. The null image when it cannot be
    // read. Any thread may call it; saves and the plug-in's Done write what it gives.
    qv::ci::Image fullResolutionResult(const std::string& source, const std::optional<shell::UnwrapSettings>& unwrap,
                                       const CorrectionParameters& parameters);
    // The focal range the metadata tool reads in a photo's lens information (zeros when it tells
    // none); any thread may ask, so a batch runs it beside the photo's decoding.
    shell::FocalRange lensInfoForImage(const std::string& path) const;
    // Starts the metadata tool ahead of the photos it will read, where the bundle has one and it
    // is not running yet: one tool, kept for the controller's life, serves the open step and the
    // batch alike.
    void startLensInfoTool() const;
    // The format of an extension (QVOutputType); an extension outside the table selects JPEG and,
    // with no panel, moves the file to write to a ".jpg" name beside the photo.
    void setFileFormatTo(const std::string& extension, qv::ui::SavePanel* panel);
    // Sets the coefficients in use and the controls from a preset dictionary (main thread only;
    // batch runs use it too). False, and nothing changed, for a value that is not a preset.
    bool resetUIValuesToPreset(const qv::Value& preset);
    // The lens choice for the open photo (LensChoice).
    qv::Value getExifProprties();
    void setLensProperties(), setValuesToNoDatabase();
    bool selectLensFromPreferences(), autoselectionForLens();
    int indexOfBestMatchingLensFrom(const qv::Array& lenses, float maximumAperture);
    std::string camNameForLens(const qv::Value& lens);

private:
    // Startup: installs the resource database, loads the support folder's databases (or the stored
    // fall-back), selects the stored camera and links the view, the loader and the tables.
    void startDatabasesAndLinks(), restoreWindowFrame(), runLensSelectionWindow();
    void loadSupportFolderDatabases(), loadFallbackDatabase(const std::string& path);
    bool installOrUpdateResourceDatabase();
    void showLensesOfModel(const std::string& model, const std::string& make, qv::ui::TableView* table);
    enum class SaveQuestion { SaveAs, DontSave, Cancel };  // Shutdown
    SaveQuestion askToSaveChanges();
    void storeFisheyeValues() const;
    // Databases: takes a database file in (a user database is read and held; the resource database,
    // read by the loader beforehand, gives one row per camera make); true when it could be used.
    bool setDatabaseValues(const std::string& path), addDatabase(const std::string& path);
    void selectLastDatabaseRow(), showSelectedDatabaseName();
    // Parameters and Tables.
    void resetParametersSheetUIForSelectedRow(int row);
    void setMatrixValues();
    void setCorrectionMatrix(const std::array<float, 4>& cells);  // rows 0 to 3: a, b, c, d
    std::string lensRowTitle(const qv::Value& record, qv::ui::PopUpButton* modelPopUp) const;
    void selectModelForLensGroup(const std::string& lensGroup, const std::string& current);
    // LensChoice.
    void setMatrixValueFromPrefernceLens(int index), updateUIWithPreferenceLensInfo(const qv::Value& entry);
    void choseBestLensFrom(const std::vector<std::string>& names);
    bool loadMatchingLens(const std::string& name), loadRecentSettings(const qv::Value& entry);
    // The EXIF focal length of the batch photo in hand; nothing outside a batch photo.
    std::optional<double> batchPhotoFocalLength() const;
    bool batchPhotoMetadata(qv::Value& metadata) const;  // (Batch) while a run has a photo in hand
    // Controls and Accessors.
    void allowInsideCrop(bool allow), takeTypedFocalLength(float focal);
    // Takes the lens record's focal range as the one typed focal lengths must lie in, and shows it.
    void useFocalRangeOf(const qv::Value& record);
    std::function<double(double, double)> angularWidthRule() const;
    double lensDBFieldOfView() const;
    bool isBatchRunning() const;
    qv::Size fixedSizeExtent();  // the view's preview proxy's extent (empty without a photo)
    // Open: the working copy is the photo scaled to fit the window, as JPEG with its EXIF and TIFF
    // dictionaries (the orientation tag kept, the pixels not turned); a given source is not reread.
    bool createSmallScaledImage(const std::string& photo, const qv::Dictionary& properties,
                                std::shared_ptr<qv::io::ImageSource> source = nullptr);
    bool performLoading(const std::string& path);
    // The focal range of the open photo's lens, read by the session's metadata tool.
    void executeExifToolForImage(const std::string& path);
    void displayImageProperties();
    // Save: saveImage, on the save thread, writes the job's file and reports on the main thread, where
    // the metadata the encoder changed goes back to the view when the same photo is still open.
    void onQualityAmountSlider(Control* sender), resetAccessoryView();
    void buildSaveAccessory(), showQualityControls(bool shown), showCompressionControls(bool shown);
    SaveJob makeSaveJob();
    void startSaveThread(), saveImage(SaveJob job), finishSave(SaveJob job, bool encoded, bool saved);
    // Presets and Sheets.
    void openPresetPanelDidEnd(qv::ui::OpenPanel& panel, int returnCode);
    void savePresetPanelDidEnd(qv::ui::SavePanel& panel, int returnCode);
    qv::Value presetValuesDict();
    void markWindowEdited(), openSheet(qv::ui::Window* sheet), closeSheet(qv::ui::Window* sheet);
    // True, after an alert asking for another folder, when a save panel's choice lies in the
    // support folder, whose sweeps would delete the file.
    bool refusedInSupportFolder(const std::string& path);
    // DatabaseEditor: saveNewDatabase asks for a new file and writes the new database there;
    // setDatabaseToWrite rewrites the selected loaded database's file. True when it was written.
    void resetEditSheetUIForSelectedRow(int row), setESMatrixValues();
    bool saveNewDatabase(), setDatabaseToWrite();
    void setEditSheetSaveTitle(const char* key), keepEditsInHeldDatabase();
    void fillEditSheetModels(const qv::Array& manufacturers, int position);
    void storeEditSheetFields(qv::Value& database, qv::Array& manufacturers);
    bool writeUserDatabase(const qv::Value& database, const std::string& path);
    // Unwrap.
    void finishUnwrap(const shell::UnwrapRequest& request, bool unwrapped, bool rewritten);
    void setFisheyeControlsEnabled(bool on);

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
    // The session's metadata tool (Open), made on first need by whichever thread needs it.
    mutable std::mutex m_lensInfoToolMutex;
    mutable std::unique_ptr<shell::LensInfoTool> m_lensInfoTool;
    shell::LensInfoTool* lensInfoTool() const;
    // Last, so that its worker is joined before anything else of the controller goes.
    shell::FisheyeControls m_fisheye;
};
