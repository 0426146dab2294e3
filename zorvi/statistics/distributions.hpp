// Internal to the statistics: distribution functions and root finders from Boost.Math (domain
// errors as NaN, never thrown), and the quick decision of which tests find P < 0.05.
#pragma once

#include <array>
#include <functional>
#include <span>
#include <utility>
#include <vector>

#include "zorvi/statistics/trend.hpp"

namespace zorvi::detail {

// Distribution functions; a NaN argument gives NaN, an infinite one the limit.
double normal_cdf(double z);                            // Phi(z)
double normal_upper_tail(double z);                     // 1 - Phi(z), exact far into the tail
double normal_quantile(double q);                       // z with Phi(z) = q
double chi_squared_cdf(double x, double freedom);       // lower tail
double chi_squared_quantile(double q, double freedom);  // x with lower tail q

// Student's t and the upper tails, each accurate far into the tail.
double chi_squared_upper_tail(double x, double freedom);  // 1 - chi_squared_cdf
double student_t_upper_tail(double t, double freedom);    // P(T > t)
double student_t_quantile(double q, double freedom);      // t with P(T <= t) = q

// The log-linear rate on a symmetric interval, x = beta h: coth(x) - 1/x (the mean place of an
// event over h), its derivative 1/x^2 - 1/sinh(x)^2, and ln(sinh(x) / x); accurate near 0 and
// without overflow far from it.
double mean_position(double x);
double mean_position_slope(double x);
double log_sinhc(double x);

// Whether `statistic` lies below (`lower_tail`) or above the critical value whose tail is
// 0.05, with the tail's `probability` computed only within a relative hair around it.
inline constexpr double decision_margin = 1e-9;
template <class Probability>
bool beyond_critical(double statistic, double critical, bool lower_tail, Probability probability) {
    const double low = critical * (1.0 - decision_margin);
    const double high = critical * (1.0 + decision_margin);
    if (lower_tail ? statistic < low : statistic > high) return true;
    if (lower_tail ? statistic > high : statistic < low) return false;
    return probability() < significance_05;  // near the critical value, or not a number
}

// The root of `f` in [low, high], where f(low) <= 0 <= f(high) and f is continuous; to
// within a few units in the last place.
double root_between(const std::function<double(double)>& f, double low, double high);

// The root of an increasing `f` in [low, high] by Newton's method from `guess`; `f` returns
// its value and its derivative.
double newton_root(const std::function<std::pair<double, double>(double)>& f, double guess,
                   double low, double high);

// Which trend tests find P < 0.05 in many series: the same answers as comparing
// trend_test_statistics' P with 0.05, with a distribution function evaluated only where a
// statistic lies within a hair of its critical value.
struct TestDecider {
    double start = 0.0;
    double end = 0.0;
    double normal_critical = 0.0;              // 1 - Phi(z) = 0.05
    std::vector<double> chi_squared_critical;  // per m, the 0.05 quantile of chi-square(2m)
    std::vector<double> gaps;                  // working space
};
TestDecider make_test_decider(double start, double end);
std::array<bool, trend_test_count> tests_below_05(TestDecider& decider,
                                                  std::span<const double> times,
                                                  const TrendTest& cox_lewis);

}  // namespace zorvi::detail
