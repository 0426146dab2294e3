// A study's events from a CSV file: a header line naming the columns, then one event a line.
#include <array>
#include <charconv>
#include <cstdlib>
#include <string>
#include <vector>

#include "zorvi/events/events.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

constexpr std::size_t columns_used = 3;  // time, magnitude, standard error

std::string_view trimmed(std::string_view cell) {
    const std::size_t first = cell.find_first_not_of(" \t");
    if (first == std::string_view::npos) return {};
    return cell.substr(first, cell.find_last_not_of(" \t") - first + 1);
}

// Splits one line into its cells, separated by commas; a cell in double quotes may hold
// commas, and a doubled quote stands for one. False when a quote is left open.
bool split_cells(std::string_view line, std::vector<std::string>& cells) {
    cells.assign(1, std::string());
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            cells.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            cells.emplace_back();
        } else {
            cells.back() += c;
        }
    }
    for (std::string& cell : cells)
        cell = std::string(trimmed(cell));
    return !quoted;
}

// Written before the header by some spreadsheet programs: the UTF-8 byte-order mark.
constexpr std::string_view byte_order_mark = "\xEF\xBB\xBF";

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

std::string at_line(std::string_view file_name, std::size_t line) {
    return std::string(file_name) + ", line " + std::to_string(line) + ": ";
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
        for (const std::string& name : header)
            listed += (listed.empty() ? "" : ", ") + name;
        problem = found == 0 ? "no column '" + *names[k] + "' in the header (" + listed +
                                   "); --columns TIME,MAG,SE names the columns to use"
                             : "the header names the column '" + *names[k] + "' more than once";
        return false;
    }
    return true;
}

}  // namespace

bool parse_csv_events(std::string_view text, std::string_view file_name, const CsvColumns& columns,
                      EventData& data, std::string& error) {
    data = {};
    if (text.starts_with(byte_order_mark)) text.remove_prefix(byte_order_mark.size());
    const std::array<std::string_view, columns_used> value_names = {"time", "magnitude",
                                                                    "standard error"};
    std::array<std::size_t, columns_used> places{};
    bool header_read = false;
    std::vector<std::string> cells;
    std::size_t line_number = 0;
    for (std::size_t pos = 0; pos < text.size();) {
        const std::size_t lf = text.find('\n', pos);
        std::string_view line =
            text.substr(pos, lf == std::string_view::npos ? text.npos : lf - pos);
        pos = lf == std::string_view::npos ? text.size() : lf + 1;
        ++line_number;
        if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
        if (trimmed(line).empty()) continue;

        const std::size_t event = data.lines.size() + 1;
        const std::string where = header_read ? std::string(file_name) + ", line " +
                                                    std::to_string(line_number) + " (event " +
                                                    std::to_string(event) + "): "
                                              : at_line(file_name, line_number);
        if (!split_cells(line, cells)) {
            error = where + "a quoted cell is not closed on its line";
            return false;
        }
        if (!header_read) {
            if (!find_columns(cells, columns, places, error)) {
                error = where + error;
                return false;
            }
            header_read = true;
            continue;
        }
        std::array<double, columns_used> values{};
        for (std::size_t k = 0; k < columns_used; ++k) {
            const std::string* name = k == 0   ? &columns.time
                                      : k == 1 ? &columns.magnitude
                                               : &columns.standard_error;
            if (places[k] >= cells.size()) {
                error = where + "no cell for the column '" + *name + "' (the line has " +
                        std::to_string(cells.size()) + " cells)";
                return false;
            }
            if (!parse_number(cells[places[k]], values[k])) {
                error = where + "the " + std::string(value_names[k]) + " '" + cells[places[k]] +
                        "' (column '" + *name + "') is not a number";
                return false;
            }
        }
        add_event(data, values, line_number);
    }
    if (data.lines.empty()) {
        error = std::string(file_name) + (header_read ? ": no events after the header line"
                                                      : ": empty; a header line and events "
                                                        "expected");
        return false;
    }
    return true;
}

}  // namespace zorvi
