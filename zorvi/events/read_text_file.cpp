// Reading an input file whole, read-only, and a data file's events.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "driver/run_files.hpp"
#include "zorvi/events/events.hpp"
#include "zorvi/text/number_text.hpp"

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

bool read_event_file(const std::filesystem::path& path, bool csv, const CsvColumns& columns,
                     EventData& data, std::string& error) {
    std::string text;
    if (!read_text_file(path, text, error)) return false;
    const std::string name = path.string();
    return csv ? parse_csv_events(text, name, columns, data, error)
               : parse_free_format_events(text, name, data, error);
}

bool holds_shipped_winds(const std::filesystem::path& path, bool csv, const CsvColumns& columns) {
    return csv ? columns.magnitude == CsvColumns{}.magnitude
               : path.filename() == driver::data_file_name;
}

}  // namespace zorvi
