#pragma once
// The platform's own filters, each defined by one input table and one function from its inputs to
// its output image.
#include <memory>
#include <string>
#include <vector>

#include "coreimage/CIFilter.h"

namespace qv::ci::detail {

// A new built-in filter of that name, or nothing.
std::shared_ptr<Filter> makeBuiltinFilter(const std::string& name);
std::vector<std::string> builtinFilterNames();

}  // namespace qv::ci::detail
