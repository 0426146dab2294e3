// zorvi-report's command line, read strictly: every number whole as written, in the form its
// option takes, and the values checked against what each option allows.
#include "report/options.hpp"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <limits>
#include <new>
#include <optional>
#include <string_view>
#include <vector>

#include "report/option_values.hpp"
#include "zorvi/sweeps/sweeps.hpp"
#include "zorvi/text/messages.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi::report {
namespace {

// Any of these asks for a study of one's own.
constexpr std::array<const char*, 9> study_option_names = {"--data",   "--columns",   "--se",
                                                           "--labels", "--threshold", "--interval",
                                                           "--series", "--seed",      "--results"};

constexpr std::string_view description =
    "Without study options: run in the directory of a finished zorvi run. Reads Zorviresult.dat\n"
    "and the data file Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat (neither is changed),\n"
    "recomputes the observed m, u and P and the simulated series with zorvi's own code, prints\n"
    "the analysis and writes the figure Zorvireport.svg.\n"
    "\n"
    "With any of --data, --columns, --se, --labels, --threshold, --interval, --series, --seed\n"
    "or --results: a study of one's own. The report simulates the series itself, with zorvi's\n"
    "generator, selection and test, on the events of --data (any number; default the data\n"
    "file above), writes their u and P to its own results file in zorvi's format, and prints\n"
    "the same analysis. Unset options take zorvi's values: threshold 113, interval 1980.417 to\n"
    "2018.917, 2000 series, seed -206761862.\n";

constexpr std::string_view footer =
    "The analysis gives the number of series and how many had no selected event (NaN); the\n"
    "observed m, u and P; the mean, standard deviation (divisor n - 1) and 2.5, 50 and 97.5 %\n"
    "quantiles of the simulated u (linear interpolation between order statistics, type 7); the\n"
    "shares of all series with P < 0.05 and P < 0.10 with Wilson score 95 % intervals; the\n"
    "critical |u| at which the one-sided P is 0.05; the distribution of the number of selected\n"
    "events m over the series; and whether the results file agrees with the recomputation.\n"
    "\n"
    "The size of the trend: the rate lambda0 exp(beta t) fitted by maximum likelihood to the\n"
    "selected times given m, over the test's interval, as beta per year and the rate ratio per\n"
    "decade exp(10 beta), with a 95 % profile-likelihood interval; for the simulated series the\n"
    "median and 2.5 and 97.5 % quantiles of the rate ratio.\n"
    "\n"
    "Other tests on the observed series, each with the share of simulated series whose P is\n"
    "below 0.05: the Cox-Lewis test's two-sided P; MIL-HDBK-189 (2 sum ln((b - a) / (t - a)),\n"
    "chi-square with 2m degrees of freedom, P its lower tail for an increasing rate, and the\n"
    "shape m / sum ln((b - a) / (t - a))); Lewis-Robinson (u divided by the coefficient of\n"
    "variation of the gaps between successive times, normal P).\n"
    "\n"
    "Power: the rate ratio per decade that the one-sided Cox-Lewis test at 0.05 detects (u\n"
    "above the critical value) with probability 0.8, given the observed m. It is computed\n"
    "exactly, from the distribution of the sum of m times under a log-linear rate, not by\n"
    "simulation, up to m = 1000; beyond, from the normal approximation to that sum (the summary\n"
    "says which). No random numbers are drawn for it.\n"
    "\n"
    "Which events decide: every event's share of the simulated series that select it, beside\n"
    "its selection probability Phi((x - 113) / sx), and the expected m, their sum.\n"
    "\n"
    "Sensitivity: the observed test and every simulated series (the very same magnitudes) at\n"
    "every whole threshold from 64 to 137 kt, the category bounds 64, 83, 96, 113 and 137\n"
    "marked, over the run's interval; and at starts a year apart from 1980.417, up to the last\n"
    "that leaves ten years to 2018.917 (for a record too long for 200 starts a year apart, 2,\n"
    "5, 10, ... years apart), at 113 kt (events before a start dropped). Each point gives the\n"
    "observed m, u and P, the share of series with P < 0.05 with its Wilson interval, and the\n"
    "2.5, 50 and 97.5 % quantiles of the simulated P. The summary's tables show every 5th\n"
    "threshold, the category bounds and every 5th start.\n"
    "\n"
    "The figure has eight panels: the histogram of the simulated u and the distribution of the\n"
    "simulated P; the cumulative count of the observed selected events against time, with the\n"
    "constant-rate line, the fitted log-linear curve and the simulated series' 2.5 to 97.5 %\n"
    "band; each event's selection share; and P and the share with P < 0.05 along both sweeps.\n"
    "--png also writes it as a PNG with rsvg-convert (Debian package librsvg2-bin).\n"
    "\n"
    "A study's data file holds three numbers per event (time in decimal years, magnitude,\n"
    "standard error) in zorvi's free format, or, when its name ends in .csv or --columns is\n"
    "given, a CSV table with a header row naming the columns. A table's times may be ISO 8601\n"
    "dates or date-times instead (2017-08-26, 2024-01-01T07:10:09.476Z, 1985-09-27T11:00-05:00;\n"
    "UTC without a zone), read as the UTC year plus its share passed, in seconds; --se X gives\n"
    "the events without a standard error (no such column, or an empty cell) the error X. The\n"
    "events are named by the column --labels names, or else by a column called name; a label\n"
    "shows at most 40 characters, control characters escaped. Every\n"
    "time must lie within the interval; a standard error must be finite and not negative. For data "
    "other than the\n"
    "shipped table the threshold sweep runs over the magnitudes' range in steps of 1, 2 or\n"
    "5x10^k, 50 to 200 points with the threshold among them, and marks no classes unless\n"
    "--classes gives them; --sweep-thresholds and --sweep-starts give grids of one's own (at\n"
    "most 1000 points). With more than 100000 series the quantiles come from fine histograms\n"
    "(the summary gives their bins); counts and shares stay exact, and memory does not grow\n"
    "with the number of series. A progress bar is drawn on standard error when it is a\n"
    "terminal and the work is long.\n"
    "\n"
    "--error-model posterior (a study) draws each event's true magnitude given its\n"
    "observation instead of moving the observation by its error a second time: true\n"
    "magnitudes above the floor L (--floor) follow an exponential of scale theta\n"
    "(--prior-scale; by default the mean excess of the magnitudes over L), so that each is a\n"
    "normal of mean x - sx^2 / theta and deviation sx truncated below at L, drawn from the\n"
    "program's own deviates. The summary, JSON, error_models.csv and one more figure panel\n"
    "then set both models side by side on the same seed, with the posterior model at 0.5,\n"
    "0.75, 1, 1.5 and 2 theta and the observed model (--prior-scale inf) as the last point.\n"
    "\n"
    "Clustering: the selected events counted in bins of --bin-width W (default 1) from the\n"
    "interval's start, the log-linear rate fitted to the counts by Poisson regression, and the\n"
    "dispersion of the counts around it (Pearson chi-square, phi = chi2 / (K - 2) and its\n"
    "chi-square test), the bins with 0, 1, 2 and 3 or more events observed and expected, and\n"
    "the lag-1 autocorrelation of the residuals; trend tests that allow for clustering\n"
    "(quasi-Poisson, negative binomial, permutation of the bins); over the simulated series the\n"
    "median phi and the shares that are overdispersed or find a quasi-Poisson P < 0.05; and phi\n"
    "and the quasi-Poisson P at every sweep point.\n"
    "\n"
    "--json prints the same analysis as one JSON document; numbers are full-precision doubles,\n"
    "and a value that is undefined (NaN) or infinite is null; the sweeps are sweeps.threshold\n"
    "and sweeps.start_year. --csv DIR writes tests.csv, events.csv, m_counts.csv, series.csv,\n"
    "sweep_threshold.csv, sweep_start_year.csv and bins.csv into DIR (made when missing); an\n"
    "empty cell is a missing value. --html FILE writes the whole report as one self-contained\n"
    "HTML page: the answer in plain words, then every section with its tables and the figure's\n"
    "panels.\n"
    "\n"
    "Numbers in options are read whole: X is a decimal number (113, 6.5, 1.2e2), A and B\n"
    "decimal numbers or ISO 8601 times, N and S whole numbers in digits; the generator starts\n"
    "from |S|, so S and -S give the same series. A path may not be empty.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read or is malformed, a value is\n"
    "out of range, an output cannot be written or memory runs out, 2 for an unknown or\n"
    "malformed option (a value not in its option's form).\n";

// The options of a study of one's own as written, before they are read and checked.
struct StudyArguments {
    std::string data;
    std::string columns;
    std::string standard_error;
    std::string labels;
    std::string threshold;
    std::vector<std::string> interval;
    std::string series;
    std::string seed;
    std::string results = std::string(study_results_file_name);
    std::string error_model;
    std::string floor;
    std::string prior_scale;
};

// The error model and its floor and prior scale; the posterior model asks for a study.
bool error_model_options(const CLI::App& app, const StudyArguments& arguments, StudyOptions& study,
                         Refusal& refusal) {
    const auto given = [&](const char* name) { return app.count(name) > 0; };
    StudySettings& settings = study.settings;
    if (given("--error-model")) {
        if (arguments.error_model == "posterior") {
            settings.error_model = ErrorModel::posterior;
        } else if (arguments.error_model != "observed") {
            refusal =
                malformed("--error-model: " + detail::quoted_for_message(arguments.error_model) +
                          " is not an error model; use observed or posterior");
            return false;
        }
    }
    const bool posterior = settings.error_model == ErrorModel::posterior;
    for (const char* name : {"--floor", "--prior-scale"}) {
        if (given(name) && !posterior) {
            refusal = malformed(std::string(name) + " applies to --error-model posterior only");
            return false;
        }
    }
    if (given("--floor")) {
        if (!read_decimal(arguments.floor, "--floor", "floor", "64 or 6.5", settings.floor,
                          refusal))
            return false;
        if (!std::isfinite(settings.floor)) {
            refusal = {status_failed, "--floor: the floor must be a finite number"};
            return false;
        }
    }
    if (given("--prior-scale") &&
        !read_prior_scale(arguments.prior_scale, settings.prior_scale, refusal))
        return false;
    study.requested = study.requested || posterior;
    return true;
}

// The column that labels the events: a name, of a CSV table's column.
bool label_option(const std::string& column, bool csv, const std::filesystem::path& data,
                  std::string& labels, Refusal& refusal) {
    if (column.empty()) {
        refusal = malformed("--labels: the column name is empty; name the column of the labels");
        return false;
    }
    if (!csv) {
        refusal = malformed(free_format_labels_problem(data.string()));
        return false;
    }
    labels = column;
    return true;
}

// The study the options ask for, with the program's values where they are silent.
bool study_options(const CLI::App& app, const StudyArguments& arguments, StudyOptions& study,
                   ReportPaths& paths, Refusal& refusal) {
    const auto given = [&](const char* name) { return app.count(name) > 0; };
    for (const char* name : study_option_names)
        study.requested = study.requested || given(name);
    if (!study.requested) return true;
    StudySettings& settings = study.settings;
    if (given("--threshold") && !read_decimal(arguments.threshold, "--threshold", "threshold",
                                              "113 or 6.5", settings.threshold, refusal))
        return false;
    if (given("--interval") && (!read_time(arguments.interval[0], "--interval", "start",
                                           "1980.417 or 1980-06-01", settings.start, refusal) ||
                                !read_time(arguments.interval[1], "--interval", "end",
                                           "2018.917 or 2018-12-01", settings.end, refusal)))
        return false;
    double number = 0.0;
    if (given("--series")) {
        if (!read_whole(arguments.series, "--series", "number of series", 1, max_series, number,
                        refusal))
            return false;
        settings.series = static_cast<std::size_t>(number);
    }
    if (given("--seed")) {
        if (!read_whole(arguments.seed, "--seed", "seed", std::numeric_limits<std::int32_t>::min(),
                        std::numeric_limits<std::int32_t>::max(), number, refusal))
            return false;
        settings.seed = static_cast<std::int32_t>(number);
    }
    CsvReading& reading = study.reading;
    if (given("--se") &&
        !read_standard_error(arguments.standard_error, reading.given_error, refusal))
        return false;
    if (given("--columns") &&
        !read_columns(arguments.columns, given("--se"), reading.columns, refusal))
        return false;
    if (given("--data")) paths.data = arguments.data;
    study.csv = given("--columns") || names_csv_file(paths.data);
    if (given("--labels") &&
        !label_option(arguments.labels, study.csv, paths.data, reading.labels, refusal))
        return false;
    paths.results = arguments.results;
    return true;
}

// The sweeps' grids and the classes as written: three numbers each, a list of bounds.
struct SweepArguments {
    std::vector<std::string> thresholds;
    std::vector<std::string> starts;
    std::string classes;
    std::string bin_width;
};

// Every option that names a file or directory: an empty value names none, and is malformed.
bool paths_named(const CLI::App& app, const std::vector<std::pair<const char*, std::string>>& paths,
                 Refusal& refusal) {
    for (const auto& [name, value] : paths) {
        if (app.count(name) == 0 || !value.empty()) continue;
        refusal = malformed(std::string(name) + ": the path is empty; name a file or directory");
        return false;
    }
    return true;
}

// The sweeps and classes the options give, for a study or a finished run alike.
bool sweep_options(const CLI::App& app, const SweepArguments& arguments, StudySettings& settings,
                   Refusal& refusal) {
    const auto given = [&](const char* name) { return app.count(name) > 0; };
    if (given("--sweep-thresholds") && !read_grid(arguments.thresholds, "--sweep-thresholds",
                                                  "5 or 0.05", settings.threshold_sweep, refusal))
        return false;
    if (given("--sweep-starts") && !read_grid(arguments.starts, "--sweep-starts", "5",
                                              settings.start_sweep, refusal, "1980 or 1980-06-01"))
        return false;
    if (given("--classes")) {
        if (!read_classes(arguments.classes, settings.class_bounds, refusal)) return false;
        settings.own_classes = true;
    }
    if (given("--bin-width")) {
        if (!read_decimal(arguments.bin_width, "--bin-width", "bin width", "1 or 0.5",
                          settings.bin_width, refusal))
            return false;
        settings.bin_width_given = true;  // its range is checked with the interval
    }
    return true;
}

// The message of a refused command line, as printed.
std::string refusal_text(const Refusal& refusal) {
    std::string text = "zorvi-report: " + refusal.message + "\n";
    if (refusal.status == status_usage) text += "Run with --help for the options.\n";
    return text;
}

}  // namespace

CommandLine parse_report_options(int argc, const char* const* argv, const ReportPaths& defaults) {
    CLI::App app(std::string(description), "zorvi-report");
    app.footer(std::string(footer));
    app.set_version_flag("--version", "zorvi-report " ZORVI_VERSION);

    CommandLine line;
    line.paths = defaults;
    ReportOptions& options = line.options;
    bool no_figure = false;
    std::string csv_directory;
    std::string html;
    StudyArguments study;
    app.add_flag("--json", options.json, "Print the analysis as one JSON document");
    app.add_option("--csv", csv_directory, "Write the tables as CSV files into DIR")
        ->type_name("DIR");
    app.add_option("--html", html, "Write the whole report as one HTML page into FILE")
        ->type_name("FILE");
    CLI::Option* no_figure_flag =
        app.add_flag("--no-figure", no_figure, "Do not write Zorvireport.svg");
    app.add_flag("--png", options.png,
                 "Also write the figure as Zorvireport.png, through rsvg-convert")
        ->excludes(no_figure_flag);
    app.add_option("--data", study.data,
                   "A study: the events of FILE (free format, or CSV when it ends in .csv)")
        ->type_name("FILE");
    app.add_option("--columns", study.columns,
                   "The CSV columns of time, magnitude and standard error (default "
                   "time_decimal_year,max_wind_kt,stderr_kt); TIME,MAG with --se")
        ->type_name("TIME,MAG,SE");
    app.add_option("--se", study.standard_error,
                   "A study: the standard error of every event whose table gives none (no "
                   "error column, or an empty cell)")
        ->type_name("X");
    app.add_option("--labels", study.labels,
                   "A study: the CSV column that names each event (default: a column called "
                   "name, when there is one)")
        ->type_name("COLUMN");
    app.add_option("--threshold", study.threshold, "A study: the lowest magnitude selected")
        ->type_name("X");
    app.add_option("--interval", study.interval,
                   "A study: the test's interval, decimal years or ISO 8601 dates or date-times")
        ->type_name("A B")
        ->expected(2);
    app.add_option("--series", study.series, "A study: the number of simulated series")
        ->type_name("N");
    app.add_option("--seed", study.seed,
                   "A study: the generator's seed word, -2147483648 to 2147483647")
        ->type_name("S");
    SweepArguments sweeps;
    app.add_option("--sweep-thresholds", sweeps.thresholds,
                   "The threshold sweep's points: LOW, LOW + STEP, ... up to HIGH (at most " +
                       std::to_string(max_given_sweep_points) + ")")
        ->type_name("LOW HIGH STEP")
        ->expected(3);
    app.add_option("--sweep-starts", sweeps.starts,
                   "The start sweep's points: FIRST, FIRST + STEP, ... up to LAST, within the "
                   "interval (at most " +
                       std::to_string(max_given_sweep_points) + ")")
        ->type_name("FIRST LAST STEP")
        ->expected(3);
    app.add_option("--classes", sweeps.classes,
                   "Class bounds marked on the threshold sweep, rising (default: the hurricane "
                   "categories for the shipped table, none for other data)")
        ->type_name("A,B,...");
    app.add_option("--bin-width", sweeps.bin_width,
                   "The width of the bins the clustering check counts events in, from the "
                   "interval's start (default 1, a year)")
        ->type_name("W");
    app.add_option("--results", study.results,
                   "A study: its results file (default study-results.dat)")
        ->type_name("FILE");
    app.add_option("--error-model", study.error_model,
                   "observed (default: each observed magnitude moved by its error) or posterior "
                   "(each true magnitude drawn given its observation; a study)")
        ->type_name("MODEL");
    app.add_option("--floor", study.floor,
                   "Posterior: the lowest true magnitude L (default: the smallest magnitude)")
        ->type_name("X");
    app.add_option("--prior-scale", study.prior_scale,
                   "Posterior: the exponential scale of true magnitudes above L, or inf "
                   "(default: the mean excess over L)")
        ->type_name("X");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        // The help is composed in a string stream, which stops taking text without a word when
        // it cannot grow: a help without its footer, the last part, was cut for want of memory.
        line.out = app.help();
        if (line.out.find(footer) == std::string::npos) throw std::bad_alloc();
        return line;
    } catch (const CLI::CallForVersion&) {
        line.out = app.version() + "\n";
        return line;
    } catch (const CLI::ParseError& error) {
        line.status = status_usage;
        line.error = refusal_text(malformed(error.what()));
        return line;
    }
    options.figure = !no_figure;
    options.csv_directory = csv_directory;
    options.html = html;
    Refusal refusal;
    if (!paths_named(app,
                     {{"--csv", csv_directory},
                      {"--data", study.data},
                      {"--results", study.results},
                      {"--html", html}},
                     refusal) ||
        !error_model_options(app, study, options.study, refusal) ||
        !study_options(app, study, options.study, line.paths, refusal) ||
        !sweep_options(app, sweeps, options.study.settings, refusal)) {
        line.status = refusal.status;
        line.error = refusal_text(refusal);
        return line;
    }
    line.run = true;
    return line;
}

}  // namespace zorvi::report
