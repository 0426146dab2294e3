// The size of a trend in the rate of events, the trend tests side by side, and the power of the
// Cox-Lewis test: functions of the selected event times and the test's interval.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>
#include <string_view>

#include "zorvi/statistics/statistics.hpp"

namespace zorvi {

struct Estimate {
    double value = not_a_number;
    Interval interval{not_a_number, not_a_number};  // 95 %
};

// The log-linear rate lambda(t) = lambda0 exp(beta t) fitted by maximum likelihood to the
// selected times, conditional on their number m, over [start, end]: mean(s) = h coth(beta h)
// - 1/beta with s = t - (start + end) / 2, h = (end - start) / 2. The interval holds the beta
// whose log-likelihood lies less than the chi-square(1) quantile at `level` (0.95: 3.841459), over
// 2, below the maximum. NaN without an event; beta infinite, and no interval, when every time
// lies at or beyond one end.
struct TrendFit {
    double beta = not_a_number;                    // per year
    Interval beta_95{not_a_number, not_a_number};  // at `level`, 95 % by default
};
TrendFit fit_trend(std::span<const double> times, double start, double end, double level = 0.95);
double fit_beta(std::span<const double> times, double start, double end);  // beta alone
// r = mean(s) / h of the times, in [-1, 1] for times within the interval; NaN without one. The
// fitted beta follows from r alone and grows with it.
double relative_mean_position(std::span<const double> times, double start, double end);
double beta_of_position(double r, double start, double end);

// exp(10 beta): how many times the rate grows in ten years.
double rate_ratio_per_decade(double beta);

// The trend tests reported side by side, in this order.
inline constexpr std::size_t test_cox_lewis = 0;            // the program's P, 1 - Phi(|u|)
inline constexpr std::size_t test_cox_lewis_two_sided = 1;  // 2 (1 - Phi(|u|))
inline constexpr std::size_t test_mil_hdbk_189 = 2;         // 2 sum ln((b-a)/(t-a)), chi-square 2m
inline constexpr std::size_t test_lewis_robinson = 3;       // u / CV of the gaps, normal
inline constexpr std::size_t trend_test_count = 4;

struct TestName {
    std::string_view method;
    std::string_view alternative;
    std::string_view estimate_of;  // what the test's estimate estimates; empty: none
};
inline constexpr std::array<TestName, trend_test_count> trend_test_names = {{
    {"Cox-Lewis", "one-sided", "rate_ratio_per_decade"},
    {"Cox-Lewis", "two-sided", "rate_ratio_per_decade"},
    {"MIL-HDBK-189", "increasing", "shape"},
    {"Lewis-Robinson", "one-sided", ""},
}};

struct TestStatistic {
    double statistic = not_a_number;
    double p_value = not_a_number;
};
using TestStatistics = std::array<TestStatistic, trend_test_count>;

// Every test on the selected times (any order); `cox_lewis` is the program's test of them.
// A test that is undefined for so few events (none; Lewis-Robinson: fewer than two) is NaN.
TestStatistics trend_test_statistics(std::span<const double> times, const TrendTest& cox_lewis,
                                     double start, double end);

// The MIL-HDBK-189 shape estimate m / sum ln((b-a)/(t-a)), with its interval from
// chi-square(2m) given m.
Estimate mil_hdbk_189_shape(std::span<const double> times, double start, double end);

// The probability that the one-sided Cox-Lewis test with critical value `critical` finds a
// rising trend (u > critical) among m events whose rate grows as exp(beta t) on an interval
// of `length` years, given m. Exact: the density of the sum of the m scaled times, a
// B-spline tilted by exp(beta t), integrated by Gauss-Legendre quadrature on each of its
// polynomial pieces.
double rising_trend_power(double beta, std::int32_t m, double length, double critical);

// Beyond this many events the power is found from the normal approximation to the sum of the
// m scaled times (their exact mean and variance under the tilt), whose error falls as
// 1 / sqrt(m): the exact density's work grows as m^2 (m = 1000: about 1 s for the detectable
// trend, m = 2000: 3 s).
inline constexpr std::int32_t max_exact_power_events = 1000;
bool exact_power(std::int32_t m);
double approximate_rising_trend_power(double beta, std::int32_t m, double length, double critical);

// The beta that such a test detects with probability `power`; NaN for m = 0.
double detectable_beta(std::int32_t m, double length, double critical, double power);

inline constexpr double detection_power = 0.8;

}  // namespace zorvi
