#pragma once
// Property lists in the binary form, as the platform of the photo tool's origin writes them, made
// from a value or from a file in the XML form with libplist's own binary writer.
#include <string>

#include "foundation/Value.h"

namespace qvtest {

// The binary form of the value; empty when it cannot be one.
std::string binaryPropertyList(const qv::Value& root);
// Rewrites an XML property-list file in the binary form; false when it cannot.
bool rewriteAsBinary(const std::string& path);

}  // namespace qvtest
