// Internal to the text layer: the decimal digits of a real and the field renderers that the
// writers compose records from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>

#include "textio/textio.hpp"

namespace zorvi::textio::detail {

// Every real is converted once, to this many significant digits, and then cut.
inline constexpr int converted_digits = 38;

// A positive finite magnitude as d[0].d[1]d[2]... x 10^exponent, d[0] != '0'.
struct DecimalDigits {
    std::array<char, converted_digits> digits{};  // '0'..'9'
    int exponent = 0;
};

// The magnitude rounded to 38 significant digits (to nearest, ties to even).
// Precondition: magnitude is finite and > 0.
DecimalDigits convert_digits(double magnitude);

// Keeps the first `keep` digits (1 <= keep <= 38) and rounds half up: when the first digit
// cut off is 5 or more, one is added to the last digit kept, with carry. A carry out of the
// first digit leaves "1" and zeros and raises the exponent by one. Digits from `keep` on are
// set to '0'.
void round_digits(DecimalDigits& value, int keep);

// "NaN", "+Infinity" or "-Infinity" right-justified in `width` (asterisks when it does not
// fit). Precondition: value is not finite.
std::size_t format_non_finite_to(char* out, double value, std::size_t width);

}  // namespace zorvi::textio::detail
