// The fixed edit F16.8 against the digit rule itself: a few million values of the kinds where
// rounding goes wrong, rendered by both paths, compared byte for byte.
#include <bit>
#include <cmath>
#include <cstdint>
#include <random>
#include <string>

#include <gtest/gtest.h>

#include "test_support.hpp"
#include "textio/render_impl.hpp"
#include "textio/textio.hpp"

namespace zorvi::textio::detail {
namespace {

// The sanitizer build runs every value many times slower: it checks a sample.
#if ZORVI_UNDER_ADDRESS_SANITIZER
constexpr int values_per_family = 40'000;
#else
constexpr int values_per_family = 700'000;
#endif

constexpr int width = 16;
constexpr int decimals = 8;

using Random = std::mt19937_64;

double from_bits(std::uint64_t bits) {
    return std::bit_cast<double>(bits);
}

// A double of random significand with a binary exponent in [low, high], either sign.
double random_in_binade(Random& random, int low, int high) {
    const auto exponent = static_cast<std::uint64_t>(
        std::uniform_int_distribution<int>(low + 1023, high + 1023)(random));
    const std::uint64_t sign = random() & (std::uint64_t{1} << 63);
    return from_bits(sign | exponent << 52 | (random() >> 12));
}

// A double one or two steps away from `value`, or `value` itself.
double neighbour(Random& random, double value) {
    const std::uint64_t step = random() % 5;
    const auto bits = std::bit_cast<std::uint64_t>(value);
    return from_bits(bits + step - 2);
}

double signed_randomly(Random& random, double value) {
    return random() % 2 == 0 ? value : -value;
}

// A random number of 1 to `digits` digits, each length equally likely.
std::uint64_t random_digits(Random& random, int digits) {
    std::uint64_t limit = 10;
    for (int n = static_cast<int>(random() % static_cast<std::uint64_t>(digits)); n > 0; --n)
        limit *= 10;
    return random() % limit;
}

struct Family {
    const char* name;
    double (*draw)(Random&);
};

constexpr Family families[] = {
    {"random bit patterns", [](Random& r) { return from_bits(r()); }},
    {"magnitudes 2^-40 to 2^30", [](Random& r) { return random_in_binade(r, -40, 30); }},
    {"halfway at the 8th decimal, and neighbours",
     [](Random& r) {
         // (k + 1/2) × 10^-8 for k of 1 to 16 digits, rounded to a double
         const double k = static_cast<double>(random_digits(r, 16));
         return neighbour(r, signed_randomly(r, (k + 0.5) * 1e-8));
     }},
    {"exactly halfway at the 8th decimal, and neighbours",
     [](Random& r) {
         // the only doubles halfway at the 8th decimal: j / 2^9 = j × 1953125 × 10^-9, j odd
         const double j = static_cast<double>(2 * random_digits(r, 10) + 1);
         return neighbour(r, signed_randomly(r, j / 512));
     }},
    {"near the field's limits 10^6, 10^7, 10^8",
     [](Random& r) {
         constexpr double limits[] = {999999.995, 1e6, 9999999.995, 1e7, 99999999.995, 1e8};
         const double limit = limits[r() % 6];
         const double value =
             r() % 4 == 0 ? limit : limit + static_cast<double>(r() % 4001) * 1e-9 - 2e-6;
         return neighbour(r, signed_randomly(r, value));
     }},
    {"subnormals", [](Random& r) { return from_bits((r() & 0x800F'FFFF'FFFF'FFFFu)); }},
    {"negative values that round to zero",
     [](Random& r) {
         const double value = -static_cast<double>(r() >> 11) * 0x1p-53 * 5.000000001e-9;
         return neighbour(r, value);
     }},
};

TEST(FixedEdit, ExactPathAgreesWithTheDigitRule) {
    for (const Family& family : families) {
        Random random(20181130);
        int mismatches = 0;
        for (int i = 0; i < values_per_family; ++i) {
            const double value = family.draw(random);
            const bool sign_zero = i % 8 != 0;
            char fast[width];
            char digits[width];
            format_fixed_to(fast, value, width, decimals, sign_zero);
            format_fixed_by_digits_to(digits, value, width, decimals, sign_zero);
            const std::string a(fast, width);
            const std::string b(digits, width);
            if (a != b && ++mismatches <= 5) {
                ADD_FAILURE() << family.name << ": " << std::hexfloat << value << " (sign_zero "
                              << sign_zero << ") gives \"" << a << "\", the digit rule \"" << b
                              << '"';
            }
        }
        EXPECT_EQ(mismatches, 0) << family.name;
    }
}

// Widths and decimals other than the results file's, at the ends of the exact range.
TEST(FixedEdit, ExactPathAgreesAtOtherEdits) {
    Random random(1966);
    for (int i = 0; i < values_per_family; ++i) {
        const double value = random_in_binade(random, -100, 70);
        const int places = static_cast<int>(random() % 31);
        const int field = places + 2 + static_cast<int>(random() % 24);
        std::string fast(static_cast<std::size_t>(field), '?');
        std::string digits = fast;
        format_fixed_to(fast.data(), value, field, places, true);
        format_fixed_by_digits_to(digits.data(), value, field, places, true);
        ASSERT_EQ(fast, digits) << std::hexfloat << value << " F" << field << '.' << places;
    }
}

}  // namespace
}  // namespace zorvi::textio::detail
