// Reading an input file whole, read-only.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "report/report.hpp"

namespace zorvi::report {

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

}  // namespace zorvi::report
