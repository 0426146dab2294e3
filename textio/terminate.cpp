// The ways out of the process: the stops, the run-time error reports and the one exit path.
#include <unistd.h>

#include <cerrno>
#include <charconv>
#include <cstring>

#include "textio/unit_impl.hpp"

namespace zorvi::textio {

namespace {

bool reporting = false;  // the report guard

// Report text goes to standard error at once, piece by piece; a failure to write it is
// not reported further.
void put(std::string_view text) {
    (void)detail::write_all(STDERR_FILENO, text.data(), text.size());
}

void put(int value) {
    char digits[16];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    put(std::string_view(digits, static_cast<std::size_t>(result.ptr - digits)));
}

// The exit path: every unit's records are written out and the files closed after the
// report, so buffered console records reach standard output after it.
[[noreturn]] void leave(int status) {
    detail::close_all_units(false);
    _exit(status);
}

// Sets the report guard. A report begun while another is under way ends the run at once,
// printing nothing more.
void begin_report() {
    if (reporting) {
        detail::close_all_units(true);
        _exit(status_report_in_report);
    }
    reporting = true;
}

void put_locus_line(const Locus& locus, int unit_number) {
    put("At line ");
    put(locus.line);
    put(" of file ");
    put(locus.file);
    if (unit_number > 0) {
        put(" (unit = ");
        put(unit_number);
        if (const detail::Unit* unit = detail::find_unit(unit_number)) {
            put(", file = '");
            put(unit->name.view());
            put("'");
        }
        put(")");
    }
    put("\n");
}

// The message line of a run-time error report.
void put_message_line(std::string_view message) {
    put(runtime_error_prefix);
    put(message);
    put("\n");
}

}  // namespace

void stop_normal() {
    leave(status_normal);
}

void stop_with_message(std::string_view text, int status) {
    put("STOP ");
    put(text);
    put("\n");
    leave(status);
}

void fail_statement(const Locus& locus, int unit, std::string_view message) {
    begin_report();
    put_locus_line(locus, unit);
    put_message_line(message);
    leave(status_io);
}

void fail_statement_os(const Locus& locus, int unit, int error_number) {
    fail_statement(locus, unit, detail::os_error_text(error_number));
}

void fail_os(std::string_view message) {
    const int error_number = errno;
    begin_report();
    put("Operating system error: ");
    put(detail::os_error_text(error_number));
    put("\n");
    put(message);
    put("\n");
    leave(status_memory);
}

void detail::fail_out_of_memory() {
    errno = ENOMEM;
    fail_os("Memory allocation failed");
}

void fail_runtime(std::string_view message) {
    begin_report();
    put_message_line(message);
    leave(status_io);
}

}  // namespace zorvi::textio
