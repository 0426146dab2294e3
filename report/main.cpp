// zorvi-report: run in the directory of a finished zorvi run; prints the analysis of the
// simulated series (text or JSON), writes the figure Zorvireport.svg and, when asked, the
// tables as CSV files.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>
#include <string_view>

#include "report/report.hpp"

namespace {

constexpr int status_usage = 2;

constexpr std::string_view description =
    "Run in the directory of a finished zorvi run. Reads Zorviresult.dat and the data file\n"
    "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat (neither is changed), recomputes the\n"
    "observed m, u and P and the simulated series with zorvi's own code, prints the analysis\n"
    "and writes the figure Zorvireport.svg.\n";

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
    "--json prints the same analysis as one JSON document; numbers are full-precision doubles,\n"
    "and a value that is undefined (NaN) or infinite is null. --csv DIR writes tests.csv,\n"
    "events.csv, m_counts.csv and series.csv into DIR (made when missing); an empty cell is a\n"
    "missing value.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read or is malformed or an output\n"
    "cannot be written, 2 for an unknown or malformed option.\n";

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

int main(int argc, char** argv) {
    CLI::App app(std::string(description), "zorvi-report");
    app.footer(std::string(footer));
    app.set_version_flag("--version", "zorvi-report " ZORVI_VERSION);

    zorvi::report::ReportOptions options;
    bool no_figure = false;
    std::string csv_directory;
    app.add_flag("--json", options.json, "Print the analysis as one JSON document");
    app.add_option("--csv", csv_directory, "Write the tables as CSV files into DIR")
        ->type_name("DIR");
    app.add_flag("--no-figure", no_figure, "Do not write Zorvireport.svg");

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

    const zorvi::report::ReportOutcome outcome =
        zorvi::report::run_report(zorvi::report::paths_in({}), options);  // the working directory
    if (outcome.status != 0) {
        print(stderr, "zorvi-report: ");
        print(stderr, outcome.error);
        print(stderr, "\n");
        return outcome.status;
    }
    print(stdout, outcome.summary);
    return std::fflush(stdout) == 0 ? 0 : zorvi::report::status_failed;
}
