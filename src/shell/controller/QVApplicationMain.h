#pragma once
// The application's start: what the program's main hands over to.
#include "shell/nib/QVMainNib.h"

// Loads the main nib (the controller's start-up runs as it awakes) and finishes launching, which
// asks the launch questions. The returned nib keeps the application's objects alive.
QVMainNib QVLaunchApplication(QVDisplayViewLink* view = nullptr);

// Runs the main run loop and the queued events until the application has terminated.
void QVRunApplication();

// The whole life of the application: launch, run, and the exit status.
int QVApplicationMain(int argc, char** argv);
