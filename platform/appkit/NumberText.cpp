#include "appkit/NumberText.h"

#include <cctype>
#include <charconv>
#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <algorithm>

namespace qv::ui {
namespace {

std::size_t skipBlanks(const std::string& text) {
    std::size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    return i;
}

bool isDigit(const std::string& text, std::size_t i) {
    return i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]));
}

}  // namespace

double readDouble(const std::string& text) {
    std::size_t i = skipBlanks(text);
    const std::size_t start = i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    bool digits = false;
    while (isDigit(text, i)) ++i, digits = true;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (isDigit(text, i)) ++i, digits = true;
    }
    if (!digits) return 0;
    // An exponent counts only when digits follow it ("2e" reads as 2).
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) ++j;
        if (isDigit(text, j)) {
            while (isDigit(text, j)) ++j;
            i = j;
        }
    }
    // strtod on the prefix alone, so that no locale, hex or "inf" spelling sneaks in.
    const std::string prefix = text.substr(start, i - start);
    double value = std::strtod(prefix.c_str(), nullptr);
    if (std::isinf(value)) return value > 0 ? DBL_MAX : -DBL_MAX;
    return value;
}

int readInt(const std::string& text) {
    std::size_t i = skipBlanks(text);
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) negative = text[i++] == '-';
    long long value = 0;
    while (isDigit(text, i)) {
        value = value * 10 + (text[i++] - '0');
        if (value > INT_MAX) return negative ? INT_MIN : INT_MAX;
    }
    return int(negative ? -value : value);
}

std::string formatDouble(double value) {
    if (std::isnan(value)) return "nan";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatFloat(float value) {
    if (std::isnan(value)) return "nan";
    char buffer[64];
    auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
    return std::string(buffer, result.ptr);
}

std::string formatRounded(double value, int digits) {
    if (!std::isfinite(value)) return formatDouble(value);
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%.*f", std::clamp(digits, 0, 17), value);
    std::string text(buffer);
    if (text.find('.') != std::string::npos) {
        text.erase(text.find_last_not_of('0') + 1);
        if (text.back() == '.') text.pop_back();
    }
    if (text == "-0") text = "0";
    return text;
}

double numberFromValue(const Value& value) {
    if (const std::string* s = value.string()) return readDouble(*s);
    return value.asDouble().value_or(0.0);
}

int intFromValue(const Value& value) {
    if (const std::string* s = value.string()) return readInt(*s);
    double d = value.asDouble().value_or(0.0);
    if (std::isnan(d)) return 0;
    if (d >= double(INT_MAX)) return INT_MAX;
    if (d <= double(INT_MIN)) return INT_MIN;
    return int(d);
}

std::string stringFromValue(const Value& value) {
    if (const std::string* s = value.string()) return *s;
    if (const Real* r = value.real()) return r->singleBits ? formatFloat(r->asFloat()) : formatDouble(r->value);
    if (auto b = value.asBool(); b && value.type() == Value::Type::Bool) return *b ? "1" : "0";
    if (auto i = value.asInteger()) return std::to_string(*i);
    return "";
}

}  // namespace qv::ui
