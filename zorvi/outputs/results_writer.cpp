// A study's results file in the program's format, written record by record into a temporary
// file beside it, renamed into place with the report's other files once all are whole.
#include <array>

#include "driver/run_files.hpp"
#include "textio/textio.hpp"
#include "zorvi/outputs/outputs.hpp"
#include "zorvi/outputs/summary_text.hpp"
#include "zorvi/outputs/writers.hpp"

namespace zorvi::detail {
namespace {

constexpr std::size_t flush_size = 64 * 1024;
constexpr int field_width = driver::results_field_width;
constexpr int field_decimals = driver::results_field_decimals;
// A record of the program's format "(2(1x,fW.D))": two values, each a blank and a fixed field.
constexpr std::size_t record_values = 2;
constexpr std::size_t record_size = record_values * (1 + field_width) + textio::record_end.size();
// The program writes a negative value that rounds to zero with its sign.
constexpr bool sign_zero = true;

void append_record(std::string& out, std::string_view text) {
    out += text;
    out += textio::record_end;
}

// The record of (u, P) as the program writes it: two fixed fields, each after a blank.
using Record = std::array<char, record_size>;
Record format_record(double u, double p) {
    Record record;
    char* next = record.data();
    for (double value : {u, p}) {
        *next++ = ' ';
        next += textio::format_fixed_to(next, value, field_width, field_decimals, sign_zero);
    }
    for (char c : textio::record_end)
        *next++ = c;
    return record;
}

// The values as a reader of the file finds them in a record; false, with `problem`, when it
// cannot read them.
bool read_record_values(std::string_view text, double& file_u, double& file_p,
                        std::string& problem) {
    textio::CharSource source = textio::CharSource::from_string(text);
    std::array<double, record_values> values = {not_a_number, not_a_number};
    const textio::ListReadResult read = textio::read_list(source, values);
    if (read.status != textio::ListReadStatus::ok) {
        problem = textio::list_read_message(read, source);
        return false;
    }
    file_u = values[0];
    file_p = values[1];
    return true;
}

}  // namespace

bool begin_results(const std::filesystem::path& path, ResultsWriter& writer, std::string& error) {
    if (!create_temporary(path, writer.file, error)) return false;
    writer.buffer.clear();
    writer.buffer.reserve(flush_size + record_size);
    append_record(writer.buffer, driver::results_title);
    append_record(writer.buffer, driver::results_heads);
    append_record(writer.buffer, driver::results_blank);
    return true;
}

bool write_record(ResultsWriter& writer, double u, double p, bool read_back, double& file_u,
                  double& file_p, std::string& error) {
    const Record record = format_record(u, p);
    const std::string_view text(record.data(), record.size());
    writer.buffer += text;

    file_u = u;
    file_p = p;
    std::string problem;
    if (read_back && !read_record_values(text, file_u, file_p, problem)) {
        error = "cannot read back a record of '" + writer.file.target.string() + "': " + problem;
        discard_temporary(writer.file);
        return false;
    }
    if (writer.buffer.size() < flush_size) return true;
    const bool written = write_temporary(writer.file, writer.buffer, error);
    writer.buffer.clear();
    return written;
}

bool record_as_read(double u, double p, double& file_u, double& file_p) {
    const Record record = format_record(u, p);
    std::string problem;
    return read_record_values(std::string_view(record.data(), record.size()), file_u, file_p,
                              problem);
}

bool finish_results(ResultsWriter& writer, std::string& error) {
    const bool written = write_temporary(writer.file, writer.buffer, error);
    writer.buffer.clear();
    return written;
}

}  // namespace zorvi::detail
