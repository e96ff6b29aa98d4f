#include "plugin/PlugInNib.h"

#include "plugin/QVEditPlugIn.h"
#include "shell/MainNibParts.h"

using namespace shell::nibparts;

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
    buildPreferencesWindow(k, *preferences);
    controller->preferences().mQVPreferences = preferences.get();
    auto menu = buildMainMenu(*controller, false);
    nib.add(controller);  // last: everything else is awake when it is

    result.objects.nib = nib.finish();
    result.objects.controller = controller;
    result.objects.preferences = preferences;
    result.objects.mainMenu = menu;
    return result;
}
