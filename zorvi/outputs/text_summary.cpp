// The text summary: one aligned block of labelled rows, the table of m, and the definitions.
#include <cmath>
#include <string>

#include "driver/run_files.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi {
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

std::string check_text(const Summary& summary, const ReportNames& names) {
    if (names.results_written && !names.files_written)
        return "none needed: these " + std::to_string(summary.series) +
               " series were simulated here (their results file could not be written)";
    if (names.results_written)
        return "none needed: the results file was written from these " +
               std::to_string(summary.series) + " series";
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

// How the quantiles are found when there are too many series to keep every value.
std::string binned_note(const Analysis& analysis) {
    std::string note = "\n";  // built in steps: g++ 12 warns wrongly on "" + string
    return note +
           detail::wrapped("With more than " + std::to_string(analysis.settings.exact_limit) +
                               " series the quantiles come from histograms, counts and shares "
                               "staying exact: u in bins of " +
                               detail::shortest_text(analysis.simulated_values.u.width) +
                               ", the rate ratio through the mean place of the selected "
                               "times in bins of 0.00002 of the half interval, and the sweeps' P "
                               "through |u| in bins of 0.002 up to 6 (P about 1e-9), each bin's "
                               "values taken as evenly "
                               "spread; the mean and standard deviation of u are of the values "
                               "as the results file shows them, the deviation by Welford's "
                               "updating.",
                           88);
}

}  // namespace

std::string format_summary(const Analysis& analysis, const ReportNames& names) {
    const Summary& summary = analysis.summary;
    std::string out;
    out += "Zorvi report on " + names.results + "\n\n";

    const StudySettings& settings = analysis.settings;
    add_row(out, "Data file",
            names.data + " (" + std::to_string(analysis.events.size()) +
                (analysis.events.size() == 1 ? " event)" : " events)"));
    std::string unit;  // built in steps: g++ 12 warns wrongly on " " + string
    if (!settings.magnitude_unit.empty()) {
        unit = " ";
        unit += settings.magnitude_unit;
    }
    if (!std::isnan(analysis.input.given_error))
        add_row(out, "  standard error given",
                detail::shortest_text(analysis.input.given_error) + unit + ", to " +
                    std::to_string(analysis.input.took_given_error) + " of " +
                    std::to_string(analysis.events.size()) + " events");
    add_row(out, "Selection and test",
            "magnitude >= " + detail::shortest_text(settings.threshold) + unit + ", interval " +
                detail::shortest_text(settings.start) + " to " +
                detail::shortest_text(settings.end));
    add_row(out, "Observed series",
            "m = " + std::to_string(summary.m) + ", u = " + fixed_text(summary.u, u_decimals) +
                ", P = " + fixed_text(summary.p, u_decimals));
    add_row(out, "Simulated series",
            std::to_string(summary.series) + ", seed " + std::to_string(settings.seed));
    add_row(out, "  without a selected event (NaN)", std::to_string(summary.without_event));
    detail::add_error_model_rows(out, analysis);
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
    if (!analysis.error_models.models.empty()) {
        detail::add_error_models_section(out, analysis);
        out += '\n';
    }
    detail::add_sweep_sections(out, analysis);
    out += '\n';

    add_row(out, "Check", check_text(summary, names));
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
        "with probability 0.8, given the observed m: ";
    out += exact_power(summary.m)
               ? "computed exactly, from the distribution of\n"
                 "the sum of m times under that rate. MIL-HDBK-189: 2 sum ln((b - a) / (t - a)), "
                 "chi-square\n"
               : "from the normal approximation to the\n"
                 "distribution of the sum of m times under that rate, which replaces the exact one "
                 "beyond\nm = " +
                     std::to_string(max_exact_power_events) +
                     ". MIL-HDBK-189: 2 sum ln((b - a) / (t - a)), chi-square\n";
    out +=
        "with 2m degrees of freedom under a constant rate, P its lower tail; its shape is\n"
        "m / sum ln((b - a) / (t - a)), 1 for a constant rate, with an interval from\n"
        "chi-square(2m). Lewis-Robinson: u divided by the coefficient of variation of the gaps\n"
        "between successive times (the first from a; divisor n - 1), normal P, needs m >= 2.\n";
    const bool posterior = settings.error_model == ErrorModel::posterior;
    out += posterior ? "The selection probability of an event follows the posterior model below.\n"
                     : "The selection probability of an event is Phi((x - threshold) / sx).\n";
    out +=
        "\n"
        "P is the program's one-sided P, 1 - Phi(|u|): the series' own direction, so that a\n"
        "clearly falling rate counts below 0.05 as well as a rising one.\n"
        "\n"
        "The sweeps repeat the observed test and every simulated series of the run (the very\n"
        "same magnitudes) at other thresholds and starts: a point selects the events at or after\n"
        "its start with magnitude at or above its threshold and tests them up to the end. Their\n"
        "tables show every 5th threshold, the category bounds and every 5th start; the quantiles\n"
        "of P are over the series with a selected event.\n";
    if (!settings.exact_quantiles()) out += binned_note(analysis);
    if (posterior) out += "\n" + detail::error_model_note();
    return out;
}

}  // namespace zorvi
