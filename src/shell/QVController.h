#pragma once
// QVController: the main window's controller. It is the application's delegate, the main window's
// delegate, the data source and delegate of every table of its sheets, the delegate of its text
// fields, and the source from which the correction chain pulls its parameters.
//
// One class, split over files by concern, as a class would be split into categories:
//   QVControllerStartup.cpp     creation, start-up, the launch questions, application-delegate answers
//   QVControllerShutdown.cpp    closing the main window and quitting
//   QVControllerDatabases.cpp   the loaded-database list and the database sheet
//   QVControllerParameters.cpp  the parameters sheet and the coefficients in use
//   QVControllerTables.cpp      the tables' rows, cells and selection
//   QVControllerOwnedLenses.cpp the lens-selection window and its owned-lens list
//   QVControllerControls.cpp    the main window's correction controls
//   QVControllerAccessors.cpp   what the chain pulls, the field of view
//   QVControllerSheets.cpp      sheets on the main window, its edited mark
//   QVControllerPresets.cpp     saving and loading presets
//   QVControllerDatabaseEditor.cpp  the user-database editor and its edit sheet
//   QVControllerUnwrap.cpp      the fisheye command and its worker
//   QVControllerPending.cpp     commands of other parts of the shell (batch), with placeholder
//                               bodies
//
// Outlets are plain pointers to objects the nib owns; they are null until the nib sets them and
// every method copes with a missing one. Everything runs on the main thread except the parameter
// accessors, which save and batch threads call too (see correctionValues).
#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "appkit/Application.h"
#include "appkit/Button.h"
#include "appkit/ColorWell.h"
#include "appkit/Matrix.h"
#include "appkit/Menu.h"
#include "appkit/NibObject.h"
#include "appkit/PopUpButton.h"
#include "appkit/RangeControls.h"
#include "appkit/SavePanel.h"
#include "appkit/TableView.h"
#include "appkit/TextField.h"
#include "appkit/Window.h"
#include "engine/QVDisplayController.h"
#include "foundation/Bundle.h"
#include "foundation/Notifications.h"
#include "foundation/Value.h"
#include "lens/QVDatabaseLoader.h"
#include "lens/QVPreferences.h"
#include "output/QVOutputType.h"
#include "shell/ChosenPhoto.h"
#include "shell/DatabaseEditSheet.h"
#include "shell/FisheyeControls.h"
#include "shell/QVDisplayViewLink.h"
#include "unwrap/Sampler.h"

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

    QVController();
    ~QVController() override;
    QVController(const QVController&) = delete;
    QVController& operator=(const QVController&) = delete;

    // ---- Start-up and the application's delegate (QVControllerStartup.cpp) ----
    void awakeFromNib() override;
    void applicationDidFinishLaunching(qv::ui::Application& application) override;
    void applicationOpenFiles(qv::ui::Application& application, const std::vector<std::string>& paths) override;
    bool validateMenuItem(const qv::ui::MenuItem& item) override;
    void windowDidResize(qv::ui::Window& window) override;
    void popupButtonWillPop(const qv::Notification& notification);
    void onZentuButton(Control* sender);
    void onAbout(Control* sender);
    // Opens a web address for the maker's button; the front end supplies it (there is no desktop
    // to ask here). Without one the button does nothing.
    std::function<void(const std::string& url)> m_openURL;

    // ---- Closing and quitting (QVControllerShutdown.cpp) ----
    bool windowShouldClose(qv::ui::Window& window) override;
    qv::ui::TerminateReply applicationShouldTerminate(qv::ui::Application& application) override;
    bool applicationShouldTerminateAfterLastWindowClosed(qv::ui::Application& application) override;

    // ---- Loaded databases and the database sheet (QVControllerDatabases.cpp) ----
    void onDatabase(Control* sender);
    void onBrowseDatabase(Control* sender);
    void onLoadDatabase(Control* sender);
    void onCloseDatabase(Control* sender);
    // Takes a database file in: a user database is read and held; the resource database (read by
    // the loader beforehand) gives one row per camera make. True when the database could be used.
    bool setDatabaseValues(const std::string& path);
    bool isPTLensSelected() const { return mIsPTLens.load(); }
    QVDatabaseLoader& databaseLoader();  // created when first needed

    // ---- Parameters sheet and the coefficients in use (QVControllerParameters.cpp) ----
    void onParameters(Control* sender);
    void setParameters();
    void setParameters(qv::ui::TableView* table);
    void onShowsMatchingLenses(Control* sender);
    bool showsOnlyMatchingLenses() const override { return mShowOnlyMathingLenses.load(); }
    void onChangeModel(qv::ui::PopUpButton* sender);
    // A null sender is the controller itself (the lens choice and a typed focal length send it).
    void onLoadParameters(Control* sender);
    void onCloseParameters(Control* sender);
    void resetParametersSheetUIForPTLens();
    void resetParametersSheetUIForSelectedRow(int row);
    void setMatrixValues();
    void updateUIWithLensInfo(int row);
    std::vector<double> correctionValues() override;
    static void removeMultipleEntriesFrom(qv::Array& lenses);
    static bool multipleEntriesOf(const std::string& name, const qv::Array& lenses);
    void saveSelectedLens(int row);
    static qv::Value scaleDatabaseValuesForUpRecord(const qv::Value& record, double ratio);
    static qv::Value InterpolateLensDBWithUpDB(const qv::Value& up, const qv::Value& bottom, double focalLength);

    // ---- Tables (QVControllerTables.cpp) ----
    int numberOfRowsInTableView(qv::ui::TableView& table) override;
    qv::ui::CellValue objectValueForTableColumn(qv::ui::TableView& table, const qv::ui::TableColumn* column,
                                                int row) override;
    void tableViewSelectionDidChange(qv::ui::TableView& table) override;

    // ---- Owned lenses and the lens-selection window (QVControllerOwnedLenses.cpp) ----
    void onPreferences(Control* sender);
    void onPreferencesAddLenses(Control* sender);
    void onAddLensToMyLensList(Control* sender);
    void onRemoveLensFromMyLensList(Control* sender);
    void onSaveSelectedLenses(Control* sender);
    void onCancelSelectedLenses(Control* sender);
    void onChangeSelectionModelPopUp(qv::ui::PopUpButton* sender);
    void moveRow(int from, int to);
    bool writeRowsWithIndexes(qv::ui::TableView& table, const qv::ui::IndexSet& rows,
                              qv::ui::Pasteboard& pasteboard) override;
    qv::ui::DragOperation validateDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                                       qv::ui::DropPosition position) override;
    bool acceptDrop(qv::ui::TableView& table, const qv::ui::DraggingInfo& info, int row,
                    qv::ui::DropPosition position) override;

    // ---- Main-window controls (QVControllerControls.cpp) ----
    void onHorizontalSlider(Control* sender);
    void onVerticalSlider(Control* sender);
    void onAspectSlider(Control* sender);
    void onAutoScaleChecked(Control* sender);
    void onRotationSlider(Control* sender);
    void onRotationStepper(Control* sender);
    void onCropRadioButton(Control* sender);
    void setCropOption(qv::ui::Matrix* matrix);
    void onFixRedSlider(Control* sender);
    void onFixGreenSlider(Control* sender);
    void onFixBlueSlider(Control* sender);
    void onAmountSlider(Control* sender);
    void onMidpointSlider(Control* sender);
    void onScaleSlider(Control* sender);
    void onFOVCheckbox(Control* sender);
    void onPreviewCheckbox(Control* sender);
    void onMagnifierButton(Control* sender);
    void onZoomPlus(Control* sender);
    void onZoomMinus(Control* sender);
    void onShowGrid(Control* sender);
    void onChangeGridSpacing(Control* sender);
    void onChangeGridColor(Control* sender);
    void onApply(Control* sender);
    void onRevert(Control* sender);
    void resetValues();
    void controlTextDidChange(qv::ui::TextField& field) override;
    // The correction-type matrix and the sampler pop-up of the fisheye controls.
    void setCorrectionType(qv::ui::Matrix* sender);
    void setSamplerType(qv::ui::PopUpButton* sender);

    // ---- What the chain and the batch pull (QVControllerAccessors.cpp) ----
    int correctionType() override { return mFECorrectiontype.load(); }
    double yaw() override;
    double pitch() override;
    double rotationAngle() override;
    double aspectValue() override;
    double angularWidth() override { return m_dAngularWidth.load(); }
    bool isAutoScaleChecked() const;
    bool isCropInsideSelected() override { return mCropInside.load(); }
    bool isCropOutsideSelected() override { return mCropOutside.load(); }
    bool isCropNoneSelected() override { return mCropNone.load(); }
    double redValue() override;
    double greenValue() override { return 1.0; }
    double blueValue() override;
    double vignetMidpoint() override;
    double vignetBrightness() override;
    bool isVignetRequired() override;
    double scaleValue() override;
    bool previewCheckboxStatus() const override;
    int magnificationValue() const;
    bool showGrid() const override;
    int gridSpacing() const override;
    qv::ui::Color gridColor() const override;
    qv::ui::Slider* gridSlider() const { return m_pGridSlider; }
    std::string originalImagePath() override;
    void setOriginalImagePath(const std::string& path);
    double focalLength() const override;
    float minFocalLengthFromImage() const { return mMinFocalLengthFromImage.load(); }
    float maxFocalLengthFromImage() const { return mMaxFocalLengthFromImage.load(); }
    void setMinFocalLengthFromImage(float value) { mMinFocalLengthFromImage = value; }
    void setMaxFocalLengthFromImage(float value) { mMaxFocalLengthFromImage = value; }
    float fishEyeOutputWidth() const;
    float fishEyeOutputHeight() const;
    float fishEyeInputFOV() const;
    float fishEyeOutputFOV() const;
    int fishEyeSamplerType() const { return mFESamplerType.load(); }
    // Field of view.
    void setDFOVwithWidth(double width, double height) override;
    double lensDBFieldOfView() const;
    static double calculateVerticalFOVFromHFOV(double h, double width, double height);
    static double calculateDiagonalFOVFromHVOV(double h, double v);
    static double degToRad(double degrees);
    static double radToDeg(double radians);

    // ---- Commands of other parts of the shell (QVControllerPending.cpp) ----
    void onLoadImage(Control* sender);
    void openImage(const std::string& path) override;
    void onSave(Control* sender);
    void onSaveAs(Control* sender);

    // ---- Presets (QVControllerPresets.cpp) ----
    void onLoadPreset(Control* sender);
    void openPresetPanelDidEnd(qv::ui::OpenPanel& panel, int returnCode);
    // Sets the coefficients in use and the controls from a preset dictionary (main thread only;
    // batch runs use it too). False, and nothing changed, for a value that is not a preset.
    bool resetUIValuesToPreset(const qv::Value& preset);
    void onSavePreset(Control* sender);
    void savePresetPanelDidEnd(qv::ui::SavePanel& panel, int returnCode);
    qv::Value presetValuesDict();
    static float swapfloat(float value);
    static double swapDouble(double value);

    // ---- Commands of other parts of the shell (QVControllerPending.cpp) ----
    void onBatchProcess(Control* sender);
    qv::Value getExifProprties();
    void setLensProperties();
    bool selectLensFromPreferences();
    bool autoselectionForLens();
    void setValuesToNoDatabase();

    // ---- The user-database editor (QVControllerDatabaseEditor.cpp) ----
    void onEditDatabase(Control* sender);
    void onCreateNewDatabase(Control* sender);
    void onManufacturerPopup(qv::ui::PopUpButton* sender);
    void onModelsPopup(qv::ui::PopUpButton* sender);
    void onAddLens(Control* sender);
    void onDeleteLens(Control* sender);
    void onUpdateLensName(Control* sender);
    void onCancelEditDatabase(Control* sender);
    void onSaveDatabase(Control* sender);
    void resetEditSheetUIForSelectedRow(int row);
    void setESMatrixValues();
    // Asks for a new file and writes the new database there; true when it was written (the edit
    // sheet is then closed).
    bool saveNewDatabase();
    // Rewrites the file of the selected loaded database with the edits; true when it was written.
    bool setDatabaseToWrite();
    static qv::Value newLensParametersDictionary();

    // ---- The lens choice for a photo (QVControllerLensChoice.cpp) ----
    void setMatrixValueFromPrefernceLens(int index);
    void updateUIWithPreferenceLensInfo(const qv::Value& entry);
    std::string camNameForLens(const qv::Value& lens);
    int indexOfBestMatchingLensFrom(const qv::Array& lenses, float maximumAperture);
    void choseBestLensFrom(const std::vector<std::string>& names);
    bool loadMatchingLens(const std::string& name);
    bool loadRecentSettings(const qv::Value& entry);

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
    // Writes the working copy: the photo scaled to fit the main window, as JPEG, with the photo's
    // EXIF and TIFF dictionaries (its orientation tag included; the pixels are not turned).
    bool createSmallScaledImage(const std::string& photo, const qv::Dictionary& properties);
    bool performLoading(const std::string& path);
    void executeExifToolForImage(const std::string& path);
    void displayImageProperties();
    // Extracts the profile of a photo into the support folder on a thread of its own.
    static void performSipsCommand(std::string photo);
    void showErrorDialog(const std::string& path) override;
    bool canDragImage() const override;
    std::string loadedImageFile() const { return m_pFileToLoad; }
    static std::string workingCopyPath();

    // ---- Saving (QVControllerSave.cpp) ----
    // The format of an extension (QVOutputType); an extension outside the table
    // selects JPEG and, with no panel, moves m_pFileToWrite to a ".jpg" name beside the photo.
    void setFileFormatTo(const std::string& extension, qv::ui::SavePanel* panel);
    void onChangeFileType(qv::ui::SavePanel* panel);
    void onQualityAmountSlider(Control* sender);
    void resetAccessoryView();
    float compressionAmount() const { return mCompressionAmount.load(); }
    // What one save writes, taken on the main thread as the save starts, so that the save thread
    // reads neither the controls of the save panel nor the view's metadata while the main thread
    // may change them.
    struct SaveJob {
        std::string path;      // the file to write
        std::string source;    // the photo re-read at full resolution
        QVOutputType::Type type = QVOutputType::Type::JPEG;
        QVOutputType::TiffCompression compression = QVOutputType::TiffCompression::None;
        float quality = 0.7f;  // the JPEG quality, 0 to 1
        qv::Value metadata;    // a copy of the view's; the encoder changes it
        std::uint64_t photo = 0;  // the opened photo it belongs to (mPhotoGeneration)
        qv::io::ColorSpace colorSpace = qv::io::ColorSpace::deviceRGB();  // the chosen photo's
        std::optional<shell::UnwrapSettings> unwrap;  // the preview shows this unwrap of the photo
    };
    SaveJob makeSaveJob();
    // The save thread's body: writes the job's file and reports on the main thread, where the
    // metadata the encoder changed goes back to the view when the same photo is still open.
    void saveImage(SaveJob job);
    bool isSaveInProgress() const { return mSaveInProgress.load(); }
    // The save panel's accessory controls (made by the controller when first needed).
    std::shared_ptr<qv::ui::View> m_pAccessoryView;
    qv::ui::PopUpButton* m_pFileFormatPopup = nullptr;
    qv::ui::PopUpButton* mCompressionType = nullptr;
    qv::ui::Slider* mQualityAmountSlider = nullptr;
    std::atomic<float> mCompressionAmount{0.7f};
    std::atomic<bool> mSaveInProgress{false};
    std::shared_ptr<qv::ui::SavePanel> m_pSavePanel;  // the Save As panel while it is shown
    // Counts the photos opened, so that a save's outcome is applied only to the photo it saved.
    std::uint64_t mPhotoGeneration = 0;
    ChosenPhoto mChosenPhoto;  // the photo as chosen, for the saves

    // ---- Helpers shared by the files above ----
    // The four coefficients of a resource-database lens, in use while one is current.
    void setPTLensValues(const std::array<double, 4>& values);
    std::array<double, 4> ptLensValues() const;
    // The parameters sheet's coefficient matrix (rows 0 to 3: a, b, c, d).
    void setCorrectionMatrix(const std::array<float, 4>& cells);
    void setIsPTLens(bool isPTLens);
    bool isBatchRunning() const;
    // A row of the loaded-database list: both of its parallel lists hold it.
    bool isDatabaseRow(int row) const {
        return row >= 0 && std::size_t(row) < m_pLoadedCamerasArray.size() && std::size_t(row) < m_pFilesArray.size();
    }
    void markWindowEdited();
    void openSheet(qv::ui::Window* sheet);
    void closeSheet(qv::ui::Window* sheet);
    // The extent of the view's preview proxy (an empty size without a photo).
    qv::Size fixedSizeExtent();

    // ======== Outlets, set by the nib ========
    // Main window.
    qv::ui::Window* m_pWindow = nullptr;
    QVDisplayViewLink* m_pDisplayView = nullptr;
    qv::ui::Button* m_pOpenButton = nullptr;
    qv::ui::MenuItem* mPrefMenuItem = nullptr;
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
    qv::ui::Button* m_pPreviewCheckbox = nullptr;
    qv::ui::Button* m_pMagnifierButton = nullptr;
    qv::ui::Button* m_pZoomMinusButton = nullptr;
    qv::ui::Button* m_pZoomPlusButton = nullptr;
    qv::ui::TextField* m_pZoomPercentageText = nullptr;
    qv::ui::Slider* m_pGridSlider = nullptr;
    qv::ui::Button* m_pShowGridCheckbox = nullptr;
    qv::ui::ColorWell* m_pColorWell = nullptr;
    qv::ui::TextField* mFocalLengthField = nullptr;
    qv::ui::TextField* mFocalLengthRange = nullptr;
    qv::ui::TextField* m_pLensText = nullptr;
    qv::ui::TextField* m_pDatabaseText = nullptr;
    qv::ui::TextField* m_pManufacturerText = nullptr;
    qv::ui::TextField* m_pCameraModelText = nullptr;
    qv::ui::TextField* m_pFocalLengthText = nullptr;
    qv::ui::Button* m_pDatabaseButton = nullptr;
    qv::ui::Button* m_pLensButton = nullptr;
    // Fisheye controls.
    qv::ui::TextField* mFEOutputWidth = nullptr;
    qv::ui::TextField* mFEOutputHeight = nullptr;
    qv::ui::TextField* mFEInputFOV = nullptr;
    qv::ui::TextField* mFEOutputFOV = nullptr;
    qv::ui::PopUpButton* mFESamplertypePopUp = nullptr;
    qv::ui::Button* mFEDefishButton = nullptr;
    qv::ui::ProgressIndicator* mFEUnwrapProgress = nullptr;
    qv::ui::TextField* mFEDefishingText = nullptr;
    qv::ui::Matrix* mFECorrectionTypeMatrix = nullptr;
    // Parameters sheet.
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
    // Database sheet.
    qv::ui::Window* m_pDatabaseSheet = nullptr;
    qv::ui::TableView* m_pCamNameTable = nullptr;
    qv::ui::TextField* m_pDatabasePathTextField = nullptr;
    qv::ui::Button* m_pLoadDatabaseButton = nullptr;
    qv::ui::Button* m_pEditDatabaseButton = nullptr;
    // Database edit sheet and the editor's state.
    DatabaseEditSheet mEditSheet;
    // Lens-selection window and the preferences window.
    qv::ui::Window* mLensSelectionWindow = nullptr;
    qv::ui::TableView* mManufacturerList = nullptr;
    qv::ui::TableView* mAvailableLensList = nullptr;
    qv::ui::TableView* mMyLensList = nullptr;
    qv::ui::Button* mSelectLensSaveButton = nullptr;
    qv::ui::PopUpButton* mLensSelectionModelPopUp = nullptr;
    qv::ui::Window* mPreferencesWindow = nullptr;
    QVPreferences* mQVPreferences = nullptr;

    // ======== State ========
    qv::Bundle m_pMainBundle;
    std::unique_ptr<QVDatabaseLoader> m_pQVDatabaseLoader;
    // The loaded-database rows: the row's name and its database file, one entry each.
    std::vector<std::string> m_pLoadedCamerasArray;
    std::vector<std::string> m_pFilesArray;
    qv::Array m_pPTLensCamInfoArray;            // the resource database's camera records
    qv::Value m_pDatabaseDict;                  // the held user database (null when none)
    std::optional<qv::Array> m_pManufacturerArray;
    std::optional<qv::Array> m_pLensArray;      // the working lens list; absent until one is made
    std::optional<qv::Array> mMyLensArray;      // the owned-lens list being edited
    std::atomic<bool> mIsPTLens{false};
    bool mDBLoaded = false;
    bool mAppLaunched = false;
    bool mLensSelectionInProgress = false;
    bool mPreferenceFileCreated = false;
    bool mWindowCloseRequest = false;
    bool mCorrectionsApplied = false;
    bool mSelectedFromPreferences = false;
    std::atomic<bool> mShowOnlyMathingLenses{false};
    std::atomic<bool> m_bImageLoaded{false};
    int mCamIndex = -1;
    int mLensIndex = -1;
    int mCamIndexInTable = -1;
    float mMinFocalLength = 0;
    float mMaxFocalLength = 0;
    std::atomic<float> mMinFocalLengthFromImage{0};
    std::atomic<float> mMaxFocalLengthFromImage{0};
    std::atomic<double> m_dAngularWidth{0};
    std::atomic<bool> mCropInside{false};
    std::atomic<bool> mCropNone{true};
    std::atomic<bool> mCropOutside{false};
    std::atomic<int> mFESamplerType{unwrap::samplerCode(unwrap::kDefaultSampler)};
    std::atomic<int> mFECorrectiontype{0};
    bool m_bDefishThreadCreated = false;
    std::string mFEOriginalImagePath;
    std::string m_pFileToLoad;
    std::string m_pFileToWrite;

private:
    // Start-up steps (QVControllerStartup.cpp).
    bool installOrUpdateResourceDatabase();
    void loadSupportFolderDatabases();
    void loadFallbackDatabase(const std::string& path);
    void restoreWindowFrame();
    void askForOwnedLenses();
    // Runs the lens-selection window modally; a run that ends other than through its own buttons
    // leaves the window as Cancel would.
    void runLensSelectionWindow();
    // The working list becomes the lenses of the model's camera group within the make (the last
    // matching camera wins) and the table shows them.
    void showLensesOfModel(const std::string& model, const std::string& make, qv::ui::TableView* table);
    // Reads a database file and adds its rows; false when it could not be read.
    bool addDatabase(const std::string& path);
    // After a database was added: select its (last) row and show it as the current database.
    void selectLastDatabaseRow();
    void showSelectedDatabaseName();
    // Shut-down helpers (QVControllerShutdown.cpp).
    enum class SaveQuestion { SaveAs, DontSave, Cancel };
    SaveQuestion askToSaveChanges();
    void storeWindowFrame(qv::Value& preferences) const;
    void storeFisheyeValues() const;
    // Tables (QVControllerTables.cpp).
    std::string lensRowTitle(const qv::Value& record, qv::ui::PopUpButton* modelPopUp) const;
    void selectModelForLensGroup(const std::string& lensGroup, const std::string& current);
    // Saving (QVControllerSave.cpp): disables the controls and starts the save thread, unless a
    // save runs already.
    void startSaveThread();
    void finishSave(SaveJob job, bool encoded, bool saved);
    // Controls (QVControllerControls.cpp).
    void allowInsideCrop(bool allow);
    void takeTypedFocalLength(float focal);
    // The database editor (QVControllerDatabaseEditor.cpp).
    void setEditSheetSaveTitle(const char* key);
    void fillEditSheetModels(const qv::Array& manufacturers, int position);
    // The held database's lens list after the working list changed, when the sheet edits it.
    void keepEditsInHeldDatabase();
    // Stores the sheet's fields in the selected record of the working list (a new record at the
    // end when no row is selected) and the manufacturer fields in `manufacturers`, then puts both
    // lists into `database`.
    void storeEditSheetFields(qv::Value& database, qv::Array& manufacturers);
    // Writes a user database; false, and an alert naming the file, when the path is not a "dtl"
    // file or the write failed.
    bool writeUserDatabase(const qv::Value& database, const std::string& path);
    // The coefficients' lock: correctionValues is read by save and batch threads while the main
    // thread changes the coefficients; it guards the array, the matrix cells and mIsPTLens
    // together, so a reader always sees one consistent set.
    mutable std::mutex m_coefficientMutex;
    std::array<double, 4> mPTLensValuesArray{};
    mutable std::mutex m_pathMutex;  // guards mOriginalImagePath
    std::string mOriginalImagePath;
    qv::Subscription m_popUpObserver;
    // Last, so that its worker is joined before anything else of the controller goes.
    shell::FisheyeControls m_fisheye;
    void finishUnwrap(const shell::UnwrapRequest& request, bool unwrapped, bool rewritten);
    void setFisheyeControlsEnabled(bool on);
};
