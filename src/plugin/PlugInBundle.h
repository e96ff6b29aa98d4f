#pragma once
// The plug-in's own bundle: the "Resources" folder beside the library the plug-in's code was
// loaded from, which from then on is the main bundle of all of the plug-in's code. Where the code
// is linked into a program instead (the tests), or $QV_RESOURCE_DIR is set, the program's bundle.
#include "foundation/Bundle.h"

qv::Bundle plugInBundle();
