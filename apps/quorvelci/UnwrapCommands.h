#pragma once
// "quorvelci unwrap": the fisheye command from the command line, as the actions a person at the
// window takes.
#include <string>
#include <vector>

#include "Actions.h"

namespace frontend {

// Parses "unwrap PHOTO -o OUTPUT --in-fov DEG --out-fov DEG [--width W --height H]
// [--sampler NAME] [--type T] [--quality Q] [--compression C] [--depth D]" (the arguments after
// "unwrap") into:
// open, correction fisheye, the four fields typed (sizes 0 when not given), the sampler chosen,
// Apply (which waits for the unwrap), Save As. False and the reason, naming the option, when an
// argument is missing or a value would be refused.
bool parseUnwrap(const std::vector<std::string>& arguments, std::vector<Action>& actions, std::string* error);

// The fisheye rows of "correct": with "--correction fisheye", the fisheye values given are checked
// as "unwrap" checks them and Apply is pressed once the controls are set, so that what is saved is
// the photo unwrapped, as in the window; fisheye values without it would change nothing and are
// refused. False and the reason, naming the option, when refused.
bool pressApplyForFisheye(std::vector<Action>& actions, std::string* error);

}  // namespace frontend
