// Summary statistics of samples: moments, quantiles, Wilson intervals, shares, the critical
// value of the program's test, and the test itself on any times.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "stats/stats.hpp"
#include "zorvi/statistics/distributions.hpp"
#include "zorvi/statistics/trend.hpp"

namespace zorvi {
namespace {

// The test's P for one event at time `t` on the interval [0, 1], where u = sqrt(12) (t - 1/2):
// P as the program computes it, as a function of the event's place.
double p_of_single_event(double t, double& u) {
    const std::array<double, 1> times = {t};
    double p = 0.0;
    stats::test(0.0, 1.0, 1, times, u, p);
    return p;
}

}  // namespace

double mean_of(std::span<const double> values) {
    if (values.empty()) return not_a_number;
    double sum = 0.0;
    for (double v : values)
        sum += v;
    return sum / static_cast<double>(values.size());
}

double standard_deviation_of(std::span<const double> values) {
    if (values.size() < 2) return not_a_number;
    // Two passes: deviations from the mean, so that a large common offset does not cancel.
    const double mean = mean_of(values);
    double squares = 0.0;
    for (double v : values)
        squares += (v - mean) * (v - mean);
    return std::sqrt(squares / static_cast<double>(values.size() - 1));
}

double quantile_of_sorted(std::span<const double> sorted, double q) {
    if (sorted.empty()) return not_a_number;
    const double h = static_cast<double>(sorted.size() - 1) * q;
    const double below = std::floor(h);
    const auto k = static_cast<std::size_t>(below);
    if (k + 1 >= sorted.size()) return sorted.back();
    return sorted[k] + (h - below) * (sorted[k + 1] - sorted[k]);
}

std::vector<double> quantiles_in_place(std::span<double> values, std::span<const double> qs) {
    std::vector<double> out;
    // Each quantile reads the same two order statistics as quantile_of_sorted, with its very
    // arithmetic; the values left of one quantile's order statistic need no further sorting.
    auto unsorted_from = values.begin();
    for (double q : qs) {
        if (values.empty()) {
            out.push_back(not_a_number);
            continue;
        }
        const double h = static_cast<double>(values.size() - 1) * q;
        const double below = std::floor(h);
        const auto kth = values.begin() + static_cast<std::ptrdiff_t>(below);
        if (kth >= unsorted_from) std::nth_element(unsorted_from, kth, values.end());
        unsorted_from = kth + 1;
        if (kth + 1 == values.end()) {
            out.push_back(*kth);
            continue;
        }
        const double next = *std::min_element(kth + 1, values.end());
        out.push_back(*kth + (h - below) * (next - *kth));
    }
    return out;
}

Interval wilson_interval(std::size_t successes, std::size_t trials, double z) {
    if (trials == 0) return {not_a_number, not_a_number};
    const double n = static_cast<double>(trials);
    const double share = static_cast<double>(successes) / n;
    const double z2 = z * z;
    const double denominator = 1.0 + z2 / n;
    const double centre = (share + z2 / (2.0 * n)) / denominator;
    const double half = z / denominator * std::sqrt(share * (1.0 - share) / n + z2 / (4.0 * n * n));
    return {std::max(0.0, centre - half), std::min(1.0, centre + half)};
}

double critical_u(double alpha) {
    // P falls as the event moves right of the middle: from 0.5 at t = 1/2 to far below any
    // alpha of interest at t = 1/2 + 40 / sqrt(12) (u = 40).
    double low = 0.5;
    double high = 0.5 + 40.0 / std::sqrt(12.0);
    double u = 0.0;
    for (int step = 0; step < 200; ++step) {
        const double middle = low + 0.5 * (high - low);
        if (middle <= low || middle >= high) break;  // the bracket is two neighbouring doubles
        if (p_of_single_event(middle, u) > alpha)
            low = middle;
        else
            high = middle;
    }
    p_of_single_event(high, u);
    return u;
}

Share share_of(std::size_t count, std::size_t of) {
    Share share;
    share.count = count;
    share.of = of;
    if (of == 0) return share;
    share.share = static_cast<double>(count) / static_cast<double>(of);
    share.interval = wilson_interval(count, of, critical_u(interval_tail));
    return share;
}

TrendTest cox_lewis_test(std::span<const double> times, double start, double end) {
    TrendTest result;
    result.m = static_cast<std::int32_t>(times.size());
    stats::test(start, end, result.m, times, result.u, result.p);
    return result;
}

}  // namespace zorvi
