// The tool pads the tag name to 32 columns and follows it with ": ", so the value starts at
// column 34. Every field is bounded: a longer one is not a focal length, and leaves the range
// unknown rather than being cut into a wrong number.
#include "shell/lens/LensInfoText.h"

#include <cctype>
#include <cstddef>
#include <optional>

namespace shell {
namespace {

constexpr const char* kTag = "Lens Info";
constexpr std::size_t kValueColumn = 34;
constexpr std::size_t kMaximumField = 9;

// Reads the text up to `stop` (or its end) from `pos`, moving past the stop character.
std::optional<std::string> field(const std::string& text, std::size_t& pos, char stop) {
    std::size_t end = text.find(stop, pos);
    if (end == std::string::npos) end = text.size();
    if (end - pos > kMaximumField) return std::nullopt;
    std::string value = text.substr(pos, end - pos);
    pos = end < text.size() ? end + 1 : end;
    return value;
}

// The decimal integer prefix of a field; no digits reads 0.
long integerPrefix(const std::string& s) {
    long value = 0;
    for (char ch : s) {
        if (!std::isdigit(static_cast<unsigned char>(ch))) break;
        value = value * 10 + (ch - '0');
    }
    return value;
}

// A decimal number prefix ("18", "3.5"); nothing when the text does not start with a digit.
std::optional<float> decimalPrefix(const std::string& s, std::size_t& pos) {
    const std::size_t start = pos;
    while (pos < s.size() && (std::isdigit(static_cast<unsigned char>(s[pos])) || s[pos] == '.')) ++pos;
    if (pos == start || pos - start > kMaximumField) return std::nullopt;
    try {
        return std::stof(s.substr(start, pos - start));
    } catch (...) {
        return std::nullopt;
    }
}

FocalRange rationalForm(const std::string& value) {
    std::size_t pos = 0;
    const auto minNum = field(value, pos, '/');
    const auto minDen = minNum ? field(value, pos, ' ') : std::nullopt;
    const auto maxNum = minDen ? field(value, pos, '/') : std::nullopt;
    const auto maxDen = maxNum ? field(value, pos, ' ') : std::nullopt;
    if (!maxDen) return {};
    const long d1 = integerPrefix(*minDen), d2 = integerPrefix(*maxDen);
    if (d1 == 0 || d2 == 0) return {};
    return {float(integerPrefix(*minNum)) / float(d1), float(integerPrefix(*maxNum)) / float(d2)};
}

// "18-55mm f/3.5-5.6" or "50mm f/1.8".
FocalRange readableForm(const std::string& value) {
    std::size_t pos = 0;
    const auto low = decimalPrefix(value, pos);
    if (!low) return {};
    float high = *low;
    if (pos < value.size() && value[pos] == '-') {
        ++pos;
        const auto upper = decimalPrefix(value, pos);
        if (!upper) return {};
        high = *upper;
    }
    if (value.compare(pos, 2, "mm") != 0) return {};
    return {*low, high};
}

}  // namespace

FocalRange parseLensInfo(const std::string& text) {
    if (text.compare(0, std::string(kTag).size(), kTag) != 0) return {};
    if (text.size() <= kValueColumn) return {};
    std::string value = text.substr(kValueColumn);
    if (const std::size_t eol = value.find_first_of("\r\n"); eol != std::string::npos) value.resize(eol);
    if (value.find('/') != std::string::npos && value.find("mm") == std::string::npos) return rationalForm(value);
    return readableForm(value);
}

}  // namespace shell
