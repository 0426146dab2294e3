// The complementary error function and the Cox-Lewis test.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "stats/erfcc_table.hpp"
#include "stats/stats.hpp"
#include "test_support.hpp"

namespace {

using zorvi::stats::erfcc_s;
using zorvi::stats::erfcc_v;

constexpr double a = 1980.417;
constexpr double b = 2018.917;
using zorvi::testing::inf;
using zorvi::testing::nan;

TEST(Erfcc, KnownValues) {
    EXPECT_NEAR(erfcc_s(1.0), 0.157299212, 1e-9);
    EXPECT_NEAR(erfcc_s(-1.0), 1.842700788, 1e-9);
    EXPECT_EQ(erfcc_s(1.0) + erfcc_s(-1.0), 2.0);
    EXPECT_NEAR(erfcc_s(2.0), 0.00467773499, 1e-11);
    EXPECT_NEAR(erfcc_s(0.5), 0.479500092, 1e-9);
}

TEST(Erfcc, AtZeroIsTheExponentialOfTheBlockedCoefficientSum) {
    // At t = 1 the blocked scheme adds the coefficients in its own bracketing.
    const auto& c = zorvi::stats::detail::erfcc_coefficients;
    const double blocked =
        (((c[0] + c[1]) + (c[2] + c[3])) + ((c[4] + c[5]) + (c[6] + c[7]))) + (c[8] + c[9]);
    EXPECT_EQ(erfcc_s(0.0), std::exp(blocked));
    EXPECT_NEAR(erfcc_s(0.0), 1.00000003, 1e-9);
    EXPECT_NE(erfcc_s(0.0), 1.0);
    EXPECT_EQ(erfcc_s(-0.0), erfcc_s(0.0)) << "negative zero is not reflected";
}

TEST(Erfcc, NonFiniteAndUnderflow) {
    EXPECT_EQ(erfcc_s(inf), 0.0);
    EXPECT_EQ(erfcc_s(-inf), 2.0);
    EXPECT_TRUE(std::isnan(erfcc_s(nan)));
    const double at27 = erfcc_s(27.0);
    EXPECT_EQ(std::fpclassify(at27), FP_SUBNORMAL);
    EXPECT_NEAR(at27 / 5.24e-319, 1.0, 0.01);
    EXPECT_EQ(erfcc_s(30.0), 0.0);
}

TEST(Erfcc, AccurateAgainstTheLibraryFunction) {
    for (double x = 0.0; x < 9.0; x += 0.01) {
        EXPECT_LT(std::fabs(erfcc_s(x) - std::erfc(x)) / std::erfc(x), 1.2e-7) << x;
    }
}

TEST(Erfcc, VectorForm) {
    EXPECT_TRUE(erfcc_v(std::vector<double>{}).empty());
    const std::vector<double> r = erfcc_v(std::vector<double>{-1.0, 0.0, 1.0});
    ASSERT_EQ(r.size(), 3u);
    // Three points and ten coefficients: each point by the blocked scheme, as the scalar.
    EXPECT_EQ(r[0], erfcc_s(-1.0));
    EXPECT_EQ(r[1], erfcc_s(0.0));
    EXPECT_EQ(r[2], erfcc_s(1.0));
}

TEST(Erfcc, VectorFormOnManyPointsAndStrides) {
    std::vector<double> x;
    for (int i = -20; i <= 20; ++i)
        x.push_back(i * 0.25);
    const std::vector<double> r = erfcc_v(x);
    ASSERT_EQ(r.size(), x.size());
    for (std::size_t j = 0; j < x.size(); ++j) {
        // More points than coefficients: Horner across the array, equal up to the last bits.
        EXPECT_NEAR(r[j], erfcc_s(x[j]), 4e-16 * 2.0) << x[j];
    }
    const std::vector<double> every_other = erfcc_v(x, 2);
    ASSERT_EQ(every_other.size(), 21u);
    EXPECT_EQ(every_other[3], erfcc_v(std::vector<double>{x[6]})[0]);
}

void run_test(std::vector<double> times, double& u, double& p) {
    zorvi::stats::test(a, b, static_cast<std::int32_t>(times.size()), times, u, p);
}

TEST(CoxLewis, Examples) {
    double u = 0.0;
    double p = 0.0;
    run_test({1990.0, 2000.0, 2010.0}, u, p);
    EXPECT_NEAR(u, 0.0518961, 5e-8);
    EXPECT_NEAR(p, 0.479306, 5e-7);

    run_test({2018.917, 2018.917}, u, p);
    EXPECT_NEAR(u, std::sqrt(6.0), 1e-12);
    EXPECT_NEAR(p, 0.00715294, 5e-9);
    const double p_high = p;
    run_test({1980.417, 1980.417}, u, p);
    EXPECT_NEAR(u, -std::sqrt(6.0), 1e-12);
    EXPECT_EQ(p, p_high);

    run_test({2057.417}, u, p);  // one interval length past the end
    EXPECT_NEAR(u, 1.5 * std::sqrt(12.0), 1e-9);
}

TEST(CoxLewis, CentredTimesGiveTheErfcAtZero) {
    double u = 1.0;
    double p = 0.0;
    run_test({1980.417, 2018.917}, u, p);
    EXPECT_EQ(u, 0.0);
    EXPECT_EQ(p, 0.5 * erfcc_s(0.0));
    EXPECT_NEAR(p, 0.500000015, 1e-9);
}

TEST(CoxLewis, NoEventsGiveNaN) {
    double u = 0.0;
    double p = 0.0;
    run_test({}, u, p);
    EXPECT_TRUE(std::isnan(u));
    EXPECT_TRUE(std::isnan(p));
    zorvi::stats::test(a, b, -1, {}, u, p);
    EXPECT_TRUE(std::isnan(u));
    EXPECT_TRUE(std::isnan(p));
}

TEST(CoxLewis, OrderOfOperations) {
    // The same steps written out; any regrouping (the midpoint formed, u = R * (c / D), ...)
    // changes the last bits for some of these inputs.
    const std::vector<std::vector<double>> cases = {
        {1985.1, 1999.7, 2004.2},
        {2017.674, 1989.7, 1992.646, 2004.617, 2017.732, 2018.775},
        {1980.5},
        {2000.0, 2000.1, 2000.2, 2000.3, 2000.4}};
    for (const auto& times : cases) {
        double s = 0.0;
        for (double t : times)
            s += t;
        const double d = b - a;
        const double count = static_cast<double>(times.size());
        const double r = std::sqrt(12.0 * count);
        const double c = (s / count - a) - 0.5 * d;
        const double expected_u = (r * c) / d;
        double u = 0.0;
        double p = 0.0;
        run_test(times, u, p);
        EXPECT_EQ(u, expected_u);
        EXPECT_EQ(p, 0.5 * erfcc_s(std::fabs(expected_u) / 1.4142135623730951));
    }
}

}  // namespace
