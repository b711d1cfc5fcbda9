#pragma once

#include <optional>
#include <string>

namespace brumelo {

// Decimal numbers read and written alike everywhere, whatever the locale: a point for the
// decimals, no blanks, no '+' sign, no hexadecimal. allowExponent: "1e3" is a number too.
// Infinities and NaN read as such; callers refuse what they cannot use.
std::optional<double> readDecimal(const std::string& text, bool allowExponent = true);
// value with exactly `decimals` digits after the point.
std::string writeFixed(double value, int decimals);

}  // namespace brumelo
