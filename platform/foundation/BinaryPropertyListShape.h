#pragma once
// A look at the shape of a binary property list ("bplist00") before libplist parses it: libplist's
// binary parser recurses once per level of nesting and takes strings with C string functions, so a
// file is handed to it only when every object it reaches lies inside the file, no container holds
// itself, nesting stays within the limit and no string has a NUL character.
#include <string_view>

namespace qv {

// Whether the bytes start as a binary property list does.
bool looksLikeBinaryPropertyList(std::string_view bytes);

// Whether the binary property list is sound as described above, with at most maxDepth levels of
// nesting (the root and every value inside a container each count as one level).
bool binaryPropertyListIsSound(std::string_view bytes, int maxDepth);

}  // namespace qv
