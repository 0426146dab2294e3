// Internal to the summary: its rows, tables and sections. Each part is built once as the
// text shows it, cell by cell before any padding; the text summary aligns the cells, the HTML
// report puts them into tables, so that both show the same numbers written the same way.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/study/analysis.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
struct ReportNames;  // outputs.hpp
}

namespace zorvi::detail {

// A labelled row: the label as the text shows it (a row under another indented by two
// spaces), and its value. A row without a value is a line of its own.
struct LabelledRow {
    std::string label;
    std::string value;
};

// A table: its title (the line above it in the text), its column heads and its rows, each
// cell as the text shows it before padding. An empty head continues the head before it over
// one more column.
struct SummaryTable {
    std::string title;
    std::vector<std::string> heads;
    std::vector<std::vector<std::string>> rows;
};

// The parts of the summary, in its order.
std::vector<LabelledRow> study_rows(const Analysis& analysis, const ReportNames& names);
std::vector<LabelledRow> simulated_u_rows(const Analysis& analysis);
inline constexpr std::string_view simulated_u_title = "Simulated u";
std::vector<LabelledRow> share_rows(const Analysis& analysis);
SummaryTable m_count_table(const Analysis& analysis);
std::vector<LabelledRow> check_rows(const Analysis& analysis, const ReportNames& names);
// The closing notes on the methods: paragraphs apart by a blank line, lines broken as the
// text shows them.
std::string method_notes(const Analysis& analysis);

// Rows of the text summary: a label padded to `label_width`, then the value.
inline constexpr std::size_t label_width = 34;
void add_row(std::string& out, std::string_view label, std::string_view value);
std::string padded_left(std::string text, std::size_t width);
std::string percent(double share);  // "13.65 %"
// A test's statistic or P ("1.58326"), and a rate ratio or shape ("1.892").
std::string statistic_text(double value);
std::string ratio_text(double value);
std::string ratio_interval_text(const Interval& interval);  // "0.880 to 4.880"
// "1.892  (95 % profile interval 0.880 to 4.880)"
std::string ratio_with_interval(const Estimate& ratio);
std::string interval_text(const Interval& interval, int decimals);  // "low to high"
// "273 of 2000 = 13.65 %  (95 % interval 12.22 % to 15.22 %)"
std::string share_text(std::size_t count, std::size_t series, const Interval& interval);
// `text` broken into lines of at most `width` characters at its spaces, ending in a line end.
std::string wrapped(std::string_view text, std::size_t width);

// Wrapped text as one line again: its line ends spaces, the last one dropped.
std::string unwrapped(std::string_view text);
// " kt": the magnitudes' unit after a space, or nothing.
std::string unit_suffix(const StudySettings& settings);

// The size of the trend: the fit to the observed series, the simulated ratios and the
// detectable ratio.
inline constexpr std::string_view trend_title =
    "Size of the trend (log-linear rate fitted to the observed series, given m)";
std::vector<LabelledRow> trend_rows(const Analysis& analysis);
// The tests side by side, and the MIL-HDBK-189 shape.
SummaryTable tests_table(const Analysis& analysis);
LabelledRow shape_row(const Analysis& analysis);
// The events selected in 1 % to 99 % of the series, most often selected first; the expected
// m; and what the entering and leaving events add up to, as one line.
SummaryTable deciding_events_table(const Analysis& analysis);
LabelledRow expected_m_row(const Analysis& analysis);
std::string entering_and_leaving(const Analysis& analysis);
// The sweep tables: every 5th threshold with the class bounds and the main threshold, and
// every 5th start. The cells of a row: place, m, u, P, the share with P < 0.05, its interval's
// bounds in %, the quantiles of P, and a note. Each table's note on its grid follows (empty
// when there is none).
SummaryTable threshold_sweep_table(const Analysis& analysis);
// The points those tables show, with the place and the note as the text shows them; and what
// each sweep holds fixed ("events of 1980.417 to 2018.917", "magnitude >= 113 kt, end ...").
struct ShownPoint {
    const SweepPoint* point = nullptr;
    std::string place;
    std::string note;
};
std::vector<ShownPoint> shown_threshold_points(const Analysis& analysis);
std::vector<ShownPoint> shown_start_points(const Analysis& analysis);
std::string threshold_sweep_title(const Analysis& analysis);
std::string start_sweep_title(const Analysis& analysis);
SummaryTable start_sweep_table(const Analysis& analysis);
std::string threshold_grid_note(const Analysis& analysis);
std::string start_grid_note(const Analysis& analysis);
// Under the posterior error model only (nothing otherwise): its settings' rows, both models
// side by side, the posterior model over the prior scale, and the paragraph on what the model
// assumes.
std::vector<LabelledRow> error_model_rows(const Analysis& analysis);
SummaryTable error_models_table(const Analysis& analysis);
SummaryTable prior_scale_table(const Analysis& analysis);
inline constexpr std::string_view error_models_legend =
    "ratio: the median simulated rate ratio per decade; expected m: the sum of the events' "
    "selection probabilities under the model, in closed form.";
std::string error_model_note();

// The check of clustering: the counts in bins and their dispersion, the bins with 0, 1, 2 and
// 3 or more events, the trend tests that allow for clustering, the simulated series' figures,
// what they mean in plain words, and phi and the quasi-Poisson P along both sweeps.
std::string clustering_title(const Analysis& analysis);
std::vector<LabelledRow> clustering_rows(const Analysis& analysis);
SummaryTable bin_tally_table(const Analysis& analysis);
SummaryTable clustering_tests_table(const Analysis& analysis);
std::vector<LabelledRow> clustering_simulated_rows(const Analysis& analysis);
std::string clustering_verdict(const Analysis& analysis);
SummaryTable clustering_threshold_table(const Analysis& analysis);
SummaryTable clustering_start_table(const Analysis& analysis);

// The sections as the text shows them.
void add_trend_section(std::string& out, const Analysis& analysis);
void add_tests_section(std::string& out, const Analysis& analysis);
void add_events_section(std::string& out, const Analysis& analysis);
void add_sweep_sections(std::string& out, const Analysis& analysis);
void add_error_models_section(std::string& out, const Analysis& analysis);
void add_clustering_section(std::string& out, const Analysis& analysis);

}  // namespace zorvi::detail
