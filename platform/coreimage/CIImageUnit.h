#pragma once
// Image units: named bundles of filters that are installed (known to the process) before they are
// loaded (their filter names registered). On this platform a unit is compiled in: the code that
// provides it installs it at start-up with installImageUnit; the application then loads it by name
// or by the path of its bundle, exactly as it would load a plug-in.
#include <string>
#include <vector>

#include "coreimage/CIFilter.h"
#include "foundation/Value.h"

namespace qv::ci {

struct FilterRegistration {
    std::string name;
    FilterConstructor constructor;
    Value classAttributes;
};

struct ImageUnit {
    std::string name;  // "LensFilter" for a bundle ".../PlugIns/LensFilter.plugin"
    std::vector<FilterRegistration> filters;
};

// Makes a unit known to the process (replacing one of the same name); registers nothing yet.
void installImageUnit(ImageUnit unit);
std::vector<std::string> installedImageUnits();

// Registers the filters of the installed unit named by a bundle path or a unit name: the last path
// component without its extension names the unit. False when no such unit is installed.
bool loadPlugIn(const std::string& pathOrName);
// Registers the filters of every installed unit.
void loadAllPlugIns();

}  // namespace qv::ci
