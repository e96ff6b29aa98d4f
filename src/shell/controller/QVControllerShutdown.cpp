// Closing the main window and quitting: the unsaved-changes question, what is written where, and
// the support-folder sweep.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "foundation/PreferencesFile.h"
#include "foundation/UserDefaults.h"
#include "shell/controller/PreferenceKeys.h"
#include "shell/files/SupportFolder.h"

using namespace shell::keys;

QVController::SaveQuestion QVController::askToSaveChanges() {
    const int code = qv::ui::runAlertPanel(
        m_pMainBundle.localizedString("AlertTitle"), m_pMainBundle.localizedString("AlertMessage"),
        m_pMainBundle.localizedString("Save As\u2026"), m_pMainBundle.localizedString("DontSave"),
        m_pMainBundle.localizedString("Cancel"));
    if (code == qv::ui::kAlertDefaultReturn) return SaveQuestion::SaveAs;
    if (code == qv::ui::kAlertAlternateReturn) return SaveQuestion::DontSave;
    return SaveQuestion::Cancel;
}

void QVController::storeWindowFrame(qv::Value& preferences) const {
    if (!mMain.m_pWindow) return;
    const qv::Rect frame = mMain.m_pWindow->frame();
    preferences[kWindowWidth] = float(frame.width());
    preferences[kWindowHeight] = float(frame.height());
    preferences[kOriginX] = float(frame.minX());
    preferences[kOriginY] = float(frame.minY());
}

void QVController::storeFisheyeValues() const {
    auto& defaults = qv::UserDefaults::standard();
    const std::pair<qv::ui::TextField*, const char*> fields[] = {{mFisheye.mFEOutputWidth, kFEOutputWidth},
                                                                 {mFisheye.mFEOutputHeight, kFEOutputHeight},
                                                                 {mFisheye.mFEInputFOV, kFEInputFOV},
                                                                 {mFisheye.mFEOutputFOV, kFEOutputFOV}};
    for (const auto& [field, key] : fields)
        if (field) defaults.set(key, qv::Value(field->floatValue()));
}

#ifdef QV_PLUGIN_BUILD
// Inside a host the plug-in is neither the application's delegate nor asked about closing: the
// session ends with Done or Cancel, and there is no save command to offer.
bool QVController::windowShouldClose(qv::ui::Window&) { return true; }

qv::ui::TerminateReply QVController::applicationShouldTerminate(qv::ui::Application&) {
    return qv::ui::TerminateReply::Now;
}
#else
bool QVController::windowShouldClose(qv::ui::Window& window) {
    if (&window != mMain.m_pWindow) return true;
    if (window.isDocumentEdited()) {
        switch (askToSaveChanges()) {
        case SaveQuestion::SaveAs:
            // The window stays; the save quits the application once it has succeeded.
            mState.mWindowCloseRequest = true;
            onSaveAs(nullptr);
            return false;
        case SaveQuestion::Cancel:
            return false;
        case SaveQuestion::DontSave:
            window.setDocumentEdited(false);
            qv::PreferencesFile::update([&](qv::Value& root) { storeWindowFrame(root); });
            storeFisheyeValues();
            break;
        }
    } else {
        qv::PreferencesFile::update([&](qv::Value& root) {
            storeWindowFrame(root);
            if (mState.mMyLensArray && !mState.mMyLensArray->empty()) root[kRecentLenses] = *mState.mMyLensArray;
        });
        storeFisheyeValues();
    }
    shell::sweepSupportFolder();
    return true;
}

qv::ui::TerminateReply QVController::applicationShouldTerminate(qv::ui::Application&) {
    if (mMain.m_pWindow && mMain.m_pWindow->isDocumentEdited()) {
        switch (askToSaveChanges()) {
        case SaveQuestion::SaveAs:
            mState.mWindowCloseRequest = true;
            onSaveAs(nullptr);
            return qv::ui::TerminateReply::Cancel;
        case SaveQuestion::Cancel:
            return qv::ui::TerminateReply::Cancel;
        case SaveQuestion::DontSave:
            qv::PreferencesFile::update([&](qv::Value& root) { storeWindowFrame(root); });
            return qv::ui::TerminateReply::Now;
        }
    }
    qv::PreferencesFile::update([&](qv::Value& root) { storeWindowFrame(root); });
    shell::sweepSupportFolder();
    return qv::ui::TerminateReply::Now;
}
#endif

bool QVController::applicationShouldTerminateAfterLastWindowClosed(qv::ui::Application&) { return true; }
