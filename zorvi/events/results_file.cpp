// The results file: its header records, then one (u, P) record per simulated series.
#include <array>
#include <limits>
#include <string>

#include "driver/run_files.hpp"
#include "textio/textio.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/events/places.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

// Bytes after the last record that are looked at: blank lines beyond them are not read.
constexpr std::size_t trailing_blanks_read = 64 * 1024;

using detail::at_line;

bool is_line_blank(int c) {
    return c == ' ' || c == '\t' || c == '\r';
}

std::string in_double_quotes(std::string_view text) {
    return '"' + detail::input_excerpt(text) + '"';
}

// The start of the next line: up to `limit` bytes before its LF, without a CR before that LF.
// The whole line and its LF are consumed when it is no longer; otherwise `cut` is set and the
// rest is left (an excerpt of the `limit` bytes shows that it goes on). False at the end of
// the input.
bool read_line_start(InputStream& in, std::size_t limit, std::string& content, bool& cut) {
    content.clear();
    cut = false;
    if (peek_byte(in) < 0) return false;
    for (int c = next_byte(in); c >= 0 && c != '\n'; c = next_byte(in)) {
        content += static_cast<char>(c);
        if (content.size() == limit && peek_byte(in) != '\n') {
            cut = true;
            return true;
        }
    }
    if (!content.empty() && content.back() == '\r') content.pop_back();
    return true;
}

// Consumes the rest of the current line, its LF included.
void skip_line(InputStream& in) {
    for (int c = next_byte(in); c >= 0 && c != '\n'; c = next_byte(in)) {
    }
}

// Consumes the blanks (and lone CRs) that start the next line; true when nothing else is on it.
// A statement skips them anyway, so they need not be held however many there are.
bool skip_line_blanks(InputStream& in) {
    for (int c = peek_byte(in); is_line_blank(c); c = peek_byte(in))
        next_byte(in);
    const int c = peek_byte(in);
    return c < 0 || c == '\n';
}

// Reads one record line: exactly two values, u and P. An empty string when it is one.
std::string read_record(InputStream& in, double& u, double& p) {
    if (skip_line_blanks(in)) {
        skip_line(in);
        return "empty record; u and P expected";
    }
    // The statement reads the line alone, line end included, so that it cannot run on into the
    // next record; a third target tells a surplus value from the end of the record.
    std::array<double, 3> values = {unassigned, unassigned, unassigned};
    textio::RecordLeftover leftover = textio::RecordLeftover::nothing;
    const textio::ListReadResult result = read_statement(in, leftover, values, true);
    const bool ended = result.status == textio::ListReadStatus::ok ||
                       result.status == textio::ListReadStatus::end_of_file;
    if (!ended) return statement_message(result);
    if (!in.last_was_line_end) skip_line(in);
    if (values[2] != unassigned) return "more than two values; u and P expected";
    if (values[0] == unassigned || values[1] == unassigned)
        return "fewer than two values; u and P expected";
    u = values[0];
    p = values[1];
    return {};
}

}  // namespace

bool parse_results(InputStream& in, std::string_view file_name, std::size_t expected,
                   Results& results, std::string& error) {
    results.u.clear();
    results.p.clear();
    results.u.reserve(expected);
    results.p.reserve(expected);

    // Step 1: the header records: the title, the column heads and a blank line.
    const std::array<std::string_view, driver::results_header_records> header = {
        driver::results_title, driver::results_heads, driver::results_blank};
    std::string content;
    bool cut = false;
    for (std::size_t k = 0; k < header.size(); ++k) {
        if (!read_line_start(in, detail::excerpt_limit + 1, content, cut)) {
            error = std::string(file_name) + ": ends after " + std::to_string(k) +
                    " lines, before the header and the " + std::to_string(expected) +
                    " records of a complete run";
            return false;
        }
        const bool blank = content.find_first_not_of(" \t\r") == std::string::npos;
        if (k < 2 ? cut || content != header[k] : cut || !blank) {
            error = at_line(file_name, k + 1) + "not a Zorvi results file: " +
                    (k < 2 ? in_double_quotes(header[k]) : "a blank line") + " expected, found " +
                    in_double_quotes(content);
            return false;
        }
    }

    // Step 2: one record per line.
    while (results.u.size() < expected && peek_byte(in) >= 0) {
        const std::size_t line_number = next_line(in);
        double u = 0.0;
        double p = 0.0;
        const std::string problem = read_record(in, u, p);
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

    // Step 3: only blank lines may follow; the first other byte ends the reading, and so does
    // the end of the blanks that a file may carry after its last record, so that an endless
    // source of blanks is not read for ever.
    std::size_t looked_at = 0;
    for (int c = next_byte(in); c >= 0 && looked_at < trailing_blanks_read; c = next_byte(in)) {
        ++looked_at;
        if (c == '\n' || is_line_blank(c)) continue;
        error = at_line(file_name, line_of_last_byte(in)) + "more than the " +
                std::to_string(expected) + " records of a run";
        return false;
    }
    return true;
}

bool parse_results(std::string_view text, std::string_view file_name, std::size_t expected,
                   Results& results, std::string& error) {
    InputStream in = stream_of_text(text);
    return parse_results(in, file_name, expected, results, error);
}

}  // namespace zorvi
