// Internal to the report: number texts and axis ticks shared by the summary and the figure,
// and the distributions and root finder shared by the statistics.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <array>
#include <condition_variable>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <utility>
#include <vector>

#include "report/report.hpp"

namespace zorvi::report::detail {

// `value` in fixed-point notation with `decimals` decimals, correctly rounded; "NaN",
// "Infinity" or "-Infinity" for the non-finite values. A negative value that rounds to zero
// shows no minus sign.
std::string fixed_text(double value, int decimals);

// A "nice" step (1, 2, 2.5 or 5 times a power of ten) close to `span / parts`; span > 0.
double nice_step(double span, int parts);

// Decimals enough to tell apart multiples of `step`.
int decimals_for_step(double step);

// Multiples of `step` from the first at or above `low` to the last at or below `high`.
std::vector<double> ticks_between(double low, double high, double step);

// Rows of the text summary: a label padded to `label_width`, then the value.
inline constexpr std::size_t label_width = 34;
void add_row(std::string& out, std::string_view label, std::string_view value);
std::string padded_left(std::string text, std::size_t width);
std::string percent(double share);                                  // "13.65 %"
std::string interval_text(const Interval& interval, int decimals);  // "low to high"
// "273 of 2000 = 13.65 %  (95 % interval 12.22 % to 15.22 %)"
std::string share_text(std::size_t count, std::size_t series, const Interval& interval);
// `text` broken into lines of at most `width` characters at its spaces, ending in a line end.
std::string wrapped(std::string_view text, std::size_t width);
// The shortest text that reads back as `value` ("113", "12.5").
std::string shortest_text(double value);

// `text` with every byte that is not part of well-formed UTF-8 replaced by U+FFFD: names from
// the file system as the JSON document carries them.
std::string valid_utf8(std::string_view text);
// `text` in single quotes for a message: at most `message_quote_bytes` of it (then "..."),
// control bytes, backslashes and bytes that are not well-formed UTF-8 escaped (\r, \\, \xff).
inline constexpr std::size_t message_quote_bytes = 80;
std::string quoted_for_message(std::string_view text);

// The sections of the summary that go beyond the simulated u: the size of the trend, the
// tests side by side, the deciding events.
void add_trend_section(std::string& out, const Analysis& analysis);
void add_tests_section(std::string& out, const Analysis& analysis);
void add_events_section(std::string& out, const Analysis& analysis);
// The sweep tables: every 5th threshold with the class bounds and the main threshold, and
// every 5th start.
void add_sweep_sections(std::string& out, const Analysis& analysis);

// Distribution functions; a NaN argument gives NaN, an infinite one the limit.
double normal_cdf(double z);                            // Phi(z)
double normal_upper_tail(double z);                     // 1 - Phi(z), exact far into the tail
double normal_quantile(double q);                       // z with Phi(z) = q
double chi_squared_cdf(double x, double freedom);       // lower tail
double chi_squared_quantile(double q, double freedom);  // x with lower tail q

// The root of `f` in [low, high], where f(low) <= 0 <= f(high) and f is continuous; to
// within a few units in the last place.
double root_between(const std::function<double(double)>& f, double low, double high);

// The root of an increasing `f` in [low, high] by Newton's method from `guess`; `f` returns
// its value and its derivative.
double newton_root(const std::function<std::pair<double, double>(double)>& f, double guess,
                   double low, double high);

// The observed series of `analysis.settings`: its m, u and P in the summary, its fitted trend,
// its tests and the detectable trend.
void analyse_observed(const EventSeries& events, Analysis& analysis);

// The simulated magnitudes of a study drawn ahead on a second thread (series_ahead.cpp).
struct SeriesAhead {
    std::size_t width = 0;         // events a series
    std::size_t block_series = 0;  // series a block
    std::array<std::vector<double>, 2> blocks;
    std::array<std::size_t, 2> filled{};  // series drawn into each block, 0 while it is free
    std::size_t slot = 0;                 // the caller's block
    std::size_t available = 0;            // series in it
    std::size_t position = 0;             // the next of them
    bool stopping = false;
    // Set when no second thread could be started: the caller draws each series itself.
    const EventSeries* drawn_here = nullptr;
    std::mutex mutex;
    std::condition_variable changed;
    std::thread drawer;
    ~SeriesAhead();  // stops the drawer and waits for it
};
// Starts drawing the series of `settings` from a freshly started generator; `events` and
// `settings` must outlive `ahead`.
void start_drawing(SeriesAhead& ahead, const EventSeries& events, const StudySettings& settings);
// The magnitudes of the next series, valid until the call after next.
std::span<const double> next_series(SeriesAhead& ahead);

// The simulated series as the results file shows them.
struct SummaryAccumulator {
    Summary summary;
    SimulatedValues values;
    double u_sum = 0.0;  // binned: the moments, by Welford's updating for the deviation
    double u_welford_mean = 0.0;
    double u_welford_squares = 0.0;
};

SummaryAccumulator begin_summary(const EventSeries& events, const StudySettings& settings);
// A record's u and P as the file shows them, or (`exact` false) u and P themselves.
void add_record(SummaryAccumulator& acc, double u, double p, bool exact, std::int32_t m);
// Counts the record as a mismatch unless it shows the recomputed test.
void check_record(Summary& summary, std::size_t k, double u, double p, const TrendTest& test);
void finish_summary(SummaryAccumulator& acc);

// The binned sweeps (FastSweep): set up once, then one series at a time.
void begin_binned_sweeps(SweepAccumulator& sweeps, std::span<const double> times);
void add_binned_series(SweepAccumulator& sweeps, std::span<const double> times,
                       std::span<const double> magnitudes);
// The points' counts and histograms, before their shares and quantiles.
void finish_binned_sweeps(SweepAccumulator& sweeps);

// Which trend tests find P < 0.05 in many series: the same answers as comparing
// trend_test_statistics' P with 0.05, with a distribution function evaluated only where a
// statistic lies within a hair of its critical value.
struct TestDecider {
    double start = 0.0;
    double end = 0.0;
    double normal_critical = 0.0;              // 1 - Phi(z) = 0.05
    std::vector<double> chi_squared_critical;  // per m, the 0.05 quantile of chi-square(2m)
    std::vector<double> gaps;                  // working space
};
TestDecider make_test_decider(double start, double end);
std::array<bool, trend_test_count> tests_below_05(TestDecider& decider,
                                                  std::span<const double> times,
                                                  const TrendTest& cox_lewis);

// A file being written under a temporary name beside its target, renamed into place together
// with the report's other files once all are whole; removed when anything fails or a signal
// ends the process.
struct TemporaryFile {
    std::filesystem::path path;    // the temporary name; empty once committed or discarded
    std::filesystem::path target;  // the final name
    int fd = -1;
};
// True when the report may write `target`: nothing is there, or a regular file, or a link to
// one or to nothing (the link itself is replaced, never written through). Anything else (a
// directory, device, FIFO, socket or a link to one) is refused with `error`.
bool check_output_target(const std::filesystem::path& target, std::string& error);
// Creates the temporary file exclusively, under a fresh name in the target's directory. Its
// mode is the permission bits of the regular file it will replace, or 0666 less the umask.
bool create_temporary(const std::filesystem::path& target, TemporaryFile& file, std::string& error);
// Discards the file when it fails.
bool write_temporary(TemporaryFile& file, std::string_view bytes, std::string& error);
// Renames every file into place, once each is closed and its target checked again; otherwise
// none is, and all are discarded. The error says which files, if any, were already in place.
bool commit_together(const std::vector<TemporaryFile*>& files, std::string& error);
void discard_temporary(TemporaryFile& file);
// Blocks in the calling thread the signals that remove the temporary files, so that their
// handler runs on the thread that makes and forgets them: for the report's helper threads.
void leave_ending_signals_to_others();
// Holds off, while it lives, the signals that end the report; `previous` is the mask before.
struct EndingSignalsHeld {
    sigset_t previous{};
    EndingSignalsHeld();
    ~EndingSignalsHeld();
    EndingSignalsHeld(const EndingSignalsHeld&) = delete;
    EndingSignalsHeld& operator=(const EndingSignalsHeld&) = delete;
};
// The child process running now (0: none), sent SIGTERM when a signal ends the report. Set
// and cleared with the ending signals held, and cleared before the child is reaped.
void watch_child(pid_t pid);

// A study's results file in the program's format, written record by record.
struct ResultsWriter {
    TemporaryFile file;
    std::string buffer;  // records not yet written out
};
bool begin_results(const std::filesystem::path& path, ResultsWriter& writer, std::string& error);
// Writes the record of (u, P) and gives the values that a reader of the file finds in it
// (`read_back`), or u and P themselves.
bool write_record(ResultsWriter& writer, double u, double p, bool read_back, double& file_u,
                  double& file_p, std::string& error);
// Writes out the records still held; the file is then whole, to be committed.
bool finish_results(ResultsWriter& writer, std::string& error);

// A progress bar on standard error for `series` series of `events` events, drawn only when
// standard error is a terminal and the work is expected to take more than about a second;
// none otherwise. Called with the series count at the end, it clears its line.
ProgressStep progress_bar(std::size_t series, std::size_t events);

// series.csv written row by row, for any number of series.
struct SeriesTableWriter {
    TemporaryFile file;
    std::string buffer;  // rows not yet written out
};
bool begin_series_table(const std::filesystem::path& directory, SeriesTableWriter& writer,
                        std::string& error);
bool add_series_row(SeriesTableWriter& writer, std::size_t series, const TrendTest& test,
                    double rate_ratio, std::string& error);
// Writes out the rows still held; the file is then whole, to be committed.
bool finish_series_table(SeriesTableWriter& writer, std::string& error);

// The converter that --png runs, found on PATH; empty when there is none.
std::filesystem::path find_converter();
// Turns the whole SVG figure in `svg` into a PNG in `png`, both temporary files: the converter
// reads the one on its standard input and writes the other on its standard output. False,
// with `error` saying why, when it cannot be started or fails.
bool convert_to_png(const std::filesystem::path& converter, TemporaryFile& svg, TemporaryFile& png,
                    std::string& error);

// Every check on the files the report will write, made before any input is read: none may
// replace an input, the program's own files or another output, each must be writable as
// check_output_target says, and --png needs its converter (`converter`).
bool check_outputs(const ReportPaths& paths, const ReportOptions& options,
                   std::filesystem::path& converter, std::string& error);

}  // namespace zorvi::report::detail
