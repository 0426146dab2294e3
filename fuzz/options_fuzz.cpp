// Fuzz target: zorvi-report's option parser on arbitrary command lines.
//
// The input is the arguments after the program's name, separated by NUL bytes. For every
// command line the parser returns (no exception escapes) one of: a run, help or version text
// with status 0, or a refusal with status 1 or 2 and one message on standard error. A run's
// values are what the options allow: a whole series count in range, thresholds and interval
// ends that are numbers (never NaN), three different non-empty column names. The same command
// line always gives the same answer.
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "report/options.hpp"

namespace {

using namespace zorvi;
using namespace zorvi::report;

constexpr std::size_t max_arguments = 64;

void require(bool condition) {
    if (!condition) std::abort();
}

std::vector<std::string> arguments_of(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> arguments = {"zorvi-report"};
    if (size == 0) return arguments;
    std::string argument;
    for (std::size_t k = 0; k < size && arguments.size() < max_arguments; ++k) {
        if (data[k] == 0) {
            arguments.push_back(argument);
            argument.clear();
        } else {
            argument += static_cast<char>(data[k]);
        }
    }
    if (arguments.size() < max_arguments) arguments.push_back(argument);
    return arguments;
}

CommandLine parse(const std::vector<std::string>& arguments, const ReportPaths& defaults) {
    std::vector<const char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(argument.c_str());
    return parse_report_options(static_cast<int>(argv.size()), argv.data(), defaults);
}

void check(const CommandLine& line) {
    if (!line.run) {
        if (line.status == 0) {
            require(!line.out.empty() && line.error.empty());  // the help or the version
        } else {
            require(line.status == status_failed || line.status == status_usage);
            require(line.out.empty());
            require(line.error.starts_with("zorvi-report: ") && line.error.ends_with("\n"));
        }
        return;
    }
    require(line.status == 0 && line.out.empty() && line.error.empty());
    const StudyOptions& study = line.options.study;
    if (!study.requested) return;
    const StudySettings& settings = study.settings;
    require(settings.series >= 1 && settings.series <= max_series);
    require(!std::isnan(settings.threshold) && !std::isnan(settings.start) &&
            !std::isnan(settings.end));
    const CsvColumns& columns = study.reading.columns;
    for (const std::string* name : {&columns.time, &columns.magnitude})
        require(!name->empty() && name->find(',') == std::string::npos);
    // No standard-error column only with a standard error given.
    require(!columns.standard_error.empty() || !std::isnan(study.reading.given_error));
    require(columns.standard_error.find(',') == std::string::npos);
    require(columns.time != columns.magnitude && columns.time != columns.standard_error &&
            columns.magnitude != columns.standard_error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::vector<std::string> arguments = arguments_of(data, size);
    const ReportPaths defaults{"Zorviresult.dat",
                               "Hurricanes-CAT-1-5-DATA-US-landfall-1980-2018.dat",
                               "Zorvireport.svg", "Zorvireport.png"};
    const CommandLine line = parse(arguments, defaults);
    check(line);
    const CommandLine again = parse(arguments, defaults);
    require(again.run == line.run && again.status == line.status && again.out == line.out &&
            again.error == line.error && again.paths.data == line.paths.data &&
            again.paths.results == line.paths.results &&
            again.options.study.settings.seed == line.options.study.settings.seed);
    return 0;
}
