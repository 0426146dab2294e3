// The outputs of a study's analysis: the aligned text summary, one JSON document, and tidy CSV
// tables. They show an Analysis as it stands and know nothing of how its series were drawn.
#pragma once

#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/study/analysis.hpp"

namespace zorvi {

// The names of the report's files as the outputs show them; `figure` empty when no figure
// was written.
struct ReportNames {
    std::string results;
    std::string data;
    std::string figure;
    bool results_written = false;  // a study wrote the results file from these very series
    bool files_written = true;     // false when the files could not be written: none was
};

// The aligned text summary.
std::string format_summary(const Analysis& analysis, const ReportNames& names);

// The whole summary as one JSON document: numbers as full-precision doubles, NaN and the
// infinities as null.
std::string format_json(const Analysis& analysis, const ReportNames& names);

// A tidy table for a CSV file: one header row, then one row per item; cells as they appear in
// the file (numbers in their shortest exact form, NaN empty, infinities "Inf" and "-Inf",
// truth values TRUE and FALSE).
struct CsvTable {
    std::string file_name;
    std::vector<std::string> columns;
    std::vector<std::vector<std::string>> rows;
};

// The table of both error models, made only under the posterior model.
inline constexpr std::string_view error_models_file_name = "error_models.csv";

// The tables of `--csv` made at the end: tests.csv, events.csv, m_counts.csv,
// sweep_threshold.csv and sweep_start_year.csv (series.csv is written during the pass).
std::vector<CsvTable> csv_tables(const Analysis& analysis);
// series.csv as a table: one row per simulated series, its m, u, P and rate ratio per decade.
CsvTable series_table(std::span<const TrendTest> tests, std::span<const double> rate_ratios);
// The names of every file that --csv writes, series.csv among them.
std::vector<std::string> csv_file_names();

// The text of a CSV file, quoting the cells that need it, one line end per row.
std::string csv_text(const CsvTable& table);

}  // namespace zorvi
