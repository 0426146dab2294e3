// zorvi-report: run in the directory of a finished zorvi run; prints the analysis of the
// simulated series (text or JSON), writes the figure Zorvireport.svg and, when asked, the
// tables as CSV files.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <array>
#include <cctype>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <exception>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.hpp"
#include "textio/textio.hpp"

namespace {

constexpr int status_usage = 2;

// Any of these asks for a study of one's own.
constexpr std::array<const char*, 7> study_option_names = {
    "--data", "--columns", "--threshold", "--interval", "--series", "--seed", "--results"};

constexpr std::string_view description =
    "Without study options: run in the directory of a finished zorvi run. Reads Zorviresult.dat\n"
    "and the data file Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat (neither is changed),\n"
    "recomputes the observed m, u and P and the simulated series with zorvi's own code, prints\n"
    "the analysis and writes the figure Zorvireport.svg.\n"
    "\n"
    "With any of --data, --columns, --threshold, --interval, --series, --seed or --results: a\n"
    "study of one's own. The report simulates the series itself, with zorvi's generator,\n"
    "selection and test, on the events of --data (any number; default the data file above),\n"
    "writes their u and P to its own results file in zorvi's format, and prints the same\n"
    "analysis. Unset options take zorvi's values: threshold 113, interval 1980.417 to\n"
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
    "simulation; no random numbers are drawn for it.\n"
    "\n"
    "Which events decide: every event's share of the simulated series that select it, beside\n"
    "its selection probability Phi((x - 113) / sx), and the expected m, their sum.\n"
    "\n"
    "Sensitivity: the observed test and every simulated series (the very same magnitudes) at\n"
    "every whole threshold from 64 to 137 kt, the category bounds 64, 83, 96, 113 and 137\n"
    "marked, over the run's interval; and at starts a year apart from 1980.417, up to the last\n"
    "that leaves ten years to 2018.917, at 113 kt (events before a start dropped). Each point\n"
    "gives the observed m, u and P, the share of series with P < 0.05 with its Wilson interval,\n"
    "and the 2.5, 50 and 97.5 % quantiles of the simulated P. The summary's tables show every\n"
    "5th threshold, the category bounds and every 5th start.\n"
    "\n"
    "The figure has eight panels: the histogram of the simulated u and the distribution of the\n"
    "simulated P; the cumulative count of the observed selected events against time, with the\n"
    "constant-rate line, the fitted log-linear curve and the simulated series' 2.5 to 97.5 %\n"
    "band; each event's selection share; and P and the share with P < 0.05 along both sweeps.\n"
    "--png also writes it as a PNG with rsvg-convert (Debian package librsvg2-bin).\n"
    "\n"
    "A study's data file holds three numbers per event (time in decimal years, magnitude,\n"
    "standard error) in zorvi's free format, or, when its name ends in .csv or --columns is\n"
    "given, a CSV table with a header row naming the columns. Every time must lie within the\n"
    "interval; a standard error must be finite and not negative. For data other than the\n"
    "shipped table the threshold sweep runs over the whole units of the magnitudes' range (at\n"
    "most 200 points). With more than 100000 series the quantiles come from fine histograms\n"
    "(the summary gives their bins); counts and shares stay exact, and memory does not grow\n"
    "with the number of series. A progress bar is drawn on standard error when it is a\n"
    "terminal and the work is long.\n"
    "\n"
    "--json prints the same analysis as one JSON document; numbers are full-precision doubles,\n"
    "and a value that is undefined (NaN) or infinite is null; the sweeps are sweeps.threshold\n"
    "and sweeps.start_year. --csv DIR writes tests.csv, events.csv, m_counts.csv, series.csv,\n"
    "sweep_threshold.csv and sweep_start_year.csv into DIR (made when missing); an empty cell\n"
    "is a missing value.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read or is malformed or an output\n"
    "cannot be written, 2 for an unknown or malformed option.\n";

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

// The options of a study of one's own, before they are checked.
struct StudyArguments {
    std::string data;
    std::vector<std::string> columns;
    double threshold = 0.0;
    std::vector<double> interval;
    double series = 0.0;
    std::int32_t seed = 0;
    std::string results = std::string(zorvi::report::study_results_file_name);
};

// A column name as the header's cells are compared: without blanks around it, so that
// --columns "when, Mw, se" names the columns when, Mw and se.
std::string column_name(const std::string& name) {
    const std::size_t first = name.find_first_not_of(" \t");
    if (first == std::string::npos) return {};
    return name.substr(first, name.find_last_not_of(" \t") - first + 1);
}

bool ends_with_csv(std::string name) {
    std::transform(name.begin(), name.end(), name.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return name.size() >= 4 && name.compare(name.size() - 4, 4, ".csv") == 0;
}

// The study the options ask for, with the program's values where they are silent. False,
// with `error`, for a series count that is not a whole number in range.
bool study_options(const CLI::App& app, const StudyArguments& arguments,
                   zorvi::report::StudyOptions& study, zorvi::report::ReportPaths& paths,
                   std::string& error) {
    for (const char* name : study_option_names)
        study.requested = study.requested || app.count(name) > 0;
    if (!study.requested) return true;
    zorvi::report::StudySettings& settings = study.settings;
    if (app.count("--threshold") > 0) settings.threshold = arguments.threshold;
    if (app.count("--interval") > 0) {
        settings.start = arguments.interval[0];
        settings.end = arguments.interval[1];
    }
    if (app.count("--seed") > 0) settings.seed = arguments.seed;
    if (app.count("--series") > 0) {
        const double n = arguments.series;
        if (!(n >= 1 && n <= static_cast<double>(zorvi::report::max_series) &&
              std::floor(n) == n)) {
            error = "--series: the number of series must be a whole number from 1 to " +
                    std::to_string(zorvi::report::max_series);
            return false;
        }
        settings.series = static_cast<std::size_t>(n);
    }
    if (app.count("--data") > 0) paths.data = arguments.data;
    if (app.count("--columns") > 0) {
        study.columns = {column_name(arguments.columns[0]), column_name(arguments.columns[1]),
                         column_name(arguments.columns[2])};
    }
    study.csv = app.count("--columns") > 0 || ends_with_csv(paths.data.filename().string());
    paths.results = arguments.results;
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    // Closed standard streams are connected to /dev/null first, so that no file written later
    // takes their place, and a write beyond the file-size limit fails instead of ending the
    // process.
    zorvi::textio::start(argc, argv);

    CLI::App app(std::string(description), "zorvi-report");
    app.footer(std::string(footer));
    app.set_version_flag("--version", "zorvi-report " ZORVI_VERSION);

    zorvi::report::ReportOptions options;
    bool no_figure = false;
    std::string csv_directory;
    StudyArguments study;
    app.add_flag("--json", options.json, "Print the analysis as one JSON document");
    app.add_option("--csv", csv_directory, "Write the tables as CSV files into DIR")
        ->type_name("DIR");
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
                   "time_decimal_year,max_wind_kt,stderr_kt)")
        ->type_name("TIME,MAG,SE")
        ->expected(3)
        ->delimiter(',');
    app.add_option("--threshold", study.threshold, "A study: the lowest magnitude selected")
        ->type_name("X");
    app.add_option("--interval", study.interval, "A study: the test's interval, decimal years")
        ->type_name("A B")
        ->expected(2);
    app.add_option("--series", study.series, "A study: the number of simulated series")
        ->type_name("N");
    app.add_option("--seed", study.seed, "A study: the seed word of the program's generator")
        ->type_name("S");
    app.add_option("--results", study.results,
                   "A study: its results file (default study-results.dat)")
        ->type_name("FILE");

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForHelp&) {
        print(stdout, app.help());
        return 0;
    } catch (const CLI::CallForVersion&) {
        print(stdout, app.version());
        print(stdout, "\n");
        return 0;
    } catch (const CLI::ParseError& error) {
        print(stderr, "zorvi-report: ");
        print(stderr, error.what());
        print(stderr, "\nRun with --help for the options.\n");
        return status_usage;
    }
    options.figure = !no_figure;
    options.csv_directory = csv_directory;
    options.progress = true;  // when standard error is a terminal and the work is long

    zorvi::report::ReportPaths paths = zorvi::report::paths_in({});  // the working directory
    std::string error;
    if (!study_options(app, study, options.study, paths, error)) {
        print(stderr, "zorvi-report: " + error + "\n");
        return zorvi::report::status_failed;
    }
    // An exception ends the report like any failure: the files begun are given up as the stack
    // unwinds, where an uncaught one would leave them behind.
    zorvi::report::ReportOutcome outcome;
    outcome.status = zorvi::report::status_failed;
    try {
        outcome = zorvi::report::run_report(paths, options);
    } catch (const std::bad_alloc&) {
        outcome.error = "out of memory";
    } catch (const std::exception& exception) {
        outcome.error = exception.what();
    }
    // A summary longer than the stream's buffer is written at once: a failure shows in the
    // stream's error flag, not in the flush. A report whose files could not be written still
    // gives its summary, before the error that ends it.
    errno = 0;
    print(stdout, outcome.summary);
    const bool printed = std::fflush(stdout) == 0 && std::ferror(stdout) == 0;
    if (outcome.status != 0) {
        print(stderr, "zorvi-report: ");
        print(stderr, outcome.error);
        print(stderr, "\n");
        return outcome.status;
    }
    if (printed) return 0;
    const int reason = errno;
    print(stderr, "zorvi-report: cannot write the analysis to standard output");
    print(stderr, reason == 0 ? std::string() : std::string(": ") + std::strerror(reason));
    print(stderr, "\n");
    return zorvi::report::status_failed;
}
