// zorvi-report's command line: what it asks for, read strictly.
#pragma once

#include <string>

#include "report/run_report.hpp"

namespace zorvi::report {

inline constexpr int status_usage = 2;  // an unknown or malformed option

// What a command line asks for: a run of the report, or text to print and a status to end with.
struct CommandLine {
    bool run = false;   // run the report with `paths` and `options`
    int status = 0;     // otherwise end with this status, having printed `out` and `error`
    std::string out;    // for standard output: the help or the version
    std::string error;  // for standard error: the whole message, with its line ends
    ReportPaths paths;  // the defaults, with the files the options name
    ReportOptions options;
};

// Reads zorvi-report's options (argv[0] is the program's name). A malformed option (unknown,
// without its value, a number written in another form than the option's) gives status 2; a
// well-formed value outside what the option allows (a seed beyond 32 bits, a series count out
// of range, a column list that names a column twice) gives status 1; each message says what
// is allowed. Non-finite thresholds and intervals pass through to run_report, which refuses
// them. Throws std::bad_alloc when memory runs out.
CommandLine parse_report_options(int argc, const char* const* argv, const ReportPaths& defaults);

}  // namespace zorvi::report
