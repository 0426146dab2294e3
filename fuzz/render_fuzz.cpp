// Fuzz target: the real renderers on arbitrary doubles.
//
// The input is a run of 10-byte records: the 8 bytes of a double, then a width and a number of
// decimals for one more fixed edit. For every double:
// - the 25-character free-format field has its form and 17 or 18 significant digits, and
//   reads back through the free-format reader as the same double, bit for bit;
// - the F16.8 field (and the extra Fw.d field) is the value rounded to its decimals, half
//   away from zero, checked exactly against integer arithmetic; asterisks exactly when that
//   does not fit; "NaN" and "+Infinity"/"-Infinity" right-justified. The F16.8 field reads back
//   through the reader as strtod reads it, so within 0.5e-8 of the value.
// Every field is rendered into a heap buffer of exactly its width, so that the address
// sanitizer sees any write past it.
#include <algorithm>
#include <bit>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <span>
#include <string>
#include <string_view>

#include "textio/textio.hpp"

namespace {

namespace textio = zorvi::textio;
using textio::CharSource;
using textio::ListReadStatus;

using Wide = unsigned __int128;

constexpr std::size_t record_size = 10;  // double, width, decimals
constexpr int max_width = 48;
constexpr int max_decimals = 24;
constexpr int exact_max_decimals = 22;        // 2^53 × 10^22 < 2^127
constexpr double exact_limit = 0x1p40;        // |v| below this: v × 2^13 is an integer
constexpr std::size_t free_fixed_width = 20;  // the number's part of the 25 characters

[[noreturn]] void fail(const char* what, double value, const std::string& field) {
    std::fprintf(stderr, "render_fuzz: %s for %a: \"%s\"\n", what, value, field.c_str());
    std::abort();
}

std::string right_justified(std::string_view text, std::size_t width) {
    if (text.size() > width) return std::string(width, '*');
    return std::string(width - text.size(), ' ') + std::string(text);
}

std::string non_finite_text(double value) {
    if (std::isnan(value)) return "NaN";
    return std::signbit(value) ? "-Infinity" : "+Infinity";
}

bool is_digit(char c) {
    return c >= '0' && c <= '9';
}

std::size_t count_digits(std::string_view text) {
    std::size_t count = 0;
    for (char c : text)
        count += is_digit(c) ? 1 : 0;
    return count;
}

// The field read back by one free-format read statement of one target.
double read_back(const std::string& field, double value) {
    CharSource source = CharSource::from_string(field);
    double target = -999.0;
    const auto result = textio::read_list(source, std::span<double>(&target, 1));
    if (result.status != ListReadStatus::ok) fail("the reader rejects the field", value, field);
    return target;
}

bool same_bits(double a, double b) {
    return std::bit_cast<std::uint64_t>(a) == std::bit_cast<std::uint64_t>(b);
}

// |value| × 10^decimals rounded to an integer, halves up, computed exactly.
// Precondition: value finite, |value| < exact_limit, decimals <= exact_max_decimals.
Wide scaled_rounded(double value, int decimals) {
    if (value == 0) return 0;
    int exponent = 0;
    const double fraction = std::frexp(std::fabs(value), &exponent);
    const auto mantissa = static_cast<std::uint64_t>(std::ldexp(fraction, 53));
    const int shift = 53 - exponent;  // |value| = mantissa / 2^shift, shift >= 13
    Wide scaled = mantissa;
    for (int i = 0; i < decimals; ++i)
        scaled *= 10;
    if (shift >= 128) return 0;  // below 2^-1 after scaling
    const Wide quotient = scaled >> shift;
    const Wide remainder = scaled - (quotient << shift);
    return remainder >= (Wide{1} << (shift - 1)) ? quotient + 1 : quotient;
}

std::string decimal(Wide number, std::size_t min_digits) {
    std::string digits;
    do {
        digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(number % 10)));
        number /= 10;
    } while (number > 0);
    if (digits.size() < min_digits) digits.insert(0, min_digits - digits.size(), '0');
    return digits;
}

// The Fw.d field as it must be, for a finite value within the exact range.
std::string expected_fixed(double value, int width, int decimals, bool sign_zero) {
    const Wide rounded = scaled_rounded(value, decimals);
    const std::string digits = decimal(rounded, static_cast<std::size_t>(decimals) + 1);
    const std::size_t point = digits.size() - static_cast<std::size_t>(decimals);
    const bool minus = std::signbit(value) && (rounded != 0 || sign_zero);
    const std::string number =
        (minus ? "-" : "") + digits.substr(0, point) + "." + digits.substr(point);
    return right_justified(number, static_cast<std::size_t>(width));
}

std::string render_fixed(double value, int width, int decimals, bool sign_zero) {
    const auto size = static_cast<std::size_t>(width);
    const auto buffer = std::make_unique<char[]>(size);
    if (textio::format_fixed_to(buffer.get(), value, width, decimals, sign_zero) != size) {
        fail("the fixed edit's length is not its width", value, "");
    }
    return std::string(buffer.get(), size);
}

// Outside the exact range: the shape of the field, and a value close to the one rendered.
void check_fixed_shape(double value, int decimals, bool sign_zero, const std::string& field) {
    if (field.find_first_not_of('*') == std::string::npos) {
        // Asterisks only when the number cannot fit, even allowing for a carry.
        const double digits_before_point =
            std::max(1.0, std::floor(std::log10(std::fabs(value))) + 1);
        const double needed = (std::signbit(value) ? 1 : 0) + digits_before_point + 1 + decimals;
        if (needed + 1 < static_cast<double>(field.size())) {
            fail("asterisks for a value that fits", value, field);
        }
        return;
    }
    const std::size_t start = field.find_first_not_of(' ');
    const std::string_view number(field.data() + start, field.size() - start);
    const std::size_t point = number.find('.');
    const bool zero = number.find_first_of("123456789") == number.npos;
    const bool minus = std::signbit(value) && (!zero || sign_zero);
    if ((number[0] == '-') != minus || point == number.npos ||
        number.size() - point - 1 != static_cast<std::size_t>(decimals) ||
        count_digits(number) + 1 + (number[0] == '-' ? 1 : 0) != number.size()) {
        fail("a malformed fixed field", value, field);
    }
    const long double shown = std::strtold(std::string(number).c_str(), nullptr);
    const long double error = std::fabs(shown - static_cast<long double>(value));
    const long double allowed =
        0.5L * std::pow(10.0L, -decimals) + std::fabs(static_cast<long double>(value)) * 1e-17L;
    if (error > allowed) fail("a fixed field far from its value", value, field);
}

void check_fixed(double value, int width, int decimals) {
    for (const bool sign_zero : {true, false}) {
        const std::string field = render_fixed(value, width, decimals, sign_zero);
        if (!std::isfinite(value)) {
            if (field != right_justified(non_finite_text(value), field.size())) {
                fail("a wrong non-finite fixed field", value, field);
            }
        } else if (std::fabs(value) < exact_limit && decimals <= exact_max_decimals) {
            if (field != expected_fixed(value, width, decimals, sign_zero)) {
                fail("a wrongly rounded fixed field", value, field);
            }
        } else {
            check_fixed_shape(value, decimals, sign_zero, field);
        }
    }
}

// The F16.8 field of the results file, read back.
void check_results_field(double value) {
    const std::string field = render_fixed(value, 16, 8, true);
    if (field.front() == '*') return;
    const double back = read_back(field, value);
    if (std::isnan(value)) {
        if (!std::isnan(back)) fail("NaN does not read back", value, field);
        return;
    }
    if (!same_bits(back, std::strtod(field.c_str(), nullptr))) {
        fail("the F16.8 field reads back wrongly", value, field);
    }
}

void check_free(double value) {
    const auto buffer = std::make_unique<char[]>(textio::free_real_width);
    if (textio::format_free_real_to(buffer.get(), value, true) != textio::free_real_width) {
        fail("the free-format field is not 25 characters", value, "");
    }
    const std::string field(buffer.get(), textio::free_real_width);

    if (!std::isfinite(value)) {
        if (field != right_justified(non_finite_text(value), field.size())) {
            fail("a wrong non-finite free-format field", value, field);
        }
        const double back = read_back(field, value);
        if (std::isnan(value) ? !std::isnan(back) : back != value) {
            fail("a non-finite field reads back wrongly", value, field);
        }
        return;
    }

    const double magnitude = std::fabs(value);
    const bool exponent_form = (magnitude > 0 && magnitude < 0.1) || magnitude >= 1e17;
    if (exponent_form) {
        // [ -]d.<17 digits>E<sign><3 digits>, the first digit not 0
        const std::string_view exponent(field.data() + 21, 4);
        if (field[0] != (std::signbit(value) ? '-' : ' ') || field[1] < '1' || field[1] > '9' ||
            field[2] != '.' || count_digits(std::string_view(field.data() + 3, 17)) != 17 ||
            field[20] != 'E' || (exponent[0] != '+' && exponent[0] != '-') ||
            count_digits(exponent) != 3) {
            fail("a malformed exponent form", value, field);
        }
    } else {
        // a fixed-point number right-justified in 20 characters, then 5 blanks
        const std::size_t start = field.find_first_not_of(' ');
        const std::string_view number(field.data() + start, free_fixed_width - start);
        const std::size_t digits = count_digits(number);
        const std::size_t expected_digits = magnitude == 0 ? 17 : magnitude < 1 ? 18 : 17;
        if (field.substr(free_fixed_width) != "     " ||
            (number[0] == '-') != static_cast<bool>(std::signbit(value)) ||
            number.find('.') == number.npos || digits != expected_digits ||
            digits + 1 + (number[0] == '-' ? 1 : 0) != number.size()) {
            fail("a malformed fixed form", value, field);
        }
    }
    if (!same_bits(read_back(field, value), value)) {
        fail("the free-format field does not read back", value, field);
    }

    // Without sign_zero only a negative zero loses its sign.
    const std::string unsigned_zero = textio::format_free_real(value, false);
    if (unsigned_zero != (value == 0 ? textio::format_free_real(0.0) : field)) {
        fail("sign_zero changes more than the zero", value, unsigned_zero);
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    for (std::size_t offset = 0; offset + sizeof(double) <= size; offset += record_size) {
        double value = 0;
        std::memcpy(&value, data + offset, sizeof value);
        check_free(value);
        check_fixed(value, 16, 8);
        check_results_field(value);
        if (offset + record_size <= size) {
            const int width = 1 + data[offset + 8] % max_width;
            const int decimals = data[offset + 9] % (max_decimals + 1);
            check_fixed(value, width, decimals);
        }
    }
    return 0;
}
