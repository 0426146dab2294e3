// The text summary: one aligned block of labelled rows, the table of m, and the definitions.
#include <string>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "report/report_impl.hpp"

namespace zorvi::report {
namespace {

using detail::fixed_text;

using detail::add_row;
using detail::padded_left;
using detail::percent;
using detail::share_text;

constexpr int u_decimals = 5;
constexpr std::size_t u_width = 10;  // room for the sign, the integer digits and 5 decimals

std::string u_text(double u) {
    return padded_left(fixed_text(u, u_decimals), u_width);
}

void add_m_table(std::string& out, const MCounts& counts) {
    std::size_t total = 0;
    for (std::size_t count : counts)
        total += count;
    out += "Selected events per series (recomputed)\n";
    out += "       m    series      share\n";
    for (std::size_t m = 0; m < counts.size(); ++m) {
        if (counts[m] == 0) continue;
        const double share = static_cast<double>(counts[m]) / static_cast<double>(total);
        out += padded_left(std::to_string(m), 8) + padded_left(std::to_string(counts[m]), 10) +
               padded_left(percent(share), 11) + '\n';
    }
}

// The line of a record, counted from the top of the results file (1-based).
std::size_t record_line(std::size_t series_index) {
    return driver::results_header_records + series_index + 1;
}

std::string check_text(const Summary& summary) {
    if (summary.mismatches == 0) {
        return "u and P recomputed from the data file agree with all " +
               std::to_string(summary.series) + " records to " +
               std::to_string(driver::results_field_decimals) + " decimals";
    }
    return "DIFFERENT: " + std::to_string(summary.mismatches) + " of " +
           std::to_string(summary.series) +
           " records differ from the series recomputed from the data file (first at line " +
           std::to_string(record_line(summary.first_mismatch)) +
           "); the results file did not come from this data file, and the observed values and "
           "the distribution of m describe the data file, not the results file";
}

}  // namespace

std::string format_summary(const Analysis& analysis, const ReportNames& names) {
    const Summary& summary = analysis.summary;
    std::string out;
    out += "Zorvi report on " + names.results + "\n\n";

    add_row(out, "Data file", names.data);
    add_row(out, "Observed series",
            "m = " + std::to_string(summary.m) + ", u = " + fixed_text(summary.u, u_decimals) +
                ", P = " + fixed_text(summary.p, u_decimals));
    add_row(out, "Simulated series", std::to_string(summary.series));
    add_row(out, "  without a selected event (NaN)", std::to_string(summary.without_event));
    out += '\n';

    out += "Simulated u\n";
    add_row(out, "  mean", u_text(summary.u_mean));
    add_row(out, "  standard deviation", u_text(summary.u_sd));
    add_row(out, "  2.5 % quantile", u_text(summary.u_q025));
    add_row(out, "  median", u_text(summary.u_median));
    add_row(out, "  97.5 % quantile", u_text(summary.u_q975));
    add_row(out, "  critical value, P = 0.05", u_text(summary.critical_u_05));
    out += '\n';

    add_row(out, "Series with P < 0.05",
            share_text(summary.below_05, summary.series, summary.share_05));
    add_row(out, "Series with P < 0.10",
            share_text(summary.below_10, summary.series, summary.share_10));
    out += '\n';

    add_m_table(out, summary.m_counts);
    out += '\n';

    detail::add_trend_section(out, analysis);
    out += '\n';
    detail::add_tests_section(out, analysis);
    out += '\n';
    detail::add_events_section(out, analysis);
    out += '\n';

    add_row(out, "Check", check_text(summary));
    if (!names.figure.empty()) add_row(out, "Figure", names.figure);
    out += '\n';

    out +=
        "Quantiles interpolate linearly between order statistics (type 7); the standard\n"
        "deviation divides by n - 1; both are over the series with a number for u. Shares are\n"
        "of all series, a series without a selected event never counting as below; their\n"
        "intervals are Wilson score intervals. The critical value is the |u| at which the\n"
        "test's one-sided P equals 0.05.\n"
        "\n"
        "The trend is the rate lambda0 exp(beta t) fitted by maximum likelihood to the selected\n"
        "times given their number m, over the test's interval; its interval holds the beta whose\n"
        "log-likelihood lies less than 3.841459 / 2 below the maximum. The detectable rate ratio\n"
        "is the one that the one-sided Cox-Lewis test at 0.05 finds (u above the critical value)\n"
        "with probability 0.8, given the observed m: computed exactly, from the distribution of\n"
        "the sum of m times under that rate. MIL-HDBK-189: 2 sum ln((b - a) / (t - a)), "
        "chi-square\n"
        "with 2m degrees of freedom under a constant rate, P its lower tail; its shape is\n"
        "m / sum ln((b - a) / (t - a)), 1 for a constant rate, with an interval from\n"
        "chi-square(2m). Lewis-Robinson: u divided by the coefficient of variation of the gaps\n"
        "between successive times (the first from a; divisor n - 1), normal P, needs m >= 2.\n"
        "The selection probability of an event is Phi((x - threshold) / sx).\n";
    return out;
}

}  // namespace zorvi::report
