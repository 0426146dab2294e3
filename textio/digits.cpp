// The digit rule: one conversion of a real to 38 significant digits, then one half-up cut.
#include <cassert>
#include <charconv>
#include <cmath>

#include "textio/render_impl.hpp"

namespace zorvi::textio::detail {

DecimalDigits convert_digits(double magnitude) {
    assert(std::isfinite(magnitude) && magnitude > 0);
    // "d.ddd...de+XX": one digit, the point, 37 digits, then the exponent.
    char text[converted_digits + 8];
    const auto converted = std::to_chars(text, text + sizeof text, magnitude,
                                         std::chars_format::scientific, converted_digits - 1);
    assert(converted.ec == std::errc{});

    DecimalDigits value;
    value.digits[0] = text[0];
    for (int i = 1; i < converted_digits; ++i)
        value.digits[i] = text[i + 1];

    const char* exponent = text + converted_digits + 2;  // after the 'e'
    if (*exponent == '+') ++exponent;
    const auto parsed = std::from_chars(exponent, converted.ptr, value.exponent);
    assert(parsed.ec == std::errc{});
    (void)parsed;
    return value;
}

void round_digits(DecimalDigits& value, int keep) {
    assert(keep >= 1 && keep <= converted_digits);
    if (keep == converted_digits) return;
    const bool up = value.digits[keep] >= '5';
    for (int i = keep; i < converted_digits; ++i)
        value.digits[i] = '0';
    if (!up) return;

    int i = keep - 1;
    while (i >= 0 && value.digits[i] == '9')
        value.digits[i--] = '0';
    if (i >= 0) {
        ++value.digits[i];
    } else {
        // carry out of the first digit: 99...9 became 100...0
        value.digits[0] = '1';
        ++value.exponent;
    }
}

}  // namespace zorvi::textio::detail
