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
#include "zorvi/events/input_stream.hpp"
#include "zorvi/events/places.hpp"
#include "zorvi/text/messages.hpp"
#include "zorvi/text/number_text.hpp"

namespace zorvi {
namespace {

using detail::at_event;
using detail::value_names;
static_assert(value_names.size() == driver::values_per_event);

}  // namespace

bool parse_free_format_events(InputStream& in, std::string_view file_name, EventData& data,
                              std::string& error) {
    data = {};
    textio::RecordLeftover leftover = textio::RecordLeftover::nothing;
    for (;;) {
        std::array<double, driver::values_per_event> values = {unassigned, unassigned, unassigned};
        const textio::ListReadResult result = read_statement(in, leftover, values);
        const std::size_t event = data.lines.size() + 1;
        const bool none = std::count(values.begin(), values.end(), unassigned) == 3;
        if (result.status == textio::ListReadStatus::end_of_file && none)
            break;  // the text ends between events
        if (result.status == textio::ListReadStatus::end_of_file) {
            // The line of the event's last value, where the text ends for a reader.
            error = at_event(file_name, in.last_text_line, event) +
                    "the file ends within the event; each event is three values (time, "
                    "magnitude, standard error)";
            return false;
        }
        const std::size_t line = line_of_last_byte(in);
        if (result.status != textio::ListReadStatus::ok) {
            error = at_event(file_name, line, event) + statement_message(result);
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

bool parse_free_format_events(std::string_view text, std::string_view file_name, EventData& data,
                              std::string& error) {
    InputStream in = stream_of_text(text);
    return parse_free_format_events(in, file_name, data, error);
}

std::string event_place(const EventData& data, std::string_view source, std::size_t i) {
    if (!data.rows) return at_event(source, data.lines[i], i + 1);
    std::string place = std::string(source) + ", row " + std::to_string(data.lines[i]);
    if (i < data.row_labels.size())
        place += " (index " + detail::quoted_for_message(data.row_labels[i]) + ")";
    return place + ": ";
}

bool check_events(const EventData& data, std::string_view source, double start, double end,
                  std::string& error, const ArgumentNames& names) {
    const EventSeries& events = data.events;
    std::size_t outside = 0;
    std::size_t first_outside = 0;
    for (std::size_t i = 0; i < events.t.size(); ++i) {
        const std::array<double, driver::values_per_event> values = {events.t[i], events.x[i],
                                                                     events.sx[i]};
        for (std::size_t k = 0; k < values.size(); ++k) {
            if (std::isfinite(values[k])) continue;
            error = event_place(data, source, i) + "the " + std::string(value_names[k]) + " is " +
                    detail::shortest_text(values[k]) + ", not a finite number";
            return false;
        }
        if (events.sx[i] < 0.0) {
            error = event_place(data, source, i) + "the standard error " +
                    detail::shortest_text(events.sx[i]) + " is negative";
            return false;
        }
        if (events.t[i] >= start && events.t[i] <= end) continue;
        if (outside == 0) first_outside = i;
        ++outside;
    }
    if (outside == 0) return true;
    error = event_place(data, source, first_outside) + "the time " +
            detail::shortest_text(events.t[first_outside]) + " lies outside the interval " +
            detail::shortest_text(start) + " to " + detail::shortest_text(end) + "; " +
            std::to_string(outside) + " of the " + std::to_string(events.t.size()) +
            " events do (" + std::string(names.give_interval) + " sets the interval)";
    return false;
}

bool parse_event_data(InputStream& in, std::string_view file_name, EventSeries& events,
                      std::string& error) {
    driver::RunState run;
    textio::RecordLeftover leftover = textio::RecordLeftover::nothing;
    textio::ListReadResult failure;
    const std::int32_t read = driver::read_events(
        [&](std::span<double> values) {
            failure = read_statement(in, leftover, values);
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
    error = std::string(file_name) + ", line " + std::to_string(line_of_last_byte(in)) + " (" +
            event + "): " + statement_message(failure);
    return false;
}

bool parse_event_data(std::string_view text, std::string_view file_name, EventSeries& events,
                      std::string& error) {
    InputStream in = stream_of_text(text);
    return parse_event_data(in, file_name, events, error);
}

}  // namespace zorvi
