#pragma once
// The main window's frame as the preferences file stores it ("windowWidth", "windowHeight",
// "originX", "originY"), and whether a frame read back from there can be given to the window.
#include <optional>

#include "foundation/Geometry.h"
#include "foundation/Value.h"

namespace shell {

// Whether a window may take the frame: every number finite in the single precision the file
// keeps it in, a width and a height above 0, and,
// while the screens are known, some part of it on one of them.
bool isUsableWindowFrame(const qv::Rect& frame);

// The stored frame when it is usable; nothing otherwise (the window keeps the frame it has).
std::optional<qv::Rect> storedWindowFrame(const qv::Value& preferences);

}  // namespace shell
