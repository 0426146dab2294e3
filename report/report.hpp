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
    int status = 0;       // 0 on success
    std::string summary;  // the text summary or the JSON document, on success
    std::string error;    // what went wrong, otherwise
};

inline constexpr int status_failed = 1;  // an input could not be read, or the figure written

inline constexpr std::string_view study_results_file_name = "study-results.dat";

// A study of one's own: its data file, settings and results file.
struct StudyOptions {
    bool requested = false;  // simulate anew and write `paths.results`
    bool csv = false;        // the data file is a CSV file with `columns`
    CsvColumns columns;
    StudySettings settings;
};

struct ReportOptions {
    bool json = false;                    // the summary as JSON instead of the text
    bool figure = true;                   // write the figure
    bool png = false;                     // and a PNG of it, through rsvg-convert
    bool progress = false;                // show a progress bar on standard error for long work
    std::filesystem::path csv_directory;  // write the CSV tables there, unless empty
    StudyOptions study;
};

// Without a study: reads the finished run's results file and its data file, recomputes its
// series and checks every record. With one: reads the study's data file, simulates its series
// and writes their results file (never over the data file or the program's results file). Both
// then write the figure and the CSV files asked for, and compose the summary. The data file is
// only read; every file written is written whole or not at all.
ReportOutcome run_report(const ReportPaths& paths, const ReportOptions& options = {});

// A progress bar on standard error for `series` series of `events` events, drawn only when
// standard error is a terminal and the work is expected to take more than about a second;
// none otherwise. Called with the series count at the end, it clears its line.
ProgressStep progress_bar(std::size_t series, std::size_t events);

}  // namespace zorvi::report
