#pragma once
// Numbers in text the way the platform's controls read and show them. Reading takes the leading
// numeric prefix (blanks, a sign, digits, a decimal point, an exponent) and ignores the rest;
// text without one reads as 0. Showing writes the shortest text that reads back to the same number.
#include <string>

#include "foundation/Value.h"

namespace qv::ui {

double readDouble(const std::string& text);  // out of range: the largest finite value of that sign
int readInt(const std::string& text);        // sign and digits only; saturates at the int limits
std::string formatDouble(double value);
std::string formatFloat(float value);
// Rounded to `digits` decimals, trailing zeros and a trailing point dropped ("32.5", "100", "-0.01").
std::string formatRounded(double value, int digits);

// A control's value read as each type: numbers convert, strings read as above, booleans are 0 or
// 1, anything else is 0 or empty.
double numberFromValue(const Value& value);
int intFromValue(const Value& value);
std::string stringFromValue(const Value& value);

}  // namespace qv::ui
