// The text summary: one aligned block of labelled rows, the table of m, and the definitions.
#include <string>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "report/report_impl.hpp"

namespace zorvi::report {
namespace {

using detail::fixed_text;

constexpr std::size_t label_width = 34;
constexpr int u_decimals = 5;
constexpr std::size_t u_width = 10;  // room for the sign, the integer digits and 5 decimals

std::string padded_left(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

void add_row(std::string& out, std::string_view label, std::string_view value) {
    std::string line(label);
    if (line.size() < label_width) line.append(label_width - line.size(), ' ');
    line += value;
    out += line;
    out += '\n';
}

std::string u_text(double u) {
    return padded_left(fixed_text(u, u_decimals), u_width);
}

std::string percent(double share) {
    return fixed_text(100.0 * share, 2) + " %";
}

std::string share_text(std::size_t count, std::size_t series, const Interval& interval) {
    const double share = series == 0 ? 0.0 : static_cast<double>(count) / series;
    return std::to_string(count) + " of " + std::to_string(series) + " = " + percent(share) +
           "  (95 % interval " + percent(interval.low) + " to " + percent(interval.high) + ")";
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

std::string format_summary(const Summary& summary, std::string_view results_name,
                           std::string_view data_name, std::string_view figure_name) {
    std::string out;
    out += "Zorvi report on " + std::string(results_name) + "\n\n";

    add_row(out, "Data file", data_name);
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

    add_row(out, "Check", check_text(summary));
    if (!figure_name.empty()) add_row(out, "Figure", figure_name);
    out += '\n';

    out +=
        "Quantiles interpolate linearly between order statistics (type 7); the standard\n"
        "deviation divides by n - 1; both are over the series with a number for u. Shares are\n"
        "of all series, a series without a selected event never counting as below; their\n"
        "intervals are Wilson score intervals. The critical value is the |u| at which the\n"
        "test's one-sided P equals 0.05.\n";
    return out;
}

}  // namespace zorvi::report
