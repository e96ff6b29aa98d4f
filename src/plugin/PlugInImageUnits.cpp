#include "plugin/PlugInImageUnits.h"

#include <algorithm>
#include <memory>
#include <mutex>

#include "coreimage/CIFilter.h"
#include "coreimage/CIImageUnit.h"
#include "engine/LensFilter.h"
#include "engine/RadialDistortion.h"
#include "engine/Vignetting.h"
#include "foundation/Files.h"
#include "foundation/Paths.h"

namespace {

constexpr const char* kVignette = "Vignette";
constexpr const char* kRadialDistortion = "RadialDistortion";

template <class KernelFilterClass>
qv::ci::ImageUnit kernelUnit(const char* name, const char* displayName) {
    return qv::ci::ImageUnit{
        name,
        {qv::ci::FilterRegistration{
            name,
            [](const std::string& filter) -> std::shared_ptr<qv::ci::Filter> {
                return std::make_shared<KernelFilterClass>(filter);
            },
            qv::Value(qv::Dictionary{{"CIAttributeFilterDisplayName", displayName}})}}};
}

void installBundledImageUnits() {
    static std::once_flag once;
    std::call_once(once, [] {
        LensFilter::installImageUnit();
        qv::ci::installImageUnit(kernelUnit<Vignetting>(kVignette, "Vignette"));
        qv::ci::installImageUnit(kernelUnit<RadialDistortion>(kRadialDistortion, "Radial Distortion"));
    });
}

}  // namespace

const std::vector<BundledImageUnit>& bundledImageUnits() {
    static const std::vector<BundledImageUnit> units = {{LensFilter::kName, "LensFilter.plugin"},
                                                        {kVignette, "Vignette.plugin"},
                                                        {kRadialDistortion, "RadialDistortion.plugin"}};
    return units;
}

std::vector<std::string> loadBundledImageUnits(const std::string& plugInsFolder) {
    installBundledImageUnits();
    // The registered names are taken once, before any unit is loaded.
    const std::vector<std::string> registered = qv::ci::Filter::filterNames();
    std::vector<std::string> loaded;
    for (const BundledImageUnit& unit : bundledImageUnits()) {
        if (std::find(registered.begin(), registered.end(), unit.filter) != registered.end()) continue;
        const std::string bundle = qv::paths::appendingPathComponent(plugInsFolder, unit.file);
        if (qv::files::exists(bundle) && qv::ci::loadPlugIn(bundle)) loaded.emplace_back(unit.filter);
    }
    return loaded;
}
