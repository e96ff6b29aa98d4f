#pragma once
// The main nib: the main window with its correction, lens and fisheye controls; the parameters,
// database and database-edit sheets; the lens-selection window; the preferences window; the main
// menu; and the objects that run them, QVController and QVPreferences, connected as an interface
// file connects them. Finishing the build sends awakeFromNib to every object, the controller last,
// so the controller's start-up runs with everything in place.
#include <memory>

#include "appkit/Menu.h"
#include "appkit/NibBuilder.h"
#include "lens/QVPreferences.h"
#include "shell/batch/QVBatchController.h"
#include "shell/controller/QVController.h"
#include "engine/QVDisplayView.h"
#include "shell/controller/QVDisplayViewAdapter.h"
#include "shell/controller/QVDisplayViewLink.h"

struct QVMainNib {
    QVMainNib() = default;
    QVMainNib(QVMainNib&&) = default;
    QVMainNib& operator=(QVMainNib&&) = default;
    // Takes the menu back from the application when it is still the main menu: its items call the
    // controller, which goes with the nib.
    ~QVMainNib();

    // The preview view the main window shows and the link the controller drives it through, when
    // the nib placed them itself; declared first so that they outlive the controller.
    std::shared_ptr<QVDisplayView> displayView;
    std::unique_ptr<QVDisplayViewAdapter> displayViewAdapter;
    qv::ui::Nib nib;  // keeps every window, control and controller alive
    std::shared_ptr<QVController> controller;
    std::shared_ptr<QVBatchController> batchController;
    std::shared_ptr<QVPreferences> preferences;
    std::shared_ptr<qv::ui::Menu> mainMenu;
};

// Builds the nib. The controller becomes the application's delegate and the main window's delegate,
// the menu the application's main menu. `view`, when given, is a stand-in for the preview view that
// the controller drives (it must outlive the nib); without one the main window gets the real
// preview view beside its controls.
QVMainNib loadMainNib(QVDisplayViewLink* view = nullptr);
