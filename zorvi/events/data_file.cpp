// The data file read as the program reads it, and a study's free-format data file of any
// number of events.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>
#include <string>

#include "driver/run_files.hpp"
#include "textio/textio.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

constexpr std::array<std::string_view, driver::values_per_event> value_names = {"time", "magnitude",
                                                                                "standard error"};

// The line of the reader's position in a text, its line ends counted once as the reader goes
// on: a data file of many events is not counted again from its start at every event.
struct LineCounter {
    std::string_view text;
    std::size_t counted = 0;    // characters looked at
    std::size_t line_ends = 0;  // among them
};

// The line the reader stopped on: the last line begun in the first `consumed` characters,
// which end just past the character that made the value fail. `consumed` never goes back.
std::size_t line_of_failure(LineCounter& lines, std::size_t consumed) {
    consumed = std::min(consumed, lines.text.size());
    const std::string_view added = lines.text.substr(lines.counted, consumed - lines.counted);
    lines.line_ends += static_cast<std::size_t>(std::count(added.begin(), added.end(), '\n'));
    lines.counted = consumed;
    const bool ended_on_line_end = consumed > 0 && lines.text[consumed - 1] == '\n';
    return ended_on_line_end ? lines.line_ends : lines.line_ends + 1;
}

// Marks a target that a statement left unassigned (a null value, or a slash before it).
constexpr double unassigned = std::numeric_limits<double>::lowest();

std::string at_event(std::string_view file_name, std::size_t line, std::size_t event) {
    return std::string(file_name) + ", line " + std::to_string(line) + " (event " +
           std::to_string(event) + "): ";
}

}  // namespace

bool parse_free_format_events(std::string_view text, std::string_view file_name, EventData& data,
                              std::string& error) {
    data = {};
    textio::CharSource source = textio::CharSource::from_string(text);
    LineCounter lines{text};
    for (;;) {
        std::array<double, driver::values_per_event> values = {unassigned, unassigned, unassigned};
        const textio::ListReadResult result = textio::read_list(source, values);
        const std::size_t event = data.lines.size() + 1;
        const std::size_t line = line_of_failure(lines, source.consumed());
        if (result.status == textio::ListReadStatus::end_of_file && values[0] == unassigned)
            break;  // the text ends between events
        if (result.status == textio::ListReadStatus::end_of_file) {
            // The line of the event's last value, where the text ends for a reader.
            LineCounter to_last{text};
            const std::size_t last = text.find_last_not_of(" \t\r\n");
            error = at_event(file_name, line_of_failure(to_last, last + 1), event) +
                    "the file ends within the event; each event is three values (time, "
                    "magnitude, standard error)";
            return false;
        }
        if (result.status != textio::ListReadStatus::ok) {
            error = at_event(file_name, line, event) + textio::list_read_message(result, source);
            return false;
        }
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (values[k] != unassigned) continue;
            error = at_event(file_name, line, event) + "no value for the " +
                    std::string(value_names[k]) + "; each event is three values";
            return false;
        }
        add_event(data, values, line);
    }
    if (data.lines.empty()) {
        error = std::string(file_name) +
                ": no events; each event is three values (time, "
                "magnitude, standard error)";
        return false;
    }
    return true;
}

bool check_events(const EventData& data, std::string_view file_name, double start, double end,
                  std::string& error) {
    const EventSeries& events = data.events;
    std::size_t outside = 0;
    std::size_t first_outside = 0;
    for (std::size_t i = 0; i < events.t.size(); ++i) {
        const std::array<double, driver::values_per_event> values = {events.t[i], events.x[i],
                                                                     events.sx[i]};
        const std::string where = at_event(file_name, data.lines[i], i + 1);
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (std::isfinite(values[k])) continue;
            error = where + "the " + std::string(value_names[k]) + " is " +
                    detail::shortest_text(values[k]) + ", not a finite number";
            return false;
        }
        if (events.sx[i] < 0.0) {
            error = where + "the standard error " + detail::shortest_text(events.sx[i]) +
                    " is negative";
            return false;
        }
        if (events.t[i] >= start && events.t[i] <= end) continue;
        if (outside == 0) first_outside = i;
        ++outside;
    }
    if (outside == 0) return true;
    error = at_event(file_name, data.lines[first_outside], first_outside + 1) + "the time " +
            detail::shortest_text(events.t[first_outside]) + " lies outside the interval " +
            detail::shortest_text(start) + " to " + detail::shortest_text(end) + "; " +
            std::to_string(outside) + " of the " + std::to_string(events.t.size()) +
            " events do (--interval A B sets the interval)";
    return false;
}

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
    LineCounter lines{text};
    const std::size_t line = line_of_failure(lines, source.consumed());
    error = std::string(file_name) + ", line " + std::to_string(line) + " (" + event +
            "): " + textio::list_read_message(failure, source);
    return false;
}

}  // namespace zorvi
