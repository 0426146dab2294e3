// The data file read as the program reads it.
#include <algorithm>
#include <string>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "textio/textio.hpp"

namespace zorvi::report {
namespace {

// The line the reader stopped on: the last line begun in the text it consumed, which ends just
// past the character that made the value fail.
std::size_t line_of_failure(std::string_view consumed) {
    const auto line_ends =
        static_cast<std::size_t>(std::count(consumed.begin(), consumed.end(), '\n'));
    const bool ended_on_line_end = !consumed.empty() && consumed.back() == '\n';
    return ended_on_line_end ? line_ends : line_ends + 1;
}

}  // namespace

bool parse_event_data(std::string_view text, std::string_view file_name, EventSeries& events,
                      std::string& error) {
    driver::RunState run;
    textio::CharSource source = textio::CharSource::from_string(text);
    textio::ListReadResult failure;
    const std::int32_t read = driver::read_events(
        [&](std::span<double> values) {
            failure = textio::read_list(source, values);
            return failure.status == textio::ListReadStatus::ok;
        },
        run.t, run.x, run.sx);
    if (read == driver::nevent) {
        events.t.assign(run.t.begin(), run.t.end());
        events.x.assign(run.x.begin(), run.x.end());
        events.sx.assign(run.sx.begin(), run.sx.end());
        return true;
    }

    const std::string event = "event " + std::to_string(read + 1);
    if (failure.status == textio::ListReadStatus::end_of_file) {
        error = std::string(file_name) + ": ends in " + event + " of " +
                std::to_string(driver::nevent) + "; each event is three values (time, " +
                "magnitude, standard error)";
        return false;
    }
    const std::size_t line = line_of_failure(text.substr(0, source.consumed()));
    error = std::string(file_name) + ", line " + std::to_string(line) + " (" + event +
            "): " + textio::list_read_message(failure, source);
    return false;
}

}  // namespace zorvi::report
