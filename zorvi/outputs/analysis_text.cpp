// The summary's sections on the size of the trend, the tests side by side and the events that
// decide.
#include <algorithm>
#include <cmath>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr int beta_decimals = 5;
constexpr int ratio_decimals = 3;
constexpr int statistic_decimals = 5;
constexpr int magnitude_decimals = 1;
constexpr int time_decimals = 3;
constexpr double least_share = 0.01;  // events selected in 1 % to 99 % of the series decide
constexpr std::size_t method_width = 16;
constexpr std::size_t alternative_width = 12;
constexpr std::size_t number_width = 10;
constexpr std::size_t text_width = 92;

std::string ratio_row(const Estimate& ratio) {
    return fixed_text(ratio.value, ratio_decimals) + "  (95 % profile interval " +
           interval_text(ratio.interval, ratio_decimals) + ")";
}

std::string padded_right(std::string text, std::size_t width) {
    if (text.size() < width) text.append(width - text.size(), ' ');
    return text;
}

std::string share_with_interval(const Share& share) {
    return percent(share.share) + " (" + percent(share.interval.low) + " to " +
           percent(share.interval.high) + ")";
}

}  // namespace

void add_trend_section(std::string& out, const Analysis& analysis) {
    const TrendFit& fit = analysis.observed_fit;
    out += "Size of the trend (log-linear rate fitted to the observed series, given m)\n";
    if (analysis.summary.m == 0) {
        out += "  undefined: the observed series has no selected event\n";
    } else {
        add_row(out, "  beta per year",
                fixed_text(fit.beta, beta_decimals) + "  (95 % profile interval " +
                    interval_text(fit.beta_95, beta_decimals) + ")");
        add_row(out, "  rate ratio per decade", ratio_row(analysis.tests[test_cox_lewis].estimate));
    }
    const Quantiles& simulated = analysis.simulated_ratio;
    add_row(out, "  simulated series: median",
            fixed_text(simulated.median, ratio_decimals) +
                "  (2.5 to 97.5 %: " + fixed_text(simulated.q025, ratio_decimals) + " to " +
                fixed_text(simulated.q975, ratio_decimals) + "; " +
                std::to_string(analysis.simulated_fits) + " series with an event)");
    add_row(out, "  detectable ratio per decade",
            std::isnan(analysis.detectable_beta)
                ? std::string("undefined without an observed event")
                : fixed_text(rate_ratio_per_decade(analysis.detectable_beta), ratio_decimals) +
                      "  (power 0.8 at 0.05 with m = " + std::to_string(analysis.summary.m) +
                      (exact_power(analysis.summary.m)
                           ? std::string(", exact)")
                           : ", normal approximation beyond m = " +
                                 std::to_string(max_exact_power_events) + ")"));
}

void add_tests_section(std::string& out, const Analysis& analysis) {
    out += "Trend tests on the observed series, and the simulated series with P < 0.05\n";
    out += "  " + padded_right("test", method_width) +
           padded_right("alternative", alternative_width) + padded_left("statistic", number_width) +
           padded_left("P", number_width) + "   simulated P < 0.05 (95 % interval)\n";
    for (const TestRow& row : analysis.tests) {
        out += "  " + padded_right(std::string(row.name.method), method_width) +
               padded_right(std::string(row.name.alternative), alternative_width) +
               padded_left(fixed_text(row.observed.statistic, statistic_decimals), number_width) +
               padded_left(fixed_text(row.observed.p_value, statistic_decimals), number_width) +
               "   " + share_with_interval(row.simulated_below_05) + "\n";
    }
    const Estimate& shape = analysis.tests[test_mil_hdbk_189].estimate;
    add_row(out, "  MIL-HDBK-189 shape",
            fixed_text(shape.value, ratio_decimals) + "  (95 % interval " +
                interval_text(shape.interval, ratio_decimals) + "; 1: a constant rate)");
}

void add_events_section(std::string& out, const Analysis& analysis) {
    std::vector<const EventRow*> deciding;
    for (const EventRow& row : analysis.events)
        if (row.selected_share >= least_share && row.selected_share <= 1.0 - least_share)
            deciding.push_back(&row);
    std::stable_sort(deciding.begin(), deciding.end(), [](const EventRow* a, const EventRow* b) {
        return a->selected_share > b->selected_share;
    });

    const std::string threshold = shortest_text(analysis.settings.threshold);
    out += "Events that decide: selected in 1 % to 99 % of the simulated series\n";
    out += "      time  magnitude  std. error  observed    share  " +
           (analysis.settings.error_model == ErrorModel::posterior
                ? "P(true >= " + threshold + ")\n"
                : "Phi((x - " + threshold + ") / sx)\n");
    for (const EventRow* row : deciding) {
        out += padded_left(fixed_text(row->time, time_decimals), 10) +
               padded_left(fixed_text(row->magnitude, magnitude_decimals), 11) +
               padded_left(fixed_text(row->standard_error, magnitude_decimals), 12) +
               padded_left(row->selected_observed ? "yes" : "no", 10) +
               padded_left(percent(row->selected_share), 9) +
               padded_left(percent(row->selection_probability), 10) + "\n";
    }

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
    add_row(out, "Expected m",
            fixed_text(analysis.expected_m, 2) +
                "  (sum of the selection probabilities; observed m = " +
                std::to_string(analysis.summary.m) + ")");
    out += wrapped(
        "Of the " + std::to_string(below) + " events below " + threshold + ", " +
            std::to_string(entering) + " enter at least 1 % of the simulated series, " +
            fixed_text(entered, 2) + " a series on average; of the " + std::to_string(above) +
            " at or above it, " + std::to_string(leaving) + " leave at least 1 %, " +
            fixed_text(left, 2) + " a series on average. The simulated series select " +
            fixed_text(static_cast<double>(analysis.summary.m) + entered - left, 2) +
            " events on average, against " + std::to_string(analysis.summary.m) + " observed.",
        text_width);
}

}  // namespace zorvi::detail
