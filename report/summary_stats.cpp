// Summary statistics of the simulated series: moments, quantiles, shares with their
// intervals, the critical value, the distribution of m, and the check against the recomputation.
#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <limits>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "stats/stats.hpp"
#include "textio/textio.hpp"

namespace zorvi::report {
namespace {

constexpr double power_of_ten(int exponent) {
    double power = 1.0;
    for (int k = 0; k < exponent; ++k)
        power *= 10.0;
    return power;
}

// The quick check of a record: 10^decimals, and the magnitude below which a value fits the
// field with its sign and point. Below it value 10^decimals < 10^(width - 2) <= 10^14 is off
// by less than 0.011 from the exact product, inside the tie margin.
constexpr double decimal_scale = power_of_ten(driver::results_field_decimals);
constexpr double fast_check_limit =
    power_of_ten(driver::results_field_width - driver::results_field_decimals - 2);
constexpr double tie_margin = 0.02;
static_assert(driver::results_field_width - 2 <= 14);

// The test's P for one event at time `t` on the interval [0, 1], where u = sqrt(12) (t - 1/2):
// P as the program computes it, as a function of the event's place.
double p_of_single_event(double t, double& u) {
    const std::array<double, 1> times = {t};
    double p = 0.0;
    stats::test(0.0, 1.0, 1, times, u, p);
    return p;
}

// Parses a fixed field of the results file's format back to a double.
double parse_field(std::string_view field) {
    const std::size_t start = field.find_first_not_of(' ');
    if (start == std::string_view::npos) return not_a_number;
    field.remove_prefix(start);
    if (!field.empty() && field.front() == '+') field.remove_prefix(1);  // "+Infinity"
    double value = not_a_number;
    const auto [ptr, ec] = std::from_chars(field.data(), field.data() + field.size(), value);
    if (ec != std::errc() || ptr != field.data() + field.size()) return not_a_number;
    return value;
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

bool same_in_results_field(double file_value, double value) {
    if (std::isnan(file_value) || std::isnan(value))
        return std::isnan(file_value) && std::isnan(value);
    // Away from a rounding tie the field shows n / 10^d, n the integer nearest to value 10^d
    // (d decimals), and reading it back gives the double nearest to n / 10^d: the quotient of
    // the two exact doubles n and 10^d.
    if (std::fabs(value) < fast_check_limit) {
        const double scaled = value * decimal_scale;
        const double below = std::floor(scaled);
        const double fraction = scaled - below;
        if (std::fabs(fraction - 0.5) > tie_margin)
            return (fraction < 0.5 ? below : below + 1.0) / decimal_scale == file_value;
    }
    // Written with the program's own renderer and read back, as the file was.
    const std::string field =
        textio::format_fixed(value, driver::results_field_width, driver::results_field_decimals);
    return parse_field(field) == file_value;
}

Summary summarise(const Results& results, const Recomputed& recomputed) {
    Summary summary;
    summary.series = results.u.size();
    summary.m = recomputed.m;
    summary.u = recomputed.u;
    summary.p = recomputed.p;

    std::vector<double> finite_u;
    finite_u.reserve(results.u.size());
    for (std::size_t k = 0; k < results.u.size(); ++k) {
        const double u = results.u[k];
        const double p = results.p[k];
        if (std::isnan(u) || std::isnan(p)) ++summary.without_event;
        if (!std::isnan(u)) finite_u.push_back(u);
        if (p < significance_05) ++summary.below_05;
        if (p < significance_10) ++summary.below_10;
    }

    summary.u_mean = mean_of(finite_u);
    summary.u_sd = standard_deviation_of(finite_u);
    std::sort(finite_u.begin(), finite_u.end());
    summary.u_q025 = quantile_of_sorted(finite_u, 0.025);
    summary.u_median = quantile_of_sorted(finite_u, 0.5);
    summary.u_q975 = quantile_of_sorted(finite_u, 0.975);

    const double z = critical_u(interval_tail);
    summary.share_05 = wilson_interval(summary.below_05, summary.series, z);
    summary.share_10 = wilson_interval(summary.below_10, summary.series, z);
    summary.critical_u_05 = critical_u(significance_05);

    for (std::int32_t m : recomputed.msim) {
        if (m < 0) continue;
        const auto index = static_cast<std::size_t>(m);
        if (index >= summary.m_counts.size()) summary.m_counts.resize(index + 1, 0);
        ++summary.m_counts[index];
    }

    const std::size_t compared = std::min(results.u.size(), recomputed.usim.size());
    for (std::size_t k = 0; k < compared; ++k) {
        if (same_in_results_field(results.u[k], recomputed.usim[k]) &&
            same_in_results_field(results.p[k], recomputed.psim[k]))
            continue;
        if (summary.mismatches == 0) summary.first_mismatch = k;
        ++summary.mismatches;
    }
    // Records beyond the recomputed series have nothing to agree with.
    if (results.u.size() > compared) {
        if (summary.mismatches == 0) summary.first_mismatch = compared;
        summary.mismatches += results.u.size() - compared;
    }
    return summary;
}

}  // namespace zorvi::report
