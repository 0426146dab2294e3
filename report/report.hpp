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
#include "random/random.hpp"

namespace zorvi::report {

// ---------------------------------------------------------------------------------------------
// Inputs

// The simulated series as the results file lists them, in series order.
struct Results {
    std::vector<double> u;
    std::vector<double> p;
};

// A series of dated events with uncertain magnitudes, in file order; any number of events.
struct EventSeries {
    std::vector<double> t;   // times, decimal years
    std::vector<double> x;   // magnitudes
    std::vector<double> sx;  // standard errors of the magnitudes
};

// What is selected and tested, and how the series are simulated; the program's own values by
// default.
// Saffir-Simpson category bounds (kt): the shipped magnitudes' classes.
inline constexpr std::array<double, 5> category_bounds = {64, 83, 96, 113, 137};

struct StudySettings {
    double threshold = static_cast<double>(driver::threshold);  // lowest magnitude selected
    double start = driver::tstart;                              // test interval, decimal years
    double end = driver::tend;
    std::size_t series = static_cast<std::size_t>(driver::nsim);
    std::int32_t seed = random::fixed_seed;  // seed word of the program's generator
    // How the outputs name the magnitudes: their unit, and the lower bounds of their classes
    // (class 1, 2, ...) marked along the threshold sweep.
    std::string_view magnitude_unit = "kt";
    std::span<const double> class_bounds = category_bounds;
};

// The simulated magnitudes of every series, series-major: series k, event i at
// values[k * events + i].
struct SimulatedMagnitudes {
    std::size_t events = 0;
    std::size_t series = 0;
    std::vector<double> values;
};

// The magnitudes of series k (0-based).
std::span<const double> series_magnitudes(const SimulatedMagnitudes& simulated, std::size_t k);

// Starts the program's generator afresh from `seed` and draws the deviate a run discards
// before its first series. The generator state is program-wide.
void start_generator(std::int32_t seed);

// The next series' magnitudes, one deviate per event in position order, as the program draws
// them; moved.size() == events.x.size().
void draw_series(const EventSeries& events, std::span<double> moved);

// Every series of `settings`, from a freshly started generator: the program's own magnitudes
// when the events and settings are the program's.
SimulatedMagnitudes simulate_magnitudes(const EventSeries& events, const StudySettings& settings);

// One series selected at the threshold and tested over the interval.
struct TrendTest {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
};

// Selects the events of `magnitudes` (times from `times`, position order) and tests them, as
// the program does. `selected` is working space, resized as needed.
TrendTest select_and_test(std::span<const double> times, std::span<const double> magnitudes,
                          const StudySettings& settings, std::vector<double>& selected);

// The observed series and the simulated series, recomputed from the data file with the
// program's own selection, test and generator.
struct Recomputed {
    std::int32_t m = 0;
    double u = 0.0;
    double p = 0.0;
    std::vector<std::int32_t> msim;
    std::vector<double> usim;
    std::vector<double> psim;
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
// statement of three values per event, a null value leaving the program's missing-value
// marker. On failure `error` names the file, line and event.
[[nodiscard]] bool parse_event_data(std::string_view text, std::string_view file_name,
                                    EventSeries& events, std::string& error);

// The observed test and the test of every simulated series.
Recomputed recompute(const EventSeries& events, const SimulatedMagnitudes& simulated,
                     const StudySettings& settings);

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

// Series per number of selected events m, from m = 0 to the largest m of any series.
using MCounts = std::vector<std::size_t>;

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
    MCounts m_counts;            // over the recomputed series
    // Records whose (u, P) differ from the recomputed ones as the results file shows them.
    std::size_t mismatches = 0;
    std::size_t first_mismatch = 0;  // 0-based series index of the first
};

inline constexpr double significance_05 = 0.05;
inline constexpr double significance_10 = 0.10;
inline constexpr double interval_tail = 0.025;  // each tail of a 95 % interval

// True when `file_value` is what the results file's field shows for `value`.
bool same_in_results_field(double file_value, double value);

Summary summarise(const Results& results, const Recomputed& recomputed);

// ---------------------------------------------------------------------------------------------
// Sensitivity sweeps: the observed and the simulated tests repeated at other thresholds and
// other starts of the interval, on the very simulated magnitudes of the run

// The run's sweeps: every whole threshold over the categories, and starts a year apart that
// leave at least ten years of record.
inline constexpr double threshold_sweep_low = 64;
inline constexpr double threshold_sweep_high = 137;
inline constexpr double start_sweep_step = 1.0;       // years
inline constexpr double start_sweep_min_span = 10.0;  // years left between a start and the end
inline constexpr std::size_t max_sweep_points = 200;

// Whole thresholds from ceil(low) to floor(high); when there are more than `max_points` (at
// least 2), every k-th of them (k as small as keeps within `max_points`), the last always
// kept. None for an empty or non-finite range.
std::vector<double> whole_thresholds(double low, double high, std::size_t max_points);

// Starts `start`, `start + step`, ... up to the last that leaves at least `min_span` to `end`,
// at most `max_points` of them. None for a step that is not positive or values not finite.
std::vector<double> sweep_starts(double start, double end, double step, double min_span,
                                 std::size_t max_points);

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
    double share_05 = 0.0;  // below_05 of all series; NaN without a series
    Interval share_05_95;   // its Wilson score 95 % interval
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
// observed and the simulated cumulative count of selected events at each event's time. The
// simulated band is known at up to `max_band_positions` of the events, every one when there
// are no more, so that its histograms stay small for any number of events.
inline constexpr std::size_t max_band_positions = 500;
struct EventCounts {
    std::vector<std::size_t> order;      // the events at or after the start, by time
    std::vector<double> times;           // their times, ascending
    std::vector<std::int32_t> observed;  // observed selected events at or before times[k]
    std::vector<std::size_t> band_at;    // the positions k where the band is known, ascending
    std::vector<double> low;             // simulated count there: 2.5 % quantile
    std::vector<double> median;          //   median
    std::vector<double> high;            //   97.5 % quantile
};

// Accumulates the counts one simulated series at a time, like SweepAccumulator.
struct EventCountAccumulator {
    double threshold = 0.0;
    std::vector<std::size_t> histogram;  // [j * (events + 1) + count]: series, per band position
    std::size_t series = 0;
    EventCounts counts;  // the observed part, filled at the start
};

EventCountAccumulator begin_event_counts(std::span<const double> times,
                                         std::span<const double> magnitudes, double threshold,
                                         double start);
void add_series(EventCountAccumulator& counts, std::span<const double> magnitudes);
EventCounts finish_event_counts(EventCountAccumulator& counts);

// The sweeps around the study's threshold and start, and the selected events against time, in
// one pass over the simulated series.
struct Sensitivity {
    Sweeps sweeps;
    EventCounts counts;
};
Sensitivity analyse_sensitivity(const EventSeries& events, const SimulatedMagnitudes& simulated,
                                const StudySettings& settings);

// ---------------------------------------------------------------------------------------------
// The analysis: the size of the trend, the other tests, the power, the deciding events

inline constexpr double not_a_number = std::numeric_limits<double>::quiet_NaN();

struct Estimate {
    double value = not_a_number;
    Interval interval{not_a_number, not_a_number};  // 95 %
};

// The log-linear rate lambda(t) = lambda0 exp(beta t) fitted by maximum likelihood to the
// selected times, conditional on their number m, over [start, end]: mean(s) = h coth(beta h)
// - 1/beta with s = t - (start + end) / 2, h = (end - start) / 2. The interval holds the beta
// whose log-likelihood lies less than chi-square(1) 0.95 / 2 below the maximum. NaN without
// an event; beta infinite, and no interval, when every time lies at or beyond one end.
struct TrendFit {
    double beta = not_a_number;  // per year
    Interval beta_95{not_a_number, not_a_number};
};
TrendFit fit_trend(std::span<const double> times, double start, double end);
double fit_beta(std::span<const double> times, double start, double end);  // beta alone

// exp(10 beta): how many times the rate grows in ten years.
double rate_ratio_per_decade(double beta);

// The trend tests reported side by side, in this order.
inline constexpr std::size_t test_cox_lewis = 0;            // the program's P, 1 - Phi(|u|)
inline constexpr std::size_t test_cox_lewis_two_sided = 1;  // 2 (1 - Phi(|u|))
inline constexpr std::size_t test_mil_hdbk_189 = 2;         // 2 sum ln((b-a)/(t-a)), chi-square 2m
inline constexpr std::size_t test_lewis_robinson = 3;       // u / CV of the gaps, normal
inline constexpr std::size_t trend_test_count = 4;

struct TestName {
    std::string_view method;
    std::string_view alternative;
    std::string_view estimate_of;  // what the test's estimate estimates; empty: none
};
inline constexpr std::array<TestName, trend_test_count> trend_test_names = {{
    {"Cox-Lewis", "one-sided", "rate_ratio_per_decade"},
    {"Cox-Lewis", "two-sided", "rate_ratio_per_decade"},
    {"MIL-HDBK-189", "increasing", "shape"},
    {"Lewis-Robinson", "one-sided", ""},
}};

struct TestStatistic {
    double statistic = not_a_number;
    double p_value = not_a_number;
};
using TestStatistics = std::array<TestStatistic, trend_test_count>;

// Every test on the selected times (any order); `cox_lewis` is the program's test of them.
// A test that is undefined for so few events (none; Lewis-Robinson: fewer than two) is NaN.
TestStatistics trend_test_statistics(std::span<const double> times, const TrendTest& cox_lewis,
                                     double start, double end);

// The MIL-HDBK-189 shape estimate m / sum ln((b-a)/(t-a)), with its interval from
// chi-square(2m) given m.
Estimate mil_hdbk_189_shape(std::span<const double> times, double start, double end);

// The probability that the one-sided Cox-Lewis test with critical value `critical` finds a
// rising trend (u > critical) among m events whose rate grows as exp(beta t) on an interval
// of `length` years, given m. Exact: the density of the sum of the m scaled times, a
// B-spline tilted by exp(beta t), integrated by Gauss-Legendre quadrature on each of its
// polynomial pieces.
double rising_trend_power(double beta, std::int32_t m, double length, double critical);

// The beta that such a test detects with probability `power`; NaN for m = 0.
double detectable_beta(std::int32_t m, double length, double critical, double power);

inline constexpr double detection_power = 0.8;

// One event of the data file and how often the simulation selects it.
struct EventRow {
    double time = 0.0;
    double magnitude = 0.0;
    double standard_error = 0.0;
    bool selected_observed = false;
    double selected_share = 0.0;         // of the simulated series
    double selection_probability = 0.0;  // Phi((x - threshold) / |sx|)
};
std::vector<EventRow> event_rows(const EventSeries& events, const SimulatedMagnitudes& simulated,
                                 double threshold);

// A count of series out of all, with its Wilson 95 % interval.
struct Share {
    std::size_t count = 0;
    std::size_t of = 0;
    double share = not_a_number;
    Interval interval{not_a_number, not_a_number};
};
Share share_of(std::size_t count, std::size_t of);

struct Quantiles {
    double q025 = not_a_number;
    double median = not_a_number;
    double q975 = not_a_number;
};

// One row of the tests table: the observed series, and the simulated series' share with P
// below 0.05.
struct TestRow {
    TestName name;
    TestStatistic observed;
    Estimate estimate;  // Cox-Lewis: the rate ratio per decade; MIL-HDBK-189: the shape
    Share simulated_below_05;
};

struct Analysis {
    StudySettings settings;
    Summary summary;
    TrendFit observed_fit;
    std::vector<TestRow> tests;  // in the order of trend_test_names
    double detectable_beta = not_a_number;
    std::vector<TrendTest> simulated_tests;  // per series, recomputed
    std::vector<double> simulated_beta;      // per series; NaN for a series without an event
    Quantiles simulated_ratio;               // of the rate ratio per decade, type 7
    std::size_t simulated_fits = 0;          // series with a beta
    std::vector<EventRow> events;
    double expected_m = 0.0;
    Sensitivity sensitivity;
};

Analysis analyse(const Summary& summary, const EventSeries& events,
                 const SimulatedMagnitudes& simulated, const StudySettings& settings);

// ---------------------------------------------------------------------------------------------
// Outputs

// The names of the report's files as the outputs show them; `figure` empty when no figure
// was written.
struct ReportNames {
    std::string results;
    std::string data;
    std::string figure;
};

// The aligned text summary.
std::string format_summary(const Analysis& analysis, const ReportNames& names);

// The whole summary as one JSON document: numbers as full-precision doubles, NaN and the
// infinities as null.
std::string format_json(const Analysis& analysis, const ReportNames& names);

// A tidy table for a CSV file: one header row, then one row per item; cells as they appear in
// the file (numbers in their shortest exact form, NaN empty, infinities "Inf" and "-Inf",
// truth values TRUE and FALSE).
struct CsvTable {
    std::string file_name;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// The tables of `--csv`: tests.csv, events.csv, m_counts.csv, series.csv, sweep_threshold.csv
// and sweep_start_year.csv.
std::vector<CsvTable> csv_tables(const Analysis& analysis);

// The text of a CSV file, quoting the cells that need it, one line end per row.
std::string csv_text(const CsvTable& table);

// The figure as a standalone SVG document: a grid of panels, each in a group with an id. The
// simulated u (histogram) and P (distribution function); the cumulative count of selected
// events against time and each event's selection share; P and the share with P < 0.05 against
// the threshold and against the start of the interval.
std::string render_svg(const Results& results, const Analysis& analysis);

// ---------------------------------------------------------------------------------------------
// The whole report

inline constexpr std::string_view figure_file_name = "Zorvireport.svg";
inline constexpr std::string_view png_file_name = "Zorvireport.png";

struct ReportPaths {
    std::filesystem::path results;
    std::filesystem::path data;
    std::filesystem::path figure;
    std::filesystem::path png;
};

// Paths of the four files in `directory` (empty: the working directory).
ReportPaths paths_in(const std::filesystem::path& directory);

struct ReportOutcome {
    int status = 0;       // 0 on success
    std::string summary;  // the text summary or the JSON document, on success
    std::string error;    // what went wrong, otherwise
};

inline constexpr int status_failed = 1;  // an input could not be read, or the figure written

struct ReportOptions {
    bool json = false;                    // the summary as JSON instead of the text
    bool figure = true;                   // write the figure
    bool png = false;                     // and a PNG of it, through rsvg-convert
    std::filesystem::path csv_directory;  // write the CSV tables there, unless empty
};

// Reads both inputs, writes the figure and the CSV files asked for, and composes the summary.
// The results file and the data file are only read; every file written is written whole or
// not at all.
ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options = {});

}  // namespace zorvi::report
