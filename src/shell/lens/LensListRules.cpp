#include "shell/lens/LensListRules.h"

#include "appkit/NumberText.h"
#include "lens/LensKeys.h"

namespace shell {

std::string lensName(const qv::Value& record) { return record.get(lens::keys::kLensName).stringOr(""); }

std::string focalRangeText(const qv::Value& record) {
    return qv::ui::stringFromValue(record.get(lens::keys::kMinFocalLength)) + " - " +
           qv::ui::stringFromValue(record.get(lens::keys::kMaxFocalLength));
}

bool isResourceLensRecord(const qv::Value& record) { return record.contains(lens::keys::kLensGroup); }

void removeMultipleEntriesFrom(qv::Array& lenses) {
    for (std::size_t i = 0; i < lenses.size(); ++i) {
        const std::string name = lensName(lenses[i]);
        const qv::Value group = lenses[i].get(lens::keys::kLensGroup);
        for (std::size_t j = lenses.size(); j-- > i + 1;)
            if (lensName(lenses[j]) == name && lenses[j].get(lens::keys::kLensGroup) == group) lenses.erase(lenses.begin() + j);
    }
}

bool multipleEntriesOf(const std::string& name, const qv::Array& lenses) {
    int count = 0;
    for (const qv::Value& record : lenses)
        if (lensName(record) == name && ++count >= 2) return true;
    return false;
}

qv::Value scaleDatabaseValuesForUpRecord(const qv::Value& record, double ratio) {
    qv::Value scaled = record;
    // User records may hold their numbers as text; a number spelled out counts as that number.
    for (const char* key : {lens::keys::kLensFocalLength, lens::keys::kRedA, lens::keys::kRedB, lens::keys::kRedC})
        scaled[key] = qv::ui::numberFromValue(record.get(key)) * ratio;
    return scaled;
}

qv::Value InterpolateLensDBWithUpDB(const qv::Value& up, const qv::Value& bottom, double focalLength) {
    qv::Value result = up;
    if (up.isNull() || bottom.isNull()) return result;
    const float f = float(focalLength);
    const float fUp = float(qv::ui::numberFromValue(up.get(lens::keys::kLensFocalLength)));
    const float fBottom = float(qv::ui::numberFromValue(bottom.get(lens::keys::kLensFocalLength)));
    const double toFocal = double(f) - fBottom, span = double(fUp) - fBottom;
    if (!(f > 0.0000001 && toFocal * toFocal > 0.0001 && span * span > 0.0001)) return result;
    for (const char* key : {lens::keys::kRedA, lens::keys::kRedB, lens::keys::kRedC}) {
        const double lower = qv::ui::numberFromValue(bottom.get(key));
        result[key] = lower + (qv::ui::numberFromValue(up.get(key)) - lower) * toFocal / span;
    }
    return result;
}

}  // namespace shell
