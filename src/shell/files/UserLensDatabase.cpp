#include "shell/files/UserLensDatabase.h"

#include "appkit/NumberText.h"
#include "lens/UserLensRecord.h"

namespace shell {

std::string lensTypeLabelKey(std::int64_t code) { return lens::userdb::labelKeyOf(lens::userdb::kLensTypes, code); }

std::string radialShiftModeLabelKey(std::int64_t code) {
    return lens::userdb::labelKeyOf(lens::userdb::kRadialShiftModes, code);
}

std::string fieldText(const qv::Value& value, const std::string& missing) {
    if (const std::string* text = value.string()) return *text;
    // A single-precision number shows as its own shortest text (37.2, not its widened digits).
    if (const qv::Real* real = value.real(); real && real->singleBits) return qv::ui::formatFloat(real->asFloat());
    if (auto number = value.asDouble(); number && value.type() != qv::Value::Type::Bool)
        return qv::ui::formatDouble(*number);
    return missing;
}

}  // namespace shell
