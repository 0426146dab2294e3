// Polynomial evaluation: thresholds, the blocked scheme's order of operations, vector and
// masked forms, partial sums.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "test_support.hpp"
#include "vkutil/vkutil.hpp"

namespace {

using vkutil::SingleComplex;

using zorvi::testing::inf;
using zorvi::testing::nan;

// Coefficients and points with no exact arithmetic, so that a change of order shows.
const std::vector<double> ten = {0.3, -1.7, 2.9, 0.11, -0.61, 1.37, -2.3, 0.77, 1.9, -0.43};
const std::vector<double> points = {0.137, 0.29, 0.5,  0.71,  0.93, 1.3,
                                    -0.7,  3.3,  -2.9, 0.013, 0.66, 0.455};

double plain_horner(double x, const std::vector<double>& c) {
    double r = c.back();
    for (std::size_t i = c.size() - 1; i-- > 0;) {
        r = x * r + c[i];
    }
    return r;
}

// The blocked scheme for 8 and 10 coefficients, bracketed by hand.
double blocked8(double x, const std::vector<double>& c) {
    const double x2 = x * x;
    const double x4 = x2 * x2;
    return ((c[0] + x * c[1]) + x2 * (c[2] + x * c[3])) +
           x4 * ((c[4] + x * c[5]) + x2 * (c[6] + x * c[7]));
}
double blocked10(double x, const std::vector<double>& c) {
    const double x2 = x * x;
    const double x4 = x2 * x2;
    const double x8 = x4 * x4;
    return (((c[0] + x * c[1]) + x2 * (c[2] + x * c[3])) +
            x4 * ((c[4] + x * c[5]) + x2 * (c[6] + x * c[7]))) +
           x8 * (c[8] + x * c[9]);
}

TEST(PolyScalar, EmptyAndSingleCoefficient) {
    EXPECT_EQ(vkutil::poly_rr(3.0, {}), 0.0);
    EXPECT_EQ(vkutil::poly_dd(3.0, {}), 0.0);
    const std::vector<double> one = {4.5};
    EXPECT_EQ(vkutil::poly_rr(nan, one), 4.5);  // x is not used
    EXPECT_EQ(vkutil::poly_rr(inf, one), 4.5);
    EXPECT_EQ(vkutil::poly_cc({1, 2}, {}), SingleComplex(0, 0));
    EXPECT_EQ(vkutil::poly_rc({1, 2}, {}), SingleComplex(0, 0));
}

TEST(PolyScalar, ExactValuesAcrossTheThreshold) {
    const std::vector<double> seven = {1, 2, 3, 4, 5, 6, 7};
    const std::vector<double> eight = {1, 2, 3, 4, 5, 6, 7, 8};
    EXPECT_EQ(vkutil::poly_rr(2.0, seven), 769.0);   // Horner
    EXPECT_EQ(vkutil::poly_rr(2.0, eight), 1793.0);  // blocked
    EXPECT_EQ(vkutil::poly_dd(2.0, eight), 1793.0);
    std::vector<double> many(40, 1.0);  // a work array beyond the stack buffer
    EXPECT_EQ(vkutil::poly_rr(2.0, many), std::ldexp(1.0, 40) - 1);
    EXPECT_EQ(vkutil::poly_rr(-1.0, std::vector<double>(9, 1.0)), 1.0);  // odd lengths
}

TEST(PolyScalar, BlockedSchemeKeepsItsBracketing) {
    const std::vector<double> eight(ten.begin(), ten.begin() + 8);
    int differs_from_horner = 0;
    for (const double x : points) {
        EXPECT_EQ(vkutil::poly_rr(x, ten), blocked10(x, ten)) << x;
        EXPECT_EQ(vkutil::poly_dd(x, ten), blocked10(x, ten)) << x;
        EXPECT_EQ(vkutil::poly_rr(x, eight), blocked8(x, eight)) << x;
        if (blocked10(x, ten) != plain_horner(x, ten)) ++differs_from_horner;
    }
    // Otherwise the checks above could not tell the schemes apart.
    EXPECT_GT(differs_from_horner, 0);
    // Below 8 coefficients: Horner, bit for bit.
    const std::vector<double> seven(ten.begin(), ten.begin() + 7);
    for (const double x : points) {
        EXPECT_EQ(vkutil::poly_rr(x, seven), plain_horner(x, seven));
    }
}

TEST(PolyScalar, OddLevelMultipliesTheAppendedZero) {
    // 9 coefficients: the ninth is paired with a zero, so x = inf makes p·0 a NaN even where
    // every other pair would give an infinity.
    const std::vector<double> nine(9, 1.0);
    EXPECT_TRUE(std::isnan(vkutil::poly_rr(inf, nine)));
    EXPECT_EQ(vkutil::poly_rr(inf, std::vector<double>(7, 1.0)), inf);  // Horner
}

SingleComplex cmul(SingleComplex a, SingleComplex b) {
    return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}
SingleComplex cadd(SingleComplex a, SingleComplex b) {
    return {a.real() + b.real(), a.imag() + b.imag()};
}

TEST(PolyComplex, BlockedSchemeInSinglePrecision) {
    const std::vector<SingleComplex> c = {{0.3f, 1.1f},  {-1.7f, 0.2f}, {2.9f, -0.5f},
                                          {0.11f, 0.7f}, {-0.6f, 0.9f}, {1.37f, -1.2f},
                                          {-2.3f, 0.4f}, {0.77f, 0.13f}};
    const SingleComplex x(0.61f, -0.37f);
    const SingleComplex x2(x.real() * x.real() - x.imag() * x.imag(), 2 * x.real() * x.imag());
    const SingleComplex x4(x2.real() * x2.real() - x2.imag() * x2.imag(),
                           2 * x2.real() * x2.imag());
    const SingleComplex lo = cadd(cadd(c[0], cmul(x, c[1])), cmul(x2, cadd(c[2], cmul(x, c[3]))));
    const SingleComplex hi = cadd(cadd(c[4], cmul(x, c[5])), cmul(x2, cadd(c[6], cmul(x, c[7]))));
    const SingleComplex expected = cadd(lo, cmul(x4, hi));
    const SingleComplex got = vkutil::poly_cc(x, c);
    EXPECT_EQ(got.real(), expected.real());
    EXPECT_EQ(got.imag(), expected.imag());

    // Horner below 8.
    const std::vector<SingleComplex> three(c.begin(), c.begin() + 3);
    const SingleComplex horner = cadd(cmul(x, cadd(cmul(x, c[2]), c[1])), c[0]);
    EXPECT_EQ(vkutil::poly_cc(x, three), horner);
}

TEST(PolyComplex, RealCoefficientsEnterRoundedToSingle) {
    const SingleComplex x(0.3f, 0.8f);
    for (const std::size_t n : {1u, 5u, 8u, 10u}) {
        const std::vector<double> c(ten.begin(), ten.begin() + n);
        std::vector<SingleComplex> rounded;
        for (const double v : c) {
            rounded.emplace_back(static_cast<float>(v), 0.0f);
        }
        EXPECT_EQ(vkutil::poly_rc(x, c), vkutil::poly_cc(x, rounded)) << n;
    }
    EXPECT_EQ(vkutil::poly_rc(x, std::vector<double>{0.1}), SingleComplex(0.1f, 0.0f));
}

TEST(PolyVector, MethodDependsOnPointsAndCoefficients) {
    // 10 coefficients and 11 points: Horner across the array.
    const std::vector<double> eleven(points.begin(), points.begin() + 11);
    const std::vector<double> r11 = vkutil::poly_rrv(eleven, ten);
    ASSERT_EQ(r11.size(), 11u);
    for (std::size_t j = 0; j < 11; ++j) {
        EXPECT_EQ(r11[j], plain_horner(eleven[j], ten)) << j;
    }
    // 10 points: each by the blocked scheme.
    const std::vector<double> tenpts(points.begin(), points.begin() + 10);
    const std::vector<double> r10 = vkutil::poly_ddv(tenpts, ten);
    ASSERT_EQ(r10.size(), 10u);
    for (std::size_t j = 0; j < 10; ++j) {
        EXPECT_EQ(r10[j], blocked10(tenpts[j], ten)) << j;
    }
    // Fewer than 8 coefficients: always Horner.
    const std::vector<double> five(ten.begin(), ten.begin() + 5);
    const std::vector<double> r5 = vkutil::poly_rrv(std::span(points).first(3), five);
    for (std::size_t j = 0; j < 3; ++j) {
        EXPECT_EQ(r5[j], plain_horner(points[j], five));
    }
}

TEST(PolyVector, EmptyInputs) {
    EXPECT_EQ(vkutil::poly_rrv(points, {}), std::vector<double>(points.size(), 0.0));
    EXPECT_TRUE(vkutil::poly_rrv({}, ten).empty());
    EXPECT_TRUE(vkutil::poly_msk_rrv({}, ten, {}).empty());
}

TEST(PolyMasked, SelectedPointsDecideTheMethod) {
    std::vector<vkutil::Logical> mask(points.size(), 7);  // any nonzero value is true
    mask[4] = 0;
    // 11 selected points against 10 coefficients: Horner.
    std::vector<double> r = vkutil::poly_msk_rrv(points, ten, mask);
    ASSERT_EQ(r.size(), points.size());
    for (std::size_t j = 0; j < points.size(); ++j) {
        EXPECT_EQ(r[j], j == 4 ? 0.0 : plain_horner(points[j], ten)) << j;
    }
    // 10 selected points: blocked.
    mask[7] = 0;
    r = vkutil::poly_msk_ddv(points, ten, mask);
    for (std::size_t j = 0; j < points.size(); ++j) {
        EXPECT_EQ(r[j], (j == 4 || j == 7) ? 0.0 : blocked10(points[j], ten)) << j;
    }
}

TEST(PolyMasked, AllFalseGivesZeros) {
    const std::vector<vkutil::Logical> mask(points.size(), 0);
    EXPECT_EQ(vkutil::poly_msk_rrv(points, ten, mask), std::vector<double>(points.size(), 0.0));
}

TEST(PolyTerm, OnesAtTwoGivePowersMinusOne) {
    for (const std::size_t n : {1u, 7u, 8u, 9u, 16u, 33u, 50u}) {
        const std::vector<double> u = vkutil::poly_term_rr(std::vector<double>(n, 1.0), 2.0);
        ASSERT_EQ(u.size(), n);
        for (std::size_t i = 0; i < n; ++i) {
            EXPECT_EQ(u[i], std::ldexp(1.0, i + 1) - 1) << n;
        }
    }
    EXPECT_TRUE(vkutil::poly_term_rr({}, 2.0).empty());
    EXPECT_TRUE(vkutil::poly_term_cc({}, {2, 0}).empty());
}

TEST(PolyTerm, RecursionOrderForEightTerms) {
    const std::vector<double> a(ten.begin(), ten.begin() + 8);
    const double b = 0.37;
    const double b2 = b * b;
    // The halved array, its plain partial sums with b², then the odd positions.
    const double h[4] = {a[0] * b + a[1], a[2] * b + a[3], a[4] * b + a[5], a[6] * b + a[7]};
    double even[4];
    even[0] = h[0];
    for (int k = 1; k < 4; ++k) {
        even[k] = b2 * even[k - 1] + h[k];
    }
    const std::vector<double> u = vkutil::poly_term_rr(a, b);
    ASSERT_EQ(u.size(), 8u);
    EXPECT_EQ(u[0], a[0]);
    for (int k = 0; k < 4; ++k) {
        EXPECT_EQ(u[2 * k + 1], even[k]) << k;
    }
    for (int i = 2; i < 8; i += 2) {
        EXPECT_EQ(u[i], u[i - 1] * b + a[i]) << i;
    }
    // Seven terms take the plain recurrence.
    const std::vector<double> u7 = vkutil::poly_term_rr(std::span(a).first(7), b);
    double r = a[0];
    for (int i = 1; i < 7; ++i) {
        r = b * r + a[i];
        EXPECT_EQ(u7[i], r) << i;
    }
}

TEST(PolyTerm, ComplexPartialSums) {
    const std::vector<SingleComplex> ones(12, SingleComplex(1, 0));
    const std::vector<SingleComplex> u = vkutil::poly_term_cc(ones, {2, 0});
    ASSERT_EQ(u.size(), 12u);
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(u[i], SingleComplex(std::ldexp(1.0f, i + 1) - 1, 0)) << i;
    }
    // Base i: the partial sums cycle through 1, 1 + i, i, 0.
    const std::vector<SingleComplex> v = vkutil::poly_term_cc(ones, {0, 1});
    const SingleComplex cycle[4] = {{1, 0}, {1, 1}, {0, 1}, {0, 0}};
    for (std::size_t i = 0; i < 12; ++i) {
        EXPECT_EQ(v[i], cycle[i % 4]) << i;
    }
}

TEST(PolyTerm, AgreesWithPlainRecurrenceUpToRounding) {
    std::vector<double> a;
    for (int i = 0; i < 100; ++i) {
        a.push_back(std::sin(i * 0.7));
    }
    const double b = 0.9;
    const std::vector<double> u = vkutil::poly_term_rr(a, b);
    double r = a[0];
    for (std::size_t i = 1; i < a.size(); ++i) {
        r = b * r + a[i];
        EXPECT_NEAR(u[i], r, 1e-12) << i;
    }
}

}  // namespace
