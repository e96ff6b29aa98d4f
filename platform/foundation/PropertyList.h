#pragma once
// Property lists of Values through libplist: read in the XML or the binary form, written as XML.
//
// Reading never trusts its input: a missing, unreadable or malformed file (in either form), or one
// nested deeper than kMaxPropertyListDepth reads as the null Value.
//
// Writing goes through the whole-file replacement of Files.h, so a failed write leaves the old file
// as it was. Property lists have no null: dictionary entries and array elements that are null are
// left out, and a null root writes nothing (the write fails). Dates keep whole seconds, as the XML
// form does.
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

#include "foundation/Value.h"

namespace qv {

// Containers nested deeper than this are refused on reading and on writing. Our own files are a
// few levels deep; the limit keeps a hostile file from exhausting the stack of the XML parser.
constexpr int kMaxPropertyListDepth = 128;

Value parsePropertyList(std::string_view bytes);
Value readPropertyList(const std::string& path);

// The XML text of a property list, or nothing when the value cannot be one (a null root, nesting
// deeper than kMaxPropertyListDepth).
std::optional<std::string> formatPropertyList(const Value& root);
bool writePropertyList(const Value& root, const std::string& path);

}  // namespace qv
