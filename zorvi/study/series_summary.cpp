// The summary of a study's simulated series as its results file shows them: u's moments and
// quantiles, the shares with P below 0.05 and 0.10, the counts of m, and the check of each
// record against the series recomputed.
#include <array>
#include <cmath>
#include <string_view>

#include "driver/run_files.hpp"
#include "textio/textio.hpp"
#include "zorvi/study/internal.hpp"

namespace zorvi {
namespace {

// Binned samples of the results file's P, in [0, 0.5], and of u.
constexpr double p_bin_width = 0.0005;
constexpr std::size_t max_u_bins = 65536;

// A bin width of u for |u| up to `limit`: a power of ten that keeps within max_u_bins.
double u_bin_width(double limit) {
    return std::pow(10.0, std::ceil(std::log10(2.0 * limit / static_cast<double>(max_u_bins))));
}

}  // namespace

double as_in_results_field(double value) {
    // Written with the program's own renderer and read back with its reader, as the file was.
    std::array<char, driver::results_field_width + 1> field;
    textio::format_fixed_to(field.data(), value, driver::results_field_width,
                            driver::results_field_decimals);
    field.back() = '\n';
    textio::CharSource source =
        textio::CharSource::from_string(std::string_view(field.data(), field.size()));
    double read_back = not_a_number;
    const textio::ListReadResult result =
        textio::read_list(source, std::span<double>(&read_back, 1));
    return result.status == textio::ListReadStatus::ok ? read_back : not_a_number;
}

bool same_in_results_field(double file_value, double value) {
    if (std::isnan(file_value) || std::isnan(value))
        return std::isnan(file_value) && std::isnan(value);
    // Both as the field shows them: a file value with more decimals agrees when it rounds alike.
    return as_in_results_field(value) == as_in_results_field(file_value);
}

double as_counted(double p) {
    // The field rounds by less than 10^-decimals; twice that is near enough.
    constexpr double near = 2e-8;
    static_assert(driver::results_field_decimals >= 8);
    const bool near_a_level =
        std::fabs(p - significance_05) < near || std::fabs(p - significance_10) < near;
    return near_a_level ? as_in_results_field(p) : p;
}

detail::SummaryAccumulator detail::begin_summary(const EventSeries& events,
                                                 const StudySettings& settings) {
    SummaryAccumulator acc;
    if (settings.exact_quantiles()) {
        acc.values.u = exact_sample(settings.series);
        acc.values.p = exact_sample(settings.series);
        return acc;
    }
    // |u| of m events within the interval is at most sqrt(3 m).
    const double limit = std::sqrt(3.0 * static_cast<double>(events.t.size())) + 1.0;
    acc.values.u = binned_sample(-limit, limit, u_bin_width(limit));
    acc.values.p = binned_sample(0.0, 0.5, p_bin_width);
    return acc;
}

// A record's u and P as the file shows them, or (`exact` false) u and P themselves.
void detail::add_record(SummaryAccumulator& acc, double u, double p, bool exact, std::int32_t m) {
    Summary& summary = acc.summary;
    ++summary.series;
    if (std::isnan(u) || std::isnan(p)) ++summary.without_event;
    if (!std::isnan(u)) {
        add_value(acc.values.u, u);
        if (!acc.values.u.exact) {
            acc.u_sum += u;
            const double n = static_cast<double>(acc.values.u.count);
            const double step = u - acc.u_welford_mean;
            acc.u_welford_mean += step / n;
            acc.u_welford_squares += step * (u - acc.u_welford_mean);
        }
    }
    if (!std::isnan(p)) add_value(acc.values.p, p);
    const double counted = exact ? p : as_counted(p);
    if (counted < significance_05) ++summary.below_05;
    if (counted < significance_10) ++summary.below_10;
    if (m >= 0) {
        const auto index = static_cast<std::size_t>(m);
        if (index >= summary.m_counts.size()) summary.m_counts.resize(index + 1, 0);
        ++summary.m_counts[index];
    }
}

void detail::check_record(Summary& summary, std::size_t k, double u, double p,
                          const TrendTest& test) {
    if (same_in_results_field(u, test.u) && same_in_results_field(p, test.p)) return;
    if (summary.mismatches == 0) summary.first_mismatch = k;
    ++summary.mismatches;
}

void detail::finish_summary(SummaryAccumulator& acc) {
    Summary& summary = acc.summary;
    ValueSample& u = acc.values.u;
    if (u.exact) {
        summary.u_mean = mean_of(u.values);
        summary.u_sd = standard_deviation_of(u.values);
    } else {
        const double n = static_cast<double>(u.count);
        summary.u_mean = u.count == 0 ? not_a_number : acc.u_sum / n;
        summary.u_sd = u.count < 2 ? not_a_number : std::sqrt(acc.u_welford_squares / (n - 1.0));
    }
    constexpr std::array<double, 3> levels = {interval_tail, 0.5, 1.0 - interval_tail};
    const std::vector<double> q = sample_quantiles(u, levels);
    summary.u_q025 = q[0];
    summary.u_median = q[1];
    summary.u_q975 = q[2];

    const double z = critical_u(interval_tail);
    summary.share_05 = wilson_interval(summary.below_05, summary.series, z);
    summary.share_10 = wilson_interval(summary.below_10, summary.series, z);
    summary.critical_u_05 = critical_u(significance_05);
}

Summary summarise(const Results& results, const Recomputed& recomputed) {
    StudySettings settings;
    settings.series = results.u.size();
    detail::SummaryAccumulator acc = detail::begin_summary({}, settings);
    for (std::size_t k = 0; k < results.u.size(); ++k) {
        const TrendTest test{recomputed.msim[k], recomputed.usim[k], recomputed.psim[k]};
        detail::add_record(acc, results.u[k], results.p[k], true, test.m);
        detail::check_record(acc.summary, k, results.u[k], results.p[k], test);
    }
    detail::finish_summary(acc);
    acc.summary.m = recomputed.m;
    acc.summary.u = recomputed.u;
    acc.summary.p = recomputed.p;
    return acc.summary;
}

}  // namespace zorvi
