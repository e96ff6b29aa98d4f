#pragma once
// Text in the old Mac OS Roman encoding (what the platform decoded the metadata tool's output as),
// turned into UTF-8.
#include <string>
#include <string_view>

namespace qv {

// Every byte is a character: the 128 ASCII bytes stand for themselves, the upper half for the Mac
// OS Roman letters and signs. Never fails.
std::string macRomanToUtf8(std::string_view bytes);

}  // namespace qv
