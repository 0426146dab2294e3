// zorvi-report: a text summary and a figure of a finished run, from its results file and the
// data file the run read.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <filesystem>
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
struct StudySettings {
    double threshold = static_cast<double>(driver::threshold);  // lowest magnitude selected
    double start = driver::tstart;                              // test interval, decimal years
    double end = driver::tend;
    std::size_t series = static_cast<std::size_t>(driver::nsim);
    std::int32_t seed = random::fixed_seed;  // seed word of the program's generator
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
// Outputs

// The aligned text summary; `figure_name` empty when no figure was written.
std::string format_summary(const Summary& summary, std::string_view results_name,
                           std::string_view data_name, std::string_view figure_name);

// The figure as a standalone SVG document: histogram of the simulated u with the observed u
// and the critical values marked, and the empirical distribution function of the simulated P
// with 0.05 and the observed P marked.
std::string render_svg(const Results& results, const Summary& summary);

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
