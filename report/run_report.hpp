// zorvi-report: the command-line face of the analysis library. Reads a finished run or a
// study's data file, runs the analysis, and writes the summary, the figure and the tables.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>
#include <string_view>

#include "zorvi/events/events.hpp"
#include "zorvi/study/settings.hpp"
#include "zorvi/study/study.hpp"

namespace zorvi::report {

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
    bool csv = false;        // the data file is a CSV file, read by `reading`
    CsvReading reading;
    StudySettings settings;
};

struct ReportOptions {
    bool json = false;                    // the summary as JSON instead of the text
    bool figure = true;                   // write the figure
    bool png = false;                     // and a PNG of it, through rsvg-convert
    bool progress = false;                // show a progress bar on standard error for long work
    std::filesystem::path csv_directory;  // write the CSV tables there, unless empty
    std::filesystem::path html;           // write the HTML report there, unless empty
    StudyOptions study;
};

// Without a study: reads the finished run's results file and its data file, recomputes its
// series and checks every record. With one: reads the study's data file, simulates its series
// and writes their results file (never over the data file or the program's results file). Both
// then write the figure and the CSV files asked for, and compose the summary. The data file is
// only read. Every output is checked before any input is read, and written to a temporary file
// first; all are renamed into place together once all are whole, or none is.
ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options = {});

// A progress bar on standard error for `series` series of `events` events, drawn only when
// standard error is a terminal and the work is expected to take more than about a second;
// none otherwise. Called with the series count at the end, it clears its line.
ProgressStep progress_bar(std::size_t series, std::size_t events);

// Every check on the files the report will write, made before any input is read: none may
// replace an input, the program's own files or another output, each must be writable as
// check_output_target says, and --png needs its converter (`converter`).
bool check_outputs(const ReportPaths& paths, const ReportOptions& options,
                   std::filesystem::path& converter, std::string& error);

}  // namespace zorvi::report
