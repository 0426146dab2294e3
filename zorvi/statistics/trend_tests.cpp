// The trend tests of one selected series side by side: the Cox-Lewis test (the program's
// one-sided P and its two-sided P), the MIL-HDBK-189 test for a time-truncated series, and
// the Lewis-Robinson test.
#include <algorithm>
#include <cmath>
#include <limits>
#include <vector>

#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi {
namespace {

// sum of ln((b - a) / (t - a)) over the times: +infinity when a time lies at the start.
double log_ratio_sum(std::span<const double> times, double start, double end) {
    double sum = 0.0;
    for (double t : times)
        sum += std::log((end - start) / (t - start));
    return sum;
}

// 2 sum ln((b - a) / (t - a)), chi-square with 2m degrees of freedom under a constant rate;
// an increasing rate makes it small, so P is its lower tail.
TestStatistic mil_hdbk_189(std::span<const double> times, double start, double end) {
    if (times.empty()) return {};
    const double statistic = 2.0 * log_ratio_sum(times, start, end);
    const double freedom = 2.0 * static_cast<double>(times.size());
    return {statistic, detail::chi_squared_cdf(statistic, freedom)};
}

// The coefficient of variation of the gaps between successive times, the first gap measured
// from the start; standard deviation with divisor n - 1. `gaps` is working space.
double gap_variation(std::span<const double> times, double start, std::vector<double>& gaps) {
    gaps.assign(times.begin(), times.end());
    std::sort(gaps.begin(), gaps.end());
    double previous = start;
    for (double& gap : gaps) {
        const double t = gap;
        gap = t - previous;
        previous = t;
    }
    return standard_deviation_of(gaps) / mean_of(gaps);
}

// u divided by the gaps' coefficient of variation, normal; P one-sided like the program's.
double lewis_robinson_statistic(std::span<const double> times, double start, double u,
                                std::vector<double>& gaps) {
    return u / gap_variation(times, start, gaps);
}

TestStatistic lewis_robinson(std::span<const double> times, double start, double u) {
    if (times.size() < 2) return {};
    std::vector<double> gaps;
    const double statistic = lewis_robinson_statistic(times, start, u, gaps);
    return {statistic, detail::normal_upper_tail(std::fabs(statistic))};
}

}  // namespace

TestStatistics trend_test_statistics(std::span<const double> times, const TrendTest& cox_lewis,
                                     double start, double end) {
    TestStatistics out;
    if (times.empty()) return out;
    out[test_cox_lewis] = {cox_lewis.u, cox_lewis.p};
    out[test_cox_lewis_two_sided] = {cox_lewis.u, std::fmin(1.0, 2.0 * cox_lewis.p)};
    out[test_mil_hdbk_189] = mil_hdbk_189(times, start, end);
    out[test_lewis_robinson] = lewis_robinson(times, start, cox_lewis.u);
    return out;
}

detail::TestDecider detail::make_test_decider(double start, double end) {
    TestDecider decider;
    decider.start = start;
    decider.end = end;
    decider.normal_critical = normal_quantile(1.0 - significance_05);
    return decider;
}

std::array<bool, trend_test_count> detail::tests_below_05(TestDecider& decider,
                                                          std::span<const double> times,
                                                          const TrendTest& cox_lewis) {
    std::array<bool, trend_test_count> below{};
    if (times.empty()) return below;
    below[test_cox_lewis] = cox_lewis.p < significance_05;
    below[test_cox_lewis_two_sided] = std::fmin(1.0, 2.0 * cox_lewis.p) < significance_05;

    // MIL-HDBK-189: small statistics are significant; chi-square(2m)'s critical value per m.
    const std::size_t m = times.size();
    if (decider.chi_squared_critical.size() <= m)
        decider.chi_squared_critical.resize(m + 1, not_a_number);
    const double freedom = 2.0 * static_cast<double>(m);
    double& critical = decider.chi_squared_critical[m];
    if (std::isnan(critical)) critical = chi_squared_quantile(significance_05, freedom);
    const double statistic = 2.0 * log_ratio_sum(times, decider.start, decider.end);
    below[test_mil_hdbk_189] = beyond_critical(statistic, critical, true,
                                               [&] { return chi_squared_cdf(statistic, freedom); });

    if (m >= 2) {
        const double ratio =
            std::fabs(lewis_robinson_statistic(times, decider.start, cox_lewis.u, decider.gaps));
        below[test_lewis_robinson] = beyond_critical(ratio, decider.normal_critical, false,
                                                     [&] { return normal_upper_tail(ratio); });
    }
    return below;
}

Estimate mil_hdbk_189_shape(std::span<const double> times, double start, double end) {
    if (times.empty()) return {};
    // Given m, 2 shape sum ln((b - a) / (t - a)) is chi-square with 2m degrees of freedom.
    const double sum = log_ratio_sum(times, start, end);
    const double freedom = 2.0 * static_cast<double>(times.size());
    const double shape = static_cast<double>(times.size()) / sum;
    if (!std::isfinite(sum) || !(sum > 0.0)) return {shape, {not_a_number, not_a_number}};
    return {shape,
            {detail::chi_squared_quantile(interval_tail, freedom) / (2.0 * sum),
             detail::chi_squared_quantile(1.0 - interval_tail, freedom) / (2.0 * sum)}};
}

}  // namespace zorvi
