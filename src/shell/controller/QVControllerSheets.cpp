// Sheets on the main window and its edited mark.
#include "shell/controller/QVController.h"

#include "appkit/Alert.h"
#include "foundation/Paths.h"
#include "shell/files/SupportFolder.h"

void QVController::openSheet(qv::ui::Window* sheet) {
    if (!sheet || !mMain.m_pWindow) return;
    qv::ui::Application::shared().beginSheet(*sheet, *mMain.m_pWindow);
}

void QVController::closeSheet(qv::ui::Window* sheet) {
    if (!sheet) return;
    qv::ui::Application::shared().endSheet(*sheet);
    sheet->orderOut();
}

void QVController::markWindowEdited() {
    if (mMain.m_pWindow) mMain.m_pWindow->setDocumentEdited(true);
}

bool QVController::refusedInSupportFolder(const std::string& path) {
    if (!shell::isInSupportFolder(path)) return false;
    qv::ui::runAlertPanel(qv::paths::lastPathComponent(path), m_pMainBundle.localizedString(shell::kSupportFolderRefusedKey),
                          "OK");
    return true;
}
