// The text summary's sweep tables: the observed and simulated figures at every 5th threshold
// and the category bounds, and at every 5th start year.
#include <algorithm>
#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr std::size_t table_stride = 5;  // every 5th point of a sweep

std::string percent_number(double share) {
    return fixed_text(100.0 * share, 2);
}

// Column widths, shared by the heads and the rows.
constexpr std::size_t place_width = 11;
constexpr std::size_t m_width = 5;
constexpr std::size_t u_width = 9;
constexpr std::size_t p_width = 9;
constexpr std::size_t share_width = 10;
constexpr std::size_t bound_width = 5;  // each bound of the interval
constexpr std::size_t quantile_width = 9;
constexpr const char* own_note = "the run's own";

// The heads of a sweep table's cells.
std::vector<std::string> column_heads(const std::string& place) {
    // An empty head: the interval's upper bound, under the head before it.
    return {place, "m",        "u",      "P",      "P < 0.05", "95 % interval (%)",
            "",    "P: 2.5 %", "median", "97.5 %", "note"};
}

// The heads as the text shows them, the interval's bounds under one head.
std::string text_heads(const std::string& place) {
    const std::string interval = " (95 % interval)";
    const std::size_t interval_width = bound_width * 2 + 9;  // " (" + " to " + " %)"
    return padded_left(place, place_width) + padded_left("m", m_width) + padded_left("u", u_width) +
           padded_left("P", p_width) + padded_left("P < 0.05", share_width) + interval +
           std::string(interval_width - interval.size(), ' ') +
           padded_left("P: 2.5 %", quantile_width) + padded_left("median", quantile_width) +
           padded_left("97.5 %", quantile_width) + '\n';
}

// One row's cells: the point's place, then its observed and simulated figures, then a note.
std::vector<std::string> sweep_cells(std::string place, const SweepPoint& point, std::string note) {
    return {std::move(place),
            std::to_string(point.observed_m),
            fixed_text(point.observed_u, 3),
            fixed_text(point.observed_p, 4),
            percent(point.share_05),
            percent_number(point.share_05_95.low),
            percent_number(point.share_05_95.high),
            fixed_text(point.p_q025, 4),
            fixed_text(point.p_median, 4),
            fixed_text(point.p_q975, 4),
            std::move(note)};
}

// One row as the text shows it, the interval's bounds in parentheses.
std::string table_row(const std::vector<std::string>& cells) {
    std::string row =
        padded_left(cells[0], place_width) + padded_left(cells[1], m_width) +
        padded_left(cells[2], u_width) + padded_left(cells[3], p_width) +
        padded_left(cells[4], share_width) + " (" + padded_left(cells[5], bound_width) + " to " +
        padded_left(cells[6], bound_width) + " %)" + padded_left(cells[7], quantile_width) +
        padded_left(cells[8], quantile_width) + padded_left(cells[9], quantile_width);
    if (!cells[10].empty()) row += "   " + cells[10];
    return row + '\n';
}

// The hurricane categories by number, the user's classes by their bounds.
std::string class_note(double threshold, const StudySettings& settings) {
    const std::vector<double>& bounds = settings.class_bounds;
    const auto it = std::find(bounds.begin(), bounds.end(), threshold);
    if (it == bounds.end()) return {};
    const std::string number = std::to_string(it - bounds.begin() + 1);
    if (settings.own_classes) return "class " + number + ": >= " + shortest_text(threshold);
    return "Cat " + number;
}

// How a grid chosen from the data was made, where it is not the shipped data's whole units
// and years apart with ten years left.
std::string threshold_grid_text(const SweepSteps& steps, const std::vector<SweepPoint>& points) {
    if (!(steps.threshold != 1.0) || std::isnan(steps.threshold) || points.empty()) return {};
    return "Thresholds " + shortest_text(steps.threshold) + " apart (" +
           std::to_string(points.size()) + " points); the table shows every 5th.";
}

std::string start_grid_text(const SweepSteps& steps, const std::vector<SweepPoint>& points) {
    if (std::isnan(steps.start) || (steps.start == 1.0 && steps.min_span == start_sweep_min_span))
        return {};
    return "Starts " + shortest_text(steps.start) + (steps.start == 1.0 ? " year" : " years") +
           " apart (" + std::to_string(points.size()) + " points), up to the last that leaves " +
           shortest_text(steps.min_span) + " years to the end.";
}

std::string joined(std::string a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + ", " + b;
}

// Each line of the text ends in a line end; an empty note gives no line.
std::string note_line(const std::string& note) {
    return note.empty() ? note : note + '\n';
}

}  // namespace

std::vector<ShownPoint> shown_threshold_points(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    const Sweeps& sweeps = analysis.sensitivity.sweeps;
    const std::string unit = unit_suffix(settings);
    std::vector<ShownPoint> shown;
    // Every 5th point of the even grid, counted without the points added to it.
    std::size_t k = 0;
    const double step = sweeps.steps.threshold;
    const double first = sweeps.threshold.empty() ? 0.0 : sweeps.threshold.front().threshold;
    for (const SweepPoint& point : sweeps.threshold) {
        const double place = (point.threshold - first) / step;
        const bool on_grid = std::isnan(step) || std::fabs(place - std::round(place)) < 1e-6;
        const std::string category = class_note(point.threshold, settings);
        const bool main = point.threshold == settings.threshold;
        const bool every_fifth = on_grid && k % table_stride == 0;
        k += on_grid ? 1 : 0;
        if (!every_fifth && category.empty() && !main) continue;
        shown.push_back({&point, shortest_text(point.threshold) + unit,
                         joined(category, main ? own_note : "")});
    }
    return shown;
}

std::vector<ShownPoint> shown_start_points(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    const Sweeps& sweeps = analysis.sensitivity.sweeps;
    std::vector<ShownPoint> shown;
    for (std::size_t k = 0; k < sweeps.start.size(); ++k) {
        const SweepPoint& point = sweeps.start[k];
        const bool main = point.start == settings.start;
        if (k % table_stride != 0 && !main) continue;
        shown.push_back({&point, fixed_text(point.start, 3), main ? own_note : ""});
    }
    return shown;
}

std::string threshold_sweep_title(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    return "events of " + fixed_text(settings.start, 3) + " to " + fixed_text(settings.end, 3);
}

std::string start_sweep_title(const Analysis& analysis) {
    const StudySettings& settings = analysis.settings;
    return "magnitude >= " + shortest_text(settings.threshold) + unit_suffix(settings) + ", end " +
           fixed_text(settings.end, 3);
}

SummaryTable threshold_sweep_table(const Analysis& analysis) {
    SummaryTable table{"Sensitivity to the threshold, " + threshold_sweep_title(analysis),
                       column_heads("threshold"),
                       {}};
    for (const ShownPoint& shown : shown_threshold_points(analysis))
        table.rows.push_back(sweep_cells(shown.place, *shown.point, shown.note));
    return table;
}

SummaryTable start_sweep_table(const Analysis& analysis) {
    SummaryTable table{"Sensitivity to the start, " + start_sweep_title(analysis),
                       column_heads("start"),
                       {}};
    for (const ShownPoint& shown : shown_start_points(analysis))
        table.rows.push_back(sweep_cells(shown.place, *shown.point, shown.note));
    return table;
}

std::string threshold_grid_note(const Analysis& analysis) {
    const Sweeps& sweeps = analysis.sensitivity.sweeps;
    return threshold_grid_text(sweeps.steps, sweeps.threshold);
}

std::string start_grid_note(const Analysis& analysis) {
    const Sweeps& sweeps = analysis.sensitivity.sweeps;
    return start_grid_text(sweeps.steps, sweeps.start);
}

void add_sweep_sections(std::string& out, const Analysis& analysis) {
    const SummaryTable threshold = threshold_sweep_table(analysis);
    out += threshold.title + "\n" + text_heads(threshold.heads[0]);
    for (const std::vector<std::string>& row : threshold.rows)
        out += table_row(row);
    out += note_line(threshold_grid_note(analysis));
    const SummaryTable start = start_sweep_table(analysis);
    out += "\n" + start.title + "\n" + text_heads(start.heads[0]);
    for (const std::vector<std::string>& row : start.rows)
        out += table_row(row);
    out += note_line(start_grid_note(analysis));
}

}  // namespace zorvi::detail
