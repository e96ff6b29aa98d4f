#include "coreimage/CIImageUnit.h"

#include <map>
#include <mutex>

namespace qv::ci {

namespace {

struct Units {
    std::mutex mutex;
    std::map<std::string, ImageUnit> installed;
};
Units& units() {
    static Units u;
    return u;
}

// "/a/b/LensFilter.plugin" and "LensFilter" both name the unit "LensFilter".
std::string unitName(const std::string& pathOrName) {
    std::string name = pathOrName;
    while (!name.empty() && name.back() == '/') name.pop_back();
    if (auto slash = name.rfind('/'); slash != std::string::npos) name = name.substr(slash + 1);
    if (auto dot = name.rfind('.'); dot != std::string::npos && dot > 0) name = name.substr(0, dot);
    return name;
}

void registerFilters(const ImageUnit& unit) {
    for (const auto& f : unit.filters) Filter::registerFilterName(f.name, f.constructor, f.classAttributes);
}

}  // namespace

void installImageUnit(ImageUnit unit) {
    std::lock_guard<std::mutex> lock(units().mutex);
    const std::string name = unit.name;
    units().installed[name] = std::move(unit);
}

std::vector<std::string> installedImageUnits() {
    std::lock_guard<std::mutex> lock(units().mutex);
    std::vector<std::string> names;
    for (const auto& [name, unit] : units().installed) names.push_back(name);
    return names;
}

bool loadPlugIn(const std::string& pathOrName) {
    ImageUnit unit;
    {
        std::lock_guard<std::mutex> lock(units().mutex);
        auto it = units().installed.find(unitName(pathOrName));
        if (it == units().installed.end()) return false;
        unit = it->second;
    }
    registerFilters(unit);
    return true;
}

void loadAllPlugIns() {
    std::vector<ImageUnit> all;
    {
        std::lock_guard<std::mutex> lock(units().mutex);
        for (const auto& [name, unit] : units().installed) all.push_back(unit);
    }
    for (const auto& unit : all) registerFilters(unit);
}

}  // namespace qv::ci
