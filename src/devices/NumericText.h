// Numbers kept as text (registry values, attributes of the host's document, user data): the test
// whether a text is numeric and the conversions to 16- and 32-bit integers the control relies on,
// with rounding half to even, a type-mismatch error for text and an overflow error past the range.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace zd {

// The value of a numeric text: blanks around it, a sign, digits with an optional decimal point
// and exponent, or "&H" hexadecimal / "&O" octal. Nothing for any other text, the empty one too.
std::optional<double> ParseNumericText(std::string_view text);
inline bool IsNumericText(std::string_view text) {
    return ParseNumericText(text).has_value();
}

// The text as a rounded 16-bit (resp. 32-bit) integer. Throws ControlError "Type mismatch" (13)
// for a text that is not numeric and "Overflow" (6) for a value outside the type.
std::int16_t TextToInteger(std::string_view text);
std::int32_t TextToLong(std::string_view text);

// Numbers in the files this program reads (station documents, user data, archives) are read one
// way: decimal digits, a "-" before a negative one, and nothing else. Blanks, "+", a leading zero,
// a point, an exponent or "&H" are refused, since other readers take such texts for another
// number (octal for "010") or for none. Nothing for a text that is not such a number or has more
// than 18 digits.
std::optional<std::int64_t> ParseDecimalText(std::string_view text);

// The decimal text of field as an integer in [minimum, maximum]. Throws ControlError
// "Type mismatch: <field> is "<text>", not a decimal number" (13), or "Overflow: <field> is
// <text>, out of range" (6).
std::int64_t DecimalField(std::string_view text, std::string_view field, std::int64_t minimum,
                          std::int64_t maximum);

}  // namespace zd
