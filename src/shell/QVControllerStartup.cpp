// Creation, start-up once the nib is connected, the questions asked when launching has finished,
// and the application-delegate answers while the application runs.
#include "QVController.h"

#include "appkit/Alert.h"
#include "appkit/NumberText.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImageUnit.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "lens/LensKeys.h"
#include "lens/OwnedLensDrag.h"
#include "shell/PreferenceKeys.h"
#include "shell/Questions.h"
#include "shell/ResourceDatabase.h"
#include "shell/SupportFolder.h"

using namespace shell::keys;

QVController::QVController() : m_pMainBundle(qv::Bundle::main()) {}

QVController::~QVController() {
    m_popUpObserver.cancel();
    if (m_pQVDatabaseLoader) m_pQVDatabaseLoader->setController(nullptr);
    auto& application = qv::ui::Application::shared();
    if (application.delegate() == this) application.setDelegate(nullptr);
}

void QVController::awakeFromNib() {
    mAppLaunched = false;
    mLensSelectionInProgress = false;
    mFESamplerType = unwrap::samplerCode(unwrap::kDefaultSampler);
    mFECorrectiontype = 0;

    // Image units: the magnifier's filter comes from our own unit when nothing else supplies it.
    qv::ci::loadAllPlugIns();
    if (!qv::ci::Filter::isRegistered("LensFilter"))
        qv::ci::loadPlugIn(qv::paths::appendingPathComponent(m_pMainBundle.builtInPlugInsPath(), "LensFilter.plugin"));

    shell::sweepSupportFolder();

    mPreferenceFileCreated = false;
    if (!qv::PreferencesFile::exists()) {
        mPreferenceFileCreated = qv::PreferencesFile::createIfMissing(preferencesFileDefaults());
        qv::UserDefaults::standard().set(kSamplerType, unwrap::samplerCode(unwrap::kDefaultSampler));
    }

    setValuesToNoDatabase();
    const bool supportFolderUsable = installOrUpdateResourceDatabase();

    const qv::Value preferences = qv::PreferencesFile::read();
    const std::string fallbackDatabase = preferences.get(kLoadedDatabase).stringOr("");
    const std::string loadedCamera = preferences.get(kLoadedCamera).stringOr("");
    databaseLoader();

    if (supportFolderUsable) {
        loadSupportFolderDatabases();
    } else {
        qv::ui::runAlertPanel(m_pMainBundle.localizedString("CouldNotCreateFolderWarning"),
                              m_pMainBundle.localizedString("CouldNotCreateFolderMessage"), "OK");
    }

    if (mDBLoaded) {
        for (std::size_t row = 0; row < m_pLoadedCamerasArray.size(); ++row) {
            if (m_pLoadedCamerasArray[row] != loadedCamera) continue;
            if (m_pCamNameTable) m_pCamNameTable->selectRow(int(row));
            if (m_pDatabaseText) m_pDatabaseText->setStringValue(loadedCamera);
            break;
        }
    } else if (!fallbackDatabase.empty() && qv::files::exists(fallbackDatabase)) {
        loadFallbackDatabase(fallbackDatabase);
    }

    if (m_pDisplayView) m_pDisplayView->setController(this);
    databaseLoader().setController(this);
    if (mQVPreferences) mQVPreferences->readPreferences();
    resetValues();
    if (m_pCamNameTable) {
        m_pCamNameTable->setDataSource(this);
        m_pCamNameTable->setDelegate(this);
    }
    if (mEditSheet.m_pESLensNameText) mEditSheet.m_pESLensNameText->setDelegate(this);

    auto& defaults = qv::UserDefaults::standard();
    defaults.set(kOpenButton, true);
    defaults.set(kEnableControl, false);

    restoreWindowFrame();
    if (mMyLensList) mMyLensList->registerForDraggedTypes({ownedlens::kTableViewDataType});
    mShowOnlyMathingLenses = mShowMatchingLenses && mShowMatchingLenses->state() == qv::ui::kOnState;
    m_popUpObserver = qv::NotificationCenter::defaultCenter().addObserver(
        qv::ui::kPopUpButtonWillPopUpNotification, nullptr,
        [this](const qv::Notification& notification) { popupButtonWillPop(notification); });
    if (m_pCropRadioButtons) setCropOption(m_pCropRadioButtons);
    // The lens-information reader of the open step registers its own observer when it lands.
}

bool QVController::installOrUpdateResourceDatabase() {
    const auto bundled = m_pMainBundle.pathForResource("PTLens", "dat");
    const shell::ResourceDatabaseInstall install = shell::installResourceDatabase(bundled);
    const std::string installed = shell::installedDatabasePath();
    if (install.existed && bundled && shell::bundledDatabaseIsNewer(*bundled, installed) &&
        !qv::PreferencesFile::read().get(kDontAskUserToUpdateDB).boolOr(false)) {
        const shell::QuestionAnswer answer =
            shell::askWithDontAskAgain(m_pMainBundle.localizedString("ReplaceDBTitle"),
                                       m_pMainBundle.localizedString("ReplaceDBMessage"), "Yes", "No");
        if (answer.firstButton) shell::replaceInstalledDatabase(*bundled, installed);
        qv::PreferencesFile::update([&](qv::Value& root) { root[kDontAskUserToUpdateDB] = answer.dontAskAgain; });
    }
    return install.usable;
}

void QVController::loadSupportFolderDatabases() {
    const std::string folder = qv::paths::supportFolder();
    auto entries = qv::files::listFolder(folder);
    if (!entries) return;
    for (const std::string& entry : *entries) {
        const std::string path = folder + entry;
        if (!shell::isUserDatabasePath(path) && entry != shell::kResourceDatabaseFileName) continue;
        if (!addDatabase(path)) continue;
        selectLastDatabaseRow();
        showSelectedDatabaseName();
        mDBLoaded = true;
    }
}

void QVController::loadFallbackDatabase(const std::string& path) {
    if (!addDatabase(path)) return;
    selectLastDatabaseRow();
    showSelectedDatabaseName();
    mDBLoaded = true;
    setParameters();
    if (!m_pLensArray || m_pLensArray->empty()) return;
    const qv::Value& lens = m_pLensArray->front();
    if (m_pParametersTable) m_pParametersTable->selectRow(0);
    if (m_pLensText) m_pLensText->setStringValue(lens.get(lens::keys::kLensName).stringOr(""));
    if (mFocalLengthField) {
        mFocalLengthField->setDoubleValue(0);
        mFocalLengthField->setObjectValue(lens.get(lens::keys::kLensFocalLength));
    }
    if (!shell::isUserDatabasePath(path) && mFocalLengthRange)
        mFocalLengthRange->setStringValue(qv::ui::stringFromValue(lens.get(lens::keys::kMinFocalLength)) + " - " +
                                          qv::ui::stringFromValue(lens.get(lens::keys::kMaxFocalLength)));
}

void QVController::restoreWindowFrame() {
    if (!m_pWindow) return;
    const qv::Value preferences = qv::PreferencesFile::read();
    if (preferences.isDictionary() && !preferences.contains(kWindowWidth))
        qv::PreferencesFile::update([&](qv::Value& root) { storeWindowFrame(root); });
    const qv::Value stored = qv::PreferencesFile::read();
    const double width = stored.get(kWindowWidth).doubleOr(0);
    const double height = stored.get(kWindowHeight).doubleOr(0);
    if (width != 0 && height != 0)
        m_pWindow->setFrame(qv::Rect(stored.get(kOriginX).doubleOr(0), stored.get(kOriginY).doubleOr(0), width, height),
                            true);
}

void QVController::applicationDidFinishLaunching(qv::ui::Application&) {
    if (!mDBLoaded) {
        qv::ui::runAlertPanel(m_pMainBundle.localizedString("NoDatabaseWarning"),
                              m_pMainBundle.localizedString("DatabaseSelecComment"), "OK");
        onBrowseDatabase(nullptr);
        // Browsing adds rows only for a database it could read.
        if (!m_pLoadedCamerasArray.empty()) {
            showSelectedDatabaseName();
            resetValues();
            mDBLoaded = true;
        }
    }

    askForOwnedLenses();

    if (m_pWindow) m_pWindow->makeKeyAndOrderFront();
    if (mManufacturerList) mManufacturerList->tile();
    if (m_pDisplayView) m_pDisplayView->setAllowDragAndDrop(true);
    mAppLaunched = true;

    auto& defaults = qv::UserDefaults::standard();
    const std::pair<qv::ui::TextField*, const char*> fisheyeFields[] = {
        {mFEOutputWidth, kFEOutputWidth}, {mFEOutputHeight, kFEOutputHeight},
        {mFEInputFOV, kFEInputFOV},       {mFEOutputFOV, kFEOutputFOV}};
    for (const auto& [field, key] : fisheyeFields) {
        if (!field) continue;
        field->setFloatValue(defaults.floatForKey(key));
        field->setEnabled(false);
    }
    if (mFESamplertypePopUp) mFESamplertypePopUp->setEnabled(false);
    if (mFEDefishButton) mFEDefishButton->setEnabled(false);
    if (mFECorrectionTypeMatrix) mFECorrectionTypeMatrix->setEnabled(true);
}

void QVController::askForOwnedLenses() {
    const qv::Value preferences = qv::PreferencesFile::read();
    const bool noOwnedLenses = preferences.get(kRecentLenses).size() == 0;
    if (!(mPreferenceFileCreated || noOwnedLenses) || preferences.get(kDontAskUserToSelectLens).boolOr(false)) return;

    const shell::QuestionAnswer answer = shell::askWithDontAskAgain(
        m_pMainBundle.localizedString("Please tell Quorvel which lenses you own."),
        m_pMainBundle.localizedString("This will aid in the auto-selection of correction settings."),
        m_pMainBundle.localizedString("OKButton"), m_pMainBundle.localizedString("Cancel"));
    qv::PreferencesFile::update([&](qv::Value& root) { root[kDontAskUserToSelectLens] = answer.dontAskAgain; });
    if (!answer.firstButton) {
        if (m_pWindow) m_pWindow->makeKeyAndOrderFront();
        return;
    }

    mLensSelectionInProgress = true;
    if (mManufacturerList) {
        mManufacturerList->reloadData();
        mManufacturerList->tile();
        mManufacturerList->selectRow(0);
    }
    if (m_pWindow) m_pWindow->resignKeyWindow();
    if (m_pDisplayView) m_pDisplayView->setAllowDragAndDrop(false);
    runLensSelectionWindow();
}

void QVController::popupButtonWillPop(const qv::Notification& notification) {
    if (m_pPSModelPopUp && notification.sender == static_cast<const void*>(m_pPSModelPopUp))
        m_pPSModelPopUp->addItemWithTitle("Show All");
}

bool QVController::validateMenuItem(const qv::ui::MenuItem& item) {
    if (item.action() == "onSave:") return m_bImageLoaded.load();
    return true;
}

void QVController::applicationOpenFiles(qv::ui::Application&, const std::vector<std::string>& paths) {
    if (isBatchRunning() || paths.empty()) return;
    openImage(paths.front());
}

void QVController::windowDidResize(qv::ui::Window& window) {
    if (&window != m_pWindow || !m_bImageLoaded || !m_pDisplayView) return;
    m_pDisplayView->calculateDrawingRect();
    if (m_pMagnifierButton && m_pMagnifierButton->state() == qv::ui::kOnState)
        m_pDisplayView->showMagnifier(true);
    else
        m_pDisplayView->resetImageToDraw();
}

void QVController::onZentuButton(Control*) {
    const std::string address = m_pMainBundle.localizedString("k_pZentuLink");
    // A web address: a scheme, "://" and a host, with no blanks anywhere.
    const auto scheme = address.find("://");
    const bool isURL = scheme != std::string::npos && scheme > 0 && address.size() > scheme + 3 &&
                       address.find_first_of(" \t\r\n") == std::string::npos;
    if (isURL && m_openURL) m_openURL(address);
}

void QVController::onAbout(Control*) {
    auto about = qv::ui::Alert::withButtons("QuorvelCI", "OK", "", "", "Version " QV_VERSION);
    about->runModal();
}
