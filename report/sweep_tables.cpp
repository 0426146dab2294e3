// The text summary's sweep tables: the observed and simulated figures at every 5th threshold
// and the category bounds, and at every 5th start year.
#include <algorithm>
#include <string>

#include "report/report.hpp"
#include "report/report_impl.hpp"

namespace zorvi::report {
namespace {

using detail::fixed_text;

constexpr std::size_t table_stride = 5;  // every 5th point of a sweep

std::string padded(std::string text, std::size_t width) {
    if (text.size() < width) text.insert(0, width - text.size(), ' ');
    return text;
}

std::string percent(double share) {
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

std::string column_heads(const std::string& place) {
    const std::string interval = " (95 % interval)";
    const std::size_t interval_width = bound_width * 2 + 9;  // " (" + " to " + " %)"
    return padded(place, place_width) + padded("m", m_width) + padded("u", u_width) +
           padded("P", p_width) + padded("P < 0.05", share_width) + interval +
           std::string(interval_width - interval.size(), ' ') + padded("P: 2.5 %", quantile_width) +
           padded("median", quantile_width) + padded("97.5 %", quantile_width) + '\n';
}

// One row: the point's place, then its observed and simulated figures, then a note.
std::string table_row(const std::string& place, const SweepPoint& point, const std::string& note) {
    const double share =
        point.series == 0 ? 0.0
                          : static_cast<double>(point.below_05) / static_cast<double>(point.series);
    std::string row = padded(place, place_width) +
                      padded(std::to_string(point.observed_m), m_width) +
                      padded(fixed_text(point.observed_u, 3), u_width) +
                      padded(fixed_text(point.observed_p, 4), p_width) +
                      padded(percent(share) + " %", share_width) + " (" +
                      padded(percent(point.share_05.low), bound_width) + " to " +
                      padded(percent(point.share_05.high), bound_width) + " %)" +
                      padded(fixed_text(point.p_q025, 4), quantile_width) +
                      padded(fixed_text(point.p_median, 4), quantile_width) +
                      padded(fixed_text(point.p_q975, 4), quantile_width);
    if (!note.empty()) row += "   " + note;
    return row + '\n';
}

std::string category_note(double threshold, std::span<const double> bounds) {
    const auto it = std::find(bounds.begin(), bounds.end(), threshold);
    if (it == bounds.end()) return {};
    return "Cat " + std::to_string(it - bounds.begin() + 1);
}

std::string joined(std::string a, const std::string& b) {
    if (a.empty()) return b;
    if (b.empty()) return a;
    return a + ", " + b;
}

}  // namespace

std::string format_sweep_tables(const Sweeps& sweeps, const SweepLabels& labels) {
    const std::string own = "the run's own";
    std::string unit = " ";  // built in steps: g++ 12 warns wrongly on " " + string
    unit += labels.unit;
    std::string out = "Sensitivity to the threshold, events of " + fixed_text(labels.start, 3) +
                      " to " + fixed_text(labels.end, 3) + "\n";
    out += column_heads("threshold");
    for (std::size_t k = 0; k < sweeps.threshold.size(); ++k) {
        const SweepPoint& point = sweeps.threshold[k];
        const std::string category = category_note(point.threshold, labels.category_bounds);
        const bool main = point.threshold == labels.threshold;
        if (k % table_stride != 0 && category.empty() && !main) continue;
        const int decimals = detail::decimals_for_step(point.threshold);
        out += table_row(fixed_text(point.threshold, decimals) + unit, point,
                         joined(category, main ? own : ""));
    }
    out += "\nSensitivity to the start, magnitude >= " +
           fixed_text(labels.threshold, detail::decimals_for_step(labels.threshold)) + unit +
           ", end " + fixed_text(labels.end, 3) + "\n";
    out += column_heads("start");
    for (std::size_t k = 0; k < sweeps.start.size(); ++k) {
        const SweepPoint& point = sweeps.start[k];
        const bool main = point.start == labels.start;
        if (k % table_stride != 0 && !main) continue;
        out += table_row(fixed_text(point.start, 3), point, main ? own : "");
    }
    out +=
        "\nEvery 5th threshold, the category bounds and every 5th start. Each point selects the\n"
        "events at or after its start with magnitude at or above its threshold and tests them up\n"
        "to the end, in the observed series and in every simulated series of the run (the same\n"
        "magnitudes at every point). The share is of all series; the quantiles of P are over\n"
        "the series with a selected event.\n";
    return out;
}

}  // namespace zorvi::report
