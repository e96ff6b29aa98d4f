#include "lens/CameraNames.h"

#include <algorithm>
#include <cctype>

namespace lens::cameras {
namespace {

enum class Rule {
    PaddedMake,         // `make` is written as `written` in EXIF; `always` below
    PaddedModel,        // with the make in use `make`, model `name` is written padded to 15
    StoredModelRepair,  // a database stores model `name` as `written`
};

struct CameraName {
    Rule rule;
    const char* make;
    const char* name;
    const char* written;
    bool always = false;  // a padded make that the multiplier variant pads even when plain matches
};

constexpr std::size_t kPaddedModelLength = 15;
constexpr const char* kPaddedRicoh = "RICOH      ";  // "RICOH" and six blanks

const CameraName kCameraNames[] = {
    {Rule::PaddedMake, "RICOH", "RICOH", kPaddedRicoh, true},
    {Rule::PaddedMake, "Canon", "Canon", "Canon ", false},
    {Rule::PaddedModel, kPaddedRicoh, "GR Digital", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio R6", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio R5", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio R4", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio R3", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio RR30", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio GX8", nullptr},
    {Rule::PaddedModel, kPaddedRicoh, "Caplio GX100", nullptr},
    {Rule::PaddedModel, "FUJIFILM", "FinePix F31fd", nullptr},
    {Rule::StoredModelRepair, "Canon", "Canon PowerShot S100", "Canon PowerShot S100\xB4"},
};

std::string padded(const std::string& model) {
    return model.size() < kPaddedModelLength ? model + std::string(kPaddedModelLength - model.size(), ' ') : model;
}

bool equalsIgnoringCase(const std::string& a, const std::string& b) {
    return a.size() == b.size() && std::equal(a.begin(), a.end(), b.begin(), [](unsigned char x, unsigned char y) {
               return std::tolower(x) == std::tolower(y);
           });
}

}  // namespace

std::string exifMakeForm(const std::string& recordMake, const std::string& photoMake, bool always) {
    for (const CameraName& entry : kCameraNames) {
        if (entry.rule != Rule::PaddedMake || recordMake != entry.make) continue;
        if (always ? entry.always : !equalsIgnoringCase(recordMake, photoMake)) return entry.written;
    }
    return recordMake;
}

std::string exifModelForm(const std::string& makeInUse, const std::string& model) {
    for (const CameraName& entry : kCameraNames)
        if (entry.rule == Rule::PaddedModel && makeInUse == entry.make && model == entry.name) return padded(model);
    return model;
}

std::string databaseModelForm(const std::string& exifMake, const std::string& exifModel) {
    for (const CameraName& entry : kCameraNames)
        if (entry.rule == Rule::PaddedModel && exifMake == entry.make && exifModel == padded(entry.name))
            return entry.name;
    return exifModel;
}

std::string repairedStoredModel(const std::string& model) {
    for (const CameraName& entry : kCameraNames)
        if (entry.rule == Rule::StoredModelRepair && model == entry.written) return entry.name;
    return model;
}

}  // namespace lens::cameras
