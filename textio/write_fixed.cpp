// The fixed edit Fw.d. Most values are rounded by exact integer arithmetic on the double's
// significand; the rest go through the 38-digit conversion of the digit rule.
//
// Why the two agree: the digit rule rounds the magnitude to 38 significant digits, then cuts
// half up at the last decimal. For d <= 27 and magnitude × 10^d below 10^19, the 38 digits
// reach past the first digit cut off, and the double's distance from a halfway point
// (k + 1/2) × 10^-d, when not zero, is at least magnitude × 2^-53 × 5^-d, far more than the
// first rounding can move it (magnitude × 10^-37). So both give the magnitude × 10^d rounded
// half up, which is what is computed here exactly.
#include <algorithm>
#include <array>
#include <bit>
#include <cassert>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <optional>
#include <string>

#include "textio/render_impl.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio {

namespace {

constexpr int max_exact_decimals = 27;                                  // 5^27 < 2^63
constexpr std::uint64_t max_exact_units = 10'000'000'000'000'000'000u;  // 10^19 < 2^64

// base^0, base^1, ..., base^(count - 1); the caller sees that they fit in 64 bits.
template <std::size_t count>
constexpr std::array<std::uint64_t, count> powers_of(std::uint64_t base) {
    std::array<std::uint64_t, count> powers{};
    powers[0] = 1;
    for (std::size_t i = 1; i < count; ++i)
        powers[i] = powers[i - 1] * base;
    return powers;
}
constexpr auto powers_of_five = powers_of<max_exact_decimals + 1>(5);
constexpr auto powers_of_ten = powers_of<20>(10);  // to 10^19

// A 128-bit unsigned number: high × 2^64 + low.
struct Wide {
    std::uint64_t high = 0;
    std::uint64_t low = 0;
};

// The exact product of two 64-bit numbers, from their 32-bit halves.
Wide multiply(std::uint64_t a, std::uint64_t b) {
    constexpr std::uint64_t half = 0xFFFF'FFFFu;
    const std::uint64_t low_low = (a & half) * (b & half);
    const std::uint64_t low_high = (a & half) * (b >> 32);
    const std::uint64_t high_low = (a >> 32) * (b & half);
    const std::uint64_t high_high = (a >> 32) * (b >> 32);
    const std::uint64_t middle = (low_low >> 32) + (low_high & half) + (high_low & half);
    return {high_high + (low_high >> 32) + (high_low >> 32) + (middle >> 32),
            (middle << 32) | (low_low & half)};
}

bool bit_at(const Wide& number, int position) {
    assert(position >= 0 && position < 128);
    return position < 64 ? (number.low >> position) & 1u : (number.high >> (position - 64)) & 1u;
}

// number × 2^shift (shift >= 0), when it is below 10^19.
std::optional<std::uint64_t> shifted_left(const Wide& number, int shift) {
    if (number.high != 0) return std::nullopt;
    if (shift > 0 && (shift >= 64 || (number.low >> (64 - shift)) != 0)) return std::nullopt;
    const std::uint64_t units = number.low << shift;
    if (units >= max_exact_units) return std::nullopt;
    return units;
}

// number / 2^shift (shift >= 1) rounded half up, when it is below 10^19.
// Precondition: number < 2^127, so that a shift of 128 or more leaves less than one half.
std::optional<std::uint64_t> shifted_right_rounded(const Wide& number, int shift) {
    assert(shift >= 1);
    if (shift >= 128) return 0;
    std::uint64_t units = 0;
    if (shift >= 64) {
        units = number.high >> (shift - 64);
    } else {
        if ((number.high >> shift) != 0) return std::nullopt;  // 2^64 or more
        units = (number.low >> shift) | (number.high << (64 - shift));
    }
    if (units >= max_exact_units) return std::nullopt;
    return units + (bit_at(number, shift - 1) ? 1u : 0u);
}

// magnitude × 10^decimals rounded half up to an integer, exactly; nullopt when decimals is
// above 27 or the result is 10^19 or more. magnitude = significand × 2^exponent, so the scaled
// value is significand × 5^decimals × 2^(exponent + decimals), the product exact in 128 bits.
std::optional<std::uint64_t> scaled_units(double magnitude, int decimals) {
    assert(std::isfinite(magnitude) && !std::signbit(magnitude) && decimals >= 0);
    if (decimals > max_exact_decimals) return std::nullopt;
    const auto bits = std::bit_cast<std::uint64_t>(magnitude);
    const auto biased_exponent = static_cast<int>(bits >> 52);
    const std::uint64_t fraction = bits & ((std::uint64_t{1} << 52) - 1);
    const std::uint64_t significand =
        biased_exponent == 0 ? fraction : fraction | (std::uint64_t{1} << 52);
    const int exponent = (biased_exponent == 0 ? 1 : biased_exponent) - 1075;

    const Wide product = multiply(significand, powers_of_five[static_cast<std::size_t>(decimals)]);
    const int shift = exponent + decimals;
    return shift >= 0 ? shifted_left(product, shift) : shifted_right_rounded(product, -shift);
}

// "00", "01", ..., "99": two digits per division.
constexpr std::array<char, 200> make_digit_pairs() {
    std::array<char, 200> pairs{};
    for (std::size_t i = 0; i < 100; ++i) {
        pairs[2 * i] = static_cast<char>('0' + i / 10);
        pairs[2 * i + 1] = static_cast<char>('0' + i % 10);
    }
    return pairs;
}
constexpr std::array<char, 200> digit_pairs = make_digit_pairs();

// Writes the last `count` decimal digits of `value` (leading zeros included) before `end`,
// and leaves in `value` what remains of it. Returns where the digits begin.
template <class Unsigned>
char* put_digits(char* end, Unsigned& value, int count) {
    for (; count >= 2; count -= 2) {
        end -= 2;
        std::memcpy(end, &digit_pairs[2 * (value % 100)], 2);
        value /= 100;
    }
    if (count == 1) {
        *--end = static_cast<char>('0' + value % 10);
        value /= 10;
    }
    return end;
}

// The number of decimal digits of `value` (0 for zero): an estimate from its bit width
// (log10 2 ≈ 1233 / 4096), corrected by one comparison.
int digit_count(std::uint64_t value) {
    const auto estimate = static_cast<std::size_t>((std::bit_width(value) * 1233) >> 12);
    return static_cast<int>(estimate) + (value >= powers_of_ten[estimate] ? 1 : 0);
}

// The decimals and integer digits of `units` / 10^decimals, with the point between them,
// before `end`; returns where they begin.
template <class Unsigned>
char* put_number(char* end, Unsigned units, int decimals, int integer_digits) {
    char* next = put_digits(end, units, decimals);  // leaves the integer part in `units`
    *--next = '.';
    return put_digits(next, units, integer_digits);
}

// The field of `units` / 10^decimals: "-" when `minus`, the integer digits ("0" when there are
// none), "." and the decimals, right-justified in `width`; written from the end back.
std::size_t put_units(char* out, std::size_t width, std::uint64_t units, int decimals, bool minus) {
    const int integer_digits = std::max(digit_count(units) - decimals, 1);
    const auto length = static_cast<std::size_t>((minus ? 1 : 0) + integer_digits + 1 + decimals);
    char* const start = detail::start_field(out, width, length);
    if (start == nullptr) return width;
    // Most fields hold fewer than 2^32 units, and 32-bit divisions are the cheaper.
    char* next =
        units <= std::numeric_limits<std::uint32_t>::max()
            ? put_number(out + width, static_cast<std::uint32_t>(units), decimals, integer_digits)
            : put_number(out + width, units, decimals, integer_digits);
    if (minus) *--next = '-';
    assert(next == start);
    return width;
}

}  // namespace

std::size_t format_fixed_to(char* out, double value, int width, int decimals, bool sign_zero) {
    assert(width >= 1 && decimals >= 0);
    const auto field = static_cast<std::size_t>(width);
    if (!std::isfinite(value)) return detail::format_non_finite_to(out, value, field);
    const std::optional<std::uint64_t> units = scaled_units(std::fabs(value), decimals);
    if (!units) return detail::format_fixed_by_digits_to(out, value, width, decimals, sign_zero);
    // a negative value keeps its sign when it rounds to zero only with sign_zero
    const bool minus = std::signbit(value) && (*units != 0 || sign_zero);
    return put_units(out, field, *units, decimals, minus);
}

std::string format_fixed(double value, int width, int decimals, bool sign_zero) {
    if (width < 1 || decimals < 0) return std::string();
    std::string field(static_cast<std::size_t>(width), ' ');
    format_fixed_to(field.data(), value, width, decimals, sign_zero);
    return field;
}

}  // namespace zorvi::textio
