// zorvi-report: a text summary and a figure of a finished run, from its results file and the
// data file the run read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <limits>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "driver/run_state.hpp"

namespace zorvi::report {

// ---------------------------------------------------------------------------------------------
// Inputs

// The simulated series as the results file lists them, in series order.
struct Results {
    std::vector<double> u;
    std::vector<double> p;
};

// The observed series and the simulated series, recomputed from the data file with the
// program's own selection, test and generator.
struct Recomputed {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    std::vector<std::int32_t> msim;
    std::vector<double> usim;
    std::vector<double> psim;
    std::vector<double> xsim;  // every series' magnitudes: series k, event i at k * events + i
};

// Reads a whole file without changing it. False, with `error` saying why, when it cannot.
[[nodiscard]] bool read_text_file(const std::filesystem::path& path, std::string& text,
                                  std::string& error);

// Parses the text of a results file: the three header records, then `expected` records of
// (u, P), one per line, read with the program's free-format reader; nothing but blank lines
// may follow. On failure `error` names the file (`file_name`) and the line.
[[nodiscard]] bool parse_results(std::string_view text, std::string_view file_name,
                                 std::size_t expected, Results& results, std::string& error);

// Reads the 60 events from the text of a data file as the program does: one free-format
// statement of three values per event. On failure `error` names the file, line and event.
[[nodiscard]] bool parse_event_data(std::string_view text, std::string_view file_name,
                                    driver::RunState& run, std::string& error);

// The observed test and `count` simulated series, from the generator's fixed seed and in the
// program's draw order. `run` holds the events; its results are overwritten.
Recomputed recompute(driver::RunState& run, std::size_t count);

// ---------------------------------------------------------------------------------------------
// Summary statistics

struct Interval {
    double low = 0.0;
    double high = 0.0;
};

// Arithmetic mean and sample standard deviation (divisor n - 1); NaN when undefined.
double mean_of(std::span<const double> values);
double standard_deviation_of(std::span<const double> values);

// Quantile of sorted values by linear interpolation between order statistics (type 7):
// h = (n - 1) q, then x[floor h] + (h - floor h) (x[floor h + 1] - x[floor h]). NaN when empty.
double quantile_of_sorted(std::span<const double> sorted, double q);

// The same quantiles of values in any order, at ascending `qs`, found by partial sorting;
// reorders `values`.
std::vector<double> quantiles_in_place(std::span<double> values, std::span<const double> qs);

// Wilson score interval for `successes` out of `trials` at the normal quantile `z`.
Interval wilson_interval(std::size_t successes, std::size_t trials, double z);

// The |u| at which the test's one-sided P equals `alpha` (0 < alpha < 0.5), found by bisection
// on the P that the program's own test computes.
double critical_u(double alpha);

inline constexpr std::size_t max_events = static_cast<std::size_t>(driver::nevent);
using MCounts = std::array<std::size_t, max_events + 1>;  // series per number of events m

struct Summary {
    std::size_t series = 0;
    std::size_t without_event = 0;  // records whose u or P is NaN
    // Observed series, recomputed.
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    // Simulated u, over the records with a number for u.
    double u_mean = 0.0;
    double u_sd = 0.0;
    double u_q025 = 0.0;
    double u_median = 0.0;
    double u_q975 = 0.0;
    // Shares of all series with P below 0.05 and 0.10; a NaN P is never below.
    std::size_t below_05 = 0;
    Interval share_05;
    std::size_t below_10 = 0;
    Interval share_10;
    double critical_u_05 = 0.0;  // |u| at which P = 0.05
    MCounts m_counts{};          // over the recomputed series
    // Records whose (u, P) differ from the recomputed ones at 8 decimals.
    std::size_t mismatches = 0;
    std::size_t first_mismatch = 0;  // 0-based series index of the first
};

inline constexpr double significance_05 = 0.05;
inline constexpr double significance_10 = 0.10;
inline constexpr double interval_tail = 0.025;  // each tail of a 95 % interval

// True when `file_value` is what the results file shows for `value` to 8 decimals.
bool same_to_8_decimals(double file_value, double value);

Summary summarise(const Results& results, const Recomputed& recomputed);

// ---------------------------------------------------------------------------------------------
// Sensitivity sweeps: the observed and the simulated tests repeated at other thresholds and
// other starts of the interval, on the very simulated magnitudes of the run

// Saffir-Simpson category bounds (kt), marked on the threshold sweep.
inline constexpr std::array<double, 5> category_bounds = {64, 83, 96, 113, 137};

// The run's sweeps: every whole threshold over the categories, and starts a year apart that
// leave at least ten years of record.
inline constexpr double threshold_sweep_low = 64;
inline constexpr double threshold_sweep_high = 137;
inline constexpr double start_sweep_step = 1.0;       // years
inline constexpr double start_sweep_min_span = 10.0;  // years left between a start and the end
inline constexpr std::size_t max_sweep_points = 200;

// Whole thresholds from ceil(low) to floor(high); when there are more than `max_points`, every
// k-th of them (k as small as keeps within `max_points`), the last always kept.
std::vector<double> whole_thresholds(double low, double high, std::size_t max_points);

// Starts `start`, `start + step`, ... up to the last that leaves at least `min_span` to `end`.
std::vector<double> sweep_starts(double start, double end, double step, double min_span);

// The events and the points of both sweeps. A point selects the events with magnitude >= its
// threshold, drops those before its start when that lies after the main start, and tests the
// rest over [start, end]; at the main point that is the program's own selection and test.
struct SweepSetup {
    std::span<const double> times;       // event times, in file order
    std::span<const double> magnitudes;  // observed magnitudes
    double threshold = 0.0;              // the main point, where the sweeps cross
    double start = 0.0;
    double end = 0.0;
    std::vector<double> thresholds;  // threshold sweep, at `start`; ascending
    std::vector<double> starts;      // start sweep, at `threshold`; ascending, from `start` on
};

struct SweepPoint {
    double threshold = 0.0;
    double start = 0.0;
    // The observed series.
    std::int32_t observed_m = 0;
    double observed_u = 0.0;
    double observed_p = 0.0;
    // The simulated series: shares of all of them, quantiles over those with a number for P.
    std::size_t series = 0;
    std::size_t without_event = 0;
    std::size_t below_05 = 0;
    Interval share_05;  // Wilson score 95 % interval
    double p_q025 = 0.0;
    double p_median = 0.0;
    double p_q975 = 0.0;
};

struct Sweeps {
    std::vector<SweepPoint> threshold;
    std::vector<SweepPoint> start;
};

// The sweeps over simulated series given one at a time, so that a caller generating series
// on the fly holds one series, not all of them. Every series visits every point at once: per
// point, the count and the sum of the selected times, added in position order as the test
// adds them.
struct SweepAccumulator {
    double threshold = 0.0;  // the main point
    double end = 0.0;
    std::vector<SweepPoint> points;  // thresholds first, then starts
    std::size_t threshold_points = 0;
    // Per point, the bound its sweep moves: the threshold along the threshold sweep, the
    // earliest time counted along the start sweep.
    std::vector<double> bounds;
    std::vector<double> counts;                 // per point: selected events of one series
    std::vector<double> sums;                   // per point: the sum of their times
    std::vector<std::vector<double>> p_values;  // per point, the simulated P that are numbers
};

SweepAccumulator begin_sweeps(const SweepSetup& setup);
// One simulated series: the events' times and the series' magnitudes, in file order.
void add_series(SweepAccumulator& sweeps, std::span<const double> times,
                std::span<const double> magnitudes);
// The shares and quantiles; `z` is the normal quantile of the Wilson intervals.
Sweeps finish_sweeps(SweepAccumulator& sweeps, double z);

// ---------------------------------------------------------------------------------------------
// The selected events against time: which events the series select, and their cumulative count

// At one threshold and start: the events at or after the start, in time order, with the
// observed and the simulated cumulative count of selected events at each event's time, and
// every event's share of the series that select it.
struct EventCounts {
    std::vector<std::size_t> order;      // the events at or after the start, by time
    std::vector<double> times;           // their times, ascending
    std::vector<std::int32_t> observed;  // observed selected events at or before times[k]
    std::vector<double> low;             // simulated count: 2.5 % quantile at times[k]
    std::vector<double> median;          //   median
    std::vector<double> high;            //   97.5 % quantile
    std::vector<std::uint8_t> selected;  // per event in file order: selected when observed
    std::vector<double> selected_share;  // per event in file order: share of the series
};

// Accumulates the counts one simulated series at a time, like SweepAccumulator.
struct EventCountAccumulator {
    double threshold = 0.0;
    double start = 0.0;
    std::vector<std::size_t> histogram;   // [k * (order.size() + 1) + count]: series
    std::vector<std::size_t> selections;  // per event in file order: series selecting it
    std::size_t series = 0;
    EventCounts counts;  // the observed part, filled at the start
};

EventCountAccumulator begin_event_counts(std::span<const double> times,
                                         std::span<const double> magnitudes, double threshold,
                                         double start);
void add_series(EventCountAccumulator& counts, std::span<const double> magnitudes);
EventCounts finish_event_counts(EventCountAccumulator& counts);

// The sweeps around a threshold and start, and the selected events against time, in one pass
// over the simulated series: `simulated` holds them series after series (series k, event i at
// k * events + i).
struct Sensitivity {
    Sweeps sweeps;
    EventCounts events;
};
Sensitivity analyse_sensitivity(std::span<const double> times, std::span<const double> magnitudes,
                                std::span<const double> simulated, double threshold, double start,
                                double end);

// ---------------------------------------------------------------------------------------------
// Outputs

// The aligned text summary; `figure_name` empty when no figure was written.
std::string format_summary(const Summary& summary, std::string_view results_name,
                           std::string_view data_name, std::string_view figure_name);

// What the figure shows: the simulated series, the events, and the sweeps around the main
// threshold and start.
struct FigureData {
    const Results& results;
    const Summary& summary;
    const EventCounts& events;
    const Sweeps& sweeps;
    double threshold = 0.0;  // the main point and the end of the interval
    double start = 0.0;
    double end = 0.0;
    double trend_per_year = std::numeric_limits<double>::quiet_NaN();  // fitted log-linear
    std::string_view magnitude_unit = "kt";
    std::span<const double> category_bounds = {};  // marked on the threshold sweep
};

// The figure as a standalone SVG document: a grid of panels, each in a group with an id. The
// simulated u (histogram) and P (distribution function); the cumulative count of selected
// events against time and each event's selection share; P and the share with P < 0.05 against
// the threshold and against the start of the interval.
std::string render_svg(const FigureData& data);

// What the sweep tables name: the main point, the unit of the magnitudes and the category
// bounds noted beside their rows.
struct SweepLabels {
    double threshold = 0.0;
    double start = 0.0;
    double end = 0.0;
    std::string_view unit = "kt";
    std::span<const double> category_bounds = {};
};

// The sweep tables of the text summary: every 5th threshold with the category bounds and the
// main threshold, and every 5th start.
std::string format_sweep_tables(const Sweeps& sweeps, const SweepLabels& labels);

// ---------------------------------------------------------------------------------------------
// The whole report

inline constexpr std::string_view figure_file_name = "Zorvireport.svg";

struct ReportPaths {
    std::filesystem::path results;
    std::filesystem::path data;
    std::filesystem::path figure;
};

// Paths of the three files in `directory` (empty: the working directory).
ReportPaths paths_in(const std::filesystem::path& directory);

struct ReportOutcome {
    int status = 0;       // 0 on success
    std::string summary;  // the text summary, on success
    std::string error;    // what went wrong, otherwise
};

inline constexpr int status_failed = 1;  // an input could not be read, or the figure written

// Reads both inputs, writes the figure and composes the summary. The results file and the
// data file are only read.
ReportOutcome run_report(const ReportPaths& paths);

}  // namespace zorvi::report
