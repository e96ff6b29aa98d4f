#include "shell/controller/WindowFrame.h"

#include <cmath>
#include <limits>

#include "appkit/Screen.h"
#include "shell/controller/PreferenceKeys.h"

namespace shell {

bool isUsableWindowFrame(const qv::Rect& frame) {
    // The file keeps the frame in single precision: a number past its range would come back
    // infinite.
    for (double number : {frame.minX(), frame.minY(), frame.width(), frame.height()})
        if (!std::isfinite(number) || std::fabs(number) > double(std::numeric_limits<float>::max())) return false;
    if (!(frame.width() > 0 && frame.height() > 0)) return false;
    const std::vector<qv::Rect> screens = qv::ui::screenFrames();
    if (screens.empty()) return true;
    for (const qv::Rect& screen : screens)
        if (screen.intersects(frame)) return true;
    return false;
}

std::optional<qv::Rect> storedWindowFrame(const qv::Value& preferences) {
    const qv::Rect frame(preferences.get(keys::kOriginX).doubleOr(0), preferences.get(keys::kOriginY).doubleOr(0),
                         preferences.get(keys::kWindowWidth).doubleOr(0),
                         preferences.get(keys::kWindowHeight).doubleOr(0));
    if (!isUsableWindowFrame(frame)) return std::nullopt;
    return frame;
}

}  // namespace shell
