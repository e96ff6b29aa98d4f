#include "shell/CameraNames.h"

#include <array>

namespace shell {
namespace {

constexpr std::size_t kPaddedModelLength = 15;
const std::array<const char*, 8> kRicohModels = {"GR Digital", "Caplio R6",  "Caplio R5",  "Caplio R4",
                                                 "Caplio R3",  "Caplio RR30", "Caplio GX8", "Caplio GX100"};
constexpr const char* kFujifilmModel = "FinePix F31fd";

std::string padded(const std::string& model) {
    return model.size() < kPaddedModelLength ? model + std::string(kPaddedModelLength - model.size(), ' ') : model;
}

}  // namespace

std::string unpaddedExifModel(const std::string& exifMake, const std::string& exifModel) {
    if (exifMake == kPaddedRicohMake) {
        for (const char* model : kRicohModels)
            if (exifModel == padded(model)) return model;
    } else if (exifMake == "FUJIFILM" && exifModel == padded(kFujifilmModel)) {
        return kFujifilmModel;
    }
    return exifModel;
}

}  // namespace shell
