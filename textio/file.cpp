// Connecting named files to units and releasing them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

constexpr mode_t created_file_mode = 0600;  // read and write for the owner only

std::string_view trim_trailing_blanks(std::string_view name) {
    const std::size_t end = name.find_last_not_of(' ');
    return end == std::string_view::npos ? std::string_view() : name.substr(0, end + 1);
}

bool refused_for_permission(int error) {
    return error == EACCES || error == EPERM;
}

struct Opened {
    int fd = -1;
    detail::Action action = detail::Action::read_write;
    int error = 0;  // errno of the last attempt when fd < 0
};

// Read-write first; refused for lack of permission (or a read-only file system), read-only;
// refused for lack of permission again, write-only. Never truncates.
Opened open_with_fallback(const char* path, int create) {
    const int flags = create | O_CLOEXEC;
    int fd = open(path, O_RDWR | flags, created_file_mode);
    if (fd >= 0) return {fd, detail::Action::read_write, 0};
    if (!refused_for_permission(errno) && errno != EROFS) return {-1, {}, errno};

    fd = open(path, O_RDONLY | flags, created_file_mode);
    if (fd >= 0) return {fd, detail::Action::read, 0};
    if (!refused_for_permission(errno)) return {-1, {}, errno};

    fd = open(path, O_WRONLY | flags, created_file_mode);
    if (fd >= 0) return {fd, detail::Action::write, 0};
    return {-1, {}, errno};
}

// An existing file (status old) that is a FIFO is connected for reading only: connected for
// reading and writing, the program would be a writer of its own FIFO, and the end of the
// data would never come. The open waits for a writer, as reading a FIFO does.
bool is_fifo(const char* path) {
    struct stat info {};
    return stat(path, &info) == 0 && S_ISFIFO(info.st_mode);
}

Opened open_existing_fifo(const char* path) {
    const int fd = open(path, O_RDONLY | O_CLOEXEC);
    if (fd >= 0) return {fd, detail::Action::read, 0};
    return {-1, {}, errno};
}

// The message of a failed open, composed in place: a failing open allocates nothing.
std::string_view open_failure_message(int error, std::string_view name, OpenStatus status) {
    static detail::InlineText<detail::max_file_name + 64> message;
    message.size = 0;
    if (error == ENOENT && status == OpenStatus::old) {
        message.append("File '");
        message.append(name);
        message.append("' does not exist");
    } else if (refused_for_permission(error)) {
        message.append("Permission denied trying to open file '");
        message.append(name);
        message.append("'");
    } else if (error == EISDIR) {
        message.append("'");
        message.append(name);
        message.append("' is a directory");
    } else {
        message.append(detail::os_error_text(error));
    }
    return message.view();
}

}  // namespace

void open_unit(int unit, std::string_view file_name, OpenStatus status, const Locus& locus) {
    if (unit <= 0) fail_statement(locus, unit, "Invalid unit number in open");
    if (detail::find_unit(unit) != nullptr) {
        fail_statement(locus, unit, "Open of a unit that is already connected");
    }
    // While the open runs the unit is in the table with an empty name.
    detail::Unit* target = detail::claim_unit(unit);
    if (target == nullptr) fail_statement(locus, unit, "Too many units connected");
    detail::note_statement(*target, locus);

    const std::string_view name = trim_trailing_blanks(file_name);
    if (name.find('\0') != std::string_view::npos) {
        fail_statement(locus, unit, "File name contains a NUL character");
    }
    if (name.size() > detail::max_file_name) {
        fail_statement(locus, unit, open_failure_message(ENAMETOOLONG, name, status));
    }
    // The name with its NUL, in static room: connecting a file allocates nothing.
    static std::array<char, detail::max_file_name + 1> path;
    *std::copy(name.begin(), name.end(), path.begin()) = '\0';
    const bool fifo = status == OpenStatus::old && is_fifo(path.data());
    const Opened opened =
        fifo ? open_existing_fifo(path.data())
             : open_with_fallback(path.data(), status == OpenStatus::unknown ? O_CREAT : 0);
    if (opened.fd < 0)
        fail_statement(locus, unit, open_failure_message(opened.error, name, status));

    // A directory can be opened for reading; it is no file to read or write.
    struct stat info {};
    if (fstat(opened.fd, &info) != 0 || S_ISDIR(info.st_mode)) {
        const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
        close(opened.fd);
        fail_statement(locus, unit, open_failure_message(error, name, status));
    }

    target->fd = opened.fd;
    target->action = opened.action;
    target->terminal = isatty(opened.fd) == 1;
    target->end_state = S_ISREG(info.st_mode) && info.st_size > 0 ? detail::EndState::not_at_end
                                                                  : detail::EndState::at_end;
    target->name.assign(name);
}

void release_unit(int unit, const Locus& locus) {
    detail::Unit* target = detail::find_unit(unit);
    if (target == nullptr) return;  // nothing connected: nothing to do
    detail::note_statement(*target, locus);
    detail::close_unit(*target, locus);
    // the console stays connected: its buffer has been written out
    if (!target->is_console) detail::free_unit(*target);
}

}  // namespace zorvi::textio
