// Progressions, running sums and products, roots of unity: thresholds, order of operations,
// wrap-around.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <vector>

#include "test_support.hpp"
#include "vkutil/vkutil.hpp"

namespace {

using vkutil::DoubleComplex;
using vkutil::SingleComplex;

using zorvi::testing::int_max;
using zorvi::testing::int_min;

// first + k·increment modulo 2^32, element by element.
std::vector<std::int32_t> wrapped_progression(std::uint32_t first, std::uint32_t increment, int n) {
    std::vector<std::int32_t> out;
    for (int k = 0; k < n; ++k) {
        out.push_back(static_cast<std::int32_t>(first + k * increment));
    }
    return out;
}

std::vector<double> plain_running_sum(const std::vector<double>& v, double seed) {
    std::vector<double> r;
    double s = seed + v[0];
    r.push_back(s);
    for (std::size_t i = 1; i < v.size(); ++i) {
        r.push_back(s = s + v[i]);
    }
    return r;
}

std::vector<double> tenths(int n, double start) {
    std::vector<double> v;
    for (int i = 0; i < n; ++i) {
        v.push_back(start + 0.1 * i);
    }
    return v;
}

TEST(Arth, SmallAndDoublingLengths) {
    const std::vector<double> odd = vkutil::arth_r(1.0, 2.0, 20);
    ASSERT_EQ(odd.size(), 20u);
    for (int k = 0; k < 20; ++k) {
        EXPECT_EQ(odd[k], 1.0 + 2.0 * k);
    }
    EXPECT_EQ(vkutil::arth_i(0, 1, 17), wrapped_progression(0, 1, 17));
    EXPECT_TRUE(vkutil::arth_d(1.0, 1.0, 0).empty());
    EXPECT_TRUE(vkutil::arth_i(1, 1, -5).empty());
    EXPECT_EQ(vkutil::arth_r(2.5, 9.0, 1), std::vector<double>{2.5});
}

TEST(Arth, SixteenPlainSeventeenDoubled) {
    const double first = 0.3;
    const double inc = 0.1;
    const std::vector<double> a16 = vkutil::arth_r(first, inc, 16);
    double prev = first;
    for (int k = 1; k < 16; ++k) {
        EXPECT_EQ(a16[k], prev = prev + inc) << k;
    }

    const std::vector<double> a17 = vkutil::arth_d(first, inc, 17);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(a17[k], a16[k]) << k;
    }
    for (int j = 0; j < 8; ++j) {
        EXPECT_EQ(a17[8 + j], a17[j] + 8.0 * inc) << j;
    }
    EXPECT_EQ(a17[16], a17[0] + 16.0 * inc);
    int differs = 0;  // the doubled elements are not those of the plain recurrence here
    for (int k = 8; k < 16; ++k) {
        differs += a17[k] != a16[k];
    }
    EXPECT_GT(differs, 0);
}

TEST(Arth, LaterPassesAddTheDoubledStep) {
    const double inc = 0.7;
    const std::vector<double> a = vkutil::arth_r(-1.3, inc, 70);
    ASSERT_EQ(a.size(), 70u);
    for (int j = 0; j < 16; ++j) {
        EXPECT_EQ(a[16 + j], a[j] + 16.0 * inc);
    }
    for (int j = 0; j < 32; ++j) {
        EXPECT_EQ(a[32 + j], a[j] + 32.0 * inc);
    }
    for (int j = 0; j < 6; ++j) {
        EXPECT_EQ(a[64 + j], a[j] + 64.0 * inc);
    }
}

TEST(Arth, IntegersWrapAround) {
    EXPECT_EQ(vkutil::arth_i(int_max - 5, 1, 12), wrapped_progression(int_max - 5, 1, 12));
    EXPECT_EQ(vkutil::arth_i(int_min, -3, 40), wrapped_progression(int_min, -3u, 40));
    EXPECT_EQ(vkutil::arth_i(7, int_max, 100), wrapped_progression(7, int_max, 100));
}

TEST(Geop, PowersAndThreshold) {
    const std::vector<double> g = vkutil::geop_r(1.0, 2.0, 10);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(g[k], std::ldexp(1.0, k));
    }
    EXPECT_EQ(vkutil::geop_i(1, 3, 5), (std::vector<std::int32_t>{1, 3, 9, 27, 81}));
    EXPECT_TRUE(vkutil::geop_d(1.0, 2.0, 0).empty());

    // Up to 4 by the plain recurrence; from 5 element 3 is first·factor².
    int differs = 0;
    for (const double f : {0.7, 1.3, 0.11, 2.9, 0.37}) {
        const double first = 1.1;
        const std::vector<double> g4 = vkutil::geop_r(first, f, 4);
        const std::vector<double> g5 = vkutil::geop_d(first, f, 5);
        EXPECT_EQ(g4[2], (first * f) * f);
        EXPECT_EQ(g4[3], ((first * f) * f) * f);
        EXPECT_EQ(g5[1], first * f);
        EXPECT_EQ(g5[2], first * (f * f));
        EXPECT_EQ(g5[3], (first * f) * (f * f));
        EXPECT_EQ(g5[4], first * ((f * f) * (f * f)));
        differs += g5[2] != g4[2];
    }
    EXPECT_GT(differs, 0);
}

TEST(Geop, IntegersWrapAround) {
    std::vector<std::int32_t> expected;
    std::uint32_t p = 1;
    for (int k = 0; k < 40; ++k, p *= 3u) {
        expected.push_back(static_cast<std::int32_t>(p));
    }
    EXPECT_EQ(vkutil::geop_i(1, 3, 40), expected);
}

TEST(Geop, DoubleComplexProgression) {
    const std::vector<DoubleComplex> g = vkutil::geop_c({1, 0}, {0, 1}, 10);
    const DoubleComplex cycle[4] = {{1, 0}, {0, 1}, {-1, 0}, {0, -1}};
    ASSERT_EQ(g.size(), 10u);
    for (int k = 0; k < 10; ++k) {
        EXPECT_EQ(g[k], cycle[k % 4]) << k;
    }

    // The square is (re² − im², re·im·2) and each product the explicit formula.
    const DoubleComplex first(0.3, -1.1);
    const DoubleComplex f(0.9, 0.4);
    const DoubleComplex t(f.real() * f.real() - f.imag() * f.imag(), f.real() * f.imag() * 2);
    const std::vector<DoubleComplex> h = vkutil::geop_c(first, f, 5);
    const DoubleComplex g3(first.real() * t.real() - first.imag() * t.imag(),
                           first.imag() * t.real() + first.real() * t.imag());
    EXPECT_EQ(h[2], g3);
}

TEST(Geop, OneProgressionPerRow) {
    const std::vector<double> first = {1, 2};
    const std::vector<double> factor = {2, 3};
    for (const int n : {3, 6}) {
        const vkutil::Matrix<double> g = vkutil::geop_dv(first, factor, n);
        ASSERT_EQ(g.rows(), 2);
        ASSERT_EQ(g.cols(), n);
        for (int c = 1; c <= n; ++c) {
            EXPECT_EQ(g(1, c), std::pow(2.0, c - 1));
            EXPECT_EQ(g(2, c), 2 * std::pow(3.0, c - 1));
        }
    }
    const vkutil::Matrix<double> none = vkutil::geop_dv(first, factor, 0);
    EXPECT_EQ(none.rows(), 2);
    EXPECT_EQ(none.cols(), 0);
    // Rows follow the scalar progression, bit for bit.
    const std::vector<double> f1 = {0.7};
    const std::vector<double> s1 = {1.1};
    const vkutil::Matrix<double> row = vkutil::geop_dv(s1, f1, 9);
    const std::vector<double> scalar = vkutil::geop_r(1.1, 0.7, 9);
    for (int c = 1; c <= 9; ++c) {
        EXPECT_EQ(row(1, c), scalar[c - 1]) << c;
    }
}

TEST(Cumsum, TriangularNumbersAndSeed) {
    std::vector<double> v;
    for (int i = 1; i <= 20; ++i) {
        v.push_back(i);
    }
    const std::vector<double> r = vkutil::cumsum_r(v);
    const std::vector<double> seeded = vkutil::cumsum_r(v, 10.0);
    ASSERT_EQ(r.size(), 20u);
    for (int i = 0; i < 20; ++i) {
        EXPECT_EQ(r[i], (i + 1) * (i + 2) / 2);
        EXPECT_EQ(seeded[i], r[i] + 10);
    }
    EXPECT_EQ(vkutil::cumsum_r(v, 0.0), r);
    EXPECT_TRUE(vkutil::cumsum_r({}).empty());
    const std::vector<double> ones(1000, 1.0);
    const std::vector<double> many = vkutil::cumsum_r(ones);
    for (int i = 0; i < 1000; ++i) {
        ASSERT_EQ(many[i], i + 1);
    }
}

TEST(Cumsum, FifteenPlainSixteenHalved) {
    const double seed = 0.05;
    const std::vector<double> v15 = tenths(15, 0.3);
    EXPECT_EQ(vkutil::cumsum_r(v15, seed), plain_running_sum(v15, seed));

    const std::vector<double> v = tenths(16, 0.3);
    // Pairs v(2k) + v(2k−1), their plain running sum from the seed, then the odd positions.
    std::vector<double> halved(8);
    for (int k = 0; k < 8; ++k) {
        halved[k] = v[2 * k + 1] + v[2 * k];
    }
    const std::vector<double> even = plain_running_sum(halved, seed);
    const std::vector<double> r = vkutil::cumsum_r(v, seed);
    ASSERT_EQ(r.size(), 16u);
    EXPECT_EQ(r[0], seed + v[0]);
    for (int k = 0; k < 8; ++k) {
        EXPECT_EQ(r[2 * k + 1], even[k]) << k;
    }
    for (int k = 1; k < 8; ++k) {
        EXPECT_EQ(r[2 * k], r[2 * k - 1] + v[2 * k]) << k;
    }
    const std::vector<double> plain = plain_running_sum(v, seed);
    int differs = 0;
    for (int i = 0; i < 16; ++i) {
        differs += r[i] != plain[i];
    }
    EXPECT_GT(differs, 0);
}

TEST(Cumsum, EveryLengthAcrossSeveralLevels) {
    // Exact sums, so any slip in placing the halved results shows.
    for (int n = 1; n <= 140; ++n) {
        EXPECT_EQ(vkutil::cumsum_i(std::vector<std::int32_t>(n, 1), 3),
                  wrapped_progression(4, 1, n))
            << n;
        const std::vector<double> r = vkutil::cumprod(std::vector<double>(n, 2.0));
        for (int i = 0; i < n; ++i) {
            ASSERT_EQ(r[i], std::ldexp(1.0, i + 1)) << n;
        }
    }
    const std::vector<double> v = tenths(1001, -50.0);
    const std::vector<double> r = vkutil::cumsum_r(v, 0.25);
    const std::vector<double> plain = plain_running_sum(v, 0.25);
    for (std::size_t i = 0; i < v.size(); ++i) {
        EXPECT_NEAR(r[i], plain[i], 1e-9) << i;
    }
}

TEST(Cumsum, IntegersWrapAround) {
    EXPECT_EQ(vkutil::cumsum_i(std::vector<std::int32_t>(16, 1)), wrapped_progression(1, 1, 16));
    const std::vector<std::int32_t> big(40, int_max);
    EXPECT_EQ(vkutil::cumsum_i(big, 5), wrapped_progression(5u + int_max, int_max, 40));
    EXPECT_EQ(vkutil::cumsum_i(big, 0), vkutil::cumsum_i(big));
}

TEST(Cumprod, PowersAndThreshold) {
    const std::vector<double> r = vkutil::cumprod(std::vector<double>(8, 2.0), 0.5);
    EXPECT_EQ(r, (std::vector<double>{1, 2, 4, 8, 16, 32, 64, 128}));
    const std::vector<double> v = {1.1, 0.7, 1.3, 0.9, 1.7, 0.3, 2.1, 0.6};
    EXPECT_EQ(vkutil::cumprod(v), vkutil::cumprod(v, 1.0));
    EXPECT_TRUE(vkutil::cumprod({}).empty());

    // Seven: plain products.
    const std::vector<double> r7 = vkutil::cumprod(std::span(v).first(7), 1.5);
    double p = 1.5 * v[0];
    EXPECT_EQ(r7[0], p);
    for (int i = 1; i < 7; ++i) {
        EXPECT_EQ(r7[i], p = p * v[i]) << i;
    }
    // Eight: pairs v(2k)·v(2k−1), their plain products from the seed, then the odd ones.
    const std::vector<double> r8 = vkutil::cumprod(v, 1.5);
    double e = 1.5 * (v[1] * v[0]);
    EXPECT_EQ(r8[0], 1.5 * v[0]);
    EXPECT_EQ(r8[1], e);
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(r8[2 * k + 1], e = e * (v[2 * k + 1] * v[2 * k])) << k;
    }
    for (int k = 1; k < 4; ++k) {
        EXPECT_EQ(r8[2 * k], r8[2 * k - 1] * v[2 * k]) << k;
    }
}

TEST(ZrootsUnity, FourRootsWithRoundingResidue) {
    const std::vector<SingleComplex> z = vkutil::zroots_unity(4, 4);
    ASSERT_EQ(z.size(), 4u);
    const double theta = 6.283185307179586 / 4;
    EXPECT_EQ(z[0], SingleComplex(1, 0));
    EXPECT_EQ(z[1], SingleComplex(static_cast<float>(std::cos(theta)),
                                  static_cast<float>(std::sin(theta))));
    EXPECT_EQ(z[2], SingleComplex(static_cast<float>(std::cos(2 * theta)),
                                  static_cast<float>(std::sin(2 * theta))));
    EXPECT_NE(z[1].real(), 0.0f);  // cos(π/2) in double is about 6.1e-17
    // −i as the product of −1 and i.
    EXPECT_EQ(z[3].real(), z[2].real() * z[1].real() - z[2].imag() * z[1].imag());
    EXPECT_EQ(z[3].imag(), z[2].real() * z[1].imag() + z[2].imag() * z[1].real());
    EXPECT_NEAR(z[3].imag(), -1.0f, 1e-7f);
}

TEST(ZrootsUnity, DirectPositionsAndProducts) {
    const int n = 7;
    const std::vector<SingleComplex> z = vkutil::zroots_unity(n, 40);
    ASSERT_EQ(z.size(), 40u);
    const double theta = 6.283185307179586 / n;
    for (const int k : {1, 2, 4, 8, 16, 32}) {
        EXPECT_EQ(z[k], SingleComplex(static_cast<float>(std::cos(k * theta)),
                                      static_cast<float>(std::sin(k * theta))))
            << k;
    }
    EXPECT_EQ(z[5].real(), z[4].real() * z[1].real() - z[4].imag() * z[1].imag());
    EXPECT_EQ(z[39].imag(), z[32].real() * z[7].imag() + z[32].imag() * z[7].real());
    for (int j = 0; j < 40; ++j) {
        EXPECT_NEAR(z[j].real(), std::cos(j * theta), 1e-5) << j;
        EXPECT_NEAR(z[j].imag(), std::sin(j * theta), 1e-5) << j;
    }
}

TEST(ZrootsUnity, DegenerateArguments) {
    EXPECT_TRUE(vkutil::zroots_unity(4, 0).empty());
    EXPECT_TRUE(vkutil::zroots_unity(4, -2).empty());
    EXPECT_EQ(vkutil::zroots_unity(5, 1), std::vector<SingleComplex>{SingleComplex(1, 0)});
    // Order 0: 1 + 0i, then NaN.
    const std::vector<SingleComplex> z = vkutil::zroots_unity(0, 3);
    EXPECT_EQ(z[0], SingleComplex(1, 0));
    EXPECT_TRUE(std::isnan(z[1].real()) && std::isnan(z[2].imag()));
    // Negative order: clockwise.
    EXPECT_NEAR(vkutil::zroots_unity(-4, 2)[1].imag(), -1.0f, 1e-7f);
}

}  // namespace
