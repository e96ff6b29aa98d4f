#include "plugin/PlugInNib.h"

#include "appkit/Application.h"
#include "plugin/QVEditPlugIn.h"
#include "shell/nib/MainNibParts.h"

using namespace shell::nibparts;

namespace {

// The preferences window is a sheet on the plug-in's window: its OK and Cancel do what the
// application's do and then end the sheet.
class PreferencesSheetButtons : public NibObject {
public:
    PreferencesSheetButtons(QVPreferences& preferences, Window& sheet) : m_preferences(preferences), m_sheet(sheet) {}
    void onOK(Control* sender) {
        m_preferences.onOKPreferences(sender);
        Application::shared().endSheet(m_sheet);
    }
    void onCancel(Control* sender) {
        m_preferences.onCancel(sender);
        Application::shared().endSheet(m_sheet);
    }

private:
    QVPreferences& m_preferences;
    Window& m_sheet;
};

// The application's preferences window, with OK and Cancel that also end the sheet.
void buildPreferencesSheet(Builder& k, QVPreferences& preferences) {
    PreferencesButtons parts = buildPreferencesWindow(k, preferences);
    auto ends = k.b.make<PreferencesSheetButtons>(preferences, parts.window);
    parts.cancel.setTarget(ends.get(), &PreferencesSheetButtons::onCancel);
    parts.ok.setTarget(ends.get(), &PreferencesSheetButtons::onOK);
}

}  // namespace

PlugInNib instantiatePlugInNib(QVEditPlugIn& owner) {
    NibBuilder nib;
    auto controller = std::make_shared<QVController>();
    auto preferences = nib.add(std::make_shared<QVPreferences>());
    auto ranges = nib.make<RangeBindings>();
    Builder k(nib, *controller);
    PlugInNib result;
    MainWindowLayout layout;
    layout.title = kPlugInNibName;
    layout.deliverable = QVDisplayView::Deliverable::PlugIn;
    layout.hostChoosesPhoto = true;
    Window& window = buildMainWindow(k, layout, nullptr, *ranges, result.objects);

    // Done and Cancel at the bottom right of the window, below the correction controls.
    const double right = window.frame().width() - 20;
    auto done = nib.makeIn<Button>(window, Rect(right - 90, 12, 90, 28), "Done");
    auto cancel = nib.makeIn<Button>(window, Rect(right - 190, 12, 90, 28), qv::localizedString("Cancel"));
    done->setTarget(&owner, &QVEditPlugIn::doneEditing);
    cancel->setTarget(&owner, &QVEditPlugIn::cancelEditing);
    result.doneButton = done.get();
    result.cancelButton = cancel.get();

    buildParametersSheet(k);
    buildDatabaseSheet(k);
    buildEditDatabaseSheet(k);
    buildLensSelectionWindow(k);
    buildPreferencesSheet(k, *preferences);
    controller->preferences().mQVPreferences = preferences.get();
    auto menu = buildMainMenu(*controller, false);
    nib.add(controller);  // last: everything else is awake when it is

    result.objects.nib = nib.finish();
    result.objects.controller = controller;
    result.objects.preferences = preferences;
    result.objects.mainMenu = menu;
    return result;
}
