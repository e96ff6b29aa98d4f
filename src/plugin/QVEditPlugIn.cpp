// Creation, the window, and the start of an edit session: the plug-in's own version of the
// application's start-up, run at every session on the host's selected versions.
#include "plugin/QVEditPlugIn.h"

#include "appkit/Alert.h"
#include "appkit/Application.h"
#include "appkit/Button.h"
#include "coreimage/ParallelWorkers.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"
#include "foundation/PreferencesFile.h"
#include "foundation/Threads.h"
#include "lens/OwnedLensDrag.h"
#include "plugin/PlugInBundle.h"
#include "plugin/PlugInEditWindow.h"
#include "plugin/PlugInImageUnits.h"
#include "shell/controller/CorrectionControls.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"
#include "shell/controller/WindowFrame.h"

using namespace shell::keys;

std::unique_ptr<QVEditPlugIn> QVEditPlugIn::initWithAPIManager(qv::host::PROAPIAccessing* apiManager) {
    if (!apiManager) return nullptr;
    qv::host::ApertureEditManager* editManager = apiManager->apiForProtocol(qv::host::kApertureEditManagerProtocol);
    if (!editManager) return nullptr;
    return std::unique_ptr<QVEditPlugIn>(new QVEditPlugIn(apiManager, editManager));
}

QVEditPlugIn::QVEditPlugIn(qv::host::PROAPIAccessing* apiManager, qv::host::ApertureEditManager* editManager)
    : mApiManager(apiManager), mEditManager(editManager), m_bundle(plugInBundle()) {}

QVEditPlugIn::~QVEditPlugIn() {
    // The profile extraction of a session may still run; it must not outlive what it writes for.
    // Nor may the parallel workers outlive the session: the host may unload the plug-in's code.
    qv::waitForDetachedThreads(60);
    qv::ci::endParallelWorkers();
}

qv::ui::Window* QVEditPlugIn::window() { return m_nib ? m_nib->objects.controller->mainWindow().m_pWindow : nullptr; }

qv::host::EditWindow* QVEditPlugIn::editWindow() {
    if (m_editWindow) return m_editWindow.get();
    PlugInNib nib = instantiatePlugInNib(*this);
    QVController* made = nib.objects.controller.get();
    if (!made || !made->mainWindow().m_pWindow || !nib.doneButton || !nib.cancelButton) return nullptr;  // tried again next time
    m_nib = std::move(nib);
    QVController& c = *m_nib->objects.controller;
    c.setMainBundle(m_bundle);
    c.setOriginalImagePath("");
    m_editWindow = std::make_unique<PlugInEditWindow>(*this, *c.mainWindow().m_pWindow, *m_nib->doneButton,
                                                      *m_nib->cancelButton);
    return m_editWindow.get();
}

std::optional<qv::Rect> QVEditPlugIn::placedFrame(const qv::host::Frame& host, double width, double height) {
    // A stored size that is no number or none, or a place off every screen, leaves the nib's frame.
    const qv::Rect frame(host.x + 0.5 * host.width - 0.5 * width, host.y + host.height - height, width, height);
    if (!shell::isUsableWindowFrame(frame)) return std::nullopt;
    return frame;
}

void QVEditPlugIn::placeWindowOverHost() {
    QVController& c = *controller();
    qv::Value preferences = qv::PreferencesFile::read();
    if (preferences.isDictionary() && !preferences.contains(kWindowWidth))
        c.state().mPreferenceFileCreated = qv::PreferencesFile::update([&](qv::Value& root) { c.storeWindowFrame(root); });
    preferences = qv::PreferencesFile::read();
    const float width = preferences.get(kWindowWidth).floatOr(0), height = preferences.get(kWindowHeight).floatOr(0);
    if (const auto frame = placedFrame(mEditManager->apertureWindow(), width, height)) window()->setFrame(*frame, true);
}

void QVEditPlugIn::restoreFisheyeControls() {
    QVController& c = *controller();
    const qv::Value preferences = qv::PreferencesFile::read();
    auto& fisheye = c.fisheye();
    const std::pair<qv::ui::TextField*, const char*> fields[] = {{fisheye.mFEInputFOV, kFEInputFOV},
                                                                 {fisheye.mFEOutputFOV, kFEOutputFOV},
                                                                 {fisheye.mFEOutputWidth, kFEOutputWidth},
                                                                 {fisheye.mFEOutputHeight, kFEOutputHeight}};
    for (const auto& [field, key] : fields)
        if (field) field->setIntValue(int(preferences.get(key).doubleOr(0)));
    if (fisheye.mFESamplertypePopUp && preferences.contains(kSamplerType)) {
        // The sampler the unwrap uses follows the restored pop-up.
        if (fisheye.mFESamplertypePopUp->selectItemWithTag(int(preferences.get(kSamplerType).doubleOr(0))))
            c.setSamplerType(fisheye.mFESamplertypePopUp);
    }
    if (fisheye.mFECorrectionTypeMatrix) c.setCorrectionType(fisheye.mFECorrectionTypeMatrix);
}

void QVEditPlugIn::beginEditSession() {
    QVController* controller = this->controller();
    if (!controller) return;  // editWindow has not run
    QVController& c = *controller;
    m_sessionOpen = true;

    // 1-2: one entry per selected version, only the first made editable. The list starts empty at
    // every session, so a second session never writes the first session's file again.
    mImagePaths.clear();
    const std::vector<qv::host::VersionId> selected = mEditManager->selectedVersionIds();
    mImagePaths.resize(selected.size());
    if (!selected.empty()) {
        const auto editable = mEditManager->editableVersionsOfVersions({selected.front()}, true);
        if (!editable.empty()) {
            const auto id = editable.front().find(qv::host::kExportKeyUniqueID);
            if (id != editable.front().end()) {
                const std::string path = mEditManager->pathOfEditableFileForVersion(id->second);
                if (!path.empty()) mImagePaths.front() = path;
            }
        }
    }

    // 3-11: the bundle's image units (no other units of the system), then the controller's part:
    // the previous session forgotten, the alerts' icon, the preferences file, the databases and
    // the links, as the application's start-up.
    loadBundledImageUnits(m_bundle.builtInPlugInsPath());
    c.startEditSession(qv::ui::Image::initByReferencingFile(m_bundle.pathForResource("lens", "png").value_or("")));

    // 12-16.
    for (qv::ui::Slider* fringe : {c.mainWindow().m_pFixRedSlider, c.mainWindow().m_pFixBlueSlider}) {
        if (!fringe) continue;
        fringe->setMinValue(shell::kFringeRange.minimum);
        fringe->setMaxValue(shell::kFringeRange.maximum);
    }
    placeWindowOverHost();
    if (c.lensSelection().mMyLensList) c.lensSelection().mMyLensList->registerForDraggedTypes({ownedlens::kTableViewDataType});
    if (!c.askForOwnedLenses()) window()->makeKeyAndOrderFront();
    restoreFisheyeControls();

    // 17.
    c.observePopUps();
    shell::sweepSupportFolder();
    if (c.mainWindow().m_pCropRadioButtons) c.setCropOption(c.mainWindow().m_pCropRadioButtons);

    // 18: the editable file is opened; the profile thread is handed its path, read by nobody else.
    if (mImagePaths.empty() || !mImagePaths.front()) return;
    const std::string path = *mImagePaths.front();
    qv::detachThread([path] { shell::performSipsCommand(path); });
    c.openImage(path);
}
