// zorvi-report: a text summary and a figure of a finished run, from its results file and the
// data file the run read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
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

// Saffir-Simpson category bounds (kt): the shipped magnitudes' classes.
inline constexpr std::array<double, 5> category_bounds = {64, 83, 96, 113, 137};

// Up to this many series every quantile is exact (type 7, from every value); beyond it the
// quantiles come from histograms (ValueSample), while counts and shares stay exact.
inline constexpr std::size_t exact_quantile_limit = 100000;
inline constexpr std::size_t max_series = 1000000000;

// What is selected and tested, and how the series are simulated; the program's own values by
// default.
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
    // The threshold sweep's range, in whole units: the categories by default.
    double sweep_low = category_bounds.front();
    double sweep_high = category_bounds.back();
    std::size_t exact_limit = exact_quantile_limit;
    bool exact_quantiles() const { return series <= exact_limit; }
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

// An input file read as a stream (report/input_stream.hpp). Each parser below reads it only as
// far as it needs to, and stops at the first byte that cannot belong to the file; each has a
// form for a text held whole.
struct InputStream;

// Reads a whole file without changing it. False, with `error` saying why, when it cannot.
[[nodiscard]] bool read_text_file(const std::filesystem::path& path, std::string& text,
                                  std::string& error);

// Opens a file read-only and hands it to `parse` as a stream. False, with `error` saying why,
// when `parse` fails, or when the file cannot be opened or read (followed by `unreadable`).
[[nodiscard]] bool read_input(const std::filesystem::path& path,
                              const std::function<bool(InputStream&)>& parse, std::string& error,
                              std::string_view unreadable = {});

// Parses the text of a results file: the three header records, then `expected` records of
// (u, P), one per line, read with the program's free-format reader; nothing but blank lines
// may follow. On failure `error` names the file (`file_name`) and the line.
[[nodiscard]] bool parse_results(InputStream& in, std::string_view file_name, std::size_t expected,
                                 Results& results, std::string& error);
[[nodiscard]] bool parse_results(std::string_view text, std::string_view file_name,
                                 std::size_t expected, Results& results, std::string& error);

// Reads the 60 events from the text of a data file as the program does: one free-format
// statement of three values per event, a null value leaving the program's missing-value
// marker. On failure `error` names the file, line and event.
[[nodiscard]] bool parse_event_data(InputStream& in, std::string_view file_name,
                                    EventSeries& events, std::string& error);
[[nodiscard]] bool parse_event_data(std::string_view text, std::string_view file_name,
                                    EventSeries& events, std::string& error);

// A study's events as its data file holds them, with the line of each event (its last value's
// line in a free-format file, its row's in a CSV file).
struct EventData {
    EventSeries events;
    std::vector<std::size_t> lines;
};

// Appends one event: its time, magnitude and standard error, read on `line`.
inline void add_event(EventData& data, const std::array<double, 3>& values, std::size_t line) {
    data.events.t.push_back(values[0]);
    data.events.x.push_back(values[1]);
    data.events.sx.push_back(values[2]);
    data.lines.push_back(line);
}

// The columns of a CSV data file that hold the times, the magnitudes and their standard
// errors, named as in its header line; the shipped table's by default.
struct CsvColumns {
    std::string time = "time_decimal_year";
    std::string magnitude = "max_wind_kt";
    std::string standard_error = "stderr_kt";
};

// Every event of a free-format data file (at least one): statements of three values, read with
// the program's reader until the text ends. A null value is an error here. On failure `error`
// names the file, the line and the event.
[[nodiscard]] bool parse_free_format_events(InputStream& in, std::string_view file_name,
                                            EventData& data, std::string& error);
[[nodiscard]] bool parse_free_format_events(std::string_view text, std::string_view file_name,
                                            EventData& data, std::string& error);

// Every event of a CSV file (at least one): a header row naming the columns, then one event a
// row, by the rules of RFC 4180 (a quoted cell may hold commas, quotes and line ends; every row
// has the header's number of cells); other columns are ignored, blank lines are skipped.
[[nodiscard]] bool parse_csv_events(InputStream& in, std::string_view file_name,
                                    const CsvColumns& columns, EventData& data, std::string& error);
[[nodiscard]] bool parse_csv_events(std::string_view text, std::string_view file_name,
                                    const CsvColumns& columns, EventData& data, std::string& error);

// Checks a study's events against its settings: every value a finite number, every standard
// error at least 0, every time within the interval (the error names the first event outside
// and counts them all).
[[nodiscard]] bool check_events(const EventData& data, std::string_view file_name,
                                const StudySettings& settings, std::string& error);

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

// Values gathered one at a time. Exact: every value kept, in the order added. Binned: only a
// histogram of equal bins from `low` on, a value beyond either end counted in the end bin;
// its quantiles spread each bin's values evenly over the bin, so they are off by less than a
// bin's width.
struct ValueSample {
    bool exact = true;
    std::vector<double> values;  // exact
    double low = 0.0;            // binned: bin k holds [low + k width, low + (k + 1) width)
    double width = 1.0;
    double per_width = 1.0;  // 1 / width
    std::vector<std::uint32_t> bins;
    std::size_t count = 0;  // values added
};

ValueSample exact_sample(std::size_t expected);
// Bins of `width` from a multiple of it at or below `low` to one at or above `high`.
ValueSample binned_sample(double low, double high, double width);
// Adds a value that is not NaN; in a binned sample, one beyond either end (an infinity too)
// counts in the end bin.
inline void add_value(ValueSample& sample, double value) {
    ++sample.count;
    if (sample.exact) {
        sample.values.push_back(value);
        return;
    }
    const double place = (value - sample.low) * sample.per_width;
    const auto last = static_cast<double>(sample.bins.size() - 1);
    ++sample.bins[static_cast<std::size_t>(place < 0.0 ? 0.0 : place > last ? last : place)];
}
// Quantiles at ascending `qs`: exact ones (type 7) reorder the values. NaN when empty.
std::vector<double> sample_quantiles(ValueSample& sample, std::span<const double> qs);
// The bins' places: the lower edge of bin k.
double bin_start(const ValueSample& sample, std::size_t k);

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

// What the results file's field shows for `value`, read back as a reader finds it.
double as_in_results_field(double value);
// True when `file_value` and `value` agree to the results file's 8 decimals: the field shows
// the same for both.
bool same_in_results_field(double file_value, double value);
// `p` where it decides a count below 0.05 or 0.10 as the results file shows it: within the
// field's rounding of either, as the field shows it, elsewhere p itself.
double as_counted(double p);

// The summary of a results file against its recomputed series, as a pass makes it.
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
// The last start that `sweep_starts` would give without its cap when the cap cuts the sweep
// short; NaN when the sweep is whole.
double last_start_beyond_cut(double start, double end, double step, double min_span,
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

// What the binned sweeps need to select and test a series fast: each event counted once, in
// a bucket at the last point it reaches, the counts and sums then accumulated from the last
// point down; |u| of every point at once as sqrt(12 / m) |s - m (a + d/2)| / d. The sums are
// then not added in the test's order and |u| may be off by `error` (a bound), so within that
// of the critical value the point's exact sum decides. The counts and |u| in flat arrays, one
// row of `bins` bins per point, are made into the points' figures at the end.
struct FastSweep {
    std::vector<double> earliest;        // per point: the earliest time counted
    std::vector<double> centre;          // per point: (start + end) / 2
    std::vector<double> inverse_length;  // per point: 1 / (end - start)
    std::vector<double> bucket_counts;   // per point: events whose last point it is
    std::vector<double> bucket_sums;     // and the sum of their times
    std::vector<double> sizes;           // per point: |u| of the series
    std::vector<double> root_12_over;    // per count k of events: sqrt(12 / k), infinite for 0
    std::vector<std::uint32_t> without_event;  // per point
    std::vector<std::uint32_t> below_05;       // per point
    std::vector<std::uint32_t> histogram;      // per point, `bins` counts of |u|
    std::size_t bins = 0;
    double per_width = 1.0;  // bins per unit of |u|
    std::size_t series = 0;
    double threshold_spacing = 1.0;  // average spacing of the thresholds, for a first guess
    double start_spacing = 1.0;      // and of the starts
    double error = 0.0;
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
    std::vector<double> counts;  // per point: selected events of one series
    std::vector<double> sums;    // per point: the sum of their times
    // Per point, the simulated series with a number for P: their P (exact quantiles), or a
    // histogram of their |u|, from which P follows (binned).
    std::vector<ValueSample> samples;
    // Binned: below critical.low |u| gives P >= 0.05, above critical.high P < 0.05; between
    // the two P itself decides.
    Interval critical;
    FastSweep fast;
};

// `series` simulated series will follow; their quantiles are exact when `exact`.
SweepAccumulator begin_sweeps(const SweepSetup& setup, std::size_t series, bool exact);
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
inline constexpr std::size_t max_count_bins = 4096;
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
    // [j * width + count / count_bin]: series, per band position. Counts are kept whole up to
    // max_count_bins values and in bins of count_bin beyond, so that memory stays bounded
    // however many events there are.
    std::vector<std::size_t> histogram;
    std::size_t count_bin = 1;
    std::size_t width = 1;
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
// The sweeps' points around the study's threshold and start, and their accumulators.
SweepAccumulator begin_study_sweeps(const EventSeries& events, const StudySettings& settings);

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
// r = mean(s) / h of the times, in [-1, 1] for times within the interval; NaN without one. The
// fitted beta follows from r alone and grows with it.
double relative_mean_position(std::span<const double> times, double start, double end);
double beta_of_position(double r, double start, double end);

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

// Beyond this many events the power is found from the normal approximation to the sum of the
// m scaled times (their exact mean and variance under the tilt), whose error falls as
// 1 / sqrt(m): the exact density's work grows as m^2 (m = 1000: about 1 s for the detectable
// trend, m = 2000: 3 s).
inline constexpr std::int32_t max_exact_power_events = 1000;
bool exact_power(std::int32_t m);
double approximate_rising_trend_power(double beta, std::int32_t m, double length, double critical);

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
// `selected[i]`: the simulated series, of `series`, that select event i.
std::vector<EventRow> event_rows(const EventSeries& events, std::span<const std::size_t> selected,
                                 std::size_t series, double threshold);

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

// The simulated u and P as the results file shows them (the P of the series with one).
struct SimulatedValues {
    ValueSample u;
    ValueSample p;
};

struct Analysis {
    StudySettings settings;
    Summary summary;
    TrendFit observed_fit;
    std::vector<TestRow> tests;  // in the order of trend_test_names
    double detectable_beta = not_a_number;
    Quantiles simulated_ratio;       // of the rate ratio per decade
    std::size_t simulated_fits = 0;  // series with a beta
    std::vector<EventRow> events;
    double expected_m = 0.0;
    Sensitivity sensitivity;
    SimulatedValues simulated_values;
};

// What the results file shows for one series: the record a study writes, or the record of a
// finished run's file. Called once per series, in order (`series` from 0), with the series'
// recomputed test; false, with `error` saying why, when the record cannot be written or read.
using RecordStep = std::function<bool(std::size_t series, const TrendTest& test, double& file_u,
                                      double& file_p, std::string& error)>;
// One series for the series table: its m, u and P, and its rate ratio per decade.
using SeriesRowStep = std::function<bool(std::size_t series, const TrendTest& test,
                                         double rate_ratio, std::string& error)>;
// Called every so often with the number of series done.
using ProgressStep = std::function<void(std::size_t done)>;

struct PassSteps {
    RecordStep record;
    bool records_read = false;  // the records come from a file: check each against its series
    // The step gives the values as the file shows them; else u and P themselves, which the
    // counts of P below 0.05 and 0.10 then round as the file does where it matters.
    bool records_exact = true;
    SeriesRowStep row;      // none: no series table
    ProgressStep progress;  // none: no progress shown
};

// The whole analysis of a study in one pass over its simulated series: each series drawn once
// with the program's generator, selected and tested as the program does, its record handed to
// `steps.record`, and gathered into the summary, the tests' shares, the fitted trends, the
// events' shares and the sweeps; memory does not grow with the number of series beyond the
// exact quantiles' values. The observed series is analysed as well. False, with `error`, when
// a step fails.
bool analyse_study(const EventSeries& events, const StudySettings& settings, const PassSteps& steps,
                   Analysis& analysis, std::string& error);

// The steps of a pass that writes no file, its records showing every value exactly: for
// callers that want the analysis alone.
PassSteps without_files();

// ---------------------------------------------------------------------------------------------
// Outputs

// The names of the report's files as the outputs show them; `figure` empty when no figure
// was written.
struct ReportNames {
    std::string results;
    std::string data;
    std::string figure;
    bool results_written = false;  // a study wrote the results file from these very series
    bool files_written = true;     // false when the files could not be written: none was
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

// The tables of `--csv` made at the end: tests.csv, events.csv, m_counts.csv,
// sweep_threshold.csv and sweep_start_year.csv (series.csv is written during the pass).
std::vector<CsvTable> csv_tables(const Analysis& analysis);
// The names of every file that --csv writes, series.csv among them.
std::vector<std::string> csv_file_names();

// The text of a CSV file, quoting the cells that need it, one line end per row.
std::string csv_text(const CsvTable& table);

// The figure as a standalone SVG document: a grid of panels, each in a group with an id. The
// simulated u (histogram) and P (distribution function); the cumulative count of selected
// events against time and each event's selection share; P and the share with P < 0.05 against
// the threshold and against the start of the interval.
std::string render_svg(const Analysis& analysis);

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
    int status = 0;  // 0 on success
    // The text summary or the JSON document: on success, and when the analysis is complete
    // but its files could not be written (status 1).
    std::string summary;
    std::string error;  // what went wrong, when the status is not 0
};

inline constexpr int status_failed = 1;  // an input could not be read, or an output written

inline constexpr std::string_view study_results_file_name = "study-results.dat";

// A study of one's own: its data file, settings and results file.
struct StudyOptions {
    bool requested = false;  // simulate anew and write `paths.results`
    bool csv = false;        // the data file is a CSV file with `columns`
    CsvColumns columns;
    StudySettings settings;
};

struct ReportOptions {
    bool json = false;                    // the summary as JSON instead of the text
    bool figure = true;                   // write the figure
    bool png = false;                     // and a PNG of it, through rsvg-convert
    bool progress = false;                // show a progress bar on standard error for long work
    std::filesystem::path csv_directory;  // write the CSV tables there, unless empty
    StudyOptions study;
};

// Without a study: reads the finished run's results file and its data file, recomputes its
// series and checks every record. With one: reads the study's data file, simulates its series
// and writes their results file (never over the data file or the program's results file). Both
// then write the figure and the CSV files asked for, and compose the summary. The data file is
// only read. Every output is checked before any input is read, and written to a temporary file
// first; all are renamed into place together once all are whole, or none is.
ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options = {});

}  // namespace zorvi::report
