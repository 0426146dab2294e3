// A study's events from a CSV file: a header row naming the columns, then one event a row.
//
// The rows are read by the rules of RFC 4180, byte by byte as the file is read: a cell in
// double quotes may hold commas, line ends and quotes (written twice); every row has as many
// cells as the header. Beyond them: a UTF-8 byte-order mark before the header, CRLF or LF line
// ends, blank lines skipped, blanks around a cell (and within its quotes) trimmed.
//
// A library parser was weighed against this one: it reports neither the line a row starts on
// nor where in a row it failed, and it takes a lone CR for a line end, so that the messages
// could no longer name the line and the bytes at fault.
#include <array>
#include <charconv>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "zorvi/events/events.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/events/places.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

using detail::at_event;
using detail::at_line;
using detail::value_names;
constexpr std::size_t columns_used = value_names.size();  // time, magnitude, standard error

// Written before the header by some spreadsheet programs: the UTF-8 byte-order mark.
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

bool is_cell_blank(int c) {
    return c == ' ' || c == '\t';
}

// Removes the blanks around the cell's text.
void trim(std::string& cell) {
    cell.erase(cell.find_last_not_of(" \t") + 1);
    cell.erase(0, cell.find_first_not_of(" \t"));
}

// The whole cell as a number, a leading '+' allowed. A number beyond the range of doubles is
// the infinity or zero it rounds to, as the free-format reader gives it, so that the checks of
// the events name it alike.
bool parse_number(std::string_view cell, double& value) {
    if (cell.size() > 1 && cell.front() == '+' && cell[1] != '-') cell.remove_prefix(1);
    const auto [end, ec] = std::from_chars(cell.data(), cell.data() + cell.size(), value);
    if (cell.empty() || end != cell.data() + cell.size()) return false;
    if (ec == std::errc::result_out_of_range) {
        value = std::strtod(std::string(cell).c_str(), nullptr);  // the C locale's point
        return true;
    }
    return ec == std::errc();
}

// One row as read: its cells (only those kept), how many it has, where it starts.
struct Row {
    std::vector<std::string> kept;  // by cell number; empty when not kept
    std::size_t cells = 0;
    std::size_t line = 0;
    bool blank = true;  // nothing but blanks: a blank line
};

// Reads rows from the stream. `keep` says which cells' text is kept; `max_cells` is how many
// a row may have (after the header).
struct RowReader {
    InputStream& in;
    std::vector<bool> keep;  // by cell number; beyond its end: `keep_rest`
    bool keep_rest = true;
    std::size_t max_cells = static_cast<std::size_t>(-1);

    bool kept(std::size_t cell) const { return cell < keep.size() ? keep[cell] : keep_rest; }
};

// The next byte; an LF, or a CR before an LF, comes back as '\n'.
int next_char(InputStream& in) {
    const int c = next_byte(in);
    if (c == '\r' && peek_byte(in) == '\n') return next_byte(in);
    return c;
}

// Reads the next row that is not blank into `row`. False at the end of the file (no row), or
// with `problem` set when the row is malformed.
bool read_row(RowReader& reader, Row& row, std::string& problem) {
    InputStream& in = reader.in;
    for (;;) {
        row.cells = 0;
        row.line = next_line(in);
        row.blank = true;
        row.kept.assign(reader.keep.size(), std::string());
        if (peek_byte(in) < 0) return false;
        std::string cell;
        bool row_done = false;
        while (!row_done) {
            // One cell: blanks, then the cell unquoted or in quotes, then blanks.
            const std::size_t number = row.cells++;
            if (number >= reader.max_cells) {
                problem = "the row has more cells than the header's " +
                          std::to_string(reader.max_cells) +
                          "; a cell that holds a comma must be in double quotes";
                return false;
            }
            const bool keep = reader.kept(number);
            const std::string cell_name = "cell " + std::to_string(number + 1);
            cell.clear();
            int c = next_char(in);
            while (is_cell_blank(c))
                c = next_char(in);
            if (c == '"') {
                row.blank = false;
                for (;;) {
                    c = next_char(in);
                    if (c == '"' && peek_byte(in) == '"')
                        c = next_byte(in);
                    else if (c == '"')
                        break;
                    if (c < 0) {
                        problem = cell_name + " opens a quote that the file never closes";
                        return false;
                    }
                    if (c == 0) break;
                    if (keep) cell += static_cast<char>(c);
                }
                if (c == '"') c = next_char(in);
                while (is_cell_blank(c))
                    c = next_char(in);
                if (c != ',' && c != '\n' && c >= 0 && c != 0) {
                    problem = cell_name + " goes on after its closing quote with '" +
                              detail::input_excerpt(std::string(1, static_cast<char>(c))) +
                              "'; a quote within quotes is written twice";
                    return false;
                }
            } else {
                for (; c >= 0 && c != ',' && c != '\n' && c != '"' && c != 0; c = next_char(in)) {
                    if (keep) cell += static_cast<char>(c);
                    row.blank = false;
                }
                if (c == '"') {
                    problem = cell_name +
                              " holds a double quote but does not start with one; a cell with "
                              "quotes is quoted whole, its quotes written twice";
                    return false;
                }
            }
            if (c == 0) {
                problem = cell_name + " holds a NUL byte (\\x00); a CSV file is text";
                return false;
            }
            if (c == ',') row.blank = false;
            if (keep) {
                if (row.kept.size() <= number) row.kept.resize(number + 1);
                trim(cell);
                row.kept[number] = std::move(cell);
            }
            row_done = c != ',';
        }
        if (!row.blank) return true;
    }
}

std::string in_quotes(std::string_view text) {
    return "'" + detail::input_excerpt(text) + "'";
}

// Where each column used stands in the header's cells.
bool find_columns(const std::vector<std::string>& header, const CsvColumns& columns,
                  std::array<std::size_t, columns_used>& places, std::string& problem) {
    const std::array<const std::string*, columns_used> names = {&columns.time, &columns.magnitude,
                                                                &columns.standard_error};
    for (std::size_t k = 0; k < columns_used; ++k) {
        std::size_t found = 0;
        for (std::size_t c = 0; c < header.size(); ++c) {
            if (header[c] != *names[k]) continue;
            places[k] = c;
            ++found;
        }
        if (found == 1) continue;
        std::string listed;
        for (const std::string& name : header) {
            if (listed.size() > detail::excerpt_limit) break;  // the excerpt shows no more
            listed += (listed.empty() ? "" : ", ") + name.substr(0, detail::excerpt_limit + 1);
        }
        problem = found == 0
                      ? "no column " + in_quotes(*names[k]) + " in the header (" +
                            detail::input_excerpt(listed) +
                            "); --columns TIME,MAG,SE names the columns to use"
                      : "the header names the column " + in_quotes(*names[k]) + " more than once";
        return false;
    }
    return true;
}

}  // namespace

bool parse_csv_events(InputStream& in, std::string_view file_name, const CsvColumns& columns,
                      EventData& data, std::string& error) {
    data = {};
    while (!in.ended && unconsumed(in).size() < byte_order_mark.size())
        read_more(in);
    if (unconsumed(in).starts_with(byte_order_mark)) consume(in, byte_order_mark.size());

    RowReader reader{in, {}};
    Row row;
    std::string problem;
    if (!read_row(reader, row, problem)) {
        error = problem.empty() ? std::string(file_name) +
                                      ": empty; a header line and events "
                                      "expected"
                                : at_line(file_name, row.line) + problem;
        return false;
    }
    std::array<std::size_t, columns_used> places{};
    if (!find_columns(row.kept, columns, places, error)) {
        error = at_line(file_name, row.line) + error;
        return false;
    }
    reader.max_cells = row.cells;
    reader.keep_rest = false;
    reader.keep.assign(row.cells, false);
    for (const std::size_t place : places)
        reader.keep[place] = true;

    for (;;) {
        const std::size_t event = data.lines.size() + 1;
        if (!read_row(reader, row, problem)) {
            if (problem.empty()) break;
            error = at_event(file_name, row.line, event) + problem;
            return false;
        }
        const std::string where = at_event(file_name, row.line, event);
        if (row.cells != reader.max_cells) {
            error = where + "the row has " + std::to_string(row.cells) + " cells, the header " +
                    std::to_string(reader.max_cells);
            return false;
        }
        std::array<double, columns_used> values{};
        for (std::size_t k = 0; k < columns_used; ++k) {
            const std::string& cell = row.kept[places[k]];
            if (parse_number(cell, values[k])) continue;
            const std::string& name = k == 0   ? columns.time
                                      : k == 1 ? columns.magnitude
                                               : columns.standard_error;
            error = where + "the " + std::string(value_names[k]) + " " + in_quotes(cell) +
                    " (column " + in_quotes(name) + ") is not a number";
            return false;
        }
        add_event(data, values, row.line);
    }
    if (data.lines.empty()) {
        error = std::string(file_name) + ": no events after the header line";
        return false;
    }
    return true;
}

bool parse_csv_events(std::string_view text, std::string_view file_name, const CsvColumns& columns,
                      EventData& data, std::string& error) {
    InputStream in = stream_of_text(text);
    return parse_csv_events(in, file_name, columns, data, error);
}

}  // namespace zorvi
