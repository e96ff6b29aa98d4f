#include "coreimage/ResourceText.h"

#include "foundation/Bundle.h"
#include "foundation/Files.h"

namespace qv::ci {

std::optional<std::string> readResourceText(const std::string& name, const std::string& type) {
    // A name that could leave the resource folder is not a resource name.
    if (name.empty() || name.find('/') != std::string::npos || type.find('/') != std::string::npos) return std::nullopt;
    auto path = Bundle::main().pathForResource(name, type);
    if (!path) return std::nullopt;
    auto bytes = files::readWhole(*path);
    if (!bytes) return std::nullopt;
    return std::string(bytes->begin(), bytes->end());
}

}  // namespace qv::ci
