// A build without the window (QV_GUI off): the application can only be driven headless.
#include <cstdio>

#include "WindowApplication.h"

int runApplicationWindow(int, char**, const char* headlessHelp) {
    std::fprintf(stderr, "quorvelci: this build has no window (built without Qt 6)\n%s", headlessHelp);
    return 2;
}
