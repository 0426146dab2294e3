// zorvi-report: run in the directory of a finished zorvi run; prints a summary of the
// simulated series and writes the figure Zorvireport.svg.
#include <cstdio>
#include <string_view>

#include "report/report.hpp"

namespace {

constexpr int status_usage = 2;

constexpr std::string_view usage =
    "usage: zorvi-report [--help]\n"
    "\n"
    "Run in the directory of a finished zorvi run. Reads Zorviresult.dat and the data file\n"
    "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat (neither is changed), recomputes the\n"
    "observed m, u and P and the simulated series with zorvi's own code, prints a summary and\n"
    "writes the figure Zorvireport.svg.\n"
    "\n"
    "The summary gives the number of series and how many had no selected event (NaN); the\n"
    "observed m, u and P; the mean, standard deviation (divisor n - 1) and 2.5, 50 and 97.5 %\n"
    "quantiles of the simulated u (linear interpolation between order statistics, type 7); the\n"
    "shares of all series with P < 0.05 and P < 0.10 with Wilson score 95 % intervals; the\n"
    "critical |u| at which the one-sided P is 0.05; the distribution of the number of selected\n"
    "events m over the series; and whether the results file agrees with the recomputation.\n"
    "\n"
    "Exit status: 0 on success, 1 when an input cannot be read or is malformed or the figure\n"
    "cannot be written, 2 for an unknown argument.\n";

void print(std::FILE* stream, std::string_view text) {
    std::fwrite(text.data(), 1, text.size(), stream);
}

}  // namespace

int main(int argc, char** argv) {
    for (int k = 1; k < argc; ++k) {
        const std::string_view argument = argv[k];
        if (argument == "--help" || argument == "-h") {
            print(stdout, usage);
            return 0;
        }
        print(stderr, "zorvi-report: unknown argument '");
        print(stderr, argument);
        print(stderr, "'\n");
        print(stderr, usage);
        return status_usage;
    }

    const zorvi::report::ReportOutcome outcome =
        zorvi::report::run_report(zorvi::report::paths_in({}));  // the working directory
    if (outcome.status != 0) {
        print(stderr, "zorvi-report: ");
        print(stderr, outcome.error);
        print(stderr, "\n");
        return outcome.status;
    }
    print(stdout, outcome.summary);
    return std::fflush(stdout) == 0 ? 0 : zorvi::report::status_failed;
}
