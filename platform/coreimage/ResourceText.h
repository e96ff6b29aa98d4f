#pragma once
// Reads a text resource of the application bundle, such as a kernel source ("MyVignetting" of type
// "cikernel").
#include <optional>
#include <string>

namespace qv::ci {

// The whole text of <folder>/<name>.<type>, or nothing when no such readable file exists.
std::optional<std::string> readResourceText(const std::string& name, const std::string& type);

}  // namespace qv::ci
