// Files written series by series during a study's pass: its results file in the program's
// format and the CSV table of every series, each written whole or not at all.
#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

#include "zorvi/files/temporary_file.hpp"
#include "zorvi/statistics/statistics.hpp"

namespace zorvi::detail {

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
// The values a reader finds in the record of (u, P), without writing it anywhere.
bool record_as_read(double u, double p, double& file_u, double& file_p);

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

}  // namespace zorvi::detail
