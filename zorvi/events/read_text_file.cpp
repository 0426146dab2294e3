// Reading an input file, read-only: whole, or as a stream for a parser.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cmath>
#include <cstring>

#include "driver/run_files.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/events/input_stream.hpp"
#include "zorvi/text/messages.hpp"

namespace zorvi {

bool read_text_file(const std::filesystem::path& path, std::string& text, std::string& error) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path.string() + "': " + std::strerror(errno);
        return false;
    }
    text.clear();
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t count = ::read(fd, buffer, sizeof buffer);
        if (count > 0) {
            text.append(buffer, static_cast<std::size_t>(count));
        } else if (count == 0) {
            break;
        } else if (errno != EINTR) {
            error = "cannot read '" + path.string() + "': " + std::strerror(errno);
            ::close(fd);
            return false;
        }
    }
    ::close(fd);
    return true;
}

bool read_input(const std::filesystem::path& path, const std::function<bool(InputStream&)>& parse,
                std::string& error, std::string_view unreadable) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = "cannot open '" + path.string() + "': " + std::strerror(errno);
        error += unreadable;
        return false;
    }
    InputStream in = stream_of_fd(fd);
    const bool parsed = parse(in);
    ::close(fd);
    // A failed read ends the input early: the parser's complaint about it is not the reason.
    if (in.read_error != 0) {
        error = "cannot read '" + path.string() + "': " + std::strerror(in.read_error);
        error += unreadable;
        return false;
    }
    return parsed;
}

bool check_given_error(double value, std::string& error, const ArgumentNames& names) {
    if (std::isfinite(value) && value >= 0.0) return true;
    error = std::string(names.standard_error) +
            ": the standard error must be a finite number, 0 or more";
    return false;
}

std::string free_format_labels_problem(std::string_view file_name, const ArgumentNames& names) {
    return std::string(names.labels) + " names a column of a CSV table; " +
           detail::quoted_for_message(file_name) +
           " is read in the free format, which has no labels";
}

bool read_event_file(const std::filesystem::path& path, bool csv, const CsvReading& reading,
                     EventData& data, std::string& error) {
    const std::string name = path.string();
    if (!std::isnan(reading.given_error) &&
        !check_given_error(reading.given_error, error, reading.names))
        return false;
    if (!csv && !std::isnan(reading.given_error)) {
        error = std::string(reading.names.standard_error) +
                ": a standard error is given to the events of a CSV table that has none; " +
                detail::quoted_for_message(name) +
                " is read in the free format, three values an event";
        return false;
    }
    if (!csv && !reading.labels.empty()) {
        error = free_format_labels_problem(name, reading.names);
        return false;
    }
    return read_input(
        path,
        [&](InputStream& in) {
            return csv ? parse_csv_events(in, name, reading, data, error)
                       : parse_free_format_events(in, name, data, error);
        },
        error);
}

bool holds_shipped_winds(const std::filesystem::path& path, bool csv, const CsvColumns& columns) {
    return csv ? columns.magnitude == CsvColumns{}.magnitude
               : path.filename() == driver::data_file_name;
}

}  // namespace zorvi
