#pragma once
// The application with its window: `quorvelci [PHOTO...]`.

// Opens the main window and the photos given, runs until the application terminates and answers
// the exit status. Without a window system to show it on (or in a build without one) it names the
// subcommands that need none and answers the usage error.
int runApplicationWindow(int argc, char** argv, const char* headlessHelp);
