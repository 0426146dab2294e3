// The data file read as the program reads it.
#include <algorithm>
#include <string>

#include "driver/run_files.hpp"
#include "report/report.hpp"
#include "textio/list_read.hpp"

namespace zorvi::report {
namespace {

namespace detail = zorvi::textio::detail;

// The line the reader stopped on: after a failed value it has skipped the rest of that record,
// line end included, so the record is the last line begun in the consumed text.
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
    detail::CharSource source = detail::CharSource::from_string(text);
    detail::ListReadResult failure;
    const std::int32_t read = driver::read_events(
        [&](std::span<double> values) {
            failure = detail::read_list(source, values);
            return failure.status == detail::ListReadStatus::ok;
        },
        run.t, run.x, run.sx);
    if (read == driver::nevent) {
        events.t.assign(run.t.begin(), run.t.end());
        events.x.assign(run.x.begin(), run.x.end());
        events.sx.assign(run.sx.begin(), run.sx.end());
        return true;
    }

    const std::string event = "event " + std::to_string(read + 1);
    if (failure.status == detail::ListReadStatus::end_of_file) {
        error = std::string(file_name) + ": ends in " + event + " of " +
                std::to_string(driver::nevent) + "; each event is three values (time, " +
                "magnitude, standard error)";
        return false;
    }
    // The source holds the whole text in one buffer: what is left of it tells how far it read.
    const std::size_t left = static_cast<std::size_t>(source.end_ - source.next_);
    const std::size_t line = line_of_failure(text.substr(0, text.size() - left));
    error = std::string(file_name) + ", line " + std::to_string(line) + " (" + event +
            "): " + detail::list_read_message(failure, source);
    return false;
}

}  // namespace zorvi::report
