#pragma once
// What one save writes, taken on the main thread as the save starts, so that the save thread reads
// neither the controls of the save panel nor the view's metadata while the main thread may change
// them.
#include <cstdint>
#include <optional>
#include <string>

#include "engine/CorrectionParameters.h"
#include "foundation/Value.h"
#include "imageio/ColorSpace.h"
#include "output/QVOutputType.h"
#include "shell/unwrap/UnwrapRequest.h"

namespace shell {

struct SaveJob {
    std::string path;    // the file to write
    std::string source;  // the photo re-read at full resolution
    QVOutputType::Type type = QVOutputType::Type::JPEG;
    QVOutputType::TiffCompression compression = QVOutputType::TiffCompression::None;
    float quality = 0.7f;     // the JPEG quality, 0 to 1
    qv::Value metadata;       // a copy of the view's; the encoder changes it
    std::uint64_t photo = 0;  // the opened photo it belongs to (mPhotoGeneration)
    qv::io::ColorSpace colorSpace = qv::io::ColorSpace::deviceRGB();  // the chosen photo's
    std::optional<UnwrapSettings> unwrap;  // the preview shows this unwrap of the photo
    CorrectionParameters parameters;       // the corrections of the moment the save started
};

}  // namespace shell
