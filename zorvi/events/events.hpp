// Event input: a series of dated events with uncertain magnitudes, read from a data file in the
// program's free format or from a CSV table, and checked; and the records of a results file.
#pragma once

#include <array>
#include <cctype>
#include <cstddef>
#include <filesystem>
#include <functional>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "zorvi/text/argument_names.hpp"

namespace zorvi {

// A series of dated events with uncertain magnitudes, in file order; any number of events.
struct EventSeries {
    std::vector<double> t;   // times, decimal years
    std::vector<double> x;   // magnitudes
    std::vector<double> sx;  // standard errors of the magnitudes
};

// The simulated series as the results file lists them, in series order.
struct Results {
    std::vector<double> u;
    std::vector<double> p;
};

// An input file read as a stream (events/input_stream.hpp). Each parser below reads it only as
// far as it needs to, and stops at the first byte that cannot belong to the file; each has a
// form for a text held whole.
struct InputStream;

// Reads a whole file without changing it. False, with `error` saying why, when it cannot.
[[nodiscard]] bool read_text_file(const std::filesystem::path& path, std::string& text,
                                  std::string& error);

// Opens a file read-only and hands it to `parse` as a stream. False, with `error` saying why,
// when `parse` fails, or when the file cannot be opened or read (followed by `unreadable`).
[[nodiscard]] bool read_input(const std::filesystem::path& path,
                              const std::function<bool(InputStream&)>& parse, std::string& error,
                              std::string_view unreadable = {});

// Parses the text of a results file: the three header records, then `expected` records of
// (u, P), one per line, read with the program's free-format reader; nothing but blank lines
// may follow. On failure `error` names the file (`file_name`) and the line.
[[nodiscard]] bool parse_results(InputStream& in, std::string_view file_name, std::size_t expected,
                                 Results& results, std::string& error);
[[nodiscard]] bool parse_results(std::string_view text, std::string_view file_name,
                                 std::size_t expected, Results& results, std::string& error);

// Reads the 60 events from the text of a data file as the program does: one free-format
// statement of three values per event, a null value leaving the program's missing-value
// marker. On failure `error` names the file, line and event.
[[nodiscard]] bool parse_event_data(InputStream& in, std::string_view file_name,
                                    EventSeries& events, std::string& error);
[[nodiscard]] bool parse_event_data(std::string_view text, std::string_view file_name,
                                    EventSeries& events, std::string& error);

// What reading a table adds to its events, for the outputs: each time as written when the
// times are ISO 8601 dates or date-times (empty otherwise); the standard error given to the
// events without one (NaN: none given) with how many took it; and each event's label with
// the name of the column it came from (none: no labels), as the outputs show them
// (detail::display_label: at most 40 characters, nothing invisible).
struct EventNotes {
    std::vector<std::string> times_written;
    double given_error = std::numeric_limits<double>::quiet_NaN();
    std::size_t took_given_error = 0;
    std::vector<std::string> labels;
    std::string label_column;
};

// A study's events as its data file holds them, with the line of each event (its last value's
// line in a free-format file, its row's in a CSV file); or as rows given by a program (a data
// frame, arrays), each with its position in `lines` and, when it has one, its label.
struct EventData {
    EventSeries events;
    std::vector<std::size_t> lines;
    EventNotes notes;
    bool rows = false;
    std::vector<std::string> row_labels;  // rows: empty, or one label a row
    std::filesystem::path file;           // the data file they were read from; empty when given
};

// Appends one event: its time, magnitude and standard error, read on `line`.
inline void add_event(EventData& data, const std::array<double, 3>& values, std::size_t line) {
    data.events.t.push_back(values[0]);
    data.events.x.push_back(values[1]);
    data.events.sx.push_back(values[2]);
    data.lines.push_back(line);
}

// Where a message about event i (from 0) points: "<source>, line N (event K): " for an event
// of a file, "<source>, row N (index L): " for a row.
std::string event_place(const EventData& data, std::string_view source, std::size_t i);

// The columns of a CSV data file that hold the times, the magnitudes and their standard
// errors, named as in its header line; the shipped table's by default. Without a
// standard-error column (an empty name) every event takes the standard error given.
struct CsvColumns {
    std::string time = "time_decimal_year";
    std::string magnitude = "max_wind_kt";
    std::string standard_error = "stderr_kt";
};

// The column that names the events when none is asked for, and only when a table has one.
inline constexpr std::string_view default_label_column = "name";

// How a CSV table is read: its columns; the standard error that the events without one take,
// where the table has no such column or an event's cell is empty (NaN: none, such an event is
// refused); and how messages name the settings.
struct CsvReading {
    CsvColumns columns;
    double given_error = std::numeric_limits<double>::quiet_NaN();
    ArgumentNames names = command_line_names;
    // The column of the events' labels, which must then be there; empty: the column
    // default_label_column when the header has one, else no labels.
    std::string labels = {};
};

// A standard error given to the events without one: a finite number, 0 or more; false with
// `error` naming the setting as `names` do.
[[nodiscard]] bool check_given_error(double value, std::string& error,
                                     const ArgumentNames& names = command_line_names);

// Why labels cannot be asked of the file `file_name` read in the free format, which has none.
std::string free_format_labels_problem(std::string_view file_name,
                                       const ArgumentNames& names = command_line_names);

// An ISO 8601 date, YYYY-MM-DD (midnight UTC), or date-time, YYYY-MM-DDThh:mm[:ss[.fraction]]
// (a blank may stand for the T) followed by Z or an offset +hh:mm or -hh:mm within 14:00 (UTC
// without one), in the proleptic Gregorian calendar, as a decimal year: the UTC year Y plus
// the seconds since its start, n whole and f the fraction, over the seconds S in that year,
// computed as Y + (n + f) / S. False, with `problem` saying why ("not a date: 2001-02 has 28
// days", to follow "is"), when `text` is not such a time or names one that does not exist.
[[nodiscard]] bool iso_decimal_year(std::string_view text, double& year, std::string& problem);

// True when `text` starts as an ISO 8601 date does: four digits and a hyphen.
bool looks_like_iso_date(std::string_view text);

// Every event of a free-format data file (at least one): statements of three values, read with
// the program's reader until the text ends. A null value is an error here. On failure `error`
// names the file, the line and the event.
[[nodiscard]] bool parse_free_format_events(InputStream& in, std::string_view file_name,
                                            EventData& data, std::string& error);
[[nodiscard]] bool parse_free_format_events(std::string_view text, std::string_view file_name,
                                            EventData& data, std::string& error);

// Every event of a CSV file (at least one): a header row naming the columns, then one event a
// row, by the rules of RFC 4180 (a quoted cell may hold commas, quotes and line ends; every row
// has the header's number of cells); other columns are ignored, blank lines are skipped. The
// time column holds decimal years or ISO 8601 times (iso_decimal_year), one form throughout.
// Time and memory are linear in the bytes read and the events kept: no header, cell or line is
// held whole beyond what a value needs.
[[nodiscard]] bool parse_csv_events(InputStream& in, std::string_view file_name,
                                    const CsvReading& reading, EventData& data, std::string& error);
[[nodiscard]] bool parse_csv_events(std::string_view text, std::string_view file_name,
                                    const CsvReading& reading, EventData& data, std::string& error);

// Every event of the data file at `path`: a CSV table read by `reading` when `csv`, else the
// free format (which takes no given standard error). On failure `error` names the file, line
// and event.
[[nodiscard]] bool read_event_file(const std::filesystem::path& path, bool csv,
                                   const CsvReading& reading, EventData& data, std::string& error);

// True when `path` names a CSV table: its name ends in .csv, in any case.
inline bool names_csv_file(const std::filesystem::path& path) {
    std::string name = path.filename().string();
    for (char& c : name)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name.ends_with(".csv");
}

// True when the data file at `path` holds the shipped table's winds: a CSV table whose
// magnitude column is the shipped table's, or the program's own data file.
bool holds_shipped_winds(const std::filesystem::path& path, bool csv, const CsvColumns& columns);

// Checks a study's events: every value a finite number, every standard error at least 0, every
// time within the interval [start, end] (the error names the first event outside and counts
// them all, and how to give the interval in `names`' words).
[[nodiscard]] bool check_events(const EventData& data, std::string_view source, double start,
                                double end, std::string& error,
                                const ArgumentNames& names = command_line_names);

}  // namespace zorvi
