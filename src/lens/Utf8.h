#pragma once
// UTF-8 checks for the names of a lens database, whose pool may hold bytes of older encodings.
#include <cstddef>
#include <string_view>

namespace lensdb {

// The length of the well-formed UTF-8 sequence that starts at text[pos] (1 to 4), or 0 when the
// bytes there are not one (a stray continuation byte, an overlong form, a surrogate, a cut sequence).
std::size_t utf8SequenceLength(std::string_view text, std::size_t pos);

bool isValidUtf8(std::string_view text);

}  // namespace lensdb

