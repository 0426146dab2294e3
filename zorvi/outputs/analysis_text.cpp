// The summary's sections on the size of the trend, the tests side by side and the events that
// decide.
#include <algorithm>
#include <array>
#include <cmath>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr int beta_decimals = 5;
constexpr int magnitude_decimals = 1;
constexpr double least_share = 0.01;  // events selected in 1 % to 99 % of the series decide
constexpr std::size_t method_width = 16;
constexpr std::size_t alternative_width = 12;
constexpr std::size_t number_width = 10;
constexpr std::size_t text_width = 92;
constexpr std::array<std::size_t, 6> event_widths = {10, 11, 12, 10, 9, 10};

std::string padded_right(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string share_with_interval(const Share& share) {
    return percent(share.share) + " (" + percent(share.interval.low) + " to " +
           percent(share.interval.high) + ")";
}

}  // namespace

std::vector<LabelledRow> trend_rows(const Analysis& analysis) {
    const TrendFit& fit = analysis.observed_fit;
    std::vector<LabelledRow> rows;
    if (analysis.summary.m == 0) {
        rows.push_back({"  undefined: the observed series has no selected event", ""});
    } else {
        rows.push_back({"  beta per year", fixed_text(fit.beta, beta_decimals) +
                                               "  (95 % profile interval " +
                                               interval_text(fit.beta_95, beta_decimals) + ")"});
        rows.push_back({"  rate ratio per decade",
                        ratio_with_interval(analysis.tests[test_cox_lewis].estimate)});
    }
    const Quantiles& simulated = analysis.simulated_ratio;
    rows.push_back({"  simulated series: median",
                    ratio_text(simulated.median) + "  (2.5 to 97.5 %: " +
                        ratio_text(simulated.q025) + " to " + ratio_text(simulated.q975) + "; " +
                        std::to_string(analysis.simulated_fits) + " series with an event)"});
    rows.push_back(
        {"  detectable ratio per decade",
         std::isnan(analysis.detectable_beta)
             ? std::string("undefined without an observed event")
             : ratio_text(rate_ratio_per_decade(analysis.detectable_beta)) +
                   "  (power 0.8 at 0.05 with m = " + std::to_string(analysis.summary.m) +
                   (exact_power(analysis.summary.m)
                        ? std::string(", exact)")
                        : ", normal approximation beyond m = " +
                              std::to_string(max_exact_power_events) + ")")});
    return rows;
}

SummaryTable tests_table(const Analysis& analysis) {
    SummaryTable table{
        "Trend tests on the observed series, and the simulated series with P < 0.05",
        {"test", "alternative", "statistic", "P", "simulated P < 0.05 (95 % interval)"},
        {}};
    for (const TestRow& row : analysis.tests) {
        table.rows.push_back({std::string(row.name.method), std::string(row.name.alternative),
                              statistic_text(row.observed.statistic),
                              statistic_text(row.observed.p_value),
                              share_with_interval(row.simulated_below_05)});
    }
    return table;
}

LabelledRow shape_row(const Analysis& analysis) {
    const Estimate& shape = analysis.tests[test_mil_hdbk_189].estimate;
    return {"  MIL-HDBK-189 shape", ratio_text(shape.value) + "  (95 % interval " +
                                        ratio_interval_text(shape.interval) +
                                        "; 1: a constant rate)"};
}

SummaryTable deciding_events_table(const Analysis& analysis) {
    std::vector<const EventRow*> deciding;
    for (const EventRow& row : analysis.events)
        if (row.selected_share >= least_share && row.selected_share <= 1.0 - least_share)
            deciding.push_back(&row);
    std::stable_sort(deciding.begin(), deciding.end(), [](const EventRow* a, const EventRow* b) {
        return a->selected_share > b->selected_share;
    });

    const std::string threshold = shortest_text(analysis.settings.threshold);
    SummaryTable table{"Events that decide: selected in 1 % to 99 % of the simulated series",
                       {"time", "magnitude", "std. error", "observed", "share",
                        analysis.settings.error_model == ErrorModel::posterior
                            ? "P(true >= " + threshold + ")"
                            : "Phi((x - " + threshold + ") / sx)"},
                       {}};
    // The events' labels, when they have them, under the name of their column.
    const std::vector<std::string>& labels = analysis.input.labels;
    if (!labels.empty()) table.heads.push_back(analysis.input.label_column);
    for (const EventRow* row : deciding) {
        table.rows.push_back({fixed_text(row->time, time_decimals),
                              fixed_text(row->magnitude, magnitude_decimals),
                              fixed_text(row->standard_error, magnitude_decimals),
                              row->selected_observed ? "yes" : "no", percent(row->selected_share),
                              percent(row->selection_probability)});
        if (!labels.empty())
            table.rows.back().push_back(
                labels[static_cast<std::size_t>(row - analysis.events.data())]);
    }
    return table;
}

LabelledRow expected_m_row(const Analysis& analysis) {
    return {"Expected m", fixed_text(analysis.expected_m, 2) +
                              "  (sum of the selection probabilities; observed m = " +
                              std::to_string(analysis.summary.m) + ")"};
}

std::string entering_and_leaving(const Analysis& analysis) {
    // The simulated m averages the observed m, plus the events below the threshold that
    // enter, less those at or above it that leave.
    std::size_t below = 0, entering = 0, above = 0, leaving = 0;
    double entered = 0.0, left = 0.0;
    for (const EventRow& row : analysis.events) {
        if (row.selected_observed) {
            ++above;
            if (row.selected_share <= 1.0 - least_share) ++leaving;
            left += 1.0 - row.selected_share;
        } else {
            ++below;
            if (row.selected_share >= least_share) ++entering;
            entered += row.selected_share;
        }
    }
    return "Of the " + std::to_string(below) + " events below " +
           shortest_text(analysis.settings.threshold) + ", " + std::to_string(entering) +
           " enter at least 1 % of the simulated series, " + fixed_text(entered, 2) +
           " a series on average; of the " + std::to_string(above) + " at or above it, " +
           std::to_string(leaving) + " leave at least 1 %, " + fixed_text(left, 2) +
           " a series on average. The simulated series select " +
           fixed_text(static_cast<double>(analysis.summary.m) + entered - left, 2) +
           " events on average, against " + std::to_string(analysis.summary.m) + " observed.";
}

void add_trend_section(std::string& out, const Analysis& analysis) {
    out += std::string(trend_title) + "\n";
    for (const LabelledRow& row : trend_rows(analysis))
        add_row(out, row.label, row.value);
}

void add_tests_section(std::string& out, const Analysis& analysis) {
    const SummaryTable table = tests_table(analysis);
    const auto add_line = [&](const std::vector<std::string>& cells) {
        out += "  " + padded_right(cells[0], method_width) +
               padded_right(cells[1], alternative_width) + padded_left(cells[2], number_width) +
               padded_left(cells[3], number_width) + "   " + cells[4] + "\n";
    };
    out += table.title + "\n";
    add_line(table.heads);
    for (const std::vector<std::string>& row : table.rows)
        add_line(row);
    const LabelledRow shape = shape_row(analysis);
    add_row(out, shape.label, shape.value);
}

void add_events_section(std::string& out, const Analysis& analysis) {
    const SummaryTable table = deciding_events_table(analysis);
    out += table.title + "\n";
    // The last number's head is wider than its numbers: a label after it is aligned with the
    // head's end, and without one the head simply runs on.
    const bool labelled = table.heads.size() > event_widths.size();
    std::array<std::size_t, 6> widths = event_widths;
    const std::size_t last = widths.size() - 1;
    if (labelled) widths[last] = std::max(widths[last], table.heads[last].size() + 2);
    const auto add_line = [&](const std::vector<std::string>& cells, bool heads) {
        for (std::size_t k = 0; k < last; ++k)
            out += padded_left(cells[k], widths[k]);
        out += heads && !labelled ? "  " + cells[last] : padded_left(cells[last], widths[last]);
        if (labelled && !cells.back().empty()) out += "  " + cells.back();
        out += "\n";
    };
    add_line(table.heads, true);
    for (const std::vector<std::string>& row : table.rows)
        add_line(row, false);
    const LabelledRow expected = expected_m_row(analysis);
    add_row(out, expected.label, expected.value);
    out += wrapped(entering_and_leaving(analysis), text_width);
}

}  // namespace zorvi::detail
