#pragma once
// The image units the plug-in bundle carries in its built-in plug-ins folder: the magnifier's
// "LensFilter.plugin" (filter "LensFilter"), "Vignette.plugin" (filter "Vignette": the vignetting
// kernel filter) and "RadialDistortion.plugin" (filter "RadialDistortion": the radial-distortion
// kernel filter). Their code is the plug-in's own, made known to the Core Image layer when it is
// first needed; a unit's filters are registered only when its bundle folder is there.
#include <string>
#include <vector>

struct BundledImageUnit {
    const char* filter;  // the filter the unit supplies
    const char* file;    // the unit's bundle in the built-in plug-ins folder
};

// In the order the session start loads them.
const std::vector<BundledImageUnit>& bundledImageUnits();

// For each unit whose filter is not registered yet and whose bundle is in `plugInsFolder`, loads
// the unit; the filters of units already loaded and of units not carried stay as they are. Answers
// the filters loaded now.
std::vector<std::string> loadBundledImageUnits(const std::string& plugInsFolder);
