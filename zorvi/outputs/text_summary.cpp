// The text summary: one aligned block of labelled rows, the table of m, and the definitions.
#include <array>
#include <cmath>
#include <string>
#include <vector>

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

constexpr std::size_t u_width = 10;  // room for the sign, the integer digits and 5 decimals

std::string u_text(double u) {
    return padded_left(detail::statistic_text(u), u_width);
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

// The labelled rows, aligned.
void add_rows(std::string& out, const std::vector<detail::LabelledRow>& rows) {
    for (const detail::LabelledRow& row : rows)
        add_row(out, row.label, row.value);
}

constexpr std::array<std::size_t, 3> m_count_widths = {8, 10, 11};

void add_m_table(std::string& out, const detail::SummaryTable& table) {
    out += table.title + '\n';
    const auto add_line = [&](const std::vector<std::string>& cells) {
        for (std::size_t k = 0; k < cells.size(); ++k)
            out += padded_left(cells[k], m_count_widths[k]);
        out += '\n';
    };
    add_line(table.heads);
    for (const std::vector<std::string>& row : table.rows)
        add_line(row);
}

}  // namespace

namespace detail {

std::vector<LabelledRow> study_rows(const Analysis& analysis, const ReportNames& names) {
    const Summary& summary = analysis.summary;
    const StudySettings& settings = analysis.settings;
    std::vector<LabelledRow> rows = {
        {"Data file", names.data + " (" + std::to_string(analysis.events.size()) +
                          (analysis.events.size() == 1 ? " event)" : " events)")}};
    if (!std::isnan(analysis.input.given_error))
        rows.push_back({"  standard error given",
                        shortest_text(analysis.input.given_error) + unit_suffix(settings) +
                            ", to " + std::to_string(analysis.input.took_given_error) + " of " +
                            std::to_string(analysis.events.size()) + " events"});
    const std::vector<LabelledRow> rest = {
        {"Selection and test",
         "magnitude >= " + shortest_text(settings.threshold) + unit_suffix(settings) +
             ", interval " + shortest_text(settings.start) + " to " + shortest_text(settings.end)},
        {"Observed series", "m = " + std::to_string(summary.m) + ", u = " +
                                statistic_text(summary.u) + ", P = " + statistic_text(summary.p)},
        {"Simulated series",
         std::to_string(summary.series) + ", seed " + std::to_string(settings.seed)},
        {"  without a selected event (NaN)", std::to_string(summary.without_event)}};
    rows.insert(rows.end(), rest.begin(), rest.end());
    for (LabelledRow& row : error_model_rows(analysis))
        rows.push_back(std::move(row));
    return rows;
}

std::vector<LabelledRow> simulated_u_rows(const Analysis& analysis) {
    const Summary& summary = analysis.summary;
    return {{"  mean", u_text(summary.u_mean)},
            {"  standard deviation", u_text(summary.u_sd)},
            {"  2.5 % quantile", u_text(summary.u_q025)},
            {"  median", u_text(summary.u_median)},
            {"  97.5 % quantile", u_text(summary.u_q975)},
            {"  critical value, P = 0.05", u_text(summary.critical_u_05)}};
}

std::vector<LabelledRow> share_rows(const Analysis& analysis) {
    const Summary& summary = analysis.summary;
    return {
        {"Series with P < 0.05", share_text(summary.below_05, summary.series, summary.share_05)},
        {"Series with P < 0.10", share_text(summary.below_10, summary.series, summary.share_10)}};
}

SummaryTable m_count_table(const Analysis& analysis) {
    const MCounts& counts = analysis.summary.m_counts;
    std::size_t total = 0;
    for (std::size_t count : counts)
        total += count;
    SummaryTable table{"Selected events per series (recomputed)", {"m", "series", "share"}, {}};
    for (std::size_t m = 0; m < counts.size(); ++m) {
        if (counts[m] == 0) continue;
        const double share = static_cast<double>(counts[m]) / static_cast<double>(total);
        table.rows.push_back({std::to_string(m), std::to_string(counts[m]), percent(share)});
    }
    return table;
}

std::vector<LabelledRow> check_rows(const Analysis& analysis, const ReportNames& names) {
    std::vector<LabelledRow> rows = {{"Check", check_text(analysis.summary, names)}};
    if (!names.figure.empty()) rows.push_back({"Figure", names.figure});
    return rows;
}

std::string method_notes(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    const std::int32_t m = analysis.summary.m;
    std::string out =
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
    out += exact_power(m)
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
    if (posterior) out += "\n" + error_model_note();
    return out;
}

}  // namespace detail

std::string format_summary(const Analysis& analysis, const ReportNames& names) {
    std::string out;
    out += "Zorvi report on " + names.results + "\n\n";
    add_rows(out, detail::study_rows(analysis, names));
    out += '\n';

    out += std::string(detail::simulated_u_title) + "\n";
    add_rows(out, detail::simulated_u_rows(analysis));
    out += '\n';
    add_rows(out, detail::share_rows(analysis));
    out += '\n';
    add_m_table(out, detail::m_count_table(analysis));
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
    detail::add_clustering_section(out, analysis);
    out += '\n';

    add_rows(out, detail::check_rows(analysis, names));
    out += '\n';
    out += detail::method_notes(analysis);
    return out;
}

}  // namespace zorvi
