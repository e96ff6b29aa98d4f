#include "shell/UserLensDatabase.h"

#include "appkit/NumberText.h"

namespace shell {

std::string lensTypeLabelKey(std::int64_t code) {
    switch (code) {
    case 1: return "kScanningCamera";
    case 2: return "kCircularFisheye";
    case 3: return "kFullFrameFisheye";
    case 4: return "kEquirectangular";
    case 8: return "kOrthographic";
    default: return "kRectilinear";
    }
}

std::string radialShiftModeLabelKey(std::int64_t code) {
    switch (code) {
    case 0x1000000: return "kVertical";
    case 0x2000000: return "kHorizontal";
    default: return "kRadial";
    }
}

std::string fieldText(const qv::Value& value, const std::string& missing) {
    if (const std::string* text = value.string()) return *text;
    if (auto number = value.asDouble(); number && value.type() != qv::Value::Type::Bool)
        return qv::ui::formatDouble(*number);
    return missing;
}

}  // namespace shell
