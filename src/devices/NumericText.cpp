#include "devices/NumericText.h"

#include <cctype>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <string>

#include "platform/Error.h"

namespace zd {

namespace {

bool IsBlank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::optional<double> ParseRadix(std::string_view digits, int radix) {
    if (digits.empty() || digits.size() > 11) return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        int d = std::isdigit(static_cast<unsigned char>(c))
                    ? c - '0'
                    : (std::isxdigit(static_cast<unsigned char>(c))
                           ? std::toupper(static_cast<unsigned char>(c)) - 'A' + 10
                           : 99);
        if (d >= radix) return std::nullopt;
        value = value * static_cast<std::uint64_t>(radix) + static_cast<std::uint64_t>(d);
    }
    if (value > 0xFFFFFFFFull) return std::nullopt;
    // Hexadecimal and octal literals of up to 32 bits are signed: &HFFFF is -1 as a 16-bit
    // literal, &HFFFFFFFF -1 as a 32-bit one.
    if (digits.size() <= 4 && radix == 16 && value > 0x7FFF)
        return static_cast<double>(value) - 65536;
    if (value > 0x7FFFFFFFull) return static_cast<double>(value) - 4294967296.0;
    return static_cast<double>(value);
}

// The default rounding mode rounds to nearest with ties to even, as the stored texts expect.
double RoundHalfEven(double value) {
    return std::nearbyint(value);
}

double ToRoundedNumber(std::string_view text) {
    std::optional<double> value = ParseNumericText(text);
    if (!value) throw ControlError("Type mismatch", kLibraryTitle, kErrTypeMismatch);
    return RoundHalfEven(*value);
}

}  // namespace

std::optional<double> ParseNumericText(std::string_view text) {
    while (!text.empty() && IsBlank(text.front())) text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back())) text.remove_suffix(1);
    if (text.empty()) return std::nullopt;
    if (text.size() > 2 && text[0] == '&') {
        char kind = static_cast<char>(std::toupper(static_cast<unsigned char>(text[1])));
        if (kind == 'H') return ParseRadix(text.substr(2), 16);
        if (kind == 'O') return ParseRadix(text.substr(2), 8);
        return std::nullopt;
    }
    std::size_t i = 0;
    if (text[i] == '+' || text[i] == '-') ++i;
    std::size_t digits = 0;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    if (i < text.size() && text[i] == '.') {
        ++i;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) ++i, ++digits;
    }
    if (digits == 0) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        ++i;
        if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
        std::size_t expDigits = 0;
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])))
            ++i, ++expDigits;
        if (expDigits == 0) return std::nullopt;
    }
    if (i != text.size()) return std::nullopt;
    std::string copy(text);
    double value = std::strtod(copy.c_str(), nullptr);
    if (!std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::int64_t> ParseDecimalText(std::string_view text) {
    const bool negative = !text.empty() && text.front() == '-';
    const std::string_view digits = negative ? text.substr(1) : text;
    if (digits.empty() || digits.size() > 18) return std::nullopt;
    if (digits.front() == '0' && (digits.size() > 1 || negative)) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
    }
    return negative ? -value : value;
}

std::int64_t DecimalField(std::string_view text, std::string_view field, std::int64_t minimum,
                          std::int64_t maximum) {
    const std::optional<std::int64_t> value = ParseDecimalText(text);
    // A well-formed number of more digits than ParseDecimalText takes is too large, not text.
    const std::string_view digits = text.substr(!text.empty() && text.front() == '-' ? 1 : 0);
    const bool tooLong = digits.size() > 18 && digits.front() != '0' &&
                         digits.find_first_not_of("0123456789") == std::string_view::npos;
    if (!value && !tooLong) {
        throw ControlError("Type mismatch: " + std::string(field) + " is \"" + std::string(text) +
                               "\", not a decimal number",
                           kLibraryTitle, kErrTypeMismatch);
    }
    if (!value || *value < minimum || *value > maximum) {
        throw ControlError(
            "Overflow: " + std::string(field) + " is " + std::string(text) + ", out of range",
            kLibraryTitle, kErrOverflow);
    }
    return *value;
}

std::int16_t TextToInteger(std::string_view text) {
    double value = ToRoundedNumber(text);
    if (value < std::numeric_limits<std::int16_t>::min() ||
        value > std::numeric_limits<std::int16_t>::max()) {
        throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    }
    return static_cast<std::int16_t>(value);
}

std::int32_t TextToLong(std::string_view text) {
    double value = ToRoundedNumber(text);
    if (value < std::numeric_limits<std::int32_t>::min() ||
        value > std::numeric_limits<std::int32_t>::max()) {
        throw ControlError("Overflow", kLibraryTitle, kErrOverflow);
    }
    return static_cast<std::int32_t>(value);
}

}  // namespace zd
