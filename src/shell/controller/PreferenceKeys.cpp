#include "shell/controller/PreferenceKeys.h"

#include "foundation/Paths.h"
#include "unwrap/Sampler.h"

namespace shell::keys {

qv::Value preferencesFileDefaults(bool plugIn) {
    qv::Value root{qv::Dictionary()};
    root[kFEInputFOV] = 1.0f;
    root[kFEOutputFOV] = 1.0f;
    root[kFEOutputHeight] = 0.0f;
    root[kFEOutputWidth] = 0.0f;
    root[kSamplerType] = unwrap::samplerCode(unwrap::kDefaultSampler);
    if (!plugIn) root[kDontAskUserToSelectLens] = false;
    root[kDontAskUserToUpdateDB] = false;
    for (const char* key : {kBatchSourceImagePath, kPresetFilePath, kParentDirectoryPath, kLoadedCamera,
                            kLoadedDatabase, kImageSavePath, kImageFilePath, kDatabasePath})
        root[key] = "";
    root[kImageDirectoryPath] = qv::paths::homeFolder() + "/Documents";
    root[kRecentLenses] = qv::Array();
    return root;
}

}  // namespace shell::keys
