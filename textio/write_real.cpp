// Real fields by the digit rule: the 25-character free-format field, and the fixed edit Fw.d
// where exact integer arithmetic cannot round it (write_fixed.cpp).
#include <algorithm>
#include <cassert>
#include <cmath>
#include <cstring>

#include "textio/render_impl.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {

namespace {

using detail::convert_digits;
using detail::converted_digits;
using detail::DecimalDigits;
using detail::round_digits;

// The free format shows 17 significant digits in its fixed form and 18 in its exponent form.
constexpr int free_fixed_digits = 17;
constexpr int free_exponent_digits = 18;
constexpr int free_zero_decimals = 16;
constexpr std::size_t free_fixed_width = 20;  // the number, right-justified; then 5 blanks
constexpr double free_fixed_low = 0.1;        // the nearest double; itself in the fixed form
constexpr double free_fixed_high = 1e17;      // exact in a double

// The digit of `value` at the place worth 10^power; a null `value` stands for zero.
char digit_at(const DecimalDigits* value, int power) {
    if (value == nullptr) return '0';
    const int index = value->exponent - power;
    return index >= 0 && index < converted_digits ? value->digits[index] : '0';
}

int integer_digits(const DecimalDigits* value) {
    return value == nullptr ? 1 : std::max(value->exponent + 1, 1);
}

std::size_t fixed_length(const DecimalDigits* value, int decimals, bool minus) {
    return (minus ? 1u : 0u) + static_cast<std::size_t>(integer_digits(value)) + 1 +
           static_cast<std::size_t>(decimals);
}

// Writes "-", the integer digits ("0" when there are none), "." and `decimals` decimals,
// right-justified in `width`, or asterisks when they do not fit.
void put_fixed(char* out, std::size_t width, const DecimalDigits* value, int decimals, bool minus) {
    char* next = detail::start_field(out, width, fixed_length(value, decimals, minus));
    if (next == nullptr) return;
    if (minus) *next++ = '-';
    for (int power = integer_digits(value) - 1; power >= 0; --power) {
        *next++ = digit_at(value, power);
    }
    *next++ = '.';
    for (int power = -1; power >= -decimals; --power)
        *next++ = digit_at(value, power);
}

void put_exponent(char* out, DecimalDigits value, bool negative) {
    round_digits(value, free_exponent_digits);
    char* next = out;
    *next++ = negative ? '-' : ' ';
    *next++ = value.digits[0];
    *next++ = '.';
    for (int i = 1; i < free_exponent_digits; ++i)
        *next++ = value.digits[i];
    *next++ = 'E';
    *next++ = value.exponent < 0 ? '-' : '+';
    const unsigned magnitude = static_cast<unsigned>(std::abs(value.exponent));
    assert(magnitude < 1000);
    *next++ = static_cast<char>('0' + magnitude / 100);
    *next++ = static_cast<char>('0' + magnitude / 10 % 10);
    *next++ = static_cast<char>('0' + magnitude % 10);
    assert(next == out + free_real_width);
}

}  // namespace

std::size_t format_free_real_to(char* out, double value, bool sign_zero) {
    if (!std::isfinite(value)) return detail::format_non_finite_to(out, value, free_real_width);
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    if (magnitude == 0) {
        put_fixed(out, free_fixed_width, nullptr, free_zero_decimals, negative && sign_zero);
    } else if (magnitude < free_fixed_low || magnitude >= free_fixed_high) {
        put_exponent(out, convert_digits(magnitude), negative);
        return free_real_width;
    } else {
        DecimalDigits digits = convert_digits(magnitude);
        round_digits(digits, free_fixed_digits);
        // a carry may have added a digit before the point, leaving one decimal less
        const int before_point = std::max(digits.exponent + 1, 0);
        assert(before_point <= free_fixed_digits);
        put_fixed(out, free_fixed_width, &digits, free_fixed_digits - before_point, negative);
    }
    std::memset(out + free_fixed_width, ' ', free_real_width - free_fixed_width);
    return free_real_width;
}

std::size_t detail::format_fixed_by_digits_to(char* out, double value, int width, int decimals,
                                              bool sign_zero) {
    assert(width >= 1 && decimals >= 0);
    const auto field = static_cast<std::size_t>(width);
    if (!std::isfinite(value)) return detail::format_non_finite_to(out, value, field);
    const bool negative = std::signbit(value);
    const double magnitude = std::fabs(value);

    // Step 1: round to `decimals` places; `shown` stays null when the result is zero.
    DecimalDigits digits;
    const DecimalDigits* shown = nullptr;
    if (magnitude > 0) {
        digits = convert_digits(magnitude);
        const int keep = digits.exponent + 1 + decimals;  // digits up to the last decimal
        if (keep >= 1) {
            round_digits(digits, std::min(keep, converted_digits));
            shown = &digits;
        } else if (keep == 0 && digits.digits[0] >= '5') {
            // below the last decimal place, but rounds up to one unit in it
            digits.digits.fill('0');
            digits.digits[0] = '1';
            ++digits.exponent;
            shown = &digits;
        }
    }

    // Step 2: a negative value keeps its sign when it rounds to zero only with sign_zero.
    const bool minus = negative && (shown != nullptr || sign_zero);

    // Step 3: the number, or asterisks when it does not fit.
    put_fixed(out, field, shown, decimals, minus);
    return field;
}

std::string format_free_real(double value, bool sign_zero) {
    std::string field(free_real_width, ' ');
    format_free_real_to(field.data(), value, sign_zero);
    return field;
}

}  // namespace zorvi::textio
