// Creation, start-up once the nib is connected, the questions asked when launching has finished,
// and the application-delegate answers while the application runs.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "coreimage/CIFilter.h"
#include "coreimage/CIImageUnit.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "lens/LensKeys.h"
#include "lens/OwnedLensDrag.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/controller/WindowFrame.h"
#include "shell/controller/Questions.h"
#include "shell/files/ResourceDatabase.h"
#include "shell/files/SupportFolder.h"
#include "shell/lens/LensListRules.h"

using namespace shell::keys;

QVController::QVController() : m_pMainBundle(qv::Bundle::main()) {}

QVController::~QVController() {
    m_popUpObserver.cancel();
    if (mState.m_pQVDatabaseLoader) mState.m_pQVDatabaseLoader->setController(nullptr);
    auto& application = qv::ui::Application::shared();
    if (application.delegate() == this) application.setDelegate(nullptr);
}

void QVController::awakeFromNib() {
    mState.mAppLaunched = false;
    mState.mLensSelectionInProgress = false;
    mState.mFESamplerType = unwrap::samplerCode(unwrap::kDefaultSampler);
    mState.mFECorrectiontype = CorrectionType::Lens;
#ifndef QV_PLUGIN_BUILD  // in the plug-in, every edit session of the host runs its own start-up
    // Image units: the magnifier's filter comes from our own unit when nothing else supplies it.
    qv::ci::loadAllPlugIns();
    if (!qv::ci::Filter::isRegistered("LensFilter"))
        qv::ci::loadPlugIn(qv::paths::appendingPathComponent(m_pMainBundle.builtInPlugInsPath(), "LensFilter.plugin"));

    shell::sweepSupportFolder();

    mState.mPreferenceFileCreated = false;
    if (!qv::PreferencesFile::exists()) {
        mState.mPreferenceFileCreated = qv::PreferencesFile::createIfMissing(preferencesFileDefaults());
        qv::UserDefaults::standard().set(kSamplerType, unwrap::samplerCode(unwrap::kDefaultSampler));
    }

    setValuesToNoDatabase();
    startDatabasesAndLinks();

    auto& defaults = qv::UserDefaults::standard();
    defaults.set(kOpenButton, true);
    defaults.set(kEnableControl, false);

    restoreWindowFrame();
    if (mLensSelection.mMyLensList)
        mLensSelection.mMyLensList->registerForDraggedTypes({ownedlens::kTableViewDataType});
    mState.mShowOnlyMathingLenses =
        mParametersSheet.mShowMatchingLenses && mParametersSheet.mShowMatchingLenses->state() == qv::ui::kOnState;
    observePopUps();
    if (mMain.m_pCropRadioButtons) setCropOption(mMain.m_pCropRadioButtons);
    // The lens-information reader of the open step registers its own observer when it lands.
#endif
}

void QVController::observePopUps() {
    m_popUpObserver = qv::NotificationCenter::defaultCenter().addObserver(
        qv::ui::kPopUpButtonWillPopUpNotification, nullptr,
        [this](const qv::Notification& notification) { popupButtonWillPop(notification); });
}

void QVController::startEditSession(const qv::ui::Image& icon) {
    mState.mAppLaunched = false;
    mState.mLensSelectionInProgress = false;
    mState.mDatabaseRows.clear();  // the databases are loaded again below
    setPTLensValues({0, 0, 0, 0});
    mState.mQuorvelIcon = icon;
    mState.mPreferenceFileCreated = false;
    if (!qv::PreferencesFile::exists()) qv::PreferencesFile::createIfMissing(preferencesFileDefaults(true));
    setValuesToNoDatabase();
    startDatabasesAndLinks();
}

void QVController::startDatabasesAndLinks() {
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

    if (mState.mDBLoaded) {
        for (std::size_t row = 0; row < mState.mDatabaseRows.size(); ++row) {
            if (mState.mDatabaseRows[row].name != loadedCamera) continue;
            if (mDatabaseSheet.m_pCamNameTable) mDatabaseSheet.m_pCamNameTable->selectRow(int(row));
            if (mMain.m_pDatabaseText) mMain.m_pDatabaseText->setStringValue(loadedCamera);
            break;
        }
    } else if (!fallbackDatabase.empty() && qv::files::exists(fallbackDatabase)) {
        loadFallbackDatabase(fallbackDatabase);
    }

    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setController(this);
    databaseLoader().setController(this);
    if (mPreferences.mQVPreferences) mPreferences.mQVPreferences->readPreferences();
    resetValues();
    if (mDatabaseSheet.m_pCamNameTable) {
        mDatabaseSheet.m_pCamNameTable->setDataSource(this);
        mDatabaseSheet.m_pCamNameTable->setDelegate(this);
    }
    if (mEditSheet.m_pESLensNameText) mEditSheet.m_pESLensNameText->setDelegate(this);
}

bool QVController::installOrUpdateResourceDatabase() {
    const auto bundled = m_pMainBundle.pathForResource("PTLens", "dat");
    const shell::ResourceDatabaseInstall install = shell::installResourceDatabase(bundled);
    const std::string installed = shell::installedDatabasePath();
    if (install.existed && bundled && shell::bundledDatabaseIsNewer(*bundled, installed) &&
        !qv::PreferencesFile::read().get(kDontAskUserToUpdateDB).boolOr(false)) {
        const shell::QuestionAnswer answer =
            shell::askWithDontAskAgain(m_pMainBundle.localizedString("ReplaceDBTitle"),
                                       m_pMainBundle.localizedString("ReplaceDBMessage"), "Yes", "No",
                                       mState.mQuorvelIcon);
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
        mState.mDBLoaded = true;
    }
}

void QVController::loadFallbackDatabase(const std::string& path) {
    if (!addDatabase(path)) return;
    selectLastDatabaseRow();
    showSelectedDatabaseName();
    mState.mDBLoaded = true;
    setParameters();
    if (!mState.m_pLensArray || mState.m_pLensArray->empty()) return;
    const qv::Value& lens = mState.m_pLensArray->front();
    if (mParametersSheet.m_pParametersTable) mParametersSheet.m_pParametersTable->selectRow(0);
    if (mMain.m_pLensText) mMain.m_pLensText->setStringValue(lens.get(lens::keys::kLensName).stringOr(""));
    if (mMain.mFocalLengthField) {
        mMain.mFocalLengthField->setDoubleValue(0);
        mMain.mFocalLengthField->setObjectValue(lens.get(lens::keys::kLensFocalLength));
    }
    if (!shell::isUserDatabasePath(path) && mMain.mFocalLengthRange)
        mMain.mFocalLengthRange->setStringValue(shell::focalRangeText(lens));
}

void QVController::restoreWindowFrame() {
    if (!mMain.m_pWindow) return;
    const qv::Value preferences = qv::PreferencesFile::read();
    if (preferences.isDictionary() && !preferences.contains(kWindowWidth))
        qv::PreferencesFile::update([&](qv::Value& root) { storeWindowFrame(root); });
    // A frame that is no numbers, has no size or lies off every screen leaves the nib's.
    if (const auto frame = shell::storedWindowFrame(qv::PreferencesFile::read()))
        mMain.m_pWindow->setFrame(*frame, true);
}

#ifdef QV_PLUGIN_BUILD
// Inside a host the plug-in is not the application's delegate: each edit session runs its own
// start-up and the host hands over no files.
void QVController::applicationDidFinishLaunching(qv::ui::Application&) {}

void QVController::applicationOpenFiles(qv::ui::Application&, const std::vector<std::string>&) {}
#else
void QVController::applicationDidFinishLaunching(qv::ui::Application&) {
    if (!mState.mDBLoaded) {
        qv::ui::runAlertPanel(m_pMainBundle.localizedString("NoDatabaseWarning"),
                              m_pMainBundle.localizedString("DatabaseSelecComment"), "OK");
        onBrowseDatabase(nullptr);
        // Browsing adds rows only for a database it could read.
        if (!mState.mDatabaseRows.empty()) {
            showSelectedDatabaseName();
            resetValues();
            mState.mDBLoaded = true;
        }
    }

    askForOwnedLenses();

    if (mMain.m_pWindow) mMain.m_pWindow->makeKeyAndOrderFront();
    if (mLensSelection.mManufacturerList) mLensSelection.mManufacturerList->tile();
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setAllowDragAndDrop(true);
    mState.mAppLaunched = true;

    auto& defaults = qv::UserDefaults::standard();
    const std::pair<qv::ui::TextField*, const char*> fisheyeFields[] = {{mFisheye.mFEOutputWidth, kFEOutputWidth},
                                                                        {mFisheye.mFEOutputHeight, kFEOutputHeight},
                                                                        {mFisheye.mFEInputFOV, kFEInputFOV},
                                                                        {mFisheye.mFEOutputFOV, kFEOutputFOV}};
    for (const auto& [field, key] : fisheyeFields) {
        if (!field) continue;
        field->setFloatValue(defaults.floatForKey(key));
        field->setEnabled(false);
    }
    if (mFisheye.mFESamplertypePopUp) mFisheye.mFESamplertypePopUp->setEnabled(false);
    if (mFisheye.mFEDefishButton) mFisheye.mFEDefishButton->setEnabled(false);
    if (mFisheye.mFECorrectionTypeMatrix) mFisheye.mFECorrectionTypeMatrix->setEnabled(true);
}
#endif

bool QVController::askForOwnedLenses() {
    const qv::Value preferences = qv::PreferencesFile::read();
    const bool noOwnedLenses = preferences.get(kRecentLenses).size() == 0;
    if (!(mState.mPreferenceFileCreated || noOwnedLenses) || preferences.get(kDontAskUserToSelectLens).boolOr(false))
        return false;

    const shell::QuestionAnswer answer = shell::askWithDontAskAgain(
        m_pMainBundle.localizedString("Please tell Quorvel which lenses you own."),
        m_pMainBundle.localizedString("This will aid in the auto-selection of correction settings."),
        m_pMainBundle.localizedString("OKButton"), m_pMainBundle.localizedString("Cancel"), mState.mQuorvelIcon);
    qv::PreferencesFile::update([&](qv::Value& root) { root[kDontAskUserToSelectLens] = answer.dontAskAgain; });
    if (!answer.firstButton) {
        if (mLensSelection.mLensSelectionWindow) mLensSelection.mLensSelectionWindow->orderOut();
        if (mMain.m_pWindow) mMain.m_pWindow->makeKeyAndOrderFront();
        return true;
    }

    mState.mLensSelectionInProgress = true;
    if (mLensSelection.mManufacturerList) {
        mLensSelection.mManufacturerList->reloadData();
        mLensSelection.mManufacturerList->tile();
        mLensSelection.mManufacturerList->selectRow(0);
    }
#ifdef QV_PLUGIN_BUILD  // the plug-in's window takes no drops; its sheet opens on all lenses of the make
    if (mLensSelection.mLensSelectionModelPopUp) mLensSelection.mLensSelectionModelPopUp->selectItemWithTitle("Show All");
#else
    if (mMain.m_pWindow) mMain.m_pWindow->resignKeyWindow();
    if (mMain.m_pDisplayView) mMain.m_pDisplayView->setAllowDragAndDrop(false);
#endif
    runLensSelectionWindow();
    return true;
}

void QVController::popupButtonWillPop(const qv::Notification& notification) {
    if (mParametersSheet.m_pPSModelPopUp &&
        notification.sender == static_cast<const void*>(mParametersSheet.m_pPSModelPopUp))
        mParametersSheet.m_pPSModelPopUp->addItemWithTitle("Show All");
}

bool QVController::validateMenuItem(const qv::ui::MenuItem& item) {
    if (item.action() == "onSave:") return mState.m_bImageLoaded.load();
    return true;
}

#ifndef QV_PLUGIN_BUILD
void QVController::applicationOpenFiles(qv::ui::Application&, const std::vector<std::string>& paths) {
    if (isBatchRunning() || paths.empty()) return;
    openImage(paths.front());
}
#endif

void QVController::windowDidResize(qv::ui::Window& window) {
    if (&window != mMain.m_pWindow || !mState.m_bImageLoaded || !mMain.m_pDisplayView) return;
    mMain.m_pDisplayView->calculateDrawingRect();
    if (mMain.m_pMagnifierButton && mMain.m_pMagnifierButton->state() == qv::ui::kOnState)
        mMain.m_pDisplayView->showMagnifier(true);
    else
        mMain.m_pDisplayView->resetImageToDraw();
}

void QVController::onZentuButton(Control*) {
    const std::string address = m_pMainBundle.localizedString("k_pZentuLink");
    // A web address: a scheme, "://" and a host, with no blanks anywhere.
    const auto scheme = address.find("://");
    const bool isURL = scheme != std::string::npos && scheme > 0 && address.size() > scheme + 3 &&
                       address.find_first_of(" \t\r\n") == std::string::npos;
    if (isURL && mState.m_openURL) mState.m_openURL(address);
}

void QVController::onAbout(Control*) {
    auto about = qv::ui::Alert::withButtons("QuorvelCI", "OK", "", "", "Version " QV_VERSION);
    about->setInformational(true);
    about->runModal();
}
