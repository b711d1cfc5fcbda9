#include "app/Numbers.h"

#include <cctype>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>

namespace brumelo {

#ifdef __cpp_lib_to_chars

std::optional<double> readDecimal(const std::string& text, bool allowExponent) {
    double value = 0;
    const char* end = text.data() + text.size();
    auto [ptr, ec] =
        std::from_chars(text.data(), end, value,
                        allowExponent ? std::chars_format::general : std::chars_format::fixed);
    if (text.empty() || ec != std::errc() || ptr != end) return std::nullopt;
    return value;
}

std::string writeFixed(double value, int decimals) {
    char text[64];
    auto end = std::to_chars(text, text + sizeof text, value, std::chars_format::fixed, decimals);
    return std::string(text, end.ptr);
}

#else

// A standard library without floating-point from_chars and to_chars (the browser build's):
// strtod and snprintf, which the program's "C" locale keeps to a decimal point, held to the same
// syntax as from_chars.
namespace {

bool isWord(const std::string& text, std::size_t at) {
    std::string rest;
    for (std::size_t i = at; i < text.size(); ++i)
        rest += static_cast<char>(std::tolower(static_cast<unsigned char>(text[i])));
    return rest == "inf" || rest == "infinity" || rest == "nan";
}

bool decimalSyntax(const std::string& text, bool allowExponent) {
    std::size_t i = text.size() > 0 && text[0] == '-' ? 1 : 0;
    if (i < text.size() && std::isalpha(static_cast<unsigned char>(text[i])))
        return isWord(text, i);
    std::size_t digits = 0;
    for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i) ++digits;
    if (i < text.size() && text[i] == '.')
        for (++i; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            ++digits;
    if (digits == 0) return false;
    if (i < text.size() && allowExponent && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t exponent = 0;
        for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i)
            ++exponent;
        if (exponent == 0) return false;
    }
    return i == text.size();
}

}  // namespace

std::optional<double> readDecimal(const std::string& text, bool allowExponent) {
    if (!decimalSyntax(text, allowExponent)) return std::nullopt;
    errno = 0;
    const double value = std::strtod(text.c_str(), nullptr);
    if (errno == ERANGE) return std::nullopt;
    return value;
}

std::string writeFixed(double value, int decimals) {
    char text[64];
    std::snprintf(text, sizeof text, "%.*f", decimals, value);
    return text;
}

#endif

}  // namespace brumelo
