// The analysis as a library: read events, run a whole study in one call, render it, and each
// statistic on its own as a function of the event times and the test's interval. Failures are
// thrown as zorvi::Error (never ending the process), with the one-line message the
// command-line tool prints.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <stop_token>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/clustering/clustering.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/html/html.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/statistics/trend.hpp"
#include "zorvi/study/analysis.hpp"
#include "zorvi/study/settings.hpp"

namespace zorvi {

// Bad input, a failed file or a study stopped: what() is the one-line message.
class Error : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};
// A file that cannot be opened, read or written; `code` is the system's error number (ENOENT
// for a missing file), 0 when the file itself is at fault.
class FileError : public Error {
  public:
    FileError(const std::string& message, int code) : Error(message), code(code) {}
    int code = 0;
};
// A study stopped early through StudyControl::stop.
class Stopped : public Error {
  public:
    using Error::Error;
};

// ---------------------------------------------------------------------------------------------
// Events

enum class DataFormat { automatic, free_format, csv };  // automatic: CSV when named *.csv

struct ReadOptions {
    DataFormat format = DataFormat::automatic;
    // For CSV: the time, magnitude and standard-error columns (an empty standard-error name:
    // the table has none), and the standard error of the events without one, where the
    // column is missing or an event's cell is empty (NaN: none, such an event is refused).
    CsvColumns columns;
    double standard_error = not_a_number;
    ArgumentNames names = command_line_names;  // how messages name the settings
    // For CSV: the column that names the events (empty: one called "name", when there is one).
    std::string labels = {};
};

// Every event of a data file, with the line of each. Throws FileError or Error.
EventData read_events(const std::filesystem::path& path, const ReadOptions& options = {});

// Events given as three sequences of equal length (times, magnitudes, standard errors), as
// rows: messages name each by its position from `first_row` (and by its label in
// `row_labels`, when given: one a row). A standard error that is NaN takes `standard_error`
// when that is given (not NaN). Throws Error for sequences of different lengths.
EventData events_from(std::span<const double> times, std::span<const double> magnitudes,
                      std::span<const double> standard_errors, double standard_error = not_a_number,
                      std::size_t first_row = 1, std::vector<std::string> row_labels = {});

// Names each event by its label (one an event, as given; an empty one names none), the labels
// coming from the column `column`, as a CSV table's `name` column does: the outputs then show
// them, each at most 40 characters with nothing invisible. Throws Error for another number of
// labels than of events.
void label_events(EventData& data, const std::vector<std::string>& labels,
                  std::string_view column = default_label_column);

// An ISO 8601 date or date-time as a decimal year (iso_decimal_year gives the rule). Throws
// Error, saying why, for any other text.
double decimal_year(std::string_view iso_time);

// ---------------------------------------------------------------------------------------------
// A whole study

struct StudyControl {
    // Called every `progress_every` series and at the end with the series done and the series
    // in all.
    std::function<void(std::size_t done, std::size_t total)> progress;
    std::size_t progress_every = 1024;
    std::stop_token stop;     // a stop requested ends the study with Stopped before the next series
    bool keep_series = true;  // keep every series' m, u and P in Study::series
    // Not empty: the results file written there as the series are made, whole once the study
    // ends, or not at all; the study then needs no memory for its series. Never the data file
    // the events were read from.
    std::filesystem::path results;
    ArgumentNames names = command_line_names;  // how messages name the settings
};

struct Study {
    Analysis analysis;                // every number the outputs show
    std::vector<TrendTest> series;    // each simulated series' m, u and P, when kept
    std::vector<double> rate_ratios;  // and its fitted rate ratio per decade (NaN without one)
    std::string source = "events";    // how the outputs name the data ("data" in the JSON)
    std::filesystem::path data_file;  // the file the events were read from, if any
};

// Checks the settings and the events against them (every value finite, standard errors not
// negative, times within the interval), then simulates and analyses every series with the
// program's generator, selection and test. `source` names the data in messages and outputs.
// The program's generator is one per process: run one study at a time.
Study run_study(const EventData& data, const StudySettings& settings = {},
                const StudyControl& control = {}, std::string_view source = "events");

// The study's outputs, byte for byte as zorvi-report writes them for the same data and options
// (`results` names the results file in the summary and the JSON).
std::string summary_text(const Study& study, std::string_view results = "study-results.dat");
std::string json_text(const Study& study, std::string_view results = "study-results.dat");
std::vector<CsvTable> tables(const Study& study);  // series.csv too, when the series were kept
std::string svg_figure(const Study& study);
// The whole report as one self-contained HTML page, its numbers those of the summary; or as
// one element to show inside another page (HtmlForm::fragment).
std::string html_report(const Study& study, std::string_view results = "study-results.dat",
                        HtmlForm form = HtmlForm::document);
// The results file in the program's format, written whole or not at all, never over the data
// file. Needs the series.
void write_results(const Study& study, const std::filesystem::path& path);

// ---------------------------------------------------------------------------------------------
// Statistics of event times over an interval [start, end]. Throws Error for an interval whose
// width is not a finite positive number, or a time that is not finite or lies outside it.

struct CoxLewisResult {
    std::int32_t m = 0;
    double statistic = not_a_number;  // u; positive for a rising rate
    double p_value = not_a_number;    // the program's P, 1 - Phi(|u|)
    double p_value_two_sided = not_a_number;
};
CoxLewisResult cox_lewis(std::span<const double> times, double start, double end);

struct TrendFitResult {
    double beta_per_year = not_a_number;
    double rate_ratio_per_decade = not_a_number;  // exp(10 beta)
    Interval beta_interval{not_a_number, not_a_number};
    Interval rate_ratio_interval{not_a_number, not_a_number};  // profile likelihood
    double confidence_level = 0.95;
};
TrendFitResult trend_fit(std::span<const double> times, double start, double end,
                         double confidence_level = 0.95);

struct MilHdbk189Result {
    double statistic = not_a_number;  // 2 sum ln((b - a) / (t - a)), chi-square with 2m
    double p_value = not_a_number;    // its lower tail: small for an increasing rate
    double shape = not_a_number;      // m / sum ln((b - a) / (t - a)); 1 for a constant rate
    Interval shape_interval{not_a_number, not_a_number};
};
MilHdbk189Result mil_hdbk_189(std::span<const double> times, double start, double end);

struct LewisRobinsonResult {
    double statistic = not_a_number;  // u over the coefficient of variation of the gaps
    double p_value = not_a_number;    // one-sided, normal; NaN for fewer than two events
};
LewisRobinsonResult lewis_robinson(std::span<const double> times, double start, double end);

// The rate ratio per decade that the one-sided Cox-Lewis test at `alpha` detects with
// probability `power` among m events over [start, end]; computed exactly up to 1000 events.
double detectable_rate_ratio(std::int32_t m, double start, double end, double power = 0.8,
                             double alpha = 0.05);

// ---------------------------------------------------------------------------------------------
// Clustering: the times counted in bins of `bin_width` from the interval's start (bin k covers
// [start + k W, min(start + (k+1) W, end)), an event at the end in the last bin), the
// dispersion of the counts around the log-linear trend log mu_k = log(exposure_k) + alpha +
// beta centre_k, and trend tests that hold when the events cluster. Each throws Error as the
// statistics above do, and for a bin width that is not a finite positive number giving 2 to
// max_bins bins. A check that cannot be made (fewer than 3 bins, no event, a fit without a
// finite maximum) says why in `reason`, its numbers NaN.

BinnedCounts binned_counts(std::span<const double> times, double start, double end,
                           double bin_width = default_bin_width);
// The Poisson fit, Pearson's chi-square and phi = chi2 / (K - 2) with the upper tail of
// chi-square(K - 2), the bins with 0, 1, 2 and 3 or more events observed and expected, and the
// lag-1 autocorrelation of the Pearson residuals.
DispersionCheck dispersion(std::span<const double> times, double start, double end,
                           double bin_width = default_bin_width);
// t = beta / (SE sqrt(phi)) against Student's t with K - 2 degrees of freedom.
ClusteredTrendTest quasi_poisson_trend(std::span<const double> times, double start, double end,
                                       double bin_width = default_bin_width);
// The likelihood-ratio test of beta = 0 between negative binomial models, each with its own
// maximum-likelihood size (infinite, and poisson_limit set, where there is no overdispersion).
ClusteredTrendTest negative_binomial_trend(std::span<const double> times, double start, double end,
                                           double bin_width = default_bin_width);
// sum centre_k y_k over the whole bins against `permutations` (1 to max_permutations) random
// permutations of their counts, drawn with a generator of their own started from `seed`.
inline constexpr std::size_t max_permutations = 10000000;
// Between blocks of permutations (about 65536 draws each, a few milliseconds): `progress`
// called with the permutations done and in all, then a stop requested ends the test with
// Stopped.
struct PermutationControl {
    std::function<void(std::size_t done, std::size_t total)> progress;
    std::stop_token stop;
};
ClusteredTrendTest permutation_trend(std::span<const double> times, double start, double end,
                                     double bin_width = default_bin_width,
                                     std::size_t permutations = default_permutations,
                                     std::int64_t seed = program_seed,
                                     const PermutationControl& control = {});

}  // namespace zorvi
