// The results file: its header records, then one (u, P) record per simulated series.
#include <array>
#include <limits>
#include <string>

#include "driver/run_files.hpp"
#include "textio/textio.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

// One line of the text: its characters without the line end, and with it.
struct Line {
    std::string_view content;  // without LF and without a CR before it
    std::string_view raw;      // with its LF, when it has one
};

// Splits off the next line at `pos`; false at the end of the text.
bool next_line(std::string_view text, std::size_t& pos, Line& line) {
    if (pos >= text.size()) return false;
    const std::size_t lf = text.find('\n', pos);
    const std::size_t end = lf == std::string_view::npos ? text.size() : lf;
    const std::size_t next = lf == std::string_view::npos ? text.size() : lf + 1;
    line.raw = text.substr(pos, next - pos);
    line.content = text.substr(pos, end - pos);
    if (!line.content.empty() && line.content.back() == '\r') line.content.remove_suffix(1);
    pos = next;
    return true;
}

bool is_blank(std::string_view content) {
    return content.find_first_not_of(" \t\r") == std::string_view::npos;
}

std::string quoted(std::string_view text) {
    std::string out(1, '"');
    out += text;
    out += '"';
    return out;
}

std::string at_line(std::string_view file_name, std::size_t line_number) {
    return std::string(file_name) + ", line " + std::to_string(line_number) + ": ";
}

// Marks a target that the statement left unassigned (a null value, or a slash before it).
// No results record can hold it: the fixed field of the results writes asterisks for it.
constexpr double unassigned = std::numeric_limits<double>::lowest();

// Reads one record line: exactly two values, u and P. An empty string when it is one.
std::string read_record(const Line& line, double& u, double& p) {
    // The statement reads the line alone, line end included, so that it cannot run on into the
    // next record; a third target tells a surplus value from the end of the record.
    std::string raw(line.raw);
    if (raw.empty() || raw.back() != '\n') raw.push_back('\n');
    textio::CharSource source = textio::CharSource::from_string(raw);
    std::array<double, 3> values = {unassigned, unassigned, unassigned};
    const textio::ListReadResult result = textio::read_list(source, values);
    const bool ended = result.status == textio::ListReadStatus::ok ||
                       result.status == textio::ListReadStatus::end_of_file;
    if (!ended) return textio::list_read_message(result, source);
    if (values[2] != unassigned) return "more than two values; u and P expected";
    if (values[0] == unassigned || values[1] == unassigned)
        return "fewer than two values; u and P expected";
    u = values[0];
    p = values[1];
    return {};
}

}  // namespace

bool parse_results(std::string_view text, std::string_view file_name, std::size_t expected,
                   Results& results, std::string& error) {
    results.u.clear();
    results.p.clear();
    results.u.reserve(expected);
    results.p.reserve(expected);

    std::size_t pos = 0;
    std::size_t line_number = 0;
    Line line;

    // Step 1: the header records, of which the title and the column heads must match.
    const std::array<std::string_view, driver::results_header_records> header = {
        driver::results_title, driver::results_heads, driver::results_blank};
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (!next_line(text, pos, line)) {
            error = std::string(file_name) + ": ends after " + std::to_string(line_number) +
                    " lines, before the header and the " + std::to_string(expected) +
                    " records of a complete run";
            return false;
        }
        ++line_number;
        if (k < 2 && line.content != header[k]) {
            error = at_line(file_name, line_number) +
                    "not a Zorvi results file: " + quoted(header[k]) + " expected, found " +
                    quoted(line.content);
            return false;
        }
    }

    // Step 2: one record per line.
    while (results.u.size() < expected && next_line(text, pos, line)) {
        ++line_number;
        double u = 0.0;
        double p = 0.0;
        const std::string problem =
            is_blank(line.content) ? "empty record; u and P expected" : read_record(line, u, p);
        if (!problem.empty()) {
            error = at_line(file_name, line_number) + problem;
            return false;
        }
        results.u.push_back(u);
        results.p.push_back(p);
    }
    if (results.u.size() < expected) {
        error = std::string(file_name) + ": " + std::to_string(results.u.size()) +
                " records after the header, " + std::to_string(expected) +
                " expected; was the run complete?";
        return false;
    }

    // Step 3: only blank lines may follow.
    while (next_line(text, pos, line)) {
        ++line_number;
        if (!is_blank(line.content)) {
            error = at_line(file_name, line_number) + "more than the " + std::to_string(expected) +
                    " records of a run";
            return false;
        }
    }
    return true;
}

}  // namespace zorvi
