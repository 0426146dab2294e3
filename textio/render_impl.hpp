// Internal to the text layer: the decimal digits of a real and the field renderers that the
// writers compose records from.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

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

// Starts a field of `width` characters for a text of `length` characters: writes the blanks
// before it and returns where the text goes, or fills the field with asterisks and returns
// nullptr when the text does not fit.
char* start_field(char* out, std::size_t width, std::size_t length);

// `text` right-justified in `width` characters (asterisks when it does not fit); returns width.
std::size_t put_right_justified(char* out, std::size_t width, std::string_view text);

// "NaN", "+Infinity" or "-Infinity" right-justified in `width` (asterisks when it does not
// fit). Precondition: value is not finite.
std::size_t format_non_finite_to(char* out, double value, std::size_t width);

// Fw.d by the digit rule itself: the 38-digit conversion, then the cut. The fixed edit uses it
// where exact integer arithmetic cannot decide the rounding; tests compare the two.
// Precondition as format_fixed_to.
std::size_t format_fixed_by_digits_to(char* out, double value, int width, int decimals,
                                      bool sign_zero);

}  // namespace zorvi::textio::detail
