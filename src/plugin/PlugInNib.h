#pragma once
// The plug-in's nib "QuorvelCI_Plugin": its window, over the host's, with the main window's
// correction, lens and fisheye controls (the Open button hidden, the host chose the photo) and a
// preview view that reads the editable file whole, the Done and Cancel buttons that end the
// session, the lens and database sheets, the lens-selection window, the preferences window as a
// sheet on the plug-in's window (its OK and Cancel end the sheet), and a menu
// without photo commands. There is no batch sheet, and the controller is neither the
// application's delegate nor the owner of the main menu: the host is the application.
#include "appkit/Button.h"
#include "shell/nib/QVMainNib.h"

class QVEditPlugIn;

inline constexpr const char* kPlugInNibName = "QuorvelCI_Plugin";

struct PlugInNib {
    QVMainNib objects;  // the top-level objects, which the plug-in owns
    qv::ui::Button* doneButton = nullptr;
    qv::ui::Button* cancelButton = nullptr;
};

// Instantiates the nib with the plug-in as the owner of its Done and Cancel buttons.
PlugInNib instantiatePlugInNib(QVEditPlugIn& owner);
