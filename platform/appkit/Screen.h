#pragma once
// The screens windows may stand on, as frames in the window layer's coordinates (origin at the
// bottom left of the main screen, y up). The window system's layer tells them; without one (no
// display) none are known.
#include <functional>
#include <vector>

#include "foundation/Geometry.h"

namespace qv::ui {

// The visible frame of every screen, asked of the source at each call; empty without a source.
std::vector<Rect> screenFrames();
// Set by the window system's layer while it runs; an empty function ends it.
void setScreenFramesSource(std::function<std::vector<Rect>()> source);

}  // namespace qv::ui
