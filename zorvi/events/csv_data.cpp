// A study's events from a CSV file: a header row naming the columns, then one event a row.
//
// The rows are read by the rules of RFC 4180, byte by byte as the file is read: a cell in
// double quotes may hold commas, line ends and quotes (written twice); every row has as many
// cells as the header. Beyond them: a UTF-8 byte-order mark before the header, CRLF or LF line
// ends, blank lines skipped, blanks around a cell (and within its quotes) trimmed. Only the
// cells in use are kept, and of them no more than a value needs: a long header, cell or line
// costs time, never memory.
//
// A library parser was weighed against this one: it reports neither the line a row starts on
// nor where in a row it failed, and it takes a lone CR for a line end, so that the messages
// could no longer name the line and the bytes at fault.
#include <array>
#include <charconv>
#include <cmath>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "zorvi/events/events.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/events/places.hpp"
#include "zorvi/text/messages.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

using detail::at_line;
using detail::value_names;
constexpr std::size_t columns_used = value_names.size();  // time, magnitude, standard error
constexpr std::size_t no_column = static_cast<std::size_t>(-1);

// Written before the header by some spreadsheet programs: the UTF-8 byte-order mark.
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

// The most bytes of a value's cell that are kept: far more than any number or time needs; a
// longer cell is refused, not held.
constexpr std::size_t kept_cell_limit = 1024;
// The most bytes of a label's cell that are kept: more than the characters a label shows.
constexpr std::size_t kept_label_limit = 4 * (detail::label_characters + 1);

bool is_cell_blank(int c) {
    return c == ' ' || c == '\t';
}

// A cell's text as it is kept: without the blanks around it, and at most `limit` bytes of it
// (`cut` when it holds more). Blanks after the text are held back until a byte follows them;
// those beyond the limit are only counted, as trailing blanks need no room.
struct CellText {
    std::string text;
    std::string blanks;
    std::size_t limit = 0;
    bool blanks_beyond = false;
    bool cut = false;

    void start(std::size_t new_limit) {
        text.clear();
        blanks.clear();
        limit = new_limit;
        blanks_beyond = false;
        cut = false;
    }
    void add(char c) {
        if (cut) return;
        if (is_cell_blank(c)) {
            if (text.empty()) return;
            if (text.size() + blanks.size() < limit)
                blanks += c;
            else
                blanks_beyond = true;
            return;
        }
        if (blanks_beyond || text.size() + blanks.size() >= limit) {
            cut = true;
            return;
        }
        text += blanks;
        blanks.clear();
        text += c;
    }
};

// Reads rows from the stream. `keep(cell)` is how many bytes of a cell's text to keep (0: none);
// `take(cell, text)` receives each kept cell at its end. A row may have at most `max_cells`.
struct RowReader {
    InputStream& in;
    std::function<std::size_t(std::size_t)> keep;
    std::function<void(std::size_t, const CellText&)> take;
    std::size_t max_cells = static_cast<std::size_t>(-1);
};

// A row as read: how many cells it has and the line it starts on.
struct Row {
    std::size_t cells = 0;
    std::size_t line = 0;
};

// The next byte; an LF, or a CR before an LF, comes back as '\n'.
int next_char(InputStream& in) {
    const int c = next_byte(in);
    if (c == '\r' && peek_byte(in) == '\n') return next_byte(in);
    return c;
}

// Reads the next row that is not blank. False at the end of the file (no row), or with
// `problem` set when the row is malformed.
bool read_row(RowReader& reader, Row& row, std::string& problem) {
    InputStream& in = reader.in;
    CellText cell;
    for (;;) {
        row.cells = 0;
        row.line = next_line(in);
        bool blank = true;  // nothing but blanks so far: a blank line
        if (peek_byte(in) < 0) return false;
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
            const std::size_t limit = reader.keep(number);
            cell.start(limit);
            const auto add = [&](int c) {
                if (limit > 0) cell.add(static_cast<char>(c));
            };
            const auto cell_name = [&] { return "cell " + std::to_string(number + 1); };
            int c = next_char(in);
            while (is_cell_blank(c))
                c = next_char(in);
            if (c == '"') {
                blank = false;
                for (;;) {
                    c = next_char(in);
                    if (c == '"' && peek_byte(in) == '"')
                        c = next_byte(in);
                    else if (c == '"')
                        break;
                    if (c < 0) {
                        problem = cell_name() + " opens a quote that the file never closes";
                        return false;
                    }
                    if (c == 0) break;
                    add(c);
                }
                if (c == '"') c = next_char(in);
                while (is_cell_blank(c))
                    c = next_char(in);
                if (c != ',' && c != '\n' && c >= 0 && c != 0) {
                    problem = cell_name() + " goes on after its closing quote with '" +
                              detail::input_excerpt(std::string(1, static_cast<char>(c))) +
                              "'; a quote within quotes is written twice";
                    return false;
                }
            } else {
                for (; c >= 0 && c != ',' && c != '\n' && c != '"' && c != 0; c = next_char(in)) {
                    add(c);
                    blank = false;
                }
                if (c == '"') {
                    problem = cell_name() +
                              " holds a double quote but does not start with one; a cell with "
                              "quotes is quoted whole, its quotes written twice";
                    return false;
                }
            }
            if (c == 0) {
                problem = cell_name() + " holds a NUL byte (\\x00); a CSV file is text";
                return false;
            }
            if (c == ',') blank = false;
            if (limit > 0) reader.take(number, cell);
            row_done = c != ',';
        }
        if (!blank) return true;
    }
}

std::string in_quotes(std::string_view text) {
    return "'" + detail::input_excerpt(text) + "'";
}

// The header's cells, as they are read: where each column in use stands, how often it is
// named, and the start of the list of names that a message shows; and where the labels'
// column stands (the first of that name).
struct HeaderColumns {
    std::array<const std::string*, columns_used> names{};
    std::array<std::size_t, columns_used> places{};
    std::array<std::size_t, columns_used> found{};
    std::string listed;
    std::string label;
    std::size_t label_place = no_column;
    std::size_t label_found = 0;

    void take(std::size_t cell, const CellText& text) {
        for (std::size_t k = 0; k < columns_used; ++k) {
            if (names[k]->empty() || text.cut || text.text != *names[k]) continue;
            places[k] = cell;
            ++found[k];
        }
        if (!text.cut && text.text == label && label_found++ == 0) label_place = cell;
        if (listed.size() > detail::excerpt_limit) return;  // the excerpt shows no more
        listed += (listed.empty() ? "" : ", ") + text.text.substr(0, detail::excerpt_limit + 1);
    }
};

// Checks that the header names a labels' column that was asked for once.
bool check_label_column(const HeaderColumns& header, const ArgumentNames& names,
                        std::string& problem) {
    if (header.label_found == 1) return true;
    problem = header.label_found == 0
                  ? "no column " + in_quotes(header.label) + " in the header (" +
                        detail::input_excerpt(header.listed) + "); " +
                        std::string(names.give_labels) + " names the column of the labels"
                  : "the header names the column " + in_quotes(header.label) + " more than once";
    return false;
}

// Checks that the header names each column in use once.
bool check_columns(const HeaderColumns& header, const ArgumentNames& names, std::string& problem) {
    for (std::size_t k = 0; k < columns_used; ++k) {
        if (header.names[k]->empty() || header.found[k] == 1) continue;
        problem =
            header.found[k] == 0
                ? "no column " + in_quotes(*header.names[k]) + " in the header (" +
                      detail::input_excerpt(header.listed) + "); " +
                      std::string(names.give_columns) + " names the columns to use"
                : "the header names the column " + in_quotes(*header.names[k]) + " more than once";
        return false;
    }
    return true;
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

// How a table writes its times: as its first event does.
enum class TimeForm { unknown, decimal_year, iso };

// The time of one event's cell in the column's form (set by the first event). An empty
// string, or what is wrong with it.
std::string read_time(const CellText& cell, TimeForm& form, double& time) {
    std::string iso_problem;
    const bool number = parse_number(cell.text, time);
    if (form == TimeForm::unknown && number) form = TimeForm::decimal_year;
    if (form == TimeForm::decimal_year) {
        if (number) return {};
        double unused = 0.0;
        return iso_decimal_year(cell.text, unused, iso_problem)
                   ? "is an ISO 8601 time, and the column's first time a decimal year; a column "
                     "holds one form"
                   : "is not a number";
    }
    if (iso_decimal_year(cell.text, time, iso_problem)) {
        form = TimeForm::iso;
        return {};
    }
    if (form == TimeForm::iso && number)
        return "is a decimal year, and the column's first time an ISO 8601 time; a column holds "
               "one form";
    if (form == TimeForm::unknown && !looks_like_iso_date(cell.text))
        return "is not a decimal year or an ISO 8601 date or date-time";
    return "is " + iso_problem;
}

}  // namespace

bool parse_csv_events(InputStream& in, std::string_view file_name, const CsvReading& reading,
                      EventData& data, std::string& error) {
    data = {};
    const CsvColumns& columns = reading.columns;
    const bool error_given = !std::isnan(reading.given_error);
    if (columns.standard_error.empty() && !error_given) {
        error = std::string(file_name) + ": no standard-error column is named, and no standard " +
                "error is given (" + std::string(reading.names.give_standard_error) + ")";
        return false;
    }
    while (!in.ended && unconsumed(in).size() < byte_order_mark.size())
        read_more(in);
    if (unconsumed(in).starts_with(byte_order_mark)) consume(in, byte_order_mark.size());

    // The header: each cell kept only as far as a name in use or the message's list needs.
    HeaderColumns header;
    header.names = {&columns.time, &columns.magnitude, &columns.standard_error};
    header.label = reading.labels.empty() ? std::string(default_label_column) : reading.labels;
    std::size_t header_limit = std::max(detail::excerpt_limit, header.label.size());
    for (const std::string* name : header.names)
        header_limit = std::max(header_limit, name->size());
    RowReader reader{in, [&](std::size_t) { return header_limit + 1; },
                     [&](std::size_t cell, const CellText& text) { header.take(cell, text); }};
    Row row;
    std::string problem;
    if (!read_row(reader, row, problem)) {
        error = problem.empty() ? std::string(file_name) +
                                      ": empty; a header line and events "
                                      "expected"
                                : at_line(file_name, row.line) + problem;
        return false;
    }
    if (!check_columns(header, reading.names, error) ||
        (!reading.labels.empty() && !check_label_column(header, reading.names, error))) {
        error = at_line(file_name, row.line) + error;
        return false;
    }
    std::array<std::size_t, columns_used> places = header.places;
    if (columns.standard_error.empty()) places[2] = no_column;
    const std::size_t label_place = header.label_place;
    if (label_place != no_column) data.notes.label_column = detail::display_label(header.label);

    // The rows: only the cells in use are kept.
    std::array<CellText, columns_used> cells;
    CellText label;
    reader.max_cells = row.cells;
    reader.keep = [&](std::size_t cell) {
        if (std::find(places.begin(), places.end(), cell) != places.end()) return kept_cell_limit;
        return cell == label_place ? kept_label_limit : 0;
    };
    reader.take = [&](std::size_t cell, const CellText& text) {
        for (std::size_t k = 0; k < columns_used; ++k)
            if (places[k] == cell) cells[k] = text;
        if (cell == label_place) label = text;
    };
    TimeForm form = TimeForm::unknown;
    for (;;) {
        const std::size_t event = data.lines.size() + 1;
        for (CellText& cell : cells)
            cell.start(kept_cell_limit);
        label.start(kept_label_limit);
        if (!read_row(reader, row, problem)) {
            if (problem.empty()) break;
            error = detail::at_event(file_name, row.line, event) + problem;
            return false;
        }
        const std::string where = detail::at_event(file_name, row.line, event);
        if (row.cells != reader.max_cells) {
            error = where + "the row has " + std::to_string(row.cells) + " cells, the header " +
                    std::to_string(reader.max_cells);
            return false;
        }
        std::array<double, columns_used> values{};
        for (std::size_t k = 0; k < columns_used; ++k) {
            const CellText& cell = cells[k];
            const std::string what = "the " + std::string(value_names[k]);
            const std::string column = " (column " + in_quotes(*header.names[k]) + ")";
            if (k == 2 && error_given && (places[k] == no_column || cell.text.empty())) {
                values[k] = reading.given_error;
                ++data.notes.took_given_error;
                continue;
            }
            if (cell.cut) {
                error = where + what + " " + in_quotes(cell.text) + column +
                        " is not a number: its cell holds more than " +
                        std::to_string(kept_cell_limit) + " bytes";
                return false;
            }
            if (k == 2 && cell.text.empty()) {
                error = where + what + column + " is empty; " +
                        std::string(reading.names.give_standard_error) +
                        " gives the events without one a standard error";
                return false;
            }
            const std::string fault = k == 0 ? read_time(cell, form, values[k])
                                      : parse_number(cell.text, values[k]) ? std::string()
                                                                           : "is not a number";
            if (fault.empty()) continue;
            error = where + what + " " + in_quotes(cell.text) + column + " " + fault;
            return false;
        }
        add_event(data, values, row.line);
        if (form == TimeForm::iso) data.notes.times_written.push_back(cells[0].text);
        if (label_place != no_column)
            data.notes.labels.push_back(detail::display_label(label.text, label.cut));
    }
    if (data.lines.empty()) {
        error = std::string(file_name) + ": no events after the header line";
        return false;
    }
    if (error_given) data.notes.given_error = reading.given_error;
    return true;
}

bool parse_csv_events(std::string_view text, std::string_view file_name, const CsvReading& reading,
                      EventData& data, std::string& error) {
    InputStream in = stream_of_text(text);
    return parse_csv_events(in, file_name, reading, data, error);
}

}  // namespace zorvi
